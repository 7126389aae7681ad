// The rule that takes the 96-dpi layout to a screen's scale.
#include <gtest/gtest.h>

#include "runtime/dpi_scale.h"

using namespace vestrand;

TEST(DpiScale, ValuesRoundHalfAwayFromZero) {
    const struct {
        int value, dpi, expected;
    } cases[] = {
        {302, 96, 302}, {13, 96, 13},  {0, 144, 0},     {1, 144, 2},     {3, 144, 5},          {-1, 144, -2},
        {-3, 144, -5},  {11, 144, 17}, {281, 144, 422}, {2, 120, 3},     {5, 120, 6},          {6, 120, 8},
        {-2, 120, -3},  {13, 120, 16}, {7, 168, 12},    {302, 192, 604}, {17, 192, 34},        {13, 72, 10},
        {1, 48, 1},     {-1, 48, -1},  {11, 0, 11},     {11, -5, 11},    {30000, 480, 150000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScaleToDpi(c.value, c.dpi), c.expected) << c.value << " at " << c.dpi;
}

TEST(DpiScale, BoxesKeepTheirEdgesSharedAtEveryScale) {
    // Two boxes side by side and two one above the other, touching at 96 dpi.
    const LayoutBox left{0, 0, 3, 3}, right{3, 0, 3, 3}, upper{8, 40, 281, 25}, lower{8, 65, 281, 7};
    for (int dpi : {96, 110, 120, 125, 144, 168, 192, 240, 288}) {
        const LayoutBox l = ScaleBox(left, dpi), r = ScaleBox(right, dpi);
        EXPECT_EQ(l.x + l.width, r.x) << dpi;
        const LayoutBox u = ScaleBox(upper, dpi), d = ScaleBox(lower, dpi);
        EXPECT_EQ(u.y + u.height, d.y) << dpi;
        EXPECT_EQ(u.x, d.x) << dpi;
        EXPECT_EQ(u.width, d.width) << dpi;
    }
    const struct {
        LayoutBox box;
        int dpi;
        LayoutBox expected;
    } cases[] = {
        {{176, 72, 105, 25}, 96, {176, 72, 105, 25}},
        {{176, 72, 105, 25}, 144, {264, 108, 158, 38}}, // edges 264..422 and 108..146 (145.5)
        {{3, 3, 3, 3}, 144, {5, 5, 4, 4}},              // 4.5 -> 5 and 9: the width gives way
        {{8, 40, 281, 25}, 120, {10, 50, 351, 31}},
        {{-3, 0, 3, 1}, 144, {-5, 0, 5, 2}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScaleBox(c.box, c.dpi), c.expected) << c.dpi;
}
