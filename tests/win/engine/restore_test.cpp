// The restore engine on real files: with replacement, stopped part-way, and against a pass at work.
#include <gtest/gtest.h>

#include <atomic>

#include "engine/fileops_win.h"
#include "engine/restore_win.h"
#include "file_lock.h"
#include "mirror_fixture.h"
#include "tree_snapshot.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

struct RestoreEngine : MirrorFixture {
    std::wstring Rel(const std::string& sourcePath) const { return WidenU(MirrorRel(sourcePath)); }
    RestoreRequest Now(const LoadedHistory& loaded, const std::string& sourcePath) const {
        RestoreRequest request;
        request.moment = loaded.history->Now();
        request.rels = {Rel(sourcePath)};
        return request;
    }
};

} // namespace

TEST_F(RestoreEngine, WithReplacementTheUsersFileIsHeldUnderTheRestoresStampAndIsNoPartOfTheHistory) {
    settings.KeepVersionsDays = 30;
    RunWithFiles({{"a.txt", "alpha"}});
    WriteFile(src + "a.txt", "mine");
    LoadedHistory loaded = LoadHistory(settings);
    ASSERT_TRUE(loaded.history) << loaded.error;
    RestoreRequest request = Now(loaded, src + "a.txt");
    request.replace = true;
    const RestoreSummary done = RunRestore(settings, loaded, request, FixedNow() + kMinute);
    EXPECT_EQ(done.outcome, RestoreOutcome::Done);
    EXPECT_EQ(done.restored, 1);
    EXPECT_EQ(done.replaced, 1);
    EXPECT_EQ(ReadFile(src + "a.txt"), "alpha");
    const std::string held = root + "~versions\\2026-12-06 182113\\";
    EXPECT_EQ(ReadFile(held + MirrorRel(src) + "a.txt"), "mine");
    EXPECT_TRUE(IsFile(held + kRestoreMarkName));
    const LoadedHistory again = LoadHistory(settings);
    ASSERT_TRUE(again.history);
    EXPECT_EQ(again.history->StepCount(), 1u); // the one pass; the restore's folder is no step
}

TEST_F(RestoreEngine, AStopEndsItAtTheNextBlockAndLeavesNoTemporaryFileAndAPassAtWorkKeepsItOut) {
    RunWithFiles({{"big.bin", std::string(3 << 20, 'b')}});
    WriteFile(src + "big.bin", "mine");
    LoadedHistory loaded = LoadHistory(settings);
    ASSERT_TRUE(loaded.history) << loaded.error;
    std::atomic<bool> stop{false};
    std::vector<std::pair<int64_t, int64_t>> progress;
    RestoreRequest request = Now(loaded, src + "big.bin");
    request.stop = &stop;
    request.onProgress = [&](int64_t done, int64_t total) {
        progress.emplace_back(done, total);
        stop = true;
    };
    const RestoreSummary stopped = RunRestore(settings, loaded, request, FixedNow() + kMinute);
    EXPECT_EQ(stopped.outcome, RestoreOutcome::Stopped);
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0], std::make_pair(int64_t(1 << 20), int64_t(3 << 20)));
    EXPECT_EQ(NamesIn(src), std::vector<std::string>{"big.bin"});
    EXPECT_EQ(ReadFile(src + "big.bin"), "mine");

    FileLock pass(root + kPassLockName);
    ASSERT_TRUE(pass.Held());
    request.stop = nullptr;
    request.onProgress = nullptr;
    EXPECT_EQ(RunRestore(settings, loaded, request, FixedNow() + kMinute).outcome, RestoreOutcome::Busy);
    pass.Release();
    const RestoreSummary beside = RunRestore(settings, loaded, request, FixedNow() + kMinute);
    EXPECT_EQ(beside.outcome, RestoreOutcome::Done);
    ASSERT_EQ(beside.beside.size(), 1u);
    EXPECT_EQ(ReadFile(src + "big (восстановлено 2026-12-06 182113).bin"), std::string(3 << 20, 'b'));
}
