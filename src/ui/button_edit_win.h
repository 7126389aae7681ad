// One-line edit fields with a button at their right end: the common base of the number field and
// the browse fields.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "runtime/window_win.h"

namespace vestrand {

// A platform EDIT control (a Unicode window, so that it holds whatever is typed or pasted), subclassed, with
// a child window of our own at the right end of its client area. Text never runs under the button (right
// margin). Derived fields paint the button and react to its mouse input and timer.
class ButtonEdit {
public:
    ButtonEdit();
    virtual ~ButtonEdit();
    ButtonEdit(const ButtonEdit&) = delete;
    ButtonEdit& operator=(const ButtonEdit&) = delete;

    HWND Handle() const { return m_edit; }
    HWND ButtonHandle() const;
    // The text in code page 1251 (a character it cannot hold reads as "?"; none is best-fitted), and
    // the text as the field holds it.
    std::string Text() const;
    std::wstring WideText() const;
    void SetText(const std::string& text);
    bool ReadOnly() const;

protected:
    // Creates the edit at x, y, width × height in `parent` with the extra edit styles given.
    // ... with the program's font.
    void CreateField(HWND parent, int id, int x, int y, int width, int height, DWORD editStyle,
                     int buttonWidth);
    // Messages of the edit; the default hands them to the platform's edit.
    virtual LRESULT EditMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT CallEdit(UINT msg, WPARAM wParam, LPARAM lParam);

    // The button: painted into `dc` over `area` (its client rectangle).
    virtual void PaintButton(HDC dc, const RECT& area) = 0;
    virtual void ButtonMouse(UINT msg, int x, int y) = 0; // WM_LBUTTONDOWN/UP, WM_MOUSEMOVE
    virtual void ButtonTimer(UINT_PTR /*id*/) {}
    virtual void ButtonCaptureLost() {}
    void RepaintButton();

private:
    class Button;
    void PlaceButton();
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_edit = nullptr;
    WNDPROC m_editProc = nullptr;
    int m_buttonWidth = 0;
    std::unique_ptr<Button> m_button;
};

} // namespace vestrand
