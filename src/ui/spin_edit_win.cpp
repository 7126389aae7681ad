#include "ui/spin_edit_win.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdint>

#include "runtime/handles_win.h"

namespace vestrand {

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

void RxSpinEdit::Create(HWND parent, int id, int x, int y, int width, int height) {
    CreateField(parent, id, x, y, width, height, 0, kButtonWidth);
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
    case WM_CHAR:
        // A UTF-16 unit: whatever is not ASCII is refused like any other letter.
        if (wParam > 0x7F || !IsSpinCharAccepted(static_cast<unsigned char>(wParam))) {
            ::MessageBeep(0);
            return 0;
        }
        break;
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
