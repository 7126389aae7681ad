// Sources and targets that cannot be reached during a pass: a source file held open without
// sharing by another program, and a drive whose mapping vanishes part-way through a pass.
#include <windows.h>

#include "engine/fileops_win.h"
#include "file_lock.h"
#include "mirror_fixture.h"
#include "runtime/error.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

using HeldSources = MirrorFixture;

// The mirror on W:, whose mapping can be taken away, as can that of the source drive V:.
struct VanishingDrives : MirrorFixture {
    VanishingDrive targetDrive{'W'}, sourceDrive{'V'};
    void SetUp() override {
        MirrorFixture::SetUp();
        if (!targetDrive.Usable() || !sourceDrive.Usable())
            GTEST_SKIP() << "the drive mappings of V: and W: cannot be taken away here (not under Wine)";
        UseTarget('W');
    }
    // The stage (StageNumber) after which the drive vanishes, and the one after which it comes back
    // (0: not in this pass). It vanishes once the mirror is walked, before comparing.
    void VanishAt(VanishingDrive& drive, int32_t gone, int32_t back = 0) {
        // Stage 1 is the moment comparing has ended, before the first change.
        display.onStage = [&drive, gone, back](PassStage stage) {
            if (stage == PassStage::MirrorIndexed)
                return;
            if (StageNumber(stage) == gone)
                drive.Vanish();
            if (StageNumber(stage) == back)
                drive.Back();
        };
    }
};

} // namespace

TEST_F(HeldSources, SourceHeldOpenWithoutSharingIsFailedThenCopiedOnceReleased) {
    const std::string held = src + "held.txt", listed = FreshFolder('S', "access_listed") + "списанный.txt";
    WriteFile(src + "a.txt", "a");
    WriteFile(held, "first version");
    WriteFile(src + "z.txt", "z");
    WriteFile(listed, "listed, first");
    settings.SourceDirs = {src};
    settings.SourceFiles = {listed};
    {
        FileLock heldLock(held), listedLock(listed);
        ASSERT_TRUE(heldLock.Held() && listedLock.Held());
        Run();
    }
    EXPECT_EQ(Missing(Body(), {FailedCopy(held), FailedCopy(listed), New(src + "a.txt"), New(src + "z.txt")}),
              Lines{});
    EXPECT_FALSE(IsFile(Mirror(held)));
    EXPECT_FALSE(IsFile(Mirror(listed)));
    EXPECT_EQ(ReadFile(Mirror(src + "z.txt")), "z");

    // Released: the next pass copies them.
    Run();
    EXPECT_EQ(Missing(Body(), {New(held), New(listed)}), Lines{});
    EXPECT_EQ(ReadFile(Mirror(held)), "first version");
    EXPECT_EQ(ReadFile(Mirror(listed)), "listed, first");

    // Changed and held again: the update fails, the previous copy stays; released, it is updated.
    WriteFile(held, "second, longer version");
    WriteFile(listed, "listed, second");
    SetStamp(held, 7200);
    SetStamp(listed, 7200);
    {
        FileLock heldLock(held), listedLock(listed);
        Run();
    }
    EXPECT_EQ(Missing(Body(), {FailedCopy(held), FailedCopy(listed)}), Lines{});
    EXPECT_EQ(ReadFile(Mirror(held)), "first version");
    EXPECT_EQ(ReadFile(Mirror(listed)), "listed, first");
    Run();
    EXPECT_EQ(Missing(Body(), {Update(held), Update(listed)}), Lines{});
    EXPECT_EQ(ReadFile(Mirror(held)), "second, longer version");
    EXPECT_EQ(ReadFile(Mirror(listed)), "listed, second");
}

// The backup drive goes away at each moment between two stages of a pass, and comes back for the
// next pass: nothing is deleted that the pass could not see, and the next pass repairs the mirror.
TEST_F(VanishingDrives, TargetDriveVanishingPartWayLosesNothingAndTheNextPassRepairs) {
    RunWithFiles(
        {{"keep.txt", "keep"}, {"change.txt", "old"}, {"gone.txt", "gone"}, {"Папка\\inner.txt", "inner"}});
    for (int stage = 1; stage <= 3; ++stage) {
        SCOPED_TRACE("drive vanishes at gauge position " + std::to_string(stage));
        const std::string earlier = Journal(), added = src + "added " + std::to_string(stage) + ".txt";
        WriteFile(src + "change.txt", "new " + std::to_string(stage));
        SetStamp(src + "change.txt", 100 * stage);
        ASSERT_TRUE(DeleteFileA((src + "gone.txt").c_str()));
        WriteFile(added, "added");
        VanishAt(targetDrive, stage);
        // The journal cannot be saved on a drive that is not there: the error ends the pass.
        EXPECT_THROW(Run(), VestrandError);
        display.onStage = nullptr;
        targetDrive.Back();
        ASSERT_TRUE(IsFolder(root));
        EXPECT_TRUE(Journal() == earlier);
        EXPECT_EQ(ReadFile(Mirror(src + "keep.txt")), "keep");
        EXPECT_EQ(ReadFile(Mirror(src + "Папка\\inner.txt")), "inner");

        Run();
        EXPECT_EQ(Journal().compare(0, earlier.size(), earlier), 0);
        EXPECT_EQ(ReadFile(Mirror(src + "change.txt")), "new " + std::to_string(stage));
        EXPECT_EQ(ReadFile(Mirror(added)), "added");
        EXPECT_FALSE(IsFile(Mirror(src + "gone.txt")));
        EXPECT_EQ(ReadFile(Mirror(src + "keep.txt")), "keep");
        EXPECT_EQ(ReadFile(Mirror(src + "Папка\\inner.txt")), "inner");
        EXPECT_EQ(WithPrefix(Body(), "Failed "), Lines{});
        WriteFile(src + "gone.txt", "gone");
        Run();
    }
}

// A drive that vanishes only while one stage runs and is back for the rest: the pass goes on,
// and the entries it could not copy are repaired by the next pass.
TEST_F(VanishingDrives, TargetDriveAbsentDuringTheDirectoryStageOnly) {
    RunWithFiles({{"a.txt", "a"}, {"stale.txt", "stale"}});
    ASSERT_TRUE(DeleteFileA((src + "stale.txt").c_str()));
    WriteFile(src + "b.txt", "b");
    VanishAt(targetDrive, 1, 2);
    Run();
    display.onStage = nullptr;
    EXPECT_TRUE(HasLine(Body(), FailedCopy(src + "b.txt")));
    EXPECT_EQ(WithPrefix(Body(), "New    "), Lines{});
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a");
    Run();
    EXPECT_TRUE(HasLine(Body(), New(src + "b.txt")));
    EXPECT_EQ(ReadFile(Mirror(src + "b.txt")), "b");
    EXPECT_FALSE(IsFile(Mirror(src + "stale.txt")));
}

// A source drive that vanishes after the mirror was listed: its mirror is kept whole.
TEST_F(VanishingDrives, SourceDriveVanishingPartWayKeepsItsMirror) {
    const std::string away = FreshFolder('V', "vanishing_source");
    WriteFile(away + "a.txt", "a");
    WriteFile(away + "Вложенная\\b.txt", "b");
    WriteFile(src + "here.txt", "here");
    settings.SourceDirs = {src, away};
    Run();
    ASSERT_EQ(ReadFile(Mirror(away + "Вложенная\\b.txt")), "b");
    VanishAt(sourceDrive, 1);
    Run();
    display.onStage = nullptr;
    sourceDrive.Back();
    EXPECT_EQ(WithPrefix(Body(), "Delete "), Lines{});
    EXPECT_EQ(ReadFile(Mirror(away + "a.txt")), "a");
    EXPECT_EQ(ReadFile(Mirror(away + "Вложенная\\b.txt")), "b");
    EXPECT_EQ(ReadFile(Mirror(src + "here.txt")), "here");
    RemoveTree(away);
}
