// Base of the program's windows: registers a class once, binds the HWND to its object at
// WM_NCCREATE and forwards every message to member handlers. No exception leaves the window
// procedure: it is handed to the application's error handler.
#pragma once
#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace vestrand {

// The application's general error handler: by default a message box with an error icon and an OK
// button, captioned with the application's title, showing ErrorBoxText(message). Tests replace it.
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();
using ErrorHandler = std::function<void(const std::string& message)>;
void SetErrorHandler(ErrorHandler handler); // empty: the message box again
void HandleException(std::exception_ptr error);
// The message an error carries ("Unknown error" for one that carries none).
std::string ExceptionMessage(std::exception_ptr error);

// The program-wide busy cursor: while it is on (a pass runs), every window of the program shows the
// "working in background" pointer: the windows still answer.
void SetBusyCursorOverride(bool busy);
bool BusyCursorOverride();

// "MS Sans Serif", 8 points (11 pixels high at 96 dpi, scaled to `dpi`), default character set: the
// font of every window and control of the program. Created once per dpi, lives as long as the process.
HFONT ProgramFont(int dpi = 96);

// A visible child control of the program with the program's font, at the 96-dpi box x, y, width x
// height scaled to its window's dpi (PlaceControl).
HWND CreateControl(const char* className, const char* text, DWORD style, DWORD exStyle, int x, int y,
                   int width, int height, HWND parent, int id);
// Moves a top-level window to the centre of the screen, its size kept.
void CenterOnScreen(HWND hwnd);

class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const { return m_hwnd; }

    // Registers `className` once per process with this window procedure.
    static void RegisterWindowClass(const char* className, UINT style, HBRUSH background, HICON icon,
                                    HCURSOR cursor = ::LoadCursorA(nullptr, IDC_ARROW), int windowExtra = 0);

protected:
    HWND CreateWindowOf(const char* className, DWORD exStyle, DWORD style, const char* caption, int x, int y,
                        int width, int height, HWND parent, HMENU menuOrId);

    // Unpacked once here; the default sends everything else to DefWindowProcA.
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void OnCommand(int /*id*/, int /*code*/, HWND /*control*/) {}
    virtual LRESULT OnNotify(const NMHDR* /*header*/) { return 0; }
    virtual void OnTimer(UINT_PTR /*id*/) {}
    // DefWindowProcA; a window with the dialog manager's defaults hands them to DefDlgProcA.
    virtual LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND m_hwnd = nullptr;
};

} // namespace vestrand
