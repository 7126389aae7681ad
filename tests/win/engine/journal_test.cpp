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
    {
        Journal j(root);
        j.Append("added");
        j.Save();
    }
    const std::string saved("one\r\ntwo\r\nthree\r\nfo\0ur\r\n\r\nlast\r\nadded\r\n", 39);
    EXPECT_EQ(ReadFile(root + "journal.txt"), saved);
    EXPECT_FALSE(IsFile(root + "journal.tmp"));
    // Lines beyond what is held in memory (2 MiB) go through the temporary file; a journal that is
    // not saved leaves it behind neither written nor there.
    const std::string line(1000, 'x');
    {
        Journal j(root);
        for (int i = 0; i < 2100; ++i)
            j.Append(line);
        EXPECT_TRUE(IsFile(root + "journal.tmp"));
        EXPECT_EQ(ReadFile(root + "journal.txt"), saved);
    }
    EXPECT_FALSE(IsFile(root + "journal.tmp"));
    {
        Journal j(root);
        for (int i = 0; i < 2100; ++i)
            j.Append(line);
        j.Save();
    }
    std::string big = saved;
    for (int i = 0; i < 2100; ++i)
        big += line + "\r\n";
    EXPECT_EQ(ReadFile(root + "journal.txt"), big);
    // The temporary file cannot be created (a folder holds its name): the journal stays as it was,
    // with lines few or many.
    ASSERT_TRUE(MakeFolder(root + "journal.tmp"));
    for (const int lines : {1, 2100}) {
        Journal j(root);
        for (int i = 0; i < lines; ++i)
            j.Append(line);
        EXPECT_THROW(j.Save(), VestrandError);
        EXPECT_EQ(ReadFile(root + "journal.txt"), big);
    }
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
