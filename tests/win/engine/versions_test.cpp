// Held versions: what a pass deletes or overwrites is moved into a folder stamped with the pass's
// start, kept for KeepVersionsDays days, and given up first when space runs short.
#include <gtest/gtest.h>
#include <windows.h>

#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "engine_helpers.h"
#include "runtime/cp1251.h"
#include "test_drives.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

struct VersionsFixture : EngineFixture {
    void SetUp() override {
        EngineFixture::SetUp();
        settings.KeepVersionsDays = 7;
        settings.SourceDirs = {src};
    }
    std::vector<std::string> Middle() const { return test::Middle(Block()); }
    // Where a pass started at `at` holds the mirror copy of the source path.
    std::string Held(DateTime at, const std::string& path) const {
        return root + "~versions\\" + FormatVersionStamp(at) + "\\" + path.substr(3);
    }
    std::vector<std::string> Stamped() const {
        std::vector<std::string> out;
        SearchFolder(root + "~versions\\*", [&](const DirEntry& e) {
            if (e.Name != "." && e.Name != "..")
                out.push_back(e.Name);
            return true;
        });
        std::sort(out.begin(), out.end());
        return out;
    }
};

} // namespace

TEST_F(VersionsFixture, DeletedOverwrittenAndReplacedFilesAreHeldUnderThePassStamp) {
    WriteFile(src + "a.txt", "first a");
    WriteFile(src + "sub\\deep\\b.txt", "first b");
    WriteFile(src + "k", "a file that becomes a folder");
    WriteFileW(WidenCp1251(src) + L"M\u00FCller.txt", "first umlaut");
    WriteAttributes(src + "sub\\deep\\b.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    Run();
    EXPECT_EQ(Stamped(), std::vector<std::string>{}); // nothing held, no stamped folder
    const uint64_t bTime = WriteTimeW(WidenCp1251(Mirror(src + "sub\\deep\\b.txt")));

    clock.now = FixedNow() + 1.0;
    DeleteFileA((src + "a.txt").c_str());
    WriteAttributes(src + "sub\\deep\\b.txt", 0);
    WriteFile(src + "sub\\deep\\b.txt", "second b, longer");
    DeleteFileA((src + "k").c_str());
    WriteFile(src + "k\\x.txt", "x");
    WriteFileW(WidenCp1251(src) + L"M\u00FCller.txt", "second umlaut, longer");
    Run();
    const std::string rel = src.substr(3);
    // The journal's grammar is as always: a held deletion is a Delete line, a held update an Update.
    const auto middle = Middle();
    EXPECT_NE(std::find(middle.begin(), middle.end(), "Delete " + rel + "a.txt"), middle.end());
    EXPECT_NE(std::find(middle.begin(), middle.end(), "Update " + Mirror(src + "sub\\deep\\b.txt")),
              middle.end());
    EXPECT_NE(std::find(middle.begin(), middle.end(), "Delete " + rel + "k"), middle.end());
    EXPECT_EQ(ReadFile(Held(clock.now, src + "a.txt")), "first a");
    EXPECT_EQ(ReadFile(Held(clock.now, src + "sub\\deep\\b.txt")), "first b");
    EXPECT_EQ(ReadAttributes(Held(clock.now, src + "sub\\deep\\b.txt")),
              FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(WriteTimeW(WidenCp1251(Held(clock.now, src + "sub\\deep\\b.txt"))), bTime);
    EXPECT_EQ(ReadFile(Held(clock.now, src + "k")), "a file that becomes a folder");
    EXPECT_EQ(ReadFileW(WidenCp1251(Held(clock.now, src)) + L"M\u00FCller.txt"), "first umlaut");
    EXPECT_EQ(ReadFile(Mirror(src + "sub\\deep\\b.txt")), "second b, longer");
    EXPECT_EQ(ReadFile(Mirror(src + "k\\x.txt")), "x");

    // A second pass that holds something has a stamped folder of its own; one that holds nothing
    // makes none.
    clock.now = FixedNow() + 2.0;
    WriteFile(src + "sub\\deep\\b.txt", "third b");
    Run();
    EXPECT_EQ(ReadFile(Held(clock.now, src + "sub\\deep\\b.txt")), "second b, longer");
    EXPECT_EQ(Stamped().size(), 2u);
    clock.now = FixedNow() + 3.0;
    Run();
    EXPECT_EQ(Middle(), std::vector<std::string>{});
    EXPECT_EQ(Stamped().size(), 2u);
}

TEST_F(VersionsFixture, FilesBeyondTheOrdinaryPathLimitAreHeldAsWell) {
    std::string listed = src;
    for (const char c : {'a', 'b', 'c', 'd', 'e'})
        listed += std::string(50, c) + "\\";
    const std::wstring deep = WidenCp1251(listed) + std::wstring(40, L'f') + L"\\deep.txt";
    const std::wstring top = WidenCp1251(listed) + L"top.txt";
    WriteFileW(deep, "deep 1");
    WriteFileW(top, "top 1");
    settings.SourceDirs = {listed};
    Run();
    const uint64_t deepTime = WriteTimeW(deep);
    WriteFileW(deep, "deep 2, longer");
    DeleteFileW((L"\\\\?\\" + top).c_str());
    clock.now = FixedNow() + 1.0;
    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    const std::wstring held = WidenCp1251(Held(clock.now, listed));
    ASSERT_GT(held.size() + 40 + 10, 300u);
    EXPECT_EQ(ReadFileW(held + std::wstring(40, L'f') + L"\\deep.txt"), "deep 1");
    EXPECT_EQ(WriteTimeW(held + std::wstring(40, L'f') + L"\\deep.txt"), deepTime);
    EXPECT_EQ(ReadFileW(held + L"top.txt"), "top 1");
    EXPECT_EQ(ReadFileW(WidenCp1251(Mirror(listed)) + std::wstring(40, L'f') + L"\\deep.txt"),
              "deep 2, longer");
}

TEST_F(VersionsFixture, StampedFoldersOlderThanTheDaysGoAndOtherFoldersStay) {
    WriteFile(src + "a.txt", "a");
    Run();
    const DateTime now = FixedNow() + 10.0;
    const std::string kept = FormatVersionStamp(now - 7.0), old = FormatVersionStamp(now - 7.0 - kMinute);
    WriteFile(root + "~versions\\" + kept + "\\x.txt", "kept");
    WriteFile(root + "~versions\\" + old + "\\x.txt", "old");
    // Read-only marks, on a file and on the folder that holds it, do not keep an old one.
    WriteFile(root + "~versions\\" + old + "\\ro\\y.txt", "old, read-only");
    WriteAttributes(root + "~versions\\" + old + "\\ro\\y.txt", FILE_ATTRIBUTE_READONLY);
    WriteAttributes(root + "~versions\\" + old + "\\ro", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    WriteFile(root + "~versions\\my notes\\n.txt", "not the pass's");
    // Switched off, nothing is pruned by age.
    settings.KeepVersionsDays = 0;
    clock.now = now;
    Run();
    EXPECT_EQ(Stamped(), Sorted({kept, old, "my notes"}));
    settings.KeepVersionsDays = 7;
    Run();
    EXPECT_EQ(Stamped(), (std::vector<std::string>{kept, "my notes"}));
    EXPECT_EQ(ReadFile(root + "~versions\\" + kept + "\\x.txt"), "kept");
}

TEST_F(VersionsFixture, OldVersionsGiveWayWhenTheFloorIsReachedTheOldestFirst) {
    if (!SmallVolumeMounted())
        GTEST_SKIP() << "needs the small volume R:";
    UseTarget('R');
    WriteFile(src + "a.txt", "a");
    Run();
    WriteFile(root + "~versions\\2026-11-01 100000\\big1.bin", std::string(2000000, '1'));
    WriteFile(root + "~versions\\2026-11-02 100000\\big2.bin", std::string(2000000, '2'));
    settings.KeepVersionsDays = 90;
    // A floor one megabyte above the free space: the oldest folder alone makes room.
    settings.LowDriveSpaceMb = DriveFree(target) / 1000000 + 1;
    WriteFile(src + "b.txt", "b");
    PassResult result = Run();
    EXPECT_TRUE(result.Ran());
    EXPECT_TRUE(result.versionsRemovedEarly);
    EXPECT_EQ(Stamped(), std::vector<std::string>{"2026-11-02 100000"});
    EXPECT_EQ(ReadFile(Mirror(src + "b.txt")), "b");
    // With nothing left to give, the pass does not run, as without versions.
    settings.LowDriveSpaceMb = DriveFree(target) / 1000000 + 50;
    result = Run();
    EXPECT_EQ(result.refusal, PassRefusal::LowSpace);
    EXPECT_EQ(Stamped(), std::vector<std::string>{});
}

TEST_F(VersionsFixture, AFileThatCannotBeHeldStaysWhereItIsAndIsFailed) {
    WriteFile(src + "gone.txt", "stale");
    WriteFile(src + "changed.txt", "old");
    Run();
    DeleteFileA((src + "gone.txt").c_str());
    WriteFile(src + "changed.txt", "new, longer");
    {
        // Held open without leave to move it, as another program may hold a file.
        HANDLE a = CreateFileA(Mirror(src + "gone.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        HANDLE b = CreateFileA(Mirror(src + "changed.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(a, INVALID_HANDLE_VALUE);
        ASSERT_NE(b, INVALID_HANDLE_VALUE);
        clock.now = FixedNow() + 1.0;
        const PassResult result = Run();
        CloseHandle(a);
        CloseHandle(b);
        EXPECT_EQ(ExitCodeOf(result), kExitIncomplete);
    }
    EXPECT_EQ(Sorted(Middle()),
              Sorted({"Failed " + src.substr(3) + "gone.txt", "Failed " + Mirror(src + "changed.txt")}));
    EXPECT_EQ(ReadFile(Mirror(src + "gone.txt")), "stale");
    EXPECT_EQ(ReadFile(Mirror(src + "changed.txt")), "old");
    EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp"));
    // Released, the next pass holds them.
    clock.now = FixedNow() + 2.0;
    Run();
    EXPECT_EQ(ReadFile(Held(clock.now, src + "gone.txt")), "stale");
    EXPECT_EQ(ReadFile(Held(clock.now, src + "changed.txt")), "old");
    EXPECT_EQ(ReadFile(Mirror(src + "changed.txt")), "new, longer");
}

TEST_F(VersionsFixture, APassKilledBetweenTheTwoRenamesOfAnUpdateLosesNothing) {
    WriteFile(src + "doc.txt", "version 1");
    Run();
    WriteFile(src + "doc.txt", "version 2, longer");
    // What a pass killed after holding the previous copy and before renaming the new one leaves:
    // the previous copy held, the new one complete in the temporary file, nothing under the name.
    const DateTime killed = FixedNow() + 1.0;
    WriteFile(Held(killed, src + "doc.txt"), "");
    ASSERT_TRUE(MoveFileExA(Mirror(src + "doc.txt").c_str(), Held(killed, src + "doc.txt").c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(CopyFileA((src + "doc.txt").c_str(), (root + "copy.~vestrand.tmp").c_str(), FALSE));
    clock.now = FixedNow() + 1.5;
    Run();
    EXPECT_EQ(Middle(), std::vector<std::string>{"New    " + Mirror(src + "doc.txt")});
    EXPECT_EQ(ReadFile(Mirror(src + "doc.txt")), "version 2, longer");
    EXPECT_EQ(ReadFile(Held(killed, src + "doc.txt")), "version 1");
    EXPECT_FALSE(IsFile(root + "copy.~vestrand.tmp"));
}

TEST_F(VersionsFixture, SwitchedOffNothingIsHeldAndTheFolderStaysThePasses) {
    settings.KeepVersionsDays = 0;
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "b.txt", "b");
    Run();
    WriteFile(root + "~versions\\2020-01-01 000000\\old.txt", "history");
    DeleteFileA((src + "a.txt").c_str());
    WriteFile(src + "b.txt", "b2");
    clock.now = FixedNow() + 1.0;
    Run();
    EXPECT_EQ(Sorted(Middle()),
              Sorted({"Delete " + src.substr(3) + "a.txt", "Update " + Mirror(src + "b.txt")}));
    EXPECT_EQ(Stamped(), std::vector<std::string>{"2020-01-01 000000"}); // no pruning by age when off
    EXPECT_EQ(ReadFile(root + "~versions\\2020-01-01 000000\\old.txt"), "history");
    // A source entry named like it at the top of the mirror folder is refused.
    settings.SourceDirs.clear();
    settings.SourceFiles = {"S:\\~versions"};
    WriteFile("S:\\~versions", "a user's file");
    const PassResult clash = Run();
    EXPECT_EQ(clash.failed, std::vector<std::string>{root + "~versions"});
    DeleteFileA("S:\\~versions");
    EXPECT_EQ(ReadFile(root + "~versions\\2020-01-01 000000\\old.txt"), "history");
}
