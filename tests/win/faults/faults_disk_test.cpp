// A backup volume that fills up: R: is a real 8 MiB volume (tmpfs) where the machine allows one.
// The free-space floor stops the copying part-way; a copy that meets a full volume leaves the
// previous mirror copy as it was and no partial file.
#include <windows.h>

#include "faults_helpers.h"
#include "runtime/error.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

std::string Pattern(char seed, size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(seed + i * 7 + i / 4096);
    return s;
}

// No file in the mirror is a copy in progress.
bool NoCopyLeftovers(const std::string& root) {
    for (const auto& [rel, content] : FilesBelow(root))
        if ((rel.find(".~vestrand") != std::string::npos && rel != kPassLockName) || rel == "journal.tmp")
            return false;
    return true;
}

struct SmallVolume : FaultFixture {
    std::string filler;
    void SetUp() override {
        if (!IsFile("R:\\.tmpfs"))
            GTEST_SKIP() << "R: is not a small real volume here (mounting a tmpfs was refused); skipped";
        // The volume is the tests' own: what earlier tests left on it goes, so that all of it is free.
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA("R:\\*", &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = fd.cFileName;
                if (name == "." || name == ".." || name == ".tmpfs")
                    continue;
                SetFileAttributesA(("R:\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree("R:\\" + name);
                else
                    DeleteFileA(("R:\\" + name).c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        Prepare('R');
        filler = "R:\\filler.bin";
        ASSERT_GT(DriveFree("R:\\"), 8000000) << "R: is not the empty 8 MiB volume these tests need";
    }
    void TearDown() override {
        if (!filler.empty()) {
            DeleteFileA(filler.c_str());
            RemoveTree(target);
        }
    }
    // Leaves about `bytes` free on R: by writing a filler file outside the mirror.
    void LeaveFree(int64_t bytes) {
        DeleteFileA(filler.c_str());
        const int64_t fill = DriveFree("R:\\") - bytes;
        if (fill > 0)
            WriteFile(filler, std::string(static_cast<size_t>(fill), 'f'));
    }
};

} // namespace

TEST_F(SmallVolume, FloorReachedInTheDirectoryStageWritesDiskFullAndDeletesNothing) {
    WriteFile(src + "keep.txt", "earlier content");
    WriteFile(src + "stale.txt", "to be deleted later");
    settings.SourceDirs = {src};
    settings.LowDriveSpaceMb = 1;
    Run();
    ASSERT_EQ(ReadFile(Mirror(src + "keep.txt")), "earlier content");
    const std::string earlier = Journal();

    ASSERT_TRUE(DeleteFileA((src + "stale.txt").c_str()));
    for (char c = 'a'; c < 'a' + 6; ++c)
        WriteFile(src + "big " + c + ".bin", Pattern(c, 900000));
    // The journal is read-only, hidden and system: it is saved all the same.
    WriteAttributes(root + "journal.txt",
                    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    LeaveFree(4400000);
    Run();
    const auto block = Block();
    EXPECT_EQ(Journal().compare(0, earlier.size(), earlier), 0) << "earlier blocks changed";
    EXPECT_EQ(CountPrefix(block, "DiskFull "), 1);
    EXPECT_EQ(CountPrefix(block, "Delete "), 0);
    EXPECT_EQ(CountPrefix(block, "Failed "), 0);
    const int copied = CountPrefix(block, "New    ");
    EXPECT_GE(copied, 1);
    EXPECT_LE(copied, 5); // stopped part-way
    EXPECT_EQ(ReadFile(Mirror(src + "stale.txt")), "to be deleted later");
    EXPECT_EQ(ReadFile(Mirror(src + "keep.txt")), "earlier content");
    // Whatever was copied is whole; nothing half-written lies anywhere in the mirror.
    int whole = 0;
    for (char c = 'a'; c < 'a' + 6; ++c) {
        const std::string m = Mirror(src + "big " + c + ".bin");
        if (IsFile(m)) {
            EXPECT_TRUE(ReadFile(m) == Pattern(c, 900000)) << m;
            ++whole;
        }
    }
    EXPECT_EQ(whole, copied);
    EXPECT_TRUE(NoCopyLeftovers(root));

    // Space freed: the next pass completes the mirror and removes the stale file.
    DeleteFileA(filler.c_str());
    Run();
    const auto done = Block();
    EXPECT_EQ(CountPrefix(done, "DiskFull "), 0);
    EXPECT_TRUE(HasLine(done, "Delete " + src.substr(3) + "stale.txt"));
    EXPECT_EQ(CountPrefix(done, "New    "), 6 - copied);
    for (char c = 'a'; c < 'a' + 6; ++c)
        EXPECT_TRUE(ReadFile(Mirror(src + "big " + c + ".bin")) == Pattern(c, 900000));
    EXPECT_FALSE(IsFile(Mirror(src + "stale.txt")));
    EXPECT_EQ(Journal().compare(0, earlier.size(), earlier), 0);
}

TEST_F(SmallVolume, FloorReachedBeforeTheFileStageEndsItWithDiskFull) {
    const std::string files = FreshFolder('S', "disk_single");
    WriteFile(src + "stale.txt", "stale");
    settings.SourceDirs = {src};
    settings.LowDriveSpaceMb = 1;
    Run();
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
    const auto block = Block();
    EXPECT_TRUE(HasLine(block, "New    " + Mirror(src + "dir.bin")));
    EXPECT_EQ(CountPrefix(block, "DiskFull "), 1);
    EXPECT_EQ(CountPrefix(block, "Delete "), 0);
    const int listed = CountPrefix(block, "New    ") - 1;
    EXPECT_LT(listed, 4);
    EXPECT_TRUE(IsFile(Mirror(src + "stale.txt")));
    for (char c = 'a'; c < 'a' + 4; ++c) {
        if (IsFile(Mirror(files + c + ".bin"))) {
            EXPECT_TRUE(ReadFile(Mirror(files + c + ".bin")) == Pattern(c, 900000));
        }
    }
    EXPECT_TRUE(NoCopyLeftovers(root));

    DeleteFileA(filler.c_str());
    Run();
    for (char c = 'a'; c < 'a' + 4; ++c)
        EXPECT_TRUE(ReadFile(Mirror(files + c + ".bin")) == Pattern(c, 900000));
    EXPECT_FALSE(IsFile(Mirror(src + "stale.txt")));
    RemoveTree(files);
}

TEST_F(SmallVolume, UpdateThatMeetsAFullVolumeKeepsThePreviousCopy) {
    const std::string files = FreshFolder('S', "disk_update");
    WriteFile(src + "dir.bin", Pattern('1', 100000));
    WriteFile(files + "listed.bin", Pattern('2', 100000));
    SetStamp(src + "dir.bin", 0);
    SetStamp(files + "listed.bin", 0);
    settings.SourceDirs = {src};
    settings.SourceFiles = {files + "listed.bin"};
    settings.LowDriveSpaceMb = 0; // no floor: the copies themselves meet the full volume
    Run();
    ASSERT_TRUE(ReadFile(Mirror(src + "dir.bin")) == Pattern('1', 100000));
    const std::string earlier = Journal();

    // Larger versions that cannot fit, in the directory stage and in the file stage, and a new
    // file that cannot fit either.
    WriteFile(src + "dir.bin", Pattern('3', 2200000));
    WriteFile(files + "listed.bin", Pattern('4', 2200000));
    WriteFile(src + "new.bin", Pattern('5', 2200000));
    SetStamp(src + "dir.bin", 3600);
    SetStamp(files + "listed.bin", 3600);
    LeaveFree(1500000);
    Run();
    const auto block = Block();
    EXPECT_TRUE(HasLine(block, "Failed " + Mirror(src + "dir.bin")));
    EXPECT_TRUE(HasLine(block, "Failed " + Mirror(files + "listed.bin")));
    EXPECT_TRUE(HasLine(block, "Failed " + Mirror(src + "new.bin")));
    EXPECT_EQ(CountPrefix(block, "Update "), 0);
    EXPECT_TRUE(ReadFile(Mirror(src + "dir.bin")) == Pattern('1', 100000)) << "the previous copy was damaged";
    EXPECT_TRUE(ReadFile(Mirror(files + "listed.bin")) == Pattern('2', 100000))
        << "the previous copy was damaged";
    EXPECT_FALSE(IsFile(Mirror(src + "new.bin"))) << "a partial copy lies under the mirror name";
    EXPECT_TRUE(NoCopyLeftovers(root));
    EXPECT_EQ(Journal().compare(0, earlier.size(), earlier), 0);

    // The volume has room again: the next pass brings the copies up to date.
    DeleteFileA(filler.c_str());
    Run();
    const auto done = Block();
    EXPECT_TRUE(HasLine(done, "Update " + Mirror(src + "dir.bin")));
    EXPECT_TRUE(HasLine(done, "Update " + Mirror(files + "listed.bin")));
    EXPECT_TRUE(HasLine(done, "New    " + Mirror(src + "new.bin")));
    EXPECT_TRUE(ReadFile(Mirror(src + "dir.bin")) == Pattern('3', 2200000));
    EXPECT_TRUE(ReadFile(Mirror(files + "listed.bin")) == Pattern('4', 2200000));
    EXPECT_TRUE(ReadFile(Mirror(src + "new.bin")) == Pattern('5', 2200000));
    RemoveTree(files);
}

TEST_F(SmallVolume, JournalThatCannotBeSavedOnAFullVolumeStaysAsItWas) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    settings.LowDriveSpaceMb = 0;
    Run();
    const std::string earlier = Journal() + std::string(60000, 'x') + "\r\n"; // a journal of some size
    WriteFile(root + "journal.txt", earlier);
    WriteFile(src + "b.txt", "b");
    // Room for the copy of b.txt but not for a second copy of the journal.
    LeaveFree(30000);
    EXPECT_THROW(Run(), VestrandError);
    EXPECT_TRUE(ReadFile(root + "journal.txt") == earlier);
    EXPECT_FALSE(IsFile(root + "journal.tmp"));
    DeleteFileA(filler.c_str());
    Run();
    EXPECT_EQ(Journal().compare(0, earlier.size(), earlier), 0);
    EXPECT_EQ(ReadFile(Mirror(src + "b.txt")), "b");
}
