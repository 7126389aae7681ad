#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
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
    PassResult Run() { return RunBackupPass(settings, false, display, schedule, clock); }
    std::vector<std::string> Journal() { return Lines(ReadFile(root + "journal.txt")); }
    // The mirror of a source path: BackupRoot + the path without its drive designator.
    std::string Mirror(const std::string& path) { return root + path.substr(3); }
};

} // namespace

TEST_F(PassFixture, FirstPassCopiesEverythingThenAnUnchangedPassCopiesNothing) {
    WriteFile(src + "a.txt", "alpha");
    WriteFile(src + "Папка\\b.txt", "beta");
    WriteFile(src + "Папка\\Вложенная\\c.txt", "gamma");
    WriteAttributes(src + "Папка\\b.txt", FILE_ATTRIBUTE_READONLY);
    settings.SourceDirs = {src};
    Run();
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "alpha");
    EXPECT_EQ(ReadFile(Mirror(src + "Папка\\Вложенная\\c.txt")), "gamma");
    EXPECT_EQ(ReadAttributes(Mirror(src + "Папка\\b.txt")) & FILE_ATTRIBUTE_READONLY,
              FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(FileStamp(Mirror(src + "a.txt")), FileStamp(src + "a.txt"));
    auto lines = Journal();
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Start 06.12.26 18:20:13");
    int news = 0;
    for (const auto& l : lines)
        news += l.rfind("New    ", 0) == 0;
    EXPECT_EQ(news, 5); // a.txt, Папка, b.txt, Вложенная, c.txt
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
        const PassResult result = Run();
        EXPECT_EQ(result.refusal, PassRefusal::UnsafeName) << bad;
        EXPECT_EQ(result.path, bad);
        EXPECT_EQ(ExitCodeOf(result), kExitNotRun);
    }
    EXPECT_EQ(ReadFile(target + "Other\\keep.txt"), "other computer");
    EXPECT_EQ(schedule.calls, 0);
    EXPECT_TRUE(display.calls.empty());
    settings.IdentifComp = "Test";
    settings.TargetDir = "Q:\\nowhere\\"; // no such drive
    EXPECT_EQ(Run().refusal, PassRefusal::RootUnreachable);
    settings.TargetDir = "nowhere\\";
    EXPECT_EQ(Run().refusal, PassRefusal::TargetNotDrive);
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
    const PassResult result = Run();
    EXPECT_EQ(result.refusal, PassRefusal::LowSpace);
    EXPECT_EQ(result.floorBytes, settings.LowDriveSpaceMb * 1000000);
    EXPECT_GT(result.freeBytes, 0);
    EXPECT_LT(result.freeBytes, result.floorBytes);
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

// ---- What the pass may touch: the user's files in and around the mirror folder ----

TEST_F(PassFixture, SourcesInsideTheMirrorFolderAreRefusedAndNeverTouched) {
    src += "in\\"; // so that its mirror paths do not overlap those of T:\<test>\TestMore
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    Run();
    // The user keeps files of their own in the mirror folder and lists them as sources.
    WriteFile(root + "Inside\\u.txt", "the only copy");
    WriteFile(root + "keep.txt", "kept too");
    const std::string more = target + "TestMore\\"; // shares a prefix with the mirror folder only
    WriteFile(more + "m.txt", "more");
    settings.SourceDirs = {src, root + "Inside", more};
    settings.SourceFiles = {root + "keep.txt"};
    for (int pass = 0; pass < 2; ++pass) {
        const PassResult result = Run();
        const auto block = LastBlock(Journal());
        const std::vector<std::string> middle(block.begin() + 1, block.end() - 3);
        std::vector<std::string> expected = {"Failed " + root + "Inside", "Failed " + root + "keep.txt"};
        if (pass == 0)
            expected.insert(expected.begin() + 1, "New    " + Mirror(more + "m.txt"));
        EXPECT_EQ(middle, expected) << "pass " << pass;
        EXPECT_EQ(result.failed, (std::vector<std::string>{root + "Inside", root + "keep.txt"}));
        EXPECT_EQ(ExitCodeOf(result), kExitIncomplete);
        EXPECT_EQ(ReadFile(root + "Inside\\u.txt"), "the only copy");
        EXPECT_EQ(ReadFile(root + "keep.txt"), "kept too");
        EXPECT_EQ(ReadFile(Mirror(more + "m.txt")), "more");
    }
}

TEST_F(PassFixture, AFolderThatHoldsTheUsersFilesIsNotTakenAsAMirror) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    settings.IdentifComp = "Docs";
    WriteFile(target + "Docs\\2025\\tax.pdf", "tax");
    WriteFile(target + "Docs\\thesis.docx", "thesis");
    const PassResult result = Run();
    EXPECT_EQ(result.refusal, PassRefusal::NotAMirror);
    EXPECT_EQ(result.path, target + "Docs\\");
    EXPECT_EQ(ExitCodeOf(result), kExitNotRun);
    EXPECT_EQ(ReadFile(target + "Docs\\2025\\tax.pdf"), "tax");
    EXPECT_EQ(ReadFile(target + "Docs\\thesis.docx"), "thesis");
    EXPECT_FALSE(IsFile(target + "Docs\\journal.txt"));
    EXPECT_EQ(ReadAttributes(target + "Docs\\" + kPassLockName), -1);
    EXPECT_EQ(schedule.calls, 0);
    EXPECT_TRUE(display.calls.empty());
}

TEST_F(PassFixture, MirrorsOfThisProgramAreTakenWhateverTheyShowOfIt) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    // What each kind of earlier mirror still holds besides a stale file.
    const std::vector<std::pair<std::string, std::function<void(const std::string&)>>> kinds = {
        {"journal",
         [](const std::string& r) { WriteFile(r + "journal.txt", "Start 01.12.26 10:00:00\r\n"); }},
        {"lock", [](const std::string& r) { WriteFile(r + kPassLockName, ""); }}, // a first pass killed early
        {"versions", [](const std::string& r) { WriteFile(r + "~versions\\x", "x"); }},
        {"archive", [&](const std::string&) { WriteFile(target + "261201.Test", "Start\r\n"); }},
        {"empty", [](const std::string&) {}},
    };
    for (const auto& [kind, leave] : kinds) {
        test::RemoveTree(target);
        ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
        leave(root);
        if (kind != "empty")
            WriteFile(root + "stale.txt", "stale");
        const PassResult result = Run();
        EXPECT_TRUE(result.Ran()) << kind;
        EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a") << kind;
        EXPECT_FALSE(IsFile(root + "stale.txt")) << kind;
        // The mark stays behind for the next pass.
        EXPECT_NE(ReadAttributes(root + kPassLockName), -1) << kind;
    }
    // An archive of another computer's folder proves nothing.
    test::RemoveTree(target);
    WriteFile(target + "261201.Other", "Start\r\n");
    WriteFile(root + "mine.txt", "mine");
    EXPECT_EQ(Run().refusal, PassRefusal::NotAMirror);
    EXPECT_EQ(ReadFile(root + "mine.txt"), "mine");
}

TEST_F(PassFixture, APassHeldByAnotherDoesNotRunAndALeftoverMarkDoesNotHoldIt) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    ASSERT_TRUE(Run().Ran());
    const std::string before = ReadFile(root + "journal.txt");
    WriteFile(src + "b.txt", "b");
    {
        HANDLE held =
            CreateFileA((root + kPassLockName).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const PassResult result = Run();
        CloseHandle(held);
        EXPECT_EQ(result.refusal, PassRefusal::Busy);
        EXPECT_EQ(ExitCodeOf(result), kExitNotRun);
    }
    EXPECT_EQ(ReadFile(root + "journal.txt"), before);
    EXPECT_FALSE(IsFile(Mirror(src + "b.txt")));
    EXPECT_EQ(schedule.calls, 1);
    // The mark is still there, held by no one: the next pass runs.
    ASSERT_NE(ReadAttributes(root + kPassLockName), -1);
    const PassResult result = Run();
    EXPECT_TRUE(result.Ran());
    EXPECT_EQ(ExitCodeOf(result), kExitClean);
    EXPECT_EQ(ReadFile(Mirror(src + "b.txt")), "b");
    // A source entry named like the mark at the top of the mirror cannot be copied over it.
    const std::string top = "S:\\";
    settings.SourceDirs.clear();
    settings.SourceFiles = {top + kPassLockName};
    WriteFile(top + kPassLockName, "user file");
    const PassResult clash = Run();
    EXPECT_EQ(clash.failed, std::vector<std::string>{root + kPassLockName});
    DeleteFileA((top + kPassLockName).c_str());
}

TEST_F(PassFixture, LinksBackUpTheTreeAreLeftOutAndOthersMirroredAsFolders) {
    // Made by the test runner: src holds a.txt, sub\b.txt and links up (to the folder that holds
    // src), sib (to sub) and out (to a folder beside src).
    const std::string links = "S:\\links_fixture\\";
    ASSERT_NE(ReadAttributes(links + "src\\up") & FILE_ATTRIBUTE_REPARSE_POINT, 0)
        << "run under tools/wine-run";
    settings.SourceDirs = {links + "src"};
    const PassResult first = Run();
    EXPECT_EQ(ExitCodeOf(first), kExitClean);
    const std::string mirror = Mirror(links + "src\\");
    EXPECT_EQ(ReadFile(mirror + "a.txt"), "a\n");
    EXPECT_EQ(ReadFile(mirror + "sib\\b.txt"), "b\n");
    EXPECT_EQ(ReadFile(mirror + "out\\o.txt"), "o\n");
    EXPECT_EQ(ReadAttributes(mirror + "sib") & FILE_ATTRIBUTE_REPARSE_POINT, 0);
    EXPECT_EQ(ReadAttributes(mirror + "up"), -1);
    EXPECT_EQ(LastBlock(Journal()).size(), 4u + 7u); // a, sub, sub\b, sib, sib\b, out, out\o
    Run();
    EXPECT_EQ(LastBlock(Journal()).size(), 4u);
}
