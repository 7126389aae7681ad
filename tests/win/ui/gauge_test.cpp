// The gauge drawn into a memory bitmap: frame, bar width and the inverted percentage.
#include <gtest/gtest.h>

#include "runtime/handles_win.h"
#include "runtime/window_win.h"
#include "ui/gauge_win.h"
#include "ui_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

Pixels Render(int percent) {
    const int width = 281, height = 25;
    WindowDc screen(nullptr);
    MemoryDc dc(::CreateCompatibleDC(screen.Get()));
    GdiObject bitmap(::CreateCompatibleBitmap(screen.Get(), width, height));
    SelectGuard select(dc.Get(), bitmap.Get());
    const RECT bounds{0, 0, width, height};
    PaintGauge(dc.Get(), bounds, percent, ProgramFont());
    Pixels r{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            r.data.push_back(::GetPixel(dc.Get(), x, y));
    return r;
}

} // namespace

TEST(GaugePainting, BarWidthsInThe279PixelInnerArea) {
    // Row 2 lies above the text, so only the bar is black there.
    for (const auto& [percent, bar] :
         std::vector<std::pair<int, int>>{{0, 0}, {33, 91}, {66, 183}, {100, 279}})
        EXPECT_EQ(BlackRun(Render(percent), 2), bar) << percent;
    const Pixels r = Render(33);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{0, 12}, {280, 12}, {140, 0}, {140, 24}})
        EXPECT_EQ(r.At(x, y), RGB(0, 0, 0)) << x << "," << y; // the frame
    EXPECT_EQ(r.At(92, 2), RGB(255, 255, 255));               // first column after the bar
    for (int y = 1; y < 24; ++y)                              // the bar covers the full inner height
        EXPECT_EQ(r.At(50, y), RGB(0, 0, 0)) << y;
}

TEST(GaugePainting, PercentTextIsInvertedAgainstTheBar) {
    // The text sits in the middle: over the white part it is black, over the bar white.
    auto textPixels = [](const Pixels& r, bool overBar) {
        int n = 0;
        for (int y = 3; y < r.height - 3; ++y)
            for (int x = 120; x < 160; ++x)
                n += overBar ? r.At(x, y) == RGB(255, 255, 255) : r.At(x, y) == RGB(0, 0, 0);
        return n;
    };
    const Pixels empty = Render(0);  // "0%" in black on white
    const Pixels full = Render(100); // "100%" in white on black
    EXPECT_GT(textPixels(empty, false), 5);
    EXPECT_GT(textPixels(full, true), 5);
    // Black, white and (where the font is smoothed) greys between them: nothing else.
    for (COLORREF c : full.data)
        ASSERT_TRUE(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c)) << std::hex << c;
}

TEST(GaugeControl, RepaintsOnlyWhenThePercentChanges) {
    PumpMessages(1);
    HWND parent = ::CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 300, 60, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
    {
        TGauge gauge;
        gauge.Create(parent, 8, 24, 281, 25);
        PumpMessages();
        gauge.SetMaxValue(1000);
        const int afterRange = gauge.PaintCount();
        gauge.SetProgress(5); // 0 %
        EXPECT_EQ(gauge.PaintCount(), afterRange);
        gauge.SetProgress(20); // 2 %
        EXPECT_EQ(gauge.PaintCount(), afterRange + 1);
        gauge.SetProgress(20);
        gauge.SetProgress(2000); // clamped to 1000: 100 %
        EXPECT_EQ(gauge.Progress(), 1000);
        EXPECT_EQ(gauge.PaintCount(), afterRange + 2);
        gauge.SetMinValue(0); // a bound always repaints
        EXPECT_EQ(gauge.PaintCount(), afterRange + 3);
    }
    ::DestroyWindow(parent);
}
