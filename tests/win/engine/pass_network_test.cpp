// A backup folder and sources on network shares (\\nas\backup, \\nas\data, linked by tools/wine-run).
#include "engine/fileops_win.h"
#include "mirror_fixture.h"
#include "tree_snapshot.h"

using namespace vestrand;
using namespace vestrand::test;

TEST_F(ShareFixture, ABackupFolderOnAShareHoldsTheMirrorItsMarksVersionsAndMeasuresTheShareForTheFloor) {
    UseShareTarget();
    settings.KeepVersionsDays = 7;
    EXPECT_EQ(ExitCodeOf(RunWithFiles({{"a.txt", "first a"}, {"sub\\b.txt", "b"}})), kExitClean);
    EXPECT_EQ(Contents(SnapshotTree(Mirror(src))), Contents(SnapshotTree(src)));
    EXPECT_TRUE(IsFile(root + kOwnerName) && IsFile(root + kPassLockName) && IsFile(root + "journal.txt"));
    Run();
    EXPECT_EQ(Body(), Lines{});
    clock.now = FixedNow() + 1.0;
    WriteFile(src + "a.txt", "second a, longer");
    Run();
    EXPECT_EQ(Body(), Lines{Update(src + "a.txt")});
    EXPECT_EQ(ReadFile(root + "~versions\\2026-12-07 182013\\" + MirrorRel(src) + "a.txt"), "first a");
    ULARGE_INTEGER free{}, total{}, all{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("\\\\nas\\backup\\", &free, &total, &all));
    settings.LowDriveSpaceMb = static_cast<int64_t>(free.QuadPart / 1000000) + 1000;
    const PassResult low = Run();
    EXPECT_EQ(low.refusal, PassRefusal::LowSpace);
    EXPECT_NEAR(static_cast<double>(low.freeBytes), static_cast<double>(free.QuadPart), 5e7);
}

TEST_F(ShareFixture, SourcesOnAShareAreMirroredUnderItsNameAndOneListingNothingKeepsItsMirror) {
    const std::string shared = FreshShareFolder("data", name), mirrored = root + "data\\" + name + "\\";
    WriteFile(shared + "d\\a.txt", "a");
    WriteFile(shared + "f.txt", "f");
    settings.SourceDirs = {shared + "d\\"};
    settings.SourceFiles = {shared + "f.txt"};
    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    EXPECT_EQ(ReadFile(mirrored + "d\\a.txt") + ReadFile(mirrored + "f.txt"), "af");
    Run();
    EXPECT_EQ(Body(), Lines{});
    // As a share seen without rights: the folder lists nothing, the mirror keeps it, a line says so.
    DeleteFileA((shared + "d\\a.txt").c_str());
    EXPECT_EQ(ExitCodeOf(Run()), kExitIncomplete);
    EXPECT_EQ(Body(), Lines{FailedLine(shared + "d\\")});
    EXPECT_EQ(ReadFile(mirrored + "d\\a.txt"), "a");
}
