// The gauge's position and the tray's hint during a pass.
#include <gtest/gtest.h>

#include <limits>

#include "engine/pass_progress.h"

using namespace vestrand;

TEST(PassProgress, PositionIsDoneOverPlannedTruncatedAndStaysWithinTheGauge) {
    PassProgress p;
    EXPECT_EQ(p.Percent(), 0); // nothing planned: the gauge waits at 0
    // A 2.5 GiB file and 100 small ones: weights beyond 32 bits count in full.
    const int64_t big = 2684354560;
    p.Plan(big + kEntryWeight);
    for (int i = 0; i < 100; ++i)
        p.Plan(10000000 + kEntryWeight);
    p.Done(big / 2);
    EXPECT_EQ(p.Percent(), static_cast<int>((big / 2) * 100 / p.Total()));
    EXPECT_EQ(p.Percent(), 36); // 1,342,177,280 of 3,697,592,832
    p.Done(p.Total());          // more than planned (a file grew): still 100 at most
    EXPECT_EQ(p.Percent(), 100);
}

TEST(PassProgress, TimeLeftComesAfterFiveSecondsOfCopyingAtThePaceSoFar) {
    PassProgress p;
    p.Plan(1000);
    EXPECT_FALSE(p.SecondsLeft(60).has_value()); // nothing done yet
    p.Done(250);
    EXPECT_FALSE(p.SecondsLeft(4.9).has_value());
    ASSERT_TRUE(p.SecondsLeft(10).has_value());
    EXPECT_DOUBLE_EQ(*p.SecondsLeft(10), 30.0); // a quarter in 10 s: three quarters in 30 s
}

TEST(PassProgress, HintTellsThePercentageAndTheTimeLeftInWords) {
    EXPECT_EQ(ComparingHint(), "Создаю полис: просмотр");
    EXPECT_EQ(WorkingHint(0, std::nullopt), "Создаю полис: 0 %");
    EXPECT_EQ(WorkingHint(42, 59.0), "Создаю полис: 42 %, осталось ~меньше минуты");
    EXPECT_EQ(WorkingHint(42, 60.0), "Создаю полис: 42 %, осталось ~1 мин");
    EXPECT_EQ(WorkingHint(7, 59 * 60.0 + 29), "Создаю полис: 7 %, осталось ~59 мин");
    EXPECT_EQ(WorkingHint(7, 3600.0), "Создаю полис: 7 %, осталось ~1 ч 0 мин");
    EXPECT_EQ(WorkingHint(1, 26 * 3600.0 + 5 * 60), "Создаю полис: 1 %, осталось ~26 ч 5 мин");
    // The longest possible hint still fits the tray's 63 characters.
    for (double left : {1e12, 1e300, std::numeric_limits<double>::infinity()})
        EXPECT_LE(WorkingHint(100, left).size(), kHintLimit) << left;
}
