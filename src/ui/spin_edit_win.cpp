#include "ui/spin_edit_win.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <vector>

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
        ::SetWindowLongPtrA(m_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_editProc));
        ::SetWindowLongPtrA(m_edit, GWLP_USERDATA, 0);
    }
}

HWND ButtonEdit::ButtonHandle() const {
    return m_button->Handle();
}

std::string ButtonEdit::Text() const {
    if (!m_edit)
        return std::string();
    const int length = ::GetWindowTextLengthA(m_edit);
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const int got = ::GetWindowTextA(m_edit, buffer.data(), length + 1);
    return std::string(buffer.data(), static_cast<size_t>(std::max(got, 0)));
}

void ButtonEdit::SetText(const std::string& text) {
    if (m_edit)
        ::SetWindowTextA(m_edit, text.c_str());
}

bool ButtonEdit::ReadOnly() const {
    return m_edit && (::GetWindowLongPtrA(m_edit, GWL_STYLE) & ES_READONLY) != 0;
}

void ButtonEdit::CreateField(HWND parent, int id, int x, int y, int width, int height, DWORD editStyle,
                             HFONT font, int buttonWidth) {
    m_buttonWidth = buttonWidth;
    m_edit =
        ::CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | ES_AUTOHSCROLL | editStyle,
                          x, y, width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          ::GetModuleHandleA(nullptr), nullptr);
    if (!m_edit)
        return;
    ::SetWindowLongPtrA(m_edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_editProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(m_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ButtonEdit::EditProc)));
    if (font)
        ::SendMessageA(m_edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    m_button->Create(m_edit);
    PlaceButton();
}

void ButtonEdit::PlaceButton() {
    if (!m_edit || !m_button->Handle())
        return;
    RECT rc;
    ::GetClientRect(m_edit, &rc);
    ::SetWindowPos(m_button->Handle(), nullptr, rc.right - m_buttonWidth, 0, m_buttonWidth, rc.bottom,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageA(m_edit, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, m_buttonWidth + 2));
}

void ButtonEdit::RepaintButton() {
    if (m_button->Handle())
        ::InvalidateRect(m_button->Handle(), nullptr, FALSE);
}

LRESULT ButtonEdit::CallEdit(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcA(m_editProc, m_edit, msg, wParam, lParam);
}

LRESULT ButtonEdit::EditMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return CallEdit(msg, wParam, lParam);
}

LRESULT CALLBACK ButtonEdit::EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ButtonEdit*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        WNDPROC original = self->m_editProc;
        ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->m_edit = nullptr;
        return ::CallWindowProcA(original, hwnd, msg, wParam, lParam);
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

// ---- RxSpinEdit --------------------------------------------------------------------------------

namespace {
constexpr UINT_PTR kRepeatTimer = 1;

void FillTriangle(HDC dc, POINT a, POINT b, POINT c, COLORREF color) {
    GdiObject brush(::CreateSolidBrush(color));
    GdiObject pen(::CreatePen(PS_SOLID, 1, color));
    SelectGuard selectBrush(dc, brush.Get());
    SelectGuard selectPen(dc, pen.Get());
    const POINT points[3] = {a, b, c};
    ::Polygon(dc, points, 3);
}
} // namespace

void RxSpinEdit::Create(HWND parent, int id, int x, int y, int width, int height, HFONT font) {
    CreateField(parent, id, x, y, width, height, 0, font, kButtonWidth);
}

int64_t RxSpinEdit::Value() const {
    return ReadSpinValue(Text(), m_min);
}

void RxSpinEdit::SetValue(int64_t value) {
    SetText(std::to_string(ApplySpinRange(value, m_min, m_max)));
}

void RxSpinEdit::Step(int delta) {
    // The text is read as a signed 32-bit number: a step does not carry it past either end, where it
    // would read as MinValue.
    SetValue(std::clamp<int64_t>(Value() + delta, INT32_MIN, INT32_MAX));
}

SpinHalf RxSpinEdit::HalfAt(int x, int y) const {
    RECT rc{};
    ::GetClientRect(ButtonHandle(), &rc);
    return SpinHitTest(x, y, rc.right, rc.bottom);
}

LRESULT RxSpinEdit::EditMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CHAR: {
        const auto ch = static_cast<unsigned char>(wParam);
        if (ch == '\r' || ch == 0x1B || ch == '\t')
            return 0; // dialog keys: the dialog has no default or cancel button
        if (!IsSpinCharAccepted(ch)) {
            ::MessageBeep(0);
            return 0;
        }
        break;
    }
    case WM_KEYDOWN:
        if (wParam == VK_UP || wParam == VK_DOWN) {
            Step(wParam == VK_UP ? 1 : -1);
            return 0;
        }
        break;
    case WM_KILLFOCUS: {
        const LRESULT result = CallEdit(msg, wParam, lParam);
        const HWND to = reinterpret_cast<HWND>(wParam);
        if (to && Handle() && SpinHasRange(m_min, m_max) &&
            ::GetAncestor(to, GA_ROOT) == ::GetAncestor(Handle(), GA_ROOT)) {
            const int64_t value = Value();
            if (ApplySpinRange(value, m_min, m_max) != value)
                SetValue(value);
        }
        return result;
    }
    default:
        break;
    }
    return CallEdit(msg, wParam, lParam);
}

void RxSpinEdit::ButtonMouse(UINT msg, int x, int y) {
    switch (msg) {
    case WM_LBUTTONDOWN: {
        if (Handle() && ::GetFocus() != Handle())
            ::SetFocus(Handle());
        const SpinHalf half = HalfAt(x, y);
        if (half == SpinHalf::None || m_pressed != SpinHalf::None)
            return;
        m_pressed = half;
        m_over = true;
        ::SetCapture(ButtonHandle());
        m_repeat.Press(::GetTickCount());
        Step(half == SpinHalf::Up ? 1 : -1);
        ArmTimer();
        RepaintButton();
        return;
    }
    case WM_MOUSEMOVE:
        if (m_pressed != SpinHalf::None) {
            const bool over = HalfAt(x, y) == m_pressed;
            if (over != m_over) {
                m_over = over;
                RepaintButton();
            }
        }
        return;
    case WM_LBUTTONUP:
        if (m_pressed != SpinHalf::None) {
            StopRepeat();
            if (::GetCapture() == ButtonHandle())
                ::ReleaseCapture();
        }
        return;
    default:
        return;
    }
}

void RxSpinEdit::ButtonTimer(UINT_PTR id) {
    if (id != kRepeatTimer)
        return;
    if (m_pressed == SpinHalf::None) {
        ::KillTimer(ButtonHandle(), kRepeatTimer);
        return;
    }
    const SpinHalf half = m_pressed;
    if (m_repeat.Check(::GetTickCount(), m_over))
        Step(half == SpinHalf::Up ? 1 : -1);
    if (m_pressed != SpinHalf::None)
        ArmTimer();
}

void RxSpinEdit::ButtonCaptureLost() {
    StopRepeat();
}

void RxSpinEdit::ArmTimer() {
    const uint32_t wait = std::max<uint32_t>(m_repeat.MsUntilDue(::GetTickCount()), USER_TIMER_MINIMUM);
    ::SetTimer(ButtonHandle(), kRepeatTimer, wait, nullptr);
}

void RxSpinEdit::StopRepeat() {
    if (m_pressed == SpinHalf::None)
        return;
    m_pressed = SpinHalf::None;
    m_over = false;
    m_repeat.Release();
    ::KillTimer(ButtonHandle(), kRepeatTimer);
    RepaintButton();
}

void RxSpinEdit::PaintButton(HDC dc, const RECT& area) {
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    ::FillRect(dc, &area, ::GetSysColorBrush(COLOR_BTNFACE));
    const POINT upperLeft{area.left, area.top};
    const POINT upperRight{area.right - 1, area.top};
    const POINT lowerLeft{area.left, area.bottom - 1};
    const POINT lowerRight{area.right - 1, area.bottom - 1};
    // The pressed half, while the pointer is over it, is drawn dark.
    if (m_pressed == SpinHalf::Up && m_over)
        FillTriangle(dc, upperLeft, upperRight, lowerLeft, ::GetSysColor(COLOR_BTNSHADOW));
    if (m_pressed == SpinHalf::Down && m_over)
        FillTriangle(dc, lowerRight, upperRight, lowerLeft, ::GetSysColor(COLOR_BTNSHADOW));
    RECT frame = area;
    ::DrawEdge(dc, &frame, EDGE_RAISED, BF_RECT);
    {
        GdiObject shadow(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW)));
        GdiObject light(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNHIGHLIGHT)));
        SelectGuard select(dc, shadow.Get());
        ::MoveToEx(dc, lowerLeft.x, lowerLeft.y, nullptr);
        ::LineTo(dc, upperRight.x + 1, upperRight.y - 1);
        ::SelectObject(dc, light.Get());
        ::MoveToEx(dc, lowerLeft.x + 1, lowerLeft.y, nullptr);
        ::LineTo(dc, upperRight.x + 1, upperRight.y);
    }
    const int ux = area.left + w * 3 / 10, uy = area.top + h * 3 / 10;
    const int dx = area.left + w * 7 / 10, dy = area.top + h * 7 / 10;
    const COLORREF text = ::GetSysColor(COLOR_BTNTEXT);
    const COLORREF upColor = m_pressed == SpinHalf::Up && m_over ? ::GetSysColor(COLOR_BTNHIGHLIGHT) : text;
    const COLORREF downColor =
        m_pressed == SpinHalf::Down && m_over ? ::GetSysColor(COLOR_BTNHIGHLIGHT) : text;
    FillTriangle(dc, POINT{ux - 2, uy + 1}, POINT{ux + 2, uy + 1}, POINT{ux, uy - 1}, upColor);
    FillTriangle(dc, POINT{dx - 2, dy - 1}, POINT{dx + 2, dy - 1}, POINT{dx, dy + 1}, downColor);
}

} // namespace vestrand
