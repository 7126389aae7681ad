#include "runtime/dpi_win.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "runtime/handles_win.h"
#include "runtime/window_win.h"

namespace vestrand {
namespace {

// The window properties that keep a control's 96-dpi box (two 16-bit halves each, plus one, so
// that a kept box is never the empty property) and a top-level window's layout dpi.
constexpr const char* kPositionProp = "Vestrand.Box96.Position";
constexpr const char* kSizeProp = "Vestrand.Box96.Size";
constexpr const char* kDpiProp = "Vestrand.LayoutDpi";

HANDLE PackPair(int a, int b) {
    const uint32_t packed =
        (static_cast<uint32_t>(static_cast<uint16_t>(a)) << 16) | static_cast<uint16_t>(b);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(packed) + 1);
}

bool UnpackPair(HANDLE value, int& a, int& b) {
    if (!value)
        return false;
    const uint32_t packed = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value) - 1);
    a = static_cast<int16_t>(packed >> 16);
    b = static_cast<int16_t>(packed & 0xFFFF);
    return true;
}

template <typename Fn> Fn User32Function(const char* name) {
    const HMODULE user32 = ::GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

int TextWidth(HDC dc, HFONT font, const std::string& text) {
    SelectGuard select(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

// The width of a label at `dpi`. The program's font has bitmap sizes that are not in proportion
// to each other (its text at 120 or 144 dpi is a few pixels wider than 1.25 or 1.5 times the text at
// 96): a label is widened to the right to its text, so that it is never cut. One that ends its text
// in an ellipsis where it does not fit keeps its scaled width.
int LabelWidth(HWND hwnd, int width, int dpi) {
    char cls[16] = {};
    if (dpi == kBaseDpi || !::GetClassNameA(hwnd, cls, sizeof cls) || ::lstrcmpiA(cls, "Static") != 0)
        return width;
    const int length = ::GetWindowTextLengthA(hwnd);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(static_cast<size_t>(std::max(::GetWindowTextA(hwnd, text.data(), length + 1), 0)));
    WindowDc dc(hwnd);
    if (!dc.Get())
        return width;
    if ((::GetWindowLongPtrA(hwnd, GWL_STYLE) & SS_ELLIPSISMASK) != 0)
        return width;
    return std::max(width, TextWidth(dc.Get(), ProgramFont(dpi), text));
}

void Move(HWND hwnd, const LayoutBox& box, int dpi) {
    const LayoutBox at = ScaleBox(box, dpi);
    ::SetWindowPos(hwnd, nullptr, at.x, at.y, LabelWidth(hwnd, at.width, dpi), at.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

int SystemDpi() {
    WindowDc screen(nullptr);
    const int dpi = screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : kBaseDpi;
}

int WindowDpi(HWND hwnd) {
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && hwnd)
        if (const UINT dpi = getDpiForWindow(hwnd))
            return static_cast<int>(dpi);
    return SystemDpi();
}

int LayoutDpi(HWND hwnd) {
    const HWND root = hwnd ? ::GetAncestor(hwnd, GA_ROOT) : nullptr;
    if (root)
        if (const HANDLE kept = ::GetPropA(root, kDpiProp))
            return static_cast<int>(reinterpret_cast<uintptr_t>(kept));
    return WindowDpi(root ? root : hwnd);
}

void SetLayoutDpi(HWND topLevel, int dpi) {
    if (topLevel && dpi > 0)
        ::SetPropA(topLevel, kDpiProp, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(dpi)));
}

int MetricForDpi(int index, int dpi) {
    static const auto forDpi = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (forDpi)
        return forDpi(index, static_cast<UINT>(dpi));
    return ::MulDiv(::GetSystemMetrics(index), dpi, SystemDpi());
}

SIZE FrameForClient(int width, int height, DWORD style, DWORD exStyle, int dpi) {
    static const auto forDpi = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT frame{0, 0, width, height};
    if (!forDpi || !forDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

int SizeForItsDpi(HWND hwnd, int width, int height, DWORD style, DWORD exStyle) {
    const int dpi = WindowDpi(hwnd);
    SetLayoutDpi(hwnd, dpi);
    const SIZE size = FrameForClient(ScaleToDpi(width, dpi), ScaleToDpi(height, dpi), style, exStyle, dpi);
    ::SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return dpi;
}

void PlaceControl(HWND hwnd, const LayoutBox& box) {
    if (!hwnd)
        return;
    ::SetPropA(hwnd, kPositionProp, PackPair(box.x, box.y));
    ::SetPropA(hwnd, kSizeProp, PackPair(box.width, box.height));
    Move(hwnd, box, LayoutDpi(hwnd));
}

bool PlacedBox(HWND hwnd, LayoutBox& box) {
    return UnpackPair(::GetPropA(hwnd, kPositionProp), box.x, box.y) &&
           UnpackPair(::GetPropA(hwnd, kSizeProp), box.width, box.height);
}

void RescaleChildren(HWND topLevel, int dpi) {
    SetLayoutDpi(topLevel, dpi);
    struct Scale {
        int dpi;
        HFONT font;
    } scale{dpi, ProgramFont(dpi)};
    ::EnumChildWindows(
        topLevel,
        [](HWND hwnd, LPARAM data) -> BOOL {
            const auto& s = *reinterpret_cast<const Scale*>(data);
            LayoutBox box;
            if (PlacedBox(hwnd, box)) {
                if (::SendMessageA(hwnd, WM_GETFONT, 0, 0))
                    ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(s.font), FALSE);
                Move(hwnd, box, s.dpi);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&scale));
}

void MoveToSuggestedRect(HWND hwnd, LPARAM suggested) {
    const auto* rc = reinterpret_cast<const RECT*>(suggested);
    if (rc)
        ::SetWindowPos(hwnd, nullptr, rc->left, rc->top, rc->right - rc->left, rc->bottom - rc->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace vestrand
