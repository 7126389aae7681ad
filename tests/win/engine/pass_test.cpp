#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>

#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "engine_helpers.h"
#include "test_drives.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    return vestrand::test::SplitCrLf(text);
}

struct PassFixture : ::testing::Test {
    std::string src, target, root;
    BackupSettings settings;
    FixedClock clock;
    RecordingSchedule schedule;
    RecordingDisplay display;

    void SetUp() override {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        src = FreshFolder('S', name);
        target = FreshFolder('T', name);
        settings.TargetDir = target;
        settings.IdentifComp = "Test";
        settings.LowDriveSpaceMb = 5;
        root = target + "Test\\";
    }
    void Run() { RunBackupPass(settings, false, display, schedule, clock); }
    std::vector<std::string> Journal() { return Lines(ReadFile(root + "journal.txt")); }
    // The mirror of a source path: BackupRoot + the path without its drive designator.
    std::string Mirror(const std::string& path) { return root + path.substr(3); }
};

}  // namespace

TEST_F(PassFixture, FirstPassCopiesEverythingThenAnUnchangedPassCopiesNothing) {
    WriteFile(src + "a.txt", "alpha");
    WriteFile(src + "Папка\\b.txt", "beta");
    WriteFile(src + "Папка\\Вложенная\\c.txt", "gamma");
    WriteAttributes(src + "Папка\\b.txt", FILE_ATTRIBUTE_READONLY);
    settings.SourceDirs = {src};
    Run();
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "alpha");
    EXPECT_EQ(ReadFile(Mirror(src + "Папка\\Вложенная\\c.txt")), "gamma");
    EXPECT_EQ(ReadAttributes(Mirror(src + "Папка\\b.txt")) & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(FileStamp(Mirror(src + "a.txt")), FileStamp(src + "a.txt"));
    auto lines = Journal();
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Start 06.12.26 18:20:13");
    int news = 0;
    for (const auto& l : lines)
        news += l.rfind("New    ", 0) == 0;
    EXPECT_EQ(news, 5);  // a.txt, Папка, b.txt, Вложенная, c.txt
    EXPECT_EQ(lines[lines.size() - 3], "Stop 06.12.26 18:20:13");
    EXPECT_EQ(lines[lines.size() - 2], "NextStart 06.12.26 19:20:13");
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(schedule.calls, 1);

    // Unchanged: only the frame of the block, and the journal itself is never deleted.
    Run();
    lines = Journal();
    const std::vector<std::string> second(lines.end() - 4, lines.end());
    EXPECT_EQ(second, (std::vector<std::string>{"Start 06.12.26 18:20:13", "Stop 06.12.26 18:20:13",
                                                "NextStart 06.12.26 19:20:13", ""}));
    EXPECT_EQ(display.calls.back(), "normal");
}

TEST_F(PassFixture, ChangedFileIsUpdatedAndStaleEntriesGoOverPasses) {
    WriteFile(src + "a.txt", "one");
    WriteFile(src + "old\\deep\\x.txt", "x");
    settings.SourceDirs = {src};
    Run();
    WriteFile(src + "a.txt", "two, longer");
    test::RemoveTree(src + "old");
    Run();
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "two, longer");
    const std::string journal = ReadFile(root + "journal.txt");
    EXPECT_NE(journal.find("Update " + Mirror(src + "a.txt")), std::string::npos);
    const std::string rel = src.substr(3);
    EXPECT_NE(journal.find("Delete " + rel + "old\\deep\\x.txt"), std::string::npos);
    EXPECT_FALSE(IsFile(Mirror(src + "old\\deep\\x.txt")));
    // Emptied folders go one level per pass; the journal is never among the deleted.
    for (int i = 0; i < 3; ++i)
        Run();
    EXPECT_FALSE(IsFolder(Mirror(src + "old")));
    EXPECT_EQ(ReadFile(root + "journal.txt").find("Delete journal.txt"), std::string::npos);
}

TEST_F(PassFixture, UnsafeIdentifCompAndUnreachableTargetTouchNothing) {
    WriteFile(src + "a.txt", "a");
    WriteFile(target + "Other\\keep.txt", "other computer");
    settings.SourceDirs = {src};
    for (const char* bad : {"", ".", "..", "a\\b", "x:y", "a*"}) {
        settings.IdentifComp = bad;
        Run();
    }
    EXPECT_EQ(ReadFile(target + "Other\\keep.txt"), "other computer");
    EXPECT_EQ(schedule.calls, 0);
    EXPECT_TRUE(display.calls.empty());
    settings.IdentifComp = "Test";
    settings.TargetDir = "Q:\\nowhere\\";  // no such drive
    Run();
    EXPECT_EQ(schedule.calls, 0);
}

TEST_F(PassFixture, MissingSourceKeepsItsMirror) {
    WriteFile(src + "a.txt", "a");
    const std::string file = src + "single.txt";
    WriteFile(file, "s");
    settings.SourceDirs = {src};
    settings.SourceFiles = {file};
    Run();
    ASSERT_TRUE(IsFile(Mirror(file)));
    // The listed folder and file vanish (as on a medium that is not there): their mirror stays.
    const std::string away = src.substr(0, src.size() - 1) + "-away";
    test::RemoveTree(away);
    ASSERT_TRUE(MoveFileA(src.substr(0, src.size() - 1).c_str(), away.c_str()));
    Run();
    EXPECT_TRUE(IsFile(Mirror(src + "a.txt")));
    EXPECT_TRUE(IsFile(Mirror(file)));
    // A source taken out of the settings still has its mirror deleted.
    settings.SourceDirs.clear();
    settings.SourceFiles.clear();
    Run();
    EXPECT_FALSE(IsFile(Mirror(src + "a.txt")));
    EXPECT_FALSE(IsFile(Mirror(file)));
    test::RemoveTree(away);
}

TEST_F(PassFixture, FloorAboveFreeSpaceStopsBeforeAnything) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    settings.LowDriveSpaceMb = (DriveFree("T:\\") / 1000000) + 1000;
    Run();
    EXPECT_FALSE(IsFile(root + "journal.txt"));
    EXPECT_EQ(schedule.calls, 0);
}

TEST_F(PassFixture, SourceContainingTheMirrorIsNotMirroredIntoItself) {
    WriteFile(target + "data.txt", "d");
    settings.SourceDirs = {target};
    Run();
    Run();
    EXPECT_EQ(ReadFile(Mirror(target + "data.txt")), "d");
    EXPECT_FALSE(IsFolder(root + target.substr(3) + "Test"));
}
