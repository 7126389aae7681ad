// Mirror entries and journals in awkward states: read-only, hidden and system entries in the
// mirror, a read-only journal, a journal with NUL bytes, lone CR and LF and no final line break.
#include <windows.h>

#include "engine/fileops_win.h"
#include "mirror_fixture.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {
using OddEntries = MirrorFixture;
constexpr DWORD kRHS = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
} // namespace

TEST_F(OddEntries, MirrorEntriesWithOddAttributesAreRepairedAndStaleOnesRemoved) {
    RunWithFiles({{"ro.txt", "read-only in the mirror"},
                  {"hidden.txt", "hidden in the mirror"},
                  {"system.txt", "system in the mirror"},
                  {"Папка\\inside.txt", "inside"},
                  {"stale.txt", "stale"},
                  {"Старая\\deep.txt", "deep"}});
    // Someone changes the mirror's attributes behind the pass's back, and the stale entries are
    // read-only, hidden and system, which root cannot delete as they are.
    const std::pair<const char*, DWORD> changed[] = {
        {"ro.txt", FILE_ATTRIBUTE_READONLY},
        {"hidden.txt", FILE_ATTRIBUTE_HIDDEN},
        {"system.txt", FILE_ATTRIBUTE_SYSTEM},
        {"Папка", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY},
        {"stale.txt", kRHS},
        {"Старая\\deep.txt", kRHS},
        {"Старая", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN}};
    for (const auto& [rel, attributes] : changed)
        ASSERT_TRUE(SetFileAttributesA(Mirror(src + rel).c_str(), attributes)) << rel;
    ASSERT_TRUE(DeleteFileA((src + "stale.txt").c_str()));
    RemoveTree(src + "Старая");

    Run();
    Lines expected = {Delete(src + "stale.txt"), Delete(src + "Старая\\deep.txt")};
    for (const char* rel : {"ro.txt", "hidden.txt", "system.txt", "Папка"}) {
        expected.push_back(Update(src + rel));
        EXPECT_EQ(ReadAttributes(Mirror(src + rel)), ReadAttributes(src + rel)) << rel;
    }
    EXPECT_EQ(Sorted(Body()), Sorted(expected));
    EXPECT_EQ(ReadFile(Mirror(src + "ro.txt")), "read-only in the mirror");
    EXPECT_EQ(ReadFile(Mirror(src + "Папка\\inside.txt")), "inside");
    EXPECT_FALSE(IsFile(Mirror(src + "stale.txt")));
    EXPECT_FALSE(IsFile(Mirror(src + "Старая\\deep.txt")));
    // The emptied read-only, hidden folder goes with the next pass.
    Run();
    EXPECT_EQ(Block(), Framed({Delete(src + "Старая")}));
    EXPECT_FALSE(IsFolder(Mirror(src + "Старая")));
}

TEST_F(OddEntries, ReadOnlyHiddenSystemJournalIsSavedWithEveryEarlierBlock) {
    RunWithFiles({{"a.txt", "a"}});
    const std::string earlier = Journal();
    SetFileAttributesA((root + "journal.txt").c_str(), kRHS);
    WriteFile(src + "b.txt", "b");
    Run();
    const std::string after = Journal();
    EXPECT_EQ(after.compare(0, earlier.size(), earlier), 0);
    EXPECT_EQ(Body(), Lines{New(src + "b.txt")});
    // The journal is never part of the mirror: no pass lists it for deletion.
    EXPECT_EQ(after.find("Delete journal.txt"), std::string::npos);
    EXPECT_FALSE(IsFile(root + "journal.tmp"));
}

TEST_F(OddEntries, JournalWithNulBytesLoneBreaksAndNoFinalBreakKeepsEveryLine) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    static const char kOdd[] =
        "Start 01.12.26 10:00:00\r\nNUL\0inside\rlone CR\nlone LF\n\rLF then CR\r\n\0\r\nno final break";
    WriteFile(root + "journal.txt", std::string(kOdd, sizeof kOdd - 1));
    Run();
    static const char kKept[] = "Start 01.12.26 10:00:00\r\nNUL\0inside\r\nlone CR\r\nlone LF\r\n\r\nLF then "
                                "CR\r\n\0\r\nno final break\r\n";
    const std::string expected(kKept, sizeof kKept - 1), after = Journal();
    EXPECT_EQ(after.substr(0, expected.size()), expected) << "earlier lines were changed or lost";
    EXPECT_EQ(Block(), Framed({New(src + "a.txt")}));
    // A second pass loads its own output unchanged.
    Run();
    EXPECT_EQ(Journal().compare(0, after.size(), after), 0);
}

TEST_F(OddEntries, JournalNameTakenByAFolderEndsThePassWithoutHarm) {
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
