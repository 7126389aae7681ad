// A backup volume that fills up: R: is a real 8 MiB volume (tmpfs) where the machine allows one.
// The free-space floor stops the copying part-way; a copy that meets a full volume leaves the
// previous mirror copy as it was and no partial file.
#include <windows.h>

#include "engine/fileops_win.h"
#include "engine/space_budget.h"
#include "mirror_fixture.h"
#include "runtime/error.h"
#include "tree_snapshot.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

std::string Pattern(char seed, size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(seed + i * 7 + i / 4096);
    return s;
}

struct SmallVolume : MirrorFixture {
    const std::string filler = "R:\\filler.bin";
    void SetUp() override {
        if (!SmallVolumeMounted())
            GTEST_SKIP() << "R: is not a small real volume here (mounting a tmpfs was refused); skipped";
        // The volume is the tests' own: what earlier tests left on it goes, so that all of it is free.
        for (const auto& left : NamesIn("R:\\")) {
            SetFileAttributesA(("R:\\" + left).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (left != ".tmpfs" && !DeleteFileA(("R:\\" + left).c_str()))
                RemoveTree("R:\\" + left);
        }
        MirrorFixture::SetUp();
        UseTarget('R');
        ASSERT_GT(DriveFree("R:\\"), 8000000) << "R: is not the empty 8 MiB volume these tests need";
    }
    void TearDown() override {
        DeleteFileA(filler.c_str());
        MirrorFixture::TearDown();
    }
    // Leaves about `bytes` free on R: by writing a filler file outside the mirror.
    void LeaveFree(int64_t bytes) {
        DeleteFileA(filler.c_str());
        const int64_t fill = DriveFree("R:\\") - bytes;
        if (fill > 0)
            WriteFiller(filler, fill);
    }
    // Copies in progress anywhere in the mirror, and a journal's save file: none may be left.
    Lines Leftovers() const {
        Lines out;
        for (const auto& [rel, entry] : SnapshotTree(root, Snap::FilesOnly))
            if ((rel.find(".~vestrand") != std::string::npos && rel != kPassLockName && rel != kOwnerName) ||
                rel == "journal.tmp")
                out.push_back(rel);
        return out;
    }
};

} // namespace

TEST_F(SmallVolume, FloorReachedInTheDirectoryStageWritesDiskFullAndDeletesNothing) {
    settings.LowDriveSpaceMb = 1;
    RunWithFiles({{"keep.txt", "earlier content"}, {"stale.txt", "to be deleted later"}});
    ASSERT_EQ(ReadFile(Mirror(src + "keep.txt")), "earlier content");
    const std::string earlier = Journal();

    ASSERT_TRUE(DeleteFileA((src + "stale.txt").c_str()));
    const auto big = [&](char c) { return src + "big " + c + ".bin"; };
    for (char c = 'a'; c < 'a' + 6; ++c)
        WriteFile(big(c), Pattern(c, 900000));
    // The journal is read-only, hidden and system: it is saved all the same.
    WriteAttributes(root + "journal.txt",
                    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    LeaveFree(4400000);
    Run();
    EXPECT_EQ(Journal().compare(0, earlier.size(), earlier), 0) << "earlier blocks changed";
    // Stopped part-way: what was copied is whole and has its New line, nothing is deleted.
    Lines copied = {"DiskFull " + kStamp}, rest = {Delete(src + "stale.txt")};
    for (char c = 'a'; c < 'a' + 6; ++c) {
        if (IsFile(Mirror(big(c)))) {
            EXPECT_TRUE(ReadFile(Mirror(big(c))) == Pattern(c, 900000)) << big(c);
            copied.push_back(New(big(c)));
        } else {
            rest.push_back(New(big(c)));
        }
    }
    EXPECT_EQ(Sorted(Body()), Sorted(copied));
    EXPECT_GE(copied.size(), 2u);
    EXPECT_LE(copied.size(), 6u);
    EXPECT_EQ(ReadFile(Mirror(src + "stale.txt")), "to be deleted later");
    EXPECT_EQ(ReadFile(Mirror(src + "keep.txt")), "earlier content");
    EXPECT_EQ(Leftovers(), Lines{});

    // Space freed: the next pass completes the mirror and removes the stale file.
    DeleteFileA(filler.c_str());
    Run();
    EXPECT_EQ(Sorted(Body()), Sorted(rest));
    for (char c = 'a'; c < 'a' + 6; ++c)
        EXPECT_TRUE(ReadFile(Mirror(big(c))) == Pattern(c, 900000)) << big(c);
    EXPECT_FALSE(IsFile(Mirror(src + "stale.txt")));
    EXPECT_EQ(Journal().compare(0, earlier.size(), earlier), 0);
}

TEST_F(SmallVolume, FloorReachedBeforeTheFileStageEndsItWithDiskFull) {
    const std::string files = FreshFolder('S', "disk_single");
    settings.LowDriveSpaceMb = 1;
    RunWithFiles({{"stale.txt", "stale"}});
    ASSERT_TRUE(DeleteFileA((src + "stale.txt").c_str()));
    // The directory stage brings the budget under the re-measuring mark; the file stage then
    // meets the floor at its budget check.
    WriteFile(src + "dir.bin", Pattern('d', 2000000));
    for (char c = 'a'; c < 'a' + 4; ++c) {
        WriteFile(files + c + ".bin", Pattern(c, 900000));
        settings.SourceFiles.push_back(files + c + ".bin");
    }
    LeaveFree(3300000);
    Run();
    const Lines body = Body();
    EXPECT_TRUE(HasLine(body, New(src + "dir.bin")));
    EXPECT_EQ(WithPrefix(body, "DiskFull "), Lines{"DiskFull " + kStamp});
    EXPECT_EQ(WithPrefix(body, "Delete "), Lines{});
    EXPECT_LT(WithPrefix(body, "New    ").size(), 5u) << "not every listed file fits";
    EXPECT_TRUE(IsFile(Mirror(src + "stale.txt")));
    for (char c = 'a'; c < 'a' + 4; ++c)
        EXPECT_TRUE(!IsFile(Mirror(files + c + ".bin")) ||
                    ReadFile(Mirror(files + c + ".bin")) == Pattern(c, 900000))
            << c << ": a listed file copied in part";
    EXPECT_EQ(Leftovers(), Lines{});

    DeleteFileA(filler.c_str());
    Run();
    for (char c = 'a'; c < 'a' + 4; ++c)
        EXPECT_TRUE(ReadFile(Mirror(files + c + ".bin")) == Pattern(c, 900000)) << c;
    EXPECT_FALSE(IsFile(Mirror(src + "stale.txt")));
}

TEST_F(SmallVolume, ManySmallFilesStopAtTheFloorCountedInClusters) {
    // 1,200 files of 1,000 bytes, settled (so the copiers take them): their sizes fit above the
    // floor of 5,000,000 bytes, their 4 KiB clusters do not.
    settings.LowDriveSpaceMb = 5;
    for (int i = 0; i < 1200; ++i) {
        WriteFile(src + std::to_string(i), std::string(1000, 'x'));
        SetStamp(src + std::to_string(i), 0);
    }
    int64_t freeAtEnd = -1; // once copying has ended, before the journal is saved
    display.onStage = [&](PassStage stage) {
        if (stage == PassStage::FilesMirrored)
            freeAtEnd = DriveFree("R:\\");
    };
    RunWithFiles({});
    EXPECT_EQ(WithPrefix(Body(), "DiskFull "), Lines{"DiskFull " + kStamp});
    EXPECT_GE(freeAtEnd, 5000000 - SpaceBudget::kRecordBytes);
    EXPECT_LT(freeAtEnd, 5000000 + 2 * 4096) << "copying stopped too early";
}

TEST_F(SmallVolume, UpdateThatMeetsAFullVolumeKeepsThePreviousCopy) {
    const std::string dir = src + "dir.bin", listed = FreshFolder('S', "disk_update") + "listed.bin",
                      added = src + "new.bin";
    WriteFile(dir, Pattern('1', 100000));
    WriteFile(listed, Pattern('2', 100000));
    SetStamp(dir, 0);
    SetStamp(listed, 0);
    settings.SourceDirs = {src};
    settings.SourceFiles = {listed};
    settings.LowDriveSpaceMb = 0; // no floor: the copies themselves meet the full volume
    Run();
    ASSERT_TRUE(ReadFile(Mirror(dir)) == Pattern('1', 100000));
    const std::string earlier = Journal();

    // Larger versions that cannot fit, in the directory stage and in the file stage, and a new
    // file that cannot fit either: the volume fills once the pass has measured it (another
    // program writes there), so the copies are started and meet the full volume.
    WriteFile(dir, Pattern('3', 2200000));
    WriteFile(listed, Pattern('4', 2200000));
    WriteFile(added, Pattern('5', 2200000));
    SetStamp(dir, 3600);
    SetStamp(listed, 3600);
    display.onStage = [&](PassStage stage) {
        if (stage == PassStage::Compared)
            LeaveFree(1500000);
    };
    Run();
    display.onStage = nullptr;
    EXPECT_EQ(Sorted(Body()), Sorted({FailedCopy(dir), FailedCopy(listed), FailedCopy(added)}));
    EXPECT_TRUE(ReadFile(Mirror(dir)) == Pattern('1', 100000)) << "the previous copy was damaged";
    EXPECT_TRUE(ReadFile(Mirror(listed)) == Pattern('2', 100000)) << "the previous copy was damaged";
    EXPECT_FALSE(IsFile(Mirror(added))) << "a partial copy lies under the mirror name";
    EXPECT_EQ(Leftovers(), Lines{});
    EXPECT_EQ(Journal().compare(0, earlier.size(), earlier), 0);

    // The volume has room again: the next pass brings the copies up to date.
    DeleteFileA(filler.c_str());
    Run();
    EXPECT_EQ(Sorted(Body()), Sorted({Update(dir), Update(listed), New(added)}));
    EXPECT_TRUE(ReadFile(Mirror(dir)) == Pattern('3', 2200000));
    EXPECT_TRUE(ReadFile(Mirror(listed)) == Pattern('4', 2200000));
    EXPECT_TRUE(ReadFile(Mirror(added)) == Pattern('5', 2200000));
}

TEST_F(SmallVolume, JournalThatCannotBeSavedOnAFullVolumeStaysAsItWas) {
    settings.LowDriveSpaceMb = 0;
    RunWithFiles({{"a.txt", "a"}});
    const std::string earlier = Journal() + std::string(60000, 'x') + "\r\n"; // a journal of some size
    WriteFile(root + "journal.txt", earlier);
    WriteFile(src + "b.txt", "b");
    // Room for the copy of b.txt but not for a second copy of the journal.
    LeaveFree(30000);
    EXPECT_THROW(Run(), VestrandError);
    EXPECT_TRUE(Journal() == earlier);
    EXPECT_FALSE(IsFile(root + "journal.tmp"));
    DeleteFileA(filler.c_str());
    Run();
    EXPECT_EQ(Journal().compare(0, earlier.size(), earlier), 0);
    EXPECT_EQ(ReadFile(Mirror(src + "b.txt")), "b");
}
