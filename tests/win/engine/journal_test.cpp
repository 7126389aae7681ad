#include <gtest/gtest.h>
#include <windows.h>

#include "engine/fileops_win.h"
#include "engine/journal_win.h"
#include "runtime/error.h"
#include "mirror_fixture.h"

using namespace vestrand;
using namespace vestrand::test;

TEST(JournalFile, LoadKeepsEveryLineSaveEndsEachWithCrLfAndAFailedSaveKeepsTheJournal) {
    const std::string root = FreshFolder('T', "journal_load");
    WriteFile(root + "journal.txt", std::string("one\r\ntwo\rthree\nfo\0ur\n\rlast", 26));
    Journal j(root);
    EXPECT_EQ(j.Lines(), (Lines{"one", "two", "three", std::string("fo\0ur", 5), "", "last"}));
    j.Append("added");
    j.Save();
    const std::string saved("one\r\ntwo\r\nthree\r\nfo\0ur\r\n\r\nlast\r\nadded\r\n", 39);
    EXPECT_EQ(ReadFile(root + "journal.txt"), saved);
    EXPECT_FALSE(IsFile(root + "journal.tmp"));
    // The temporary file cannot be created (a folder holds its name): the journal stays as it was.
    j.Append("new line");
    ASSERT_TRUE(MakeFolder(root + "journal.tmp"));
    EXPECT_THROW(j.Save(), VestrandError);
    EXPECT_EQ(ReadFile(root + "journal.txt"), saved);
}

TEST(JournalFile, RotatesOnlyAbove200000BytesAndAppendsToTheSameDaysArchive) {
    const std::string target = FreshFolder('T', "journal_rotate");
    const std::string root = target + "Test\\";
    MakeFolder(root);
    const DateTime now = FixedNow();
    const std::string archive = target + "261206.Test";
    WriteFile(root + "journal.txt", std::string(200000, 'a'));
    RotateJournal(root, target, "Test", now);
    EXPECT_TRUE(IsFile(root + "journal.txt"));
    EXPECT_FALSE(IsFile(archive));
    WriteFile(root + "journal.txt", std::string(200001, 'b'));
    RotateJournal(root, target, "Test", now);
    EXPECT_FALSE(IsFile(root + "journal.txt"));
    EXPECT_EQ(ReadFile(archive), std::string(200001, 'b'));
    // A second rotation on the same day loses neither journal.
    WriteFile(root + "journal.txt", std::string(200001, 'c'));
    RotateJournal(root, target, "Test", now);
    EXPECT_FALSE(IsFile(root + "journal.txt"));
    EXPECT_EQ(ReadFile(archive), std::string(200001, 'b') + std::string(200001, 'c'));
}
