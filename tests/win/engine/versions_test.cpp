// Held versions: what a pass deletes or overwrites is moved into a folder stamped with the pass's
// start, kept for KeepVersionsDays days, and given up first when space runs short.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "file_lock.h"
#include "mirror_fixture.h"
#include "settings/settings_file_win.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

// The stamps of passes at the fixed moment, and one, two and one and a half days after it.
const std::string kNow = "2026-12-06 182013", kDay1 = "2026-12-07 182013", kDay2 = "2026-12-08 182013",
                  kDay1Half = "2026-12-08 062013";

struct VersionsFixture : MirrorFixture {
    void SetUp() override {
        MirrorFixture::SetUp();
        settings.KeepVersionsDays = 7;
        settings.SourceDirs = {src};
    }
    // Where a pass stamped `stamp` holds the mirror copy of the source path.
    std::string Held(const std::string& stamp, const std::string& path) const {
        return root + "~versions\\" + stamp + "\\" + MirrorRel(path);
    }
    Lines Stamped() const { return NamesIn(root + "~versions\\"); }
};

} // namespace

TEST_F(VersionsFixture, DeletedOverwrittenAndReplacedFilesAreHeldUnderThePassStamp) {
    WriteFile(src + "a.txt", "first a");
    WriteFile(src + "sub\\deep\\b.txt", "first b");
    WriteFile(src + "k", "a file that becomes a folder");
    WriteFileW(WidenU(src + "M<U+00FC>ller.txt"), "first umlaut");
    WriteAttributes(src + "sub\\deep\\b.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    Run();
    EXPECT_EQ(Stamped(), Lines{}); // nothing held, no stamped folder
    const uint64_t bTime = WriteTimeW(WidenU(Mirror(src + "sub\\deep\\b.txt")));

    clock.now = FixedNow() + 1.0;
    DeleteFileA((src + "a.txt").c_str());
    WriteAttributes(src + "sub\\deep\\b.txt", 0);
    WriteFile(src + "sub\\deep\\b.txt", "second b, longer");
    DeleteFileA((src + "k").c_str());
    WriteFile(src + "k\\x.txt", "x");
    WriteFileW(WidenU(src + "M<U+00FC>ller.txt"), "second umlaut, longer");
    Run();
    // The journal's grammar is as always: a held deletion is a Delete line, a held update an Update.
    EXPECT_EQ(Missing(Body(), {Delete(src + "a.txt"), Update(src + "sub\\deep\\b.txt"), Delete(src + "k")}),
              Lines{});
    EXPECT_EQ(ReadFile(Held(kDay1, src + "a.txt")), "first a");
    EXPECT_EQ(ReadFile(Held(kDay1, src + "sub\\deep\\b.txt")), "first b");
    EXPECT_EQ(ReadAttributes(Held(kDay1, src + "sub\\deep\\b.txt")),
              FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(WriteTimeW(WidenU(Held(kDay1, src + "sub\\deep\\b.txt"))), bTime);
    EXPECT_EQ(ReadFile(Held(kDay1, src + "k")), "a file that becomes a folder");
    EXPECT_EQ(ReadFileW(WidenU(Held(kDay1, src + "M<U+00FC>ller.txt"))), "first umlaut");
    EXPECT_EQ(Contents(SnapshotTree(Mirror(src))), Contents(SnapshotTree(src))); // the new copies

    // A second pass that holds something has a stamped folder of its own; one that holds nothing
    // makes none.
    clock.now = FixedNow() + 2.0;
    WriteFile(src + "sub\\deep\\b.txt", "third b");
    Run();
    EXPECT_EQ(ReadFile(Held(kDay2, src + "sub\\deep\\b.txt")), "second b, longer");
    EXPECT_EQ(Stamped(), (Lines{kDay1, kDay2}));
    clock.now = FixedNow() + 3.0;
    Run();
    EXPECT_EQ(Body(), Lines{});
    EXPECT_EQ(Stamped(), (Lines{kDay1, kDay2}));
}

TEST_F(VersionsFixture, StampedFoldersOlderThanTheDaysGoAndOtherFoldersStay) {
    WriteFile(src + "a.txt", "a");
    Run();
    // Ten days after the fixed moment: one folder exactly seven days old, one a minute older.
    const std::string kept = "2026-12-09 182013", old = "2026-12-09 181913";
    WriteFile(root + "~versions\\" + kept + "\\x.txt", "kept");
    WriteFile(root + "~versions\\" + old + "\\x.txt", "old");
    // Read-only marks, on a file and on the folder that holds it, do not keep an old one.
    WriteFile(root + "~versions\\" + old + "\\ro\\y.txt", "old, read-only");
    WriteAttributes(root + "~versions\\" + old + "\\ro\\y.txt", FILE_ATTRIBUTE_READONLY);
    WriteAttributes(root + "~versions\\" + old + "\\ro", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    WriteFile(root + "~versions\\my notes\\n.txt", "not the pass's");
    // Switched off, nothing is pruned by age.
    settings.KeepVersionsDays = 0;
    clock.now = FixedNow() + 10.0;
    Run();
    EXPECT_EQ(Stamped(), Sorted({kept, old, "my notes"}));
    settings.KeepVersionsDays = 7;
    Run();
    EXPECT_EQ(Stamped(), (Lines{kept, "my notes"}));
    EXPECT_EQ(ReadFile(root + "~versions\\" + kept + "\\x.txt"), "kept");
}

TEST_F(VersionsFixture, OldVersionsGiveWayWhenTheFloorIsReachedTheOldestFirst) {
    if (!SmallVolumeMounted())
        GTEST_SKIP() << "needs the small volume R:";
    UseTarget('R');
    WriteFile(src + "a.txt", "a");
    Run();
    WriteFile(root + "~versions\\2026-11-01 100000\\big1.bin", std::string(2000000, '1'));
    WriteFile(root + "~versions\\2026-11-02 100000\\big2.bin", std::string(2000000, '2'));
    settings.KeepVersionsDays = 90;
    // A floor one megabyte above the free space: the oldest folder alone makes room.
    settings.LowDriveSpaceMb = DriveFree(target) / 1000000 + 1;
    WriteFile(src + "b.txt", "b");
    PassResult result = Run();
    EXPECT_TRUE(result.Ran());
    EXPECT_TRUE(result.versionsRemovedEarly);
    EXPECT_EQ(Stamped(), Lines{"2026-11-02 100000"});
    EXPECT_EQ(ReadFile(Mirror(src + "b.txt")), "b");
    // With nothing left to give, the pass does not run, as without versions.
    settings.LowDriveSpaceMb = DriveFree(target) / 1000000 + 50;
    result = Run();
    EXPECT_EQ(result.refusal, PassRefusal::LowSpace);
    EXPECT_EQ(Stamped(), Lines{});
}

TEST_F(VersionsFixture, AFileThatCannotBeHeldStaysWhereItIsAndIsFailed) {
    WriteFile(src + "gone.txt", "stale");
    WriteFile(src + "changed.txt", "old");
    Run();
    DeleteFileA((src + "gone.txt").c_str());
    WriteFile(src + "changed.txt", "new, longer");
    {
        // Held open without leave to move it, as another program may hold a file.
        FileLock a(Mirror(src + "gone.txt"), GENERIC_READ, FILE_SHARE_READ);
        FileLock b(Mirror(src + "changed.txt"), GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(a.Held() && b.Held());
        clock.now = FixedNow() + 1.0;
        EXPECT_EQ(ExitCodeOf(Run()), kExitIncomplete);
    }
    EXPECT_EQ(Sorted(Body()), Sorted({FailedDelete(src + "gone.txt"), FailedCopy(src + "changed.txt")}));
    EXPECT_EQ(ReadFile(Mirror(src + "gone.txt")), "stale");
    EXPECT_EQ(ReadFile(Mirror(src + "changed.txt")), "old");
    EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp"));
    // Released, the next pass holds them.
    clock.now = FixedNow() + 2.0;
    Run();
    EXPECT_EQ(ReadFile(Held(kDay2, src + "gone.txt")), "stale");
    EXPECT_EQ(ReadFile(Held(kDay2, src + "changed.txt")), "old");
    EXPECT_EQ(ReadFile(Mirror(src + "changed.txt")), "new, longer");
}

TEST_F(VersionsFixture, APassKilledBetweenTheTwoRenamesOfAnUpdateLosesNothing) {
    WriteFile(src + "doc.txt", "version 1");
    Run();
    WriteFile(src + "doc.txt", "version 2, longer");
    // What a pass killed after holding the previous copy and before renaming the new one leaves:
    // the previous copy held, the new one complete in the temporary file, nothing under the name.
    WriteFile(Held(kDay1, src + "doc.txt"), "");
    ASSERT_TRUE(MoveFileExA(Mirror(src + "doc.txt").c_str(), Held(kDay1, src + "doc.txt").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(CopyFileA((src + "doc.txt").c_str(), (root + "copy.~vestrand.tmp").c_str(), FALSE));
    clock.now = FixedNow() + 1.5;
    Run();
    EXPECT_EQ(Body(), Lines{New(src + "doc.txt")});
    EXPECT_EQ(ReadFile(Mirror(src + "doc.txt")), "version 2, longer");
    EXPECT_EQ(ReadFile(Held(kDay1, src + "doc.txt")), "version 1");
    EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp"));
}

TEST_F(VersionsFixture, SwitchedOffNothingIsHeldAndTheFolderStaysThePasses) {
    settings.KeepVersionsDays = 0;
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "b.txt", "b");
    Run();
    WriteFile(root + "~versions\\2020-01-01 000000\\old.txt", "history");
    DeleteFileA((src + "a.txt").c_str());
    WriteFile(src + "b.txt", "b2");
    clock.now = FixedNow() + 1.0;
    Run();
    EXPECT_EQ(Sorted(Body()), Sorted({Delete(src + "a.txt"), Update(src + "b.txt")}));
    EXPECT_EQ(Stamped(), Lines{"2020-01-01 000000"}); // no pruning by age when off
    EXPECT_EQ(ReadFile(root + "~versions\\2020-01-01 000000\\old.txt"), "history");
}

TEST_F(MirrorFixture, ASettingsFileWithoutHeldVersionDaysHoldsWhatAPassDeletes) {
    WriteFile(target + "v.ini",
              "[Config]\r\nIdentifComp=Test\r\nTargetDir=" + target + "\r\n[SourceDir]\r\n1=" + src);
    LoadSettings(settings, target + "v.ini");
    WriteFile(src + "a.txt", "a");
    Run();
    DeleteFileA((src + "a.txt").c_str());
    clock.now = FixedNow() + 1.0;
    Run();
    EXPECT_EQ(Body(), Lines{Delete(src + "a.txt")});
    EXPECT_EQ(ReadFile(root + "~versions\\" + kDay1 + "\\" + MirrorRel(src + "a.txt")), "a");
}

TEST_F(VersionsFixture, HeldVersionsAWeekOldGiveWayToATenthOfTheDriveOldestFirstAndNeverWhilePaused) {
    if (!SmallVolumeMounted())
        GTEST_SKIP() << "needs the small volume R:";
    UseTarget('R');
    settings.KeepVersionsDays = 90;
    settings.LowDriveSpaceMb = 0; // the tenth of the drive is the larger
    for (int i = 0; i < 100; ++i)
        WriteFile(src + "f" + std::to_string(i) + ".txt", "file " + std::to_string(i));
    Run();
    // A megabyte each, stamped 36 days, exactly 7 days and 3 days before the passes below.
    const std::string old1 = "2026-10-31 100000", old2 = "2026-11-29 182013", young = "2026-12-03 100000";
    for (const std::string& stamp : {old1, old2, young})
        WriteFile(root + "~versions\\" + stamp + "\\held.bin", std::string(1000000, 'h'));
    ULARGE_INTEGER avail{}, total{}, free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("R:\\", &avail, &total, &free));
    const int64_t reserve = static_cast<int64_t>(total.QuadPart / 10);
    int fillers = 0; // each leaves the free space 300,000 bytes below the reserve
    const auto below = [&] {
        WriteFiller(target + std::to_string(++fillers),
                    std::max<int64_t>(DriveFree(target) - reserve + 300000, 0));
    };
    below();
    // Paused by the guard, nothing goes; confirmed, the oldest folder alone, and the pass's own stays.
    for (int i = 0; i < 100; ++i)
        DeleteFileA((src + "f" + std::to_string(i) + ".txt").c_str());
    PassResult result = Run();
    EXPECT_TRUE(result.paused && !result.versionsRemovedEarly);
    EXPECT_EQ(Stamped(), (Lines{old1, old2, young}));
    result = RunBackupPass(settings, false, display, schedule, clock, nullptr, true);
    EXPECT_TRUE(result.versionsRemovedEarly);
    EXPECT_EQ(Stamped(), (Lines{old2, young, kNow}));
    EXPECT_GE(DriveFree(target), reserve);
    // Below it again: the folder exactly a week old goes; then the younger ones stay, and the pass runs.
    below();
    EXPECT_TRUE(Run().versionsRemovedEarly);
    EXPECT_EQ(Stamped(), (Lines{young, kNow}));
    below();
    result = Run();
    EXPECT_EQ(ExitCodeOf(result), kExitClean);
    EXPECT_FALSE(result.versionsRemovedEarly);
    EXPECT_EQ(Stamped(), (Lines{young, kNow}));
}
