// Names whose mirror entry is of another kind than the source entry: a file replaced by a folder
// of the same name and the reverse, and a source file named like the pass's copy in progress.
#include <windows.h>

#include "engine/fileops_win.h"
#include "file_lock.h"
#include "mirror_fixture.h"

using namespace vestrand;
using namespace vestrand::test;

using EntryKinds = MirrorFixture;

// The mirror holds a file "x", the source now has a folder "X" of the same name. A folder cannot be
// made over the file: the stale file is deleted first, then the folder and its content are copied
// as new, all in the same pass.
TEST_F(EntryKinds, FileReplacedByAFolderOfTheSameNameIsMirrored) {
    RunWithFiles({{"x", "a file called x"}});
    ASSERT_TRUE(IsFile(Mirror(src + "x")));
    ASSERT_TRUE(DeleteFileA((src + "x").c_str()));
    WriteFile(src + "X\\inner.txt", "inside the folder X");
    Run();
    EXPECT_EQ(Body(), (Lines{Delete(src + "x"), New(src + "X"), New(src + "X\\inner.txt")}));
    Run();
    Run();
    EXPECT_EQ(Block(), Framed({})) << "not settled";
    EXPECT_TRUE(IsFolder(Mirror(src + "X")));
    EXPECT_EQ(ReadFile(Mirror(src + "X\\inner.txt")), "inside the folder X");
}

// The mirror holds a folder "d" with content, the source now has a file "d". The folder and its
// content are deleted first, innermost first so that the folder is empty in its turn; then the
// file is copied as new, all in the same pass.
TEST_F(EntryKinds, FolderReplacedByAFileOfTheSameNameIsMirrored) {
    RunWithFiles({{"d\\inner.txt", "inside"}});
    ASSERT_TRUE(IsFolder(Mirror(src + "d")));
    RemoveTree(src + "d");
    WriteFile(src + "d", "now a file");
    Run();
    EXPECT_EQ(ReadFile(Mirror(src + "d")), "now a file");
    EXPECT_EQ(Body(), (Lines{Delete(src + "d\\inner.txt"), Delete(src + "d"), New(src + "d")}));
    Run();
    Run();
    EXPECT_EQ(ReadFile(Mirror(src + "d")), "now a file");
    EXPECT_EQ(Block(), Framed({})) << "not settled";
}

// A folder of several levels replaced by a file: everything inside goes in the same pass, also
// read-only files and folders, each entry before the folder that holds it; the new file's line
// follows the deletions.
TEST_F(EntryKinds, DeepFolderReplacedByAFileGoesInOnePass) {
    const std::string deep = src + "deep";
    WriteFile(deep + "\\a\\b\\c.txt", "c");
    WriteFile(deep + "\\a\\r.txt", "read-only");
    WriteFile(deep + "\\top.txt", "top");
    SetFileAttributesA((deep + "\\a\\r.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((deep + "\\a").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    settings.SourceDirs = {src};
    Run();
    ASSERT_TRUE(IsFile(Mirror(deep + "\\a\\b\\c.txt")));
    RemoveTree(deep);
    WriteFile(deep, "a file now");
    SetFileAttributesA(deep.c_str(), FILE_ATTRIBUTE_READONLY);
    Run();
    EXPECT_EQ(ReadFile(Mirror(deep)), "a file now");
    EXPECT_EQ(ReadAttributes(Mirror(deep)), ReadAttributes(deep));
    EXPECT_TRUE(ReadAttributes(Mirror(deep)) & FILE_ATTRIBUTE_READONLY);
    const Lines body = Body();
    const Lines lines = {Delete(deep + "\\a\\b\\c.txt"),
                         Delete(deep + "\\a\\b"),
                         Delete(deep + "\\a\\r.txt"),
                         Delete(deep + "\\a"),
                         Delete(deep + "\\top.txt"),
                         Delete(deep),
                         New(deep)};
    ASSERT_EQ(Sorted(body), Sorted(lines));
    const auto at = [&](size_t i) { return std::find(body.begin(), body.end(), lines[i]) - body.begin(); };
    for (const auto& [inner, outer] : {std::pair{0, 1}, {1, 3}, {2, 3}, {3, 5}, {4, 5}, {5, 6}})
        EXPECT_LT(at(inner), at(outer)) << lines[inner] << " after " << lines[outer];
}

// A listed single file whose mirror holds a folder of its name (left by a source folder that no
// longer has it): the folder goes, with its content, and the file is copied as new.
TEST_F(EntryKinds, ListedFileWhoseMirrorIsAFolderIsCopied) {
    const std::string f = src + "list\\f.txt";
    RunWithFiles({{"list\\f.txt\\inside.txt", "in a folder named f.txt"}});
    ASSERT_TRUE(IsFolder(Mirror(f)));
    // The folder becomes a file, listed on its own; the source folder is listed no more.
    RemoveTree(f);
    WriteFile(f, "single");
    settings.SourceDirs.clear();
    settings.SourceFiles = {f};
    Run();
    EXPECT_EQ(ReadFile(Mirror(f)), "single");
    const Lines body = Body();
    EXPECT_EQ(WithPrefix(body, "Failed "), Lines{});
    EXPECT_EQ(Missing(body, {Delete(f + "\\inside.txt"), Delete(f), New(f)}), Lines{});
    Run();
    EXPECT_EQ(Block(), Framed({}));
    EXPECT_EQ(ReadFile(Mirror(f)), "single");
}

// A stale folder that cannot be emptied (a file in it is locked) stays, and the file that should
// replace it is reported as failed, not as copied; once the lock is gone the next pass completes.
TEST_F(EntryKinds, FolderThatCannotBeRemovedLeavesTheNewFileFailed) {
    RunWithFiles({{"d\\locked.txt", "locked"}});
    RemoveTree(src + "d");
    WriteFile(src + "d", "file");
    FileLock lock(Mirror(src + "d\\locked.txt"));
    ASSERT_TRUE(lock.Held());
    Run();
    lock.Release();
    const Lines body = Body();
    EXPECT_EQ(Missing(body, {FailedDelete(src + "d\\locked.txt"), FailedCopy(src + "d")}), Lines{});
    EXPECT_FALSE(HasLine(body, New(src + "d")));
    EXPECT_EQ(ReadFile(Mirror(src + "d\\locked.txt")), "locked");
    Run();
    EXPECT_EQ(ReadFile(Mirror(src + "d")), "file");
    EXPECT_EQ(WithPrefix(Body(), "Failed "), Lines{});
}

// A source file named like a temporary copy ("a.txt.~vestrand") is an ordinary entry: updating
// a.txt beside it leaves its mirror copy alone.
TEST_F(EntryKinds, SourceNamedLikeACopyInProgressKeepsItsMirror) {
    RunWithFiles({{"a.txt", "one"}, {"a.txt.~vestrand", "a file of its own"}});
    ASSERT_EQ(ReadFile(Mirror(src + "a.txt.~vestrand")), "a file of its own");
    WriteFile(src + "a.txt", "two, longer");
    SetStamp(src + "a.txt", 3600);
    Run();
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "two, longer");
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt.~vestrand")), "a file of its own")
        << "the mirror copy was destroyed";
    EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp")) << "the copy in progress was left behind";
    Run();
    EXPECT_EQ(Block(), Framed({}));
}

// A copy in progress left behind by a pass that was ended part-way is removed by the next pass,
// also when that pass copies nothing; it is never mirrored or deleted with a line.
TEST_F(EntryKinds, UnfinishedCopyOfAnEndedPassIsRemovedByTheNext) {
    RunWithFiles({{"a.txt", "a"}});
    WriteFile(root + "copy.~vestrand.tmp", "half a copy");
    WriteAttributes(root + "copy.~vestrand.tmp", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    Run();
    EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp"));
    EXPECT_EQ(Block(), Framed({}));
}

// The pass's own files at the top of the mirror folder (the journal, its save file, the copy in
// progress) cannot hold a source entry: a listed file on a drive root that would map onto one is
// reported as failed on every pass, never copied over them, and the other files are mirrored.
TEST_F(EntryKinds, SourceOnADriveRootNamedLikeThePassFilesIsReportedAsFailed) {
    const Lines reserved = {"U:\\copy.~vestrand.tmp", "U:\\JOURNAL.TXT", "U:\\journal.tmp"};
    Lines failed;
    for (const auto& path : reserved) {
        WriteFile(path, "a user's file called " + path);
        failed.push_back(FailedCopy(path));
    }
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    settings.SourceFiles = reserved;
    for (int pass = 0; pass < 2; ++pass) {
        Run();
        EXPECT_EQ(Missing(Body(), failed), Lines{});
        EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a");
        EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp"));
        EXPECT_FALSE(IsFile(root + "journal.tmp"));
        EXPECT_EQ(JournalLines().front().rfind("Start ", 0), 0u) << "the journal was replaced";
    }
    for (const auto& path : reserved)
        DeleteFileA(path.c_str());
}

// A name changing only its letter case, or a file moved into a new folder of the old file's name
// plus an extension, is mirrored without failures and without copying the renamed entries.
TEST_F(EntryKinds, CaseOnlyRenamesAndNeighbouringNamesNeedNoCopy) {
    RunWithFiles({{"Отчёт.txt", "report"}, {"Папка\\f.txt", "f"}});
    ASSERT_TRUE(MoveFileA((src + "Отчёт.txt").c_str(), (src + "ОТЧЁТ.TXT").c_str()));
    ASSERT_TRUE(MoveFileA((src + "Папка").c_str(), (src + "ПАПКА").c_str()));
    WriteFile(src + "Папка.d\\g.txt", "g");
    Run();
    // Same time, size and attributes: no Update of the renamed file, and nothing deleted.
    EXPECT_EQ(Sorted(Body()), Sorted({New(src + "Папка.d"), New(src + "Папка.d\\g.txt")}));
    EXPECT_EQ(ReadFile(Mirror(src + "ОТЧЁТ.TXT")), "report");
    EXPECT_EQ(ReadFile(Mirror(src + "ПАПКА\\f.txt")), "f");
    EXPECT_EQ(ReadFile(Mirror(src + "Папка.d\\g.txt")), "g");
}
