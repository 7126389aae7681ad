// Names whose mirror entry is of another kind than the source entry: a file replaced by a folder
// of the same name and the reverse, and a source file named like the pass's copy in progress.
#include <windows.h>

#include "faults_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

// Fails today: the mirror holds a file "x", the source now has a folder "X" of the same name.
// The directory stage finds "X" in the index, cannot create the folder over the file ("Failed"),
// takes "X" out of the index all the same, and every entry inside the folder fails too. The
// stale file is never deleted and the folder never mirrored, on every pass for ever. A mirror
// entry whose folder bit differs from the source entry's should be treated as stale (removed,
// with its content, before the copy, or left in the index for the deletion stage).
TEST_F(FaultFixture, DISABLED_FileReplacedByAFolderOfTheSameNameIsMirrored) {
    WriteFile(src + "x", "a file called x");
    settings.SourceDirs = {src};
    Run();
    ASSERT_TRUE(IsFile(Mirror(src + "x")));
    ASSERT_TRUE(DeleteFileA((src + "x").c_str()));
    WriteFile(src + "X\\inner.txt", "inside the folder X");
    for (int pass = 0; pass < 3; ++pass)
        Run();
    EXPECT_TRUE(IsFolder(Mirror(src + "X")));
    EXPECT_EQ(ReadFile(Mirror(src + "X\\inner.txt")), "inside the folder X");
    EXPECT_EQ(CountPrefix(Block(), "Failed "), 0);
}

// Fails today: the mirror holds a folder "d" with content, the source now has a file "d". The
// content is deleted as stale, but the folder itself was taken out of the index when the copy
// over it failed, so it stays, empty, and the file is "Failed" on every pass for ever.
TEST_F(FaultFixture, DISABLED_FolderReplacedByAFileOfTheSameNameIsMirrored) {
    WriteFile(src + "d\\inner.txt", "inside");
    settings.SourceDirs = {src};
    Run();
    ASSERT_TRUE(IsFolder(Mirror(src + "d")));
    RemoveTree(src + "d");
    WriteFile(src + "d", "now a file");
    for (int pass = 0; pass < 3; ++pass)
        Run();
    EXPECT_EQ(ReadFile(Mirror(src + "d")), "now a file");
    EXPECT_EQ(CountPrefix(Block(), "Failed "), 0);
}

// Fails today: a copy goes through a temporary file named mirror path + ".~vestrand" beside it,
// which is also the mirror name of a source file "a.txt.~vestrand". Updating a.txt first deletes
// that name, so the mirror copy of "a.txt.~vestrand" is destroyed, though the pass had just
// found it current and writes no line for it; it comes back only with the next pass. The
// temporary file needs a name no source entry can map to (for example a reserved name at the top
// of BackupRoot that the index walk leaves out, like the journal's).
TEST_F(FaultFixture, DISABLED_SourceNamedLikeACopyInProgressKeepsItsMirror) {
    WriteFile(src + "a.txt", "one");
    WriteFile(src + "a.txt.~vestrand", "a file of its own");
    settings.SourceDirs = {src};
    Run();
    ASSERT_EQ(ReadFile(Mirror(src + "a.txt.~vestrand")), "a file of its own");
    WriteFile(src + "a.txt", "two, longer");
    SetStamp(src + "a.txt", 3600);
    Run();
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "two, longer");
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt.~vestrand")), "a file of its own")
        << "the mirror copy was destroyed";
}

// What works today: a name changing only its letter case, or a file moved into a new folder of
// the old file's name plus an extension, is mirrored without failures.
TEST_F(FaultFixture, CaseOnlyRenamesAndNeighbouringNamesNeedNoCopy) {
    WriteFile(src + "Отчёт.txt", "report");
    WriteFile(src + "Папка\\f.txt", "f");
    settings.SourceDirs = {src};
    Run();
    ASSERT_TRUE(MoveFileA((src + "Отчёт.txt").c_str(), (src + "ОТЧЁТ.TXT").c_str()));
    ASSERT_TRUE(MoveFileA((src + "Папка").c_str(), (src + "ПАПКА").c_str()));
    WriteFile(src + "Папка.d\\g.txt", "g");
    Run();
    const auto block = Block();
    EXPECT_EQ(CountPrefix(block, "Failed "), 0);
    EXPECT_EQ(CountPrefix(block, "Delete "), 0);
    EXPECT_FALSE(HasLine(block, "Update " + Mirror(src + "ОТЧЁТ.TXT"))); // same time, size and attributes
    EXPECT_EQ(ReadFile(Mirror(src + "ОТЧЁТ.TXT")), "report");
    EXPECT_EQ(ReadFile(Mirror(src + "ПАПКА\\f.txt")), "f");
    EXPECT_EQ(ReadFile(Mirror(src + "Папка.d\\g.txt")), "g");
}
