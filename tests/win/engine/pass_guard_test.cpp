// The guard between comparing and the first change: a pass that would overwrite or delete a large
// part of the backup changes nothing, writes "Paused" and waits until the user confirms it.
#include <gtest/gtest.h>
#include <windows.h>

#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "mirror_fixture.h"
#include "tree_snapshot.h"
#include "ui/pass_notices_win.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

struct GuardFixture : MirrorFixture {
    std::string File(int i) const { return src + "docs\\d" + std::to_string(i) + ".txt"; }
    // A backed-up folder of `count` files, with held versions on and an old stamped folder that a
    // pass allowed to act prunes.
    void BackedUp(int count) {
        clock.now = FixedNow();
        RemoveTree(src);
        RemoveTree(root);
        for (int i = 0; i < count; ++i)
            WriteFile(File(i), "original " + std::to_string(i));
        settings.SourceDirs = {src};
        settings.KeepVersionsDays = 7;
        Run();
        WriteFile(root + "~versions\\2020-01-01 000000\\old.txt", "long held");
        clock.now = FixedNow() + 1.0;
    }
    // What damage leaves: `deleted` files gone and `overwritten` rewritten, from the first file on.
    void Damage(int deleted, int overwritten) {
        for (int i = 0; i < deleted; ++i)
            ::DeleteFileA(File(i).c_str());
        for (int i = deleted; i < deleted + overwritten; ++i)
            WriteFile(File(i), "encrypted, and longer than it was");
    }
};

} // namespace

TEST_F(GuardFixture, APlanThatDestroysAHundredFilesAndGuardPercentOfTheBackupPausesAndChangesNothing) {
    struct Case {
        int files, deleted, overwritten;
        bool paused;
    };
    const Case cases[] = {
        {150, 99, 0, false},  // 99 files: fewer than a hundred, however large the share
        {150, 100, 0, true},  // a hundred
        {400, 60, 59, false}, // 119 of 400: 29.75 %
        {400, 60, 60, true},  // 120 of 400: 30 %
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.files) + " files, " + std::to_string(c.deleted) + " deleted, " +
                     std::to_string(c.overwritten) + " overwritten");
        BackedUp(c.files);
        Damage(c.deleted, c.overwritten);
        const TreeSnapshot before = SnapshotTree(root);
        const PassResult result = Run();
        EXPECT_EQ(result.damage, (PlanDamage{c.overwritten, c.deleted, c.files}));
        EXPECT_EQ(result.paused, c.paused);
        EXPECT_EQ(ExitCodeOf(result), c.paused ? kExitPaused : kExitClean);
        if (!c.paused) {
            EXPECT_EQ(Contents(SnapshotTree(Mirror(src))), Contents(SnapshotTree(src)));
            continue;
        }
        // Nothing copied, deleted, held or pruned: only the journal has a block more.
        TreeSnapshot after = SnapshotTree(root);
        after.erase("journal.txt");
        TreeSnapshot expected = before;
        expected.erase("journal.txt");
        EXPECT_TRUE(after == expected);
        EXPECT_EQ(Block(), Lines({"Start 07.12.26 18:20:13", "Paused 07.12.26 18:20:13",
                                  "Stop 07.12.26 18:20:13", kNextStartLine, ""}));
        // Confirmed, the same plan is carried out, and old versions are pruned as ever.
        EXPECT_EQ(ExitCodeOf(RunBackupPass(settings, false, display, schedule, clock, nullptr, true)),
                  kExitClean);
        EXPECT_EQ(Contents(SnapshotTree(Mirror(src))), Contents(SnapshotTree(src)));
        EXPECT_EQ(NamesIn(root + "~versions\\"), Lines{"2026-12-07 182013"});
    }
}

TEST_F(GuardFixture, ASourceTakenOutOfTheListOrAGuardOfZeroNeverPauses) {
    BackedUp(150);
    const std::string other = FreshFolder('U', name + "_other");
    WriteFile(other + "kept.txt", "k");
    settings.SourceDirs = {other};
    EXPECT_FALSE(Run().paused); // the 150 files of the folder taken out go: the user asked for it
    EXPECT_GE(WithPrefix(Body(), "Delete ").size(), 150u);
    BackedUp(150);
    Damage(150, 0);
    settings.GuardPercent = 0;
    EXPECT_FALSE(Run().paused);
}

TEST_F(GuardFixture, APausedPassNamesTheChangeOfExclusionsWhenFilesARemovedPatternKeptAreAmongTheDamage) {
    const auto many = [&](const std::string& stem, int count, const std::string& content) {
        for (int i = 0; i < count; ++i)
            WriteFile(src + stem + std::to_string(i) + (stem[0] == 'l' ? ".log" : ".txt"), content);
    };
    many("Cache\\c", 60, "cached");
    many("logs\\l", 60, "log");
    many("docs\\d", 150, "doc");
    settings.SourceDirs = {src};
    Run();
    // Excluded, the cache is emptied and the logs written on: the mirror keeps its copies as they were.
    settings.Exclude = {"Cache\\", "*.log", "Thumbs.db"};
    Run();
    RemoveTree(src + "Cache");
    ASSERT_TRUE(::CreateDirectoryA((src + "Cache").c_str(), nullptr));
    many("logs\\l", 60, "log, written on");
    EXPECT_FALSE(Run().paused);
    // The patterns taken out: the 120 files that would go are all theirs. Confirmed, the plan is
    // carried out; then damage to files no pattern kept is told without the cause.
    settings.Exclude = {"Thumbs.db"};
    for (const int64_t unexcluded : {120, 0}) {
        const PassResult result = Run();
        ASSERT_TRUE(result.paused);
        EXPECT_EQ(result.damage.unexcluded, unexcluded);
        const std::string text = NoticeBalloon(result, PassNotices().After(result)).text;
        EXPECT_EQ(text.substr(0, text.find('.') + 1),
                  unexcluded ? "Копия приостановлена: заменить 60 и удалить 60 файлов из 270 (44 %) после "
                               "изменения исключений."
                             : "Копия приостановлена: удалить 150 файлов из 210 (71 %).");
        RunBackupPass(settings, false, display, schedule, clock, nullptr, true);
        RemoveTree(src + "docs");
    }
}
