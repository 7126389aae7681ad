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
    const PassResult stopped = RunStoppable();
    EXPECT_TRUE(stopped.interrupted);
    EXPECT_EQ(ExitCodeOf(stopped), kExitIncomplete);
    const Lines body = Body();
    ASSERT_FALSE(body.empty());
    EXPECT_EQ(body.back(), "Interrupted " + kStamp);
    EXPECT_EQ(WithPrefix(body, "New    ").size(), body.size() - 1); // the copies made, nothing else
    EXPECT_LT(body.size(), 41u);
    EXPECT_EQ(ReadFile(Mirror(src + "stale.txt")), "no source has this any more");
    EXPECT_EQ(Block().back(), "");
    EXPECT_EQ(schedule.afterStop, 1);
    EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp"));

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
    std::vector<int32_t> seen;
    display.onProgress = [&](int32_t at) {
        seen.push_back(at);
        if (at > 0 && at < 100)
            stop = true; // within the file: its first blocks have moved the gauge
    };
    EXPECT_TRUE(RunStoppable().interrupted);
    EXPECT_EQ(ReadFile(Mirror(src + "big.bin")), "the previous copy");
    EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp"));
    EXPECT_EQ(ReadFile(Mirror(src + "stale.txt")), "stale");
    EXPECT_EQ(Body(), (Lines{"Interrupted " + kStamp})); // no Update, no Delete
    ASSERT_GE(seen.size(), 2u);
    EXPECT_LT(seen.back(), 100); // the gauge stays where the stop found it
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
    EXPECT_EQ(display.stages, (std::vector<PassStage>{PassStage::MirrorIndexed, PassStage::Compared,
                                                      PassStage::FoldersMirrored, PassStage::FilesMirrored,
                                                      PassStage::Deleted}));
}

TEST_F(StopFixture, AFileOverTwoGigabytesThatWouldCrossTheFloorIsNotStarted) {
    ULARGE_INTEGER avail{}, total{}, free{};
    ASSERT_TRUE(::GetDiskFreeSpaceExA(target.c_str(), &avail, &total, &free));
    // A budget of 1 GB above the floor; the file's size does not fit in 32 bits.
    settings.LowDriveSpaceMb = static_cast<int64_t>(free.QuadPart / 1000000) - 1000;
    ASSERT_GT(settings.LowDriveSpaceMb, 5);
    WriteSparse(src + "huge.bin", 2684354560); // 2.5 GiB
    settings.SourceFiles = {src + "huge.bin"};
    const PassResult result = Run();
    EXPECT_TRUE(result.diskFull);
    EXPECT_EQ(Body(), (Lines{"DiskFull " + kStamp}));
    EXPECT_FALSE(IsFile(Mirror(src + "huge.bin")));
    EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp"));
}
