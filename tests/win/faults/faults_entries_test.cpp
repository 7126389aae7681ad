// Mirror entries and journals in awkward states: read-only, hidden and system entries in the
// mirror, a read-only journal, a journal with NUL bytes, lone CR and LF and no final line break.
#include <windows.h>

#include "faults_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {
constexpr DWORD kRHS = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
DWORD Attr(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}
} // namespace

TEST_F(FaultFixture, MirrorEntriesWithOddAttributesAreRepairedAndStaleOnesRemoved) {
    WriteFile(src + "ro.txt", "read-only in the mirror");
    WriteFile(src + "hidden.txt", "hidden in the mirror");
    WriteFile(src + "system.txt", "system in the mirror");
    WriteFile(src + "Папка\\inside.txt", "inside");
    WriteFile(src + "stale.txt", "stale");
    WriteFile(src + "Старая\\deep.txt", "deep");
    settings.SourceDirs = {src};
    Run();

    // Someone changes the mirror's attributes behind the pass's back.
    SetFileAttributesA(Mirror(src + "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(Mirror(src + "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(Mirror(src + "system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA(Mirror(src + "Папка").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    // and the stale entries are read-only, hidden and system, which root cannot delete as they are.
    SetFileAttributesA(Mirror(src + "stale.txt").c_str(), kRHS);
    SetFileAttributesA(Mirror(src + "Старая\\deep.txt").c_str(), kRHS);
    SetFileAttributesA(Mirror(src + "Старая").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((src + "stale.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(DeleteFileA((src + "stale.txt").c_str()));
    RemoveTree(src + "Старая");
    ASSERT_EQ(Attr(Mirror(src + "ro.txt")) & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);

    Run();
    auto block = Block();
    for (const char* name : {"ro.txt", "hidden.txt", "system.txt", "Папка"}) {
        EXPECT_TRUE(HasLine(block, "Update " + Mirror(src + name))) << name;
        EXPECT_EQ(Attr(Mirror(src + name)), Attr(src + name)) << name;
    }
    EXPECT_EQ(ReadFile(Mirror(src + "ro.txt")), "read-only in the mirror");
    EXPECT_EQ(ReadFile(Mirror(src + "Папка\\inside.txt")), "inside");
    EXPECT_TRUE(HasLine(block, "Delete " + src.substr(3) + "stale.txt"));
    EXPECT_TRUE(HasLine(block, "Delete " + src.substr(3) + "Старая\\deep.txt"));
    EXPECT_FALSE(IsFile(Mirror(src + "stale.txt")));
    EXPECT_FALSE(IsFile(Mirror(src + "Старая\\deep.txt")));
    // The emptied read-only, hidden folder goes with the next pass.
    Run();
    EXPECT_TRUE(HasLine(Block(), "Delete " + src.substr(3) + "Старая"));
    EXPECT_FALSE(IsFolder(Mirror(src + "Старая")));
    EXPECT_EQ(Block().size(), 5u); // Start, the Delete line, Stop, NextStart, empty line
}

TEST_F(FaultFixture, ReadOnlyHiddenSystemJournalIsSavedWithEveryEarlierBlock) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    Run();
    const std::string earlier = Journal();
    SetFileAttributesA((root + "journal.txt").c_str(), kRHS);
    WriteFile(src + "b.txt", "b");
    Run();
    const std::string after = Journal();
    EXPECT_EQ(after.compare(0, earlier.size(), earlier), 0);
    EXPECT_TRUE(HasLine(LastBlock(after), "New    " + Mirror(src + "b.txt")));
    EXPECT_FALSE(IsFile(root + "journal.tmp"));
    // The journal is never part of the mirror: no pass lists it for deletion.
    EXPECT_EQ(after.find("Delete journal.txt"), std::string::npos);
}

TEST_F(FaultFixture, JournalWithNulBytesLoneBreaksAndNoFinalBreakKeepsEveryLine) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    MakeFolder(root);
    static const char kOdd[] =
        "Start 01.12.26 10:00:00\r\nNUL\0inside\rlone CR\nlone LF\n\rLF then CR\r\n\0\r\nno final break";
    const std::string odd(kOdd, sizeof kOdd - 1);
    WriteFile(root + "journal.txt", odd);
    Run();
    static const char kKept[] = "Start 01.12.26 10:00:00\r\nNUL\0inside\r\nlone CR\r\nlone LF\r\n\r\nLF then "
                                "CR\r\n\0\r\nno final break\r\n";
    const std::string expected(kKept, sizeof kKept - 1);
    const std::string after = Journal();
    ASSERT_GE(after.size(), expected.size());
    EXPECT_TRUE(after.compare(0, expected.size(), expected) == 0) << "earlier lines were changed or lost";
    const auto block = LastBlock(after);
    ASSERT_GE(block.size(), 4u);
    EXPECT_EQ(block[0], "Start 06.12.26 18:20:13");
    EXPECT_TRUE(HasLine(block, "New    " + Mirror(src + "a.txt")));
    EXPECT_EQ(block.back(), "");
    // A second pass loads its own output unchanged.
    Run();
    EXPECT_EQ(Journal().compare(0, after.size(), after), 0);
}

TEST_F(FaultFixture, JournalNameTakenByAFolderEndsThePassWithoutHarm) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    ASSERT_TRUE(MakeFolder(root) && MakeFolder(root + "journal.txt"));
    WriteFile(root + "journal.txt\\inside.txt", "not the journal");
    WriteFile(root + kPassLockName, ""); // a mirror of this program all the same
    EXPECT_ANY_THROW(Run());
    EXPECT_EQ(ReadFile(root + "journal.txt\\inside.txt"), "not the journal");
    EXPECT_FALSE(IsFile(root + "journal.tmp"));
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a");
}
