#include "runtime/window_win.h"

#include <map>
#include <set>

#include "runtime/dpi_win.h"
#include "runtime/error.h"

namespace vestrand {
namespace {

std::string& TitleStorage() {
    static std::string title;
    return title;
}
ErrorHandler& HandlerStorage() {
    static ErrorHandler handler;
    return handler;
}

} // namespace

void SetApplicationTitle(const std::string& title) {
    TitleStorage() = title;
}
const std::string& ApplicationTitle() {
    return TitleStorage();
}
void SetErrorHandler(ErrorHandler handler) {
    HandlerStorage() = std::move(handler);
}

std::string ExceptionMessage(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

void HandleException(std::exception_ptr error) {
    const std::string message = ExceptionMessage(error);
    if (HandlerStorage()) {
        HandlerStorage()(message);
        return;
    }
    const std::string text = ErrorBoxText(message);
    ::MessageBoxA(nullptr, text.c_str(), ApplicationTitle().c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

namespace {
bool g_busyCursor = false;
}

void SetBusyCursorOverride(bool busy) {
    g_busyCursor = busy;
    ::SetCursor(::LoadCursorA(nullptr, busy ? IDC_APPSTARTING : IDC_ARROW));
}

bool BusyCursorOverride() {
    return g_busyCursor;
}

HFONT ProgramFont(int dpi) {
    // Windows of one thread ask for it; a few scales at most in a process's life.
    static std::map<int, HFONT> fonts;
    HFONT& font = fonts[dpi > 0 ? dpi : kBaseDpi];
    if (!font)
        font = ::CreateFontA(-ScaleToDpi(11, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
    return font;
}

HWND CreateControl(const char* className, const char* text, DWORD style, DWORD exStyle, int x, int y,
                   int width, int height, HWND parent, int id) {
    const int dpi = LayoutDpi(parent);
    const LayoutBox at = ScaleBox({x, y, width, height}, dpi);
    HWND hwnd = ::CreateWindowExA(
        exStyle, className, text, WS_CHILD | WS_VISIBLE | style, at.x, at.y, at.width, at.height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleA(nullptr), nullptr);
    if (hwnd) {
        ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(ProgramFont(dpi)), FALSE);
        PlaceControl(hwnd, {x, y, width, height});
    }
    return hwnd;
}

void CenterOnScreen(HWND hwnd) {
    RECT rc;
    if (!::GetWindowRect(hwnd, &rc))
        return;
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    ::SetWindowPos(hwnd, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                   (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Window::~Window() {
    if (m_hwnd) {
        HWND hwnd = m_hwnd;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        m_hwnd = nullptr;
        ::DestroyWindow(hwnd);
    }
}

void Window::RegisterWindowClass(const char* className, UINT style, HBRUSH background, HICON icon,
                                 HCURSOR cursor, int windowExtra) {
    static std::set<std::string> registered;
    if (registered.count(className))
        return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = &Window::StaticWindowProc;
    wc.cbWndExtra = windowExtra;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hIcon = icon;
    wc.hIconSm = icon;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    if (::RegisterClassExA(&wc) || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
        registered.insert(className);
}

HWND Window::CreateWindowOf(const char* className, DWORD exStyle, DWORD style, const char* caption, int x,
                            int y, int width, int height, HWND parent, HMENU menuOrId) {
    return ::CreateWindowExA(exStyle, className, caption, style, x, y, width, height, parent, menuOrId,
                             ::GetModuleHandleA(nullptr), this);
}

LRESULT Window::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(m_hwnd, msg, wParam, lParam);
}

LRESULT Window::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_SETCURSOR:
        if (g_busyCursor) {
            ::SetCursor(::LoadCursorA(nullptr, IDC_APPSTARTING));
            return TRUE;
        }
        return DefaultProc(msg, wParam, lParam);
    default:
        return DefaultProc(msg, wParam, lParam);
    }
}

LRESULT CALLBACK Window::StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* self = reinterpret_cast<Window*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        self = static_cast<Window*>(cs->lpCreateParams);
        if (self) {
            self->m_hwnd = hwnd;
            ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    if (!self)
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    LRESULT result = 0;
    try {
        result = self->HandleMessage(msg, wParam, lParam);
    } catch (...) {
        HandleException(std::current_exception());
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
    }
    return result;
}

} // namespace vestrand
