// Counting platform calls through the import table, and counting the heap.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "call_counter_win.h"
#include "engine/backup_pass_win.h"
#include "fakes.h"
#include "heap_counter.h"
#include "runtime/platform_win.h"
#include "test_drives.h"
#include "tree_win.h"

using namespace vestrand;
using namespace vestrand::bench;
using namespace vestrand::test;

TEST(BenchCallCounter, CountsTheCallsMadeThroughTheImportTable) {
    const int patched = InstallCallCounter(false);
    EXPECT_GT(patched, 5);
    EXPECT_EQ(InstallCallCounter(false), patched); // installed once
    const std::string dir = FreshFolder('T', "bench_calls");
    WriteFile(dir + "a.txt", std::string(100000, 'x'));
    ResetCallCounts();
    for (int i = 0; i < 3; ++i)
        GetFileAttributesA((dir + "a.txt").c_str());
    CopyFileA((dir + "a.txt").c_str(), (dir + "b.txt").c_str(), FALSE);
    EXPECT_EQ(CallCount("GetFileAttributesA"), 3);
    EXPECT_EQ(CallCount("CopyFileA"), 1);
    EXPECT_EQ(CallCount("DeleteFileA"), 0);
    // The wrappers pass results through: the copy exists and has the size of the original.
    EXPECT_EQ(ReadFile(dir + "b.txt").size(), 100000u);
    EXPECT_EQ(GetFileAttributesA((dir + "missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    InstallCallCounter(true);
    ResetCallCounts();
    CopyFileA((dir + "a.txt").c_str(), (dir + "c.txt").c_str(), FALSE);
    const auto counts = CallCounts();
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(counts[0].Name, "CopyFileA");
    EXPECT_EQ(counts[0].Calls, 1);
    EXPECT_GT(counts[0].Seconds, 0);
    InstallCallCounter(false);
    RemoveTree(dir);
}

TEST(BenchCallCounter, SeesTheBackupPassCopyEveryFileOfAFirstPass) {
    InstallCallCounter(false);
    const std::string src = FreshFolder('S', "bench_calls_pass") + "src\\";
    const std::string target = FreshFolder('T', "bench_calls_pass");
    const TreeStats tree = GenerateTree(src, 300, 4);
    const BackupSettings s = BenchSettings(src, target);
    SystemClock clock;
    FakeSchedule schedule;
    NullDisplay display;
    ResetCallCounts();
    RunBackupPass(s, true, display, schedule, clock);
    // The engine copies through the wide entry points.
    EXPECT_EQ(CallCount("CopyFileW"), tree.Files);
    EXPECT_EQ(CallCount("CopyFileA"), 0);
    // The generated files are stamped long before the pass, so every copy goes straight to its
    // mirror name: the renames are the owner mark's, written once into a new mirror, and the
    // journal's save, through the code page's entry point.
    EXPECT_EQ(CallCount("MoveFileExW"), 1);
    EXPECT_EQ(CallCount("MoveFileExA"), 1);
    // Every folder of the source and of the mirror is searched at least once.
    EXPECT_GE(CallCount("FindFirstFileExW"), tree.Folders + 2);
    // The free-space query, looked up at run time, is seen too.
    EXPECT_GE(CallCount("GetDiskFreeSpaceExW"), 1);
    RemoveTree(src);
    RemoveTree(target);
}

TEST(BenchHeapCounter, FollowsWhatIsAllocatedAndFreed) {
    const int64_t before = HeapLiveBytes();
    const int64_t blocks = HeapBlocks();
    auto block = std::make_unique<char[]>(100000);
    EXPECT_EQ(HeapLiveBytes() - before, 100000);
    EXPECT_EQ(HeapBlocks() - blocks, 1);
    ResetHeapPeak();
    {
        std::vector<int> v(50000);
        EXPECT_EQ(HeapLiveBytes() - before, 100000 + 200000);
    }
    EXPECT_EQ(HeapPeakBytes() - before, 300000);
    block.reset();
    EXPECT_EQ(HeapLiveBytes(), before);
    EXPECT_EQ(HeapBlocks(), blocks);
}
