// One-line edit fields with a button at their right end: the common base of the number field and
// the browse fields; and the same field without a button (PlainEdit).
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "runtime/window_win.h"

namespace vestrand {

// A platform EDIT control (a Unicode window, so that it holds whatever is typed or pasted), subclassed, with
// a child window of our own at the right end of its client area. Text never runs under the button (right
// margin). Derived fields paint the button and react to its mouse input and timer; a field made with no
// button width has none.
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

    // Creates the field, with its button, at x, y, width × height in `parent`.
    virtual void Create(HWND parent, int id, int x, int y, int width, int height) = 0;

protected:
    // Creates the edit at x, y, width × height in `parent` with the extra edit styles given and the
    // program's font; a `buttonWidth` of 0 gives no button.
    void CreateField(HWND parent, int id, int x, int y, int width, int height, DWORD editStyle,
                     int buttonWidth);
    // Messages of the edit; the default hands them to the platform's edit.
    virtual LRESULT EditMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT CallEdit(UINT msg, WPARAM wParam, LPARAM lParam);

    // The button: painted into `dc` over `area` (its client rectangle).
    virtual void PaintButton(HDC /*dc*/, const RECT& /*area*/) {}
    virtual void ButtonMouse(UINT /*msg*/, int /*x*/, int /*y*/) {} // WM_LBUTTONDOWN/UP, WM_MOUSEMOVE
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

// A field of the same kind with no button and no key of its own: whatever is typed or pasted is
// held as it is, for the caller to judge.
class PlainEdit final : public ButtonEdit {
public:
    void Create(HWND parent, int id, int x, int y, int width, int height) override {
        CreateField(parent, id, x, y, width, height, 0, 0);
    }
};

} // namespace vestrand
