#include "ui/gauge_win.h"

#include <string>

#include "runtime/dpi_win.h"
#include "runtime/handles_win.h"

namespace vestrand {
namespace {
constexpr UINT kNeverPosted = WM_APP + 0x3FF0;
} // namespace

void PaintGauge(HDC dc, const RECT& bounds, int32_t percent, HFONT font) {
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    if (width <= 0 || height <= 0)
        return;
    // Composed off-screen, so the screen never shows the text before its inversion.
    MemoryDc memory(::CreateCompatibleDC(dc));
    GdiObject bitmap(::CreateCompatibleBitmap(dc, width, height));
    SelectGuard selectBitmap(memory.Get(), bitmap.Get());
    const RECT whole{0, 0, width, height};
    ::FillRect(memory.Get(), &whole, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    const RECT inner{1, 1, width - 1, height - 1};
    ::FillRect(memory.Get(), &inner, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));

    const std::string text = std::to_string(percent) + "%";
    {
        SelectGuard selectFont(memory.Get(),
                               font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
        ::SetBkMode(memory.Get(), TRANSPARENT);
        ::SetTextColor(memory.Get(), RGB(0, 0, 0));
        RECT textArea = inner;
        ::DrawTextA(memory.Get(), text.c_str(), static_cast<int>(text.size()), &textArea,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    // Inverting the bar's area makes it black and the text over it white.
    const int32_t barEnd = GaugeBarEnd(width, percent);
    if (barEnd > 1)
        ::PatBlt(memory.Get(), 1, 1, barEnd - 1, height - 2, DSTINVERT);
    ::BitBlt(dc, bounds.left, bounds.top, width, height, memory.Get(), 0, 0, SRCCOPY);
}

void TGauge::Create(HWND parent, int x, int y, int width, int height) {
    RegisterWindowClass(kClassName, CS_HREDRAW | CS_VREDRAW, nullptr, nullptr);
    const LayoutBox at = ScaleBox({x, y, width, height}, LayoutDpi(parent));
    CreateWindowOf(kClassName, 0, WS_CHILD | WS_VISIBLE, "", at.x, at.y, at.width, at.height, parent,
                   nullptr);
    PlaceControl(Handle(), {x, y, width, height});
}

void TGauge::SetMinValue(int32_t value) {
    if (m_model.SetMinValue(value))
        RepaintNow();
}

void TGauge::SetMaxValue(int32_t value) {
    if (m_model.SetMaxValue(value))
        RepaintNow();
}

void TGauge::SetProgress(int32_t value) {
    if (m_model.SetProgress(value))
        RepaintNow();
}

void TGauge::RepaintNow() {
    if (!Handle())
        return;
    // The pass blocks the message loop, so the gauge draws itself here rather than waiting.
    ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    // Drawing reaches the screen only when the platform flushes the window's surface: Wine does so
    // when the thread looks for messages and finds none (GdiFlush does nothing there, and the end
    // of a paint flushes only long after the loop was last idle). So the thread looks once, for a
    // message that is never posted, among posted messages only: nothing is dispatched or removed.
    MSG msg;
    ::PeekMessageA(&msg, Handle(), kNeverPosted, kNeverPosted, PM_NOREMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE);
}

LRESULT TGauge::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PaintGuard paint(Handle());
        RECT client;
        ::GetClientRect(Handle(), &client);
        PaintGauge(paint.Dc(), client, m_model.Percent(), ProgramFont(LayoutDpi(Handle())));
        ++m_paints;
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client;
        ::GetClientRect(Handle(), &client);
        PaintGauge(reinterpret_cast<HDC>(wParam), client, m_model.Percent(),
                   ProgramFont(LayoutDpi(Handle())));
        return 0;
    }
    default:
        return Window::HandleMessage(msg, wParam, lParam);
    }
}

} // namespace vestrand
