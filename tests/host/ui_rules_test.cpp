// The gauge's numbers and bar geometry, and the tray's hint and default-item rules.
#include <gtest/gtest.h>

#include <array>

#include "ui/gauge_model.h"
#include "ui/tray_rules.h"

using namespace vestrand;

TEST(GaugeModel, PercentOfTheRange) {
    GaugeModel g;
    EXPECT_EQ(g.Percent(), 0);
    EXPECT_TRUE(g.SetProgress(50));
    EXPECT_EQ(g.Percent(), 50);
    g.SetMaxValue(3); // the pass: maximum 3 first, brings 50 down to 3
    EXPECT_EQ(g.Progress(), 3);
    g.SetMinValue(0);
    EXPECT_EQ(g.Percent(), 100);
    EXPECT_TRUE(g.SetProgress(1));
    EXPECT_EQ(g.Percent(), 33);
    EXPECT_TRUE(g.SetProgress(2));
    EXPECT_EQ(g.Percent(), 66);
    EXPECT_TRUE(g.SetProgress(3));
    EXPECT_FALSE(g.SetProgress(4)); // clamped to 3: unchanged, no repaint
    EXPECT_EQ(g.Progress(), 3);
    EXPECT_EQ(g.Percent(), 100);
}

TEST(GaugeModel, RepaintsOnlyWhenThePercentChanges) {
    GaugeModel g;
    g.SetMaxValue(1000);
    EXPECT_FALSE(g.SetProgress(5)); // 0.5 % still shows 0
    EXPECT_EQ(g.Progress(), 5);
    EXPECT_TRUE(g.SetProgress(10));
    EXPECT_FALSE(g.SetProgress(10));
    g.SetProgress(-5);
    EXPECT_EQ(g.Progress(), 0);
    g.SetMinValue(20); // raises the position with it
    EXPECT_EQ(g.Progress(), 20);
    g.SetMinValue(1000);
    EXPECT_EQ(g.Percent(), 0); // empty range
    g.SetMaxValue(INT32_MAX);
    g.SetMinValue(INT32_MIN);
    EXPECT_TRUE(g.SetProgress(INT32_MAX));
    EXPECT_EQ(g.Percent(), 100);
}

TEST(GaugeGeometry, BarEndsInTheInnerArea) {
    // {outer width, percent, the bar's last column + 1}: inner width 279, never past its right edge.
    for (const auto& [outer, percent, end] : std::vector<std::array<int32_t, 3>>{
             {281, 0, 0}, {281, 33, 92}, {281, 66, 184}, {281, 100, 280}, {281, 150, 280}, {2, 100, 0}})
        EXPECT_EQ(GaugeBarEnd(outer, percent), end) << outer << " " << percent;
}

TEST(TrayRules, HintIsCutAtTheBarAndAt63) {
    EXPECT_EQ(TrayTipText("Следующий полис: 08.12.26 10:30:00"), "Следующий полис: 08.12.26 10:30:00");
    EXPECT_EQ(TrayTipText(std::string(70, 'a')), std::string(63, 'a'));
    EXPECT_EQ(TrayTipText("first|second"), "first");
    EXPECT_EQ(TrayTipText("|x"), "");
    EXPECT_EQ(TrayTipText(""), "");
}

TEST(TrayRules, OneDefaultItemAndTheDoubleClickChoice) {
    std::vector<MenuItemState> items{{1, "a", false, true}, {2, "b", false, false}, {3, "c", false, true}};
    EXPECT_EQ(DoubleClickItem(items), 0);
    MakeDefaultItem(items, 2);
    EXPECT_EQ(DoubleClickItem(items), 0); // default but disabled
    MakeDefaultItem(items, 1);
    EXPECT_FALSE(items[1].isDefault);
    EXPECT_EQ(DoubleClickItem(items), 1);
}
