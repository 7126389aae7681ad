#include <gtest/gtest.h>
#include <windows.h>

#include "engine/fileops_win.h"
#include "engine/journal_win.h"
#include "runtime/error.h"
#include "engine_helpers.h"
#include "test_drives.h"

using namespace vestrand;
using namespace vestrand::test;

TEST(JournalFile, LoadKeepsEveryLineAndSaveEndsEachWithCrLf) {
    const std::string root = FreshFolder('T', "journal_load");
    WriteFile(root + "journal.txt", std::string("one\r\ntwo\rthree\nfo\0ur\n\rlast", 26));
    Journal j(root);
    EXPECT_EQ(j.Lines(),
              (std::vector<std::string>{"one", "two", "three", std::string("fo\0ur", 5), "", "last"}));
    j.Append("added");
    j.Save();
    EXPECT_EQ(ReadFile(root + "journal.txt"),
              std::string("one\r\ntwo\r\nthree\r\nfo\0ur\r\n\r\nlast\r\nadded\r\n", 39));
    EXPECT_FALSE(IsFile(root + "journal.tmp"));
}

TEST(JournalFile, FailedSaveKeepsThePreviousJournal) {
    const std::string root = FreshFolder('T', "journal_savefail");
    WriteFile(root + "journal.txt", "earlier block\r\n");
    Journal j(root);
    j.Append("new line");
    // The temporary file cannot be created: a folder holds its name.
    ASSERT_TRUE(MakeFolder(root + "journal.tmp"));
    EXPECT_THROW(j.Save(), VestrandError);
    EXPECT_EQ(ReadFile(root + "journal.txt"), "earlier block\r\n");
    RemoveFolder(root + "journal.tmp");
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
