// The rule that takes the 96-dpi layout to a screen's scale.
#include <gtest/gtest.h>

#include "runtime/dpi_scale.h"

using namespace vestrand;

TEST(DpiScale, ValuesRoundHalfAwayFromZero) {
    const int cases[][3] = {{302, 96, 302}, {0, 144, 0},   {1, 144, 2},         {3, 144, 5}, {-1, 144, -2},
                            {-3, 144, -5},  {11, 144, 17}, {2, 120, 3},         {5, 120, 6}, {-2, 120, -3},
                            {7, 168, 12},   {17, 192, 34}, {13, 72, 10},        {1, 48, 1},  {-1, 48, -1},
                            {11, 0, 11},    {11, -5, 11},  {30000, 480, 150000}};
    for (const auto& c : cases)
        EXPECT_EQ(ScaleToDpi(c[0], c[1]), c[2]) << c[0] << " at " << c[1];
}

TEST(DpiScale, BoxesThatTouchAt96DpiTouchAtEveryScale) {
    for (int dpi : {96, 110, 120, 125, 144, 168, 192, 288}) {
        const LayoutBox l = ScaleBox({0, 0, 3, 3}, dpi), r = ScaleBox({3, 0, 3, 3}, dpi);
        const LayoutBox u = ScaleBox({8, 40, 281, 25}, dpi), d = ScaleBox({8, 65, 281, 7}, dpi);
        EXPECT_TRUE(l.x + l.width == r.x && u.y + u.height == d.y && u.width == d.width) << dpi;
    }
    EXPECT_EQ(ScaleBox({176, 72, 105, 25}, 144), (LayoutBox{264, 108, 158, 38})); // bottom 145.5 -> 146
    EXPECT_EQ(ScaleBox({3, 3, 3, 3}, 144), (LayoutBox{5, 5, 4, 4})); // 4.5 -> 5, 9: the width gives
    EXPECT_EQ(ScaleBox({-3, 0, 3, 1}, 144), (LayoutBox{-5, 0, 5, 2}));
}
