#include "engine/pass_guard.h"

#include <gtest/gtest.h>

using namespace vestrand;

TEST(PassGuard, TripsAtAHundredFilesAndThePercentOfTheBackup) {
    struct Case {
        PlanDamage damage;
        int32_t percent;
        bool trips;
    };
    const Case cases[] = {
        {{0, 99, 99}, 30, false},   {{0, 100, 100}, 30, true},
        {{50, 50, 100}, 30, true},  {{0, 299, 1000}, 30, false},
        {{0, 300, 1000}, 30, true}, {{0, 1000, 1000}, 0, false},
        {{0, 100, 100}, 100, true}, {{0, 100, 101}, 100, false},
        {{0, 100, 0}, 30, true},    {{0, 5000000000, 9000000000}, 30, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GuardTrips(c.damage, c.percent), c.trips)
            << c.damage.overwritten << "+" << c.damage.deleted << " of " << c.damage.mirrored << " at "
            << c.percent;
}

TEST(PassGuard, TextsSayTheCountsAndTheHintStaysWithin63Characters) {
    EXPECT_EQ(PausedBalloonText({1500, 500, 2000}),
              "Копия приостановлена: заменить 1500 и удалить 500 файлов из 2000 (100 %). Если это ваши "
              "изменения, выберите «Разрешить изменения».");
    EXPECT_EQ(PausedBalloonText({0, 120, 400}).substr(0, 55),
              "Копия приостановлена: удалить 120 файлов из 400 (30 %).");
    // Files an exclusion taken out of the list had kept are among them: the cause is named.
    EXPECT_EQ(PausedBalloonText({0, 120, 400, 1}).substr(0, 82),
              "Копия приостановлена: удалить 120 файлов из 400 (30 %) после изменения исключений.");
    EXPECT_EQ(PausedHint({1500, 500, 2000}), "Копия приостановлена: 2000 из 2000 файлов (100 %)");
    EXPECT_LE(PausedHint({4000000000000000000, 4000000000000000000, 9000000000000000000}).size(), 63u);
}

TEST(PassGuard, CountsAreToldAgainOnlyWhenTheyMoveByMoreThanATenth) {
    EXPECT_FALSE(DamageChangedMuch({100, 100, 1000}, {110, 91, 1100}));
    EXPECT_TRUE(DamageChangedMuch({100, 100, 1000}, {112, 100, 1000}));
    EXPECT_TRUE(DamageChangedMuch({0, 100, 1000}, {1, 100, 1000}));
}

TEST(PassGuard, CountsTheFilesComparedAndWhatIsLeftForDeletion) {
    const TFileParam file{1000, 10, 0x20}, folder{0, 0, 0x10};
    DamageCount count;
    // kept, attributes alone, content changed, a file a folder replaces, a folder
    EXPECT_FALSE(count.Compared(file, file, Act::Keep));
    EXPECT_FALSE(count.Compared(file, {1000, 10, 0x21}, Act::Update));
    EXPECT_TRUE(count.Compared(file, {1002, 10, 0x20}, Act::Update));
    EXPECT_FALSE(count.Compared(file, folder, Act::Replace));
    EXPECT_FALSE(count.Compared(folder, folder, Act::Keep));
    count.Unexcluded();
    struct Case {
        int64_t left, unexcludedLeft;
        PlanDamage damage; // overwritten, deleted, mirrored, unexcluded
    };
    // The replaced file is still among those left: it counts as overwritten, not deleted.
    const Case cases[] = {
        {0, 0, {1, 0, 3, 1}}, {1, 0, {2, 0, 4, 1}}, {5, 2, {2, 4, 8, 3}}, {-3, 0, {1, 0, 3, 1}}};
    for (const Case& c : cases)
        EXPECT_EQ(count.WithLeft(c.left, c.unexcludedLeft), c.damage) << c.left;
}
