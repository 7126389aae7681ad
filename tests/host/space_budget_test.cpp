// The room above the free-space floor: what an entry is charged, when the drive is measured again.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <tuple>
#include <vector>

#include "engine/space_budget.h"

using namespace vestrand;

namespace {

using Rows = std::vector<std::array<int64_t, 4>>;

// A drive whose free space the test sets, holding versions of 4,000 bytes each.
struct Drive {
    int64_t free, versions = 0, measured = 0, exact = 0;
    SpaceBudget Budget(int64_t floor, int64_t cluster = 4096) {
        return SpaceBudget(
            floor, cluster, [this](bool e) { return ++measured, exact += e, free; },
            [this] { return versions > 0 && (--versions, free += 4000, true); });
    }
};

} // namespace

TEST(SpaceBudget, FileIsChargedItsClustersAndARecordAFolderOneClusterAndARecord) {
    // cluster (0: not known, taken as 4 KiB), file size, the file's cost, a folder's cost
    for (auto [cluster, size, file, folder] : Rows{{4096, 0, 4096, 8192},
                                                   {4096, 1, 8192, 8192},
                                                   {4096, 4097, 12288, 8192},
                                                   {512, 1000, 5120, 4608},
                                                   {0, 1000, 8192, 8192},
                                                   {65536, 3LL << 30, (3LL << 30) + 4096, 69632}}) {
        Drive d{0};
        EXPECT_EQ(d.Budget(0, cluster).FileCost(size), file) << cluster << ", " << size;
        EXPECT_EQ(d.Budget(0, cluster).FolderCost(), folder) << cluster;
    }
}

TEST(SpaceBudget, DriveIsMeasuredAgainAfter1000EntriesOr64MiBOrNearTheFloor) {
    // room above the floor, cost of each entry, entries made, measurements (under 500,000 left: each
    // time), of them exact (the first, and those near the floor: the copies under way waited for)
    for (auto [above, cost, entries, measured, exact] :
         std::vector<std::array<int64_t, 5>>{{1LL << 40, 8192, 1000, 1, 1},
                                             {1LL << 40, 8192, 1001, 2, 1},
                                             {1LL << 40, 16 << 20, 4, 1, 1},
                                             {1LL << 40, 16 << 20, 5, 2, 1},
                                             {1000000, 100000, 5, 1, 1},
                                             {1000000, 100000, 6, 2, 2},
                                             {1000000, 100000, 7, 3, 3}}) {
        Drive d{40000000 + above};
        SpaceBudget b = d.Budget(40000000);
        for (int64_t i = 0; i < entries; ++i, d.free -= cost) {
            ASSERT_TRUE(b.RoomFor(cost));
            b.Charge(cost);
        }
        EXPECT_EQ(d.measured, measured) << cost << " x " << entries;
        EXPECT_EQ(b.Measurements(), measured) << cost << " x " << entries; // what the benchmark reports
        EXPECT_EQ(d.exact, exact) << cost << " x " << entries;
    }
}

TEST(SpaceBudget, RoomIsRefusedWhereAFileWouldCrossTheFloorOnceHeldVersionsAreGone) {
    // free space (floor 1,000,000), held versions, versions left, room for a file of 1,000 bytes
    for (auto [free, versions, left, room] : Rows{{1008192, 0, 0, true},
                                                  {1008191, 0, 0, false}, // 8,192 counted
                                                  {1004192, 3, 2, true},
                                                  {1000000, 1, 0, false},
                                                  {-1, 3, 3, false}}) { // none go for a drive not read
        Drive d{free, versions};
        SpaceBudget b = d.Budget(1000000);
        EXPECT_EQ(b.RoomFor(b.FileCost(1000)), room != 0) << free;
        EXPECT_EQ(d.versions, left) << free;
    }
}

TEST(VersionsReserve, IsATenthOfTheDriveOrTheFloorAndTakesTheOldestFolderAWeekOldNeverTheCurrentOne) {
    // floor, drive size (0 or less: not known), reserve
    for (auto [floor, drive, reserve, unused] : Rows{{10000000, 500000000000, 50000000000, 0},
                                                     {10000000, 50000000, 10000000, 0},
                                                     {0, 8388608, 838860, 0},
                                                     {5000000, -1, 5000000, 0},
                                                     {5000000, 0, 5000000, 0}})
        EXPECT_EQ(VersionsReserve(floor, drive), reserve) << floor << ", " << drive;
    const DateTime now = EncodeDateTime(CivilTime{2026, 12, 20, 12, 0, 0, 0});
    const auto old = [&](double days, bool current = false) { return StampedFolder{now - days, current}; };
    // stamped folders oldest first, free space (reserve 1,000), the one to remove
    const std::tuple<std::vector<StampedFolder>, int64_t, std::optional<size_t>> cases[] = {
        {{old(40), old(9), old(1)}, 999, 0},       {{old(40), old(9), old(1)}, 1000, std::nullopt},
        {{old(40), old(9)}, -1, std::nullopt},     {{old(7), old(1)}, 0, 0}, // a week to the second
        {{old(7 - kSecond)}, 0, std::nullopt},     {{old(40, true), old(9)}, 0, 1},
        {{old(6), old(2, true)}, 0, std::nullopt}, {{old(-3)}, 0, std::nullopt}, // ahead of the clock
    };
    for (const auto& [folders, free, victim] : cases)
        EXPECT_EQ(ReserveVictim(folders, now, free, 1000), victim) << folders.size() << " folders, " << free;
}
