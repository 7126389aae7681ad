#include "ui/button_edit_win.h"

#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "runtime/cp1251.h"
#include "runtime/cp1251_win.h"
#include "runtime/dpi_win.h"
#include "runtime/handles_win.h"

namespace vestrand {

// ---- ButtonEdit --------------------------------------------------------------------------------

class ButtonEdit::Button final : public Window {
public:
    static constexpr const char* kClassName = "VestrandEditButton";
    explicit Button(ButtonEdit& owner) : m_owner(owner) {}

    void Create(HWND parent) {
        RegisterWindowClass(kClassName, 0, nullptr, nullptr);
        CreateWindowOf(kClassName, 0, WS_CHILD | WS_VISIBLE, "", 0, 0, 1, 1, parent, nullptr);
    }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        switch (msg) {
        case WM_PAINT: {
            PaintGuard paint(Handle());
            RECT rc;
            ::GetClientRect(Handle(), &rc);
            m_owner.PaintButton(paint.Dc(), rc);
            return 0;
        }
        case WM_PRINTCLIENT: {
            RECT rc;
            ::GetClientRect(Handle(), &rc);
            m_owner.PaintButton(reinterpret_cast<HDC>(wParam), rc);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            m_owner.ButtonMouse(WM_LBUTTONDOWN, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        case WM_LBUTTONUP:
        case WM_MOUSEMOVE:
            m_owner.ButtonMouse(msg, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        case WM_CAPTURECHANGED:
            m_owner.ButtonCaptureLost();
            return 0;
        case WM_TIMER:
            m_owner.ButtonTimer(static_cast<UINT_PTR>(wParam));
            return 0;
        default:
            return DefaultProc(msg, wParam, lParam);
        }
    }

private:
    ButtonEdit& m_owner;
};

ButtonEdit::ButtonEdit() : m_button(std::make_unique<Button>(*this)) {}

ButtonEdit::~ButtonEdit() {
    if (m_edit && ::IsWindow(m_edit)) {
        ::SetWindowLongPtrW(m_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_editProc));
        ::SetWindowLongPtrW(m_edit, GWLP_USERDATA, 0);
    }
}

HWND ButtonEdit::ButtonHandle() const {
    return m_button->Handle();
}

std::string ButtonEdit::Text() const {
    return NarrowCp1251(WideText());
}

std::wstring ButtonEdit::WideText() const {
    if (!m_edit)
        return std::wstring();
    const int length = ::GetWindowTextLengthW(m_edit);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    const int got = ::GetWindowTextW(m_edit, buffer.data(), length + 1);
    return std::wstring(buffer.data(), static_cast<size_t>(std::max(got, 0)));
}

void ButtonEdit::SetText(const std::string& text) {
    if (m_edit)
        ::SetWindowTextW(m_edit, WidenCp1251(text).c_str());
}

bool ButtonEdit::ReadOnly() const {
    return m_edit && (::GetWindowLongPtrA(m_edit, GWL_STYLE) & ES_READONLY) != 0;
}

void ButtonEdit::CreateField(HWND parent, int id, int x, int y, int width, int height, DWORD editStyle,
                             int buttonWidth) {
    m_buttonWidth = buttonWidth;
    const int dpi = LayoutDpi(parent);
    const LayoutBox at = ScaleBox({x, y, width, height}, dpi);
    m_edit = ::CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | ES_AUTOHSCROLL | editStyle, at.x, at.y,
        at.width, at.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        ::GetModuleHandleW(nullptr), nullptr);
    if (!m_edit)
        return;
    PlaceControl(m_edit, {x, y, width, height});
    ::SetWindowLongPtrW(m_edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_editProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(m_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ButtonEdit::EditProc)));
    ::SendMessageW(m_edit, WM_SETFONT, reinterpret_cast<WPARAM>(ProgramFont(dpi)), FALSE);
    if (buttonWidth > 0)
        m_button->Create(m_edit);
    PlaceButton();
}

void ButtonEdit::PlaceButton() {
    if (!m_edit || !m_button->Handle())
        return;
    // The button's width follows the field's scale; its height is the field's.
    const int dpi = LayoutDpi(m_edit);
    const int width = ScaleToDpi(m_buttonWidth, dpi);
    RECT rc;
    ::GetClientRect(m_edit, &rc);
    ::SetWindowPos(m_button->Handle(), nullptr, rc.right - width, 0, width, rc.bottom,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(m_edit, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, width + ScaleToDpi(2, dpi)));
}

void ButtonEdit::RepaintButton() {
    if (m_button->Handle())
        ::InvalidateRect(m_button->Handle(), nullptr, FALSE);
}

LRESULT ButtonEdit::CallEdit(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(m_editProc, m_edit, msg, wParam, lParam);
}

LRESULT ButtonEdit::EditMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return CallEdit(msg, wParam, lParam);
}

LRESULT CALLBACK ButtonEdit::EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ButtonEdit*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        WNDPROC original = self->m_editProc;
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_edit = nullptr;
        return ::CallWindowProcW(original, hwnd, msg, wParam, lParam);
    }
    try {
        const LRESULT result = self->EditMessage(msg, wParam, lParam);
        if (msg == WM_SIZE || msg == WM_SETFONT)
            self->PlaceButton();
        // The visual style draws the edit's frame over its whole window, the button included (a
        // window DC does not leave out child windows), and the frame is redrawn whenever the focus
        // comes or goes. The button is drawn again at once, before anything reaches the screen.
        if (msg == WM_NCPAINT && self->m_button->Handle())
            ::RedrawWindow(self->m_button->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return result;
    } catch (...) {
        HandleException(std::current_exception());
        return 0;
    }
}

} // namespace vestrand
