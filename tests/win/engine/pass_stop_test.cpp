// A pass the user stops, the gauge it moves on the way, and the free-space floor with sizes
// beyond 32 bits.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

#include "engine/fileops_win.h"
#include "engine/pass_progress.h"
#include "file_lock.h"
#include "mirror_fixture.h"
#include "tree_snapshot.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

struct StopFixture : MirrorFixture {
    std::atomic<bool> stop{false};
    PassResult RunStoppable() { return RunBackupPass(settings, false, display, schedule, clock, &stop); }
    // A file of `bytes` bytes that takes no room on the disk.
    void WriteSparse(const std::string& path, int64_t bytes) {
        WriteFile(path, "");
        FileLock file(path, GENERIC_WRITE);
        LARGE_INTEGER at{};
        at.QuadPart = bytes;
        ASSERT_TRUE(::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.Get()));
    }
};

} // namespace

TEST_F(StopFixture, AStopAmongSmallFilesKeepsWhatWasDoneDeletesNothingAndTheNextPassGoesOn) {
    for (int i = 0; i < 40; ++i)
        WriteFile(src + "f" + std::to_string(i) + ".txt", "small");
    WriteFile(root + "journal.txt", ""); // a mirror folder of this program
    WriteFile(Mirror(src + "stale.txt"), "no source has this any more");
    settings.SourceDirs = {src};
    int copied = 0;
    display.onProgress = [&](int32_t) {
        if (++copied == 10 && !display.stages.empty() && display.stages.back() == PassStage::Compared)
            stop = true;
    };
    EXPECT_EQ(ExitCodeOf(RunStoppable()), kExitIncomplete);
    // The copies made, then the Interrupted line; the stale entry kept; the next run SaveMin on.
    Lines made = WithPrefix(Body(), "New    ");
    made.push_back("Interrupted " + kStamp);
    EXPECT_EQ(Block(), Framed(made));
    EXPECT_LT(made.size(), 41u);
    EXPECT_EQ(ReadFile(Mirror(src + "stale.txt")), "no source has this any more");
    EXPECT_EQ(schedule.afterStop, 1);

    // The next pass copies the rest and only then deletes.
    display.onProgress = nullptr;
    stop = false;
    EXPECT_FALSE(RunStoppable().interrupted);
    EXPECT_EQ(Contents(SnapshotTree(src)), Contents(SnapshotMirror(Mirror(src))));
    EXPECT_TRUE(HasLine(Body(), Delete(src + "stale.txt")));
    EXPECT_EQ(display.progress.back(), 100);
}

TEST_F(StopFixture, AStopInsideALargeFileAbandonsItsCopyAndLeavesThePreviousOne) {
    std::string big(40 << 20, 'n'); // copied in blocks: the stop takes effect inside it
    WriteFile(src + "big.bin", big);
    WriteFile(root + "journal.txt", "");
    WriteFile(Mirror(src + "big.bin"), "the previous copy");
    WriteFile(Mirror(src + "stale.txt"), "stale");
    settings.SourceDirs = {src};
    display.onProgress = [&](int32_t at) { stop = stop || (at > 0 && at < 100); }; // inside the file
    EXPECT_TRUE(RunStoppable().interrupted);
    EXPECT_EQ(ReadFile(Mirror(src + "big.bin")), "the previous copy");
    EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp"));
    EXPECT_EQ(ReadFile(Mirror(src + "stale.txt")), "stale");
    EXPECT_EQ(Body(), (Lines{"Interrupted " + kStamp})); // no Update, no Delete
    EXPECT_LT(display.progress.back(), 100);             // the gauge stays where the stop found it
}

TEST_F(StopFixture, AStopBeforeTheStartLeavesNoBlockButMovesTheNextRun) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    stop = true;
    EXPECT_TRUE(RunStoppable().interrupted);
    EXPECT_EQ(Journal(), "");
    EXPECT_FALSE(IsFile(Mirror(src + "a.txt")));
    EXPECT_EQ(schedule.afterStop, 1);
}

TEST_F(StopFixture, TheGaugeWeighsEachFileBySizeAndGoesToAHundred) {
    WriteFile(src + "a.bin", std::string(3 * kEntryWeight, 'a')); // weighs 4 entries
    WriteFile(src + "b.bin", "");                                 // weighs 1
    settings.SourceDirs = {src};
    Run();
    // 0 from the start and while comparing, then after the first file 80 % or 20 % (whichever the
    // folder lists first), 100 after the second and at the end.
    ASSERT_EQ(display.progress.size(), 5u) << ::testing::PrintToString(display.progress);
    EXPECT_EQ(display.progress[1], 0);
    EXPECT_TRUE(display.progress[2] == 80 || display.progress[2] == 20) << display.progress[2];
    EXPECT_EQ(display.progress[3], 100);
    EXPECT_EQ(display.gaugeMax, 100);
}

TEST_F(StopFixture, AFileOverTwoGigabytesThatWouldCrossTheFloorIsNotStarted) {
    ULARGE_INTEGER avail{}, total{}, free{};
    ASSERT_TRUE(::GetDiskFreeSpaceExA(target.c_str(), &avail, &total, &free));
    // A budget of 1 GB above the floor; the file's size does not fit in 32 bits.
    settings.LowDriveSpaceMb = static_cast<int64_t>(free.QuadPart / 1000000) - 1000;
    ASSERT_GT(settings.LowDriveSpaceMb, 5);
    WriteSparse(src + "huge.bin", 2684354560); // 2.5 GiB
    settings.SourceFiles = {src + "huge.bin"};
    EXPECT_TRUE(Run().diskFull);
    EXPECT_EQ(Body(), (Lines{"DiskFull " + kStamp}));
    EXPECT_FALSE(IsFile(Mirror(src + "huge.bin")));
    EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp"));
}
