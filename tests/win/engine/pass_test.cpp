// Backup passes on real files: the first and an unchanged pass, refused settings and mirror folders,
// sources in and around the mirror, the pass's lock and links to folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>

#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "file_lock.h"
#include "mirror_fixture.h"

using namespace vestrand;
using namespace vestrand::test;

using PassFixture = MirrorFixture;

namespace {

// This computer's name as the system gives it (under Wine: the registry's ActiveComputerName).
std::string ComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    EXPECT_TRUE(GetComputerNameA(name, &size));
    return std::string(name, size);
}

} // namespace

TEST_F(PassFixture, FirstPassCopiesEverythingThenAnUnchangedPassCopiesNothing) {
    WriteFile(src + "a.txt", "alpha");
    WriteFile(src + "Папка\\b.txt", "beta");
    WriteFile(src + "Папка\\Вложенная\\c.txt", "gamma");
    WriteAttributes(src + "Папка\\b.txt", FILE_ATTRIBUTE_READONLY);
    settings.SourceDirs = {src};
    Run();
    // Every file with its content, write time and attributes (b.txt is read-only).
    EXPECT_EQ(SnapshotTree(Mirror(src), Snap::FilesOnly), SnapshotTree(src, Snap::FilesOnly));
    EXPECT_EQ(JournalLines(), Framed(Body()));
    EXPECT_EQ(Sorted(Body()), Sorted({New(src + "a.txt"), New(src + "Папка"), New(src + "Папка\\b.txt"),
                                      New(src + "Папка\\Вложенная"), New(src + "Папка\\Вложенная\\c.txt")}));
    EXPECT_EQ(schedule.calls, 1);

    // Unchanged: only the frame of the block, and the journal itself is never deleted.
    Run();
    EXPECT_EQ(Block(), Framed({}));
    EXPECT_EQ(display.calls.back(), "normal");
}

TEST_F(PassFixture, UnsafeIdentifCompAndUnreachableTargetTouchNothing) {
    WriteFile(src + "a.txt", "a");
    WriteFile(target + "Other\\keep.txt", "other computer");
    settings.SourceDirs = {src};
    const auto before = SnapshotTree(target);
    settings.IdentifComp = ".."; // would name the folder that holds every computer's mirror
    const PassResult result = Run();
    EXPECT_EQ(result.refusal, PassRefusal::UnsafeName);
    EXPECT_EQ(result.path, "..");
    EXPECT_EQ(ExitCodeOf(result), kExitNotRun);
    EXPECT_EQ(SnapshotTree(target), before);
    EXPECT_TRUE(display.calls.empty());
    settings.IdentifComp = "Test";
    settings.TargetDir = "Q:\\nowhere\\"; // no such drive
    EXPECT_EQ(Run().refusal, PassRefusal::RootUnreachable);
    settings.TargetDir = "nowhere\\";
    EXPECT_EQ(Run().refusal, PassRefusal::TargetUnusable);
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
    RemoveTree(away);
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
    RemoveTree(away);
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
    EXPECT_FALSE(IsFolder(Mirror(root)));
}

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
        Lines expected = {FailedLine(root + "Inside"), FailedLine(root + "keep.txt")};
        if (pass == 0)
            expected.insert(expected.begin() + 1, New(more + "m.txt"));
        EXPECT_EQ(Block(), Framed(expected)) << "pass " << pass;
        EXPECT_EQ(result.failed, (Lines{root + "Inside", root + "keep.txt"}));
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
    const auto before = SnapshotTree(target);
    const PassResult result = Run();
    EXPECT_EQ(result.refusal, PassRefusal::NotAMirror);
    EXPECT_EQ(result.path, target + "Docs\\");
    EXPECT_EQ(ExitCodeOf(result), kExitNotRun);
    EXPECT_EQ(SnapshotTree(target), before); // no journal, no lock, nothing changed
    EXPECT_EQ(schedule.calls, 0);
    EXPECT_TRUE(display.calls.empty());
}

TEST_F(PassFixture, MirrorsOfThisProgramAreTakenWhateverTheyShowOfIt) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    // What each kind of earlier mirror still holds besides a stale file.
    const std::vector<std::pair<std::string, std::function<void()>>> kinds = {
        {"journal", [&] { WriteFile(root + "journal.txt", "Start 01.12.26 10:00:00\r\n"); }},
        {"lock", [&] { WriteFile(root + kPassLockName, ""); }}, // a first pass killed early
        {"versions", [&] { WriteFile(root + "~versions\\x", "x"); }},
        {"archive", [&] { WriteFile(target + "261201.Test", "Start\r\n"); }},
        {"empty", [] {}},
    };
    for (const auto& [kind, leave] : kinds) {
        UseTarget('T');
        ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
        leave();
        if (kind != "empty")
            WriteFile(root + "stale.txt", "stale");
        EXPECT_TRUE(Run().Ran()) << kind;
        EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a") << kind;
        EXPECT_FALSE(IsFile(root + "stale.txt")) << kind;
        // The mark stays behind for the next pass, and the folder is this computer's from now on.
        EXPECT_NE(ReadAttributes(root + kPassLockName), -1) << kind;
        EXPECT_EQ(ReadFile(root + kOwnerName), ComputerName() + "\r\n") << kind;
    }
    // An archive of another computer's folder proves nothing.
    UseTarget('T');
    WriteFile(target + "261201.Other", "Start\r\n");
    WriteFile(root + "mine.txt", "mine");
    EXPECT_EQ(Run().refusal, PassRefusal::NotAMirror);
    EXPECT_EQ(ReadFile(root + "mine.txt"), "mine");
}

TEST_F(PassFixture, APassHeldByAnotherDoesNotRunAndALeftoverMarkDoesNotHoldIt) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    ASSERT_TRUE(Run().Ran());
    const std::string before = Journal();
    WriteFile(src + "b.txt", "b");
    {
        FileLock held(root + kPassLockName);
        ASSERT_TRUE(held.Held());
        const PassResult result = Run();
        EXPECT_EQ(result.refusal, PassRefusal::Busy);
        EXPECT_EQ(ExitCodeOf(result), kExitNotRun);
    }
    EXPECT_EQ(Journal(), before);
    EXPECT_FALSE(IsFile(Mirror(src + "b.txt")));
    EXPECT_EQ(schedule.calls, 1);
    // The mark is still there, held by no one: the next pass runs.
    ASSERT_NE(ReadAttributes(root + kPassLockName), -1);
    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    EXPECT_EQ(ReadFile(Mirror(src + "b.txt")), "b");
}

TEST_F(PassFixture, ASourceNamedLikeAnEntryThePassKeepsAtTheTopOfTheMirrorIsRefused) {
    settings.SourceDirs = {src};
    Run();
    WriteFile(root + "~versions\\2020-01-01 000000\\old.txt", "history");
    settings.SourceDirs.clear();
    // Versions are off: their folder stays the pass's all the same.
    for (const std::string own : {kPassLockName, kOwnerName, "~versions"}) {
        WriteFile("S:\\" + own, "a user's file");
        settings.SourceFiles = {"S:\\" + own};
        EXPECT_EQ(Run().failed, Lines{root + own}) << own;
        DeleteFileA(("S:\\" + own).c_str());
    }
    EXPECT_EQ(ReadFile(root + "~versions\\2020-01-01 000000\\old.txt"), "history");
}

TEST_F(PassFixture, LinksBackUpTheTreeAreLeftOutAndOthersMirroredAsFolders) {
    // Made by the test runner: src holds a.txt, sub\b.txt and links up (to the folder that holds
    // src), sib (to sub) and out (to a folder beside src).
    const std::string links = "S:\\links_fixture\\src\\";
    ASSERT_NE(ReadAttributes(links + "up") & FILE_ATTRIBUTE_REPARSE_POINT, 0) << "run under tools/wine-run";
    settings.SourceDirs = {links.substr(0, links.size() - 1)};
    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    EXPECT_EQ(ReadFile(Mirror(links + "a.txt")), "a\n");
    EXPECT_EQ(ReadFile(Mirror(links + "sib\\b.txt")), "b\n");
    EXPECT_EQ(ReadFile(Mirror(links + "out\\o.txt")), "o\n");
    EXPECT_EQ(ReadAttributes(Mirror(links + "up")), -1);
    EXPECT_EQ(ReadAttributes(Mirror(links + "sib")) & FILE_ATTRIBUTE_REPARSE_POINT, 0);
    EXPECT_EQ(Sorted(Body()),
              Sorted({New(links + "a.txt"), New(links + "sub"), New(links + "sub\\b.txt"), New(links + "sib"),
                      New(links + "sib\\b.txt"), New(links + "out"), New(links + "out\\o.txt")}));
    Run();
    EXPECT_EQ(Block(), Framed({}));
}

TEST_F(PassFixture, AMirrorOfAnotherComputerIsRefusedAndNothingInItChanges) {
    settings.KeepVersionsDays = 1;
    RunWithFiles({{"a.txt", "a"}, {"b.txt", "b"}});
    // The next pass would update a.txt, hold and delete b.txt, and prune the expired stamped folder.
    WriteFile(src + "a.txt", "a, second");
    ASSERT_TRUE(DeleteFileA((src + "b.txt").c_str()));
    WriteFile(root + "~versions\\2020-01-01 000000\\old.txt", "history");
    // An administrator copied the program with its settings to a second computer.
    WriteFile(root + kOwnerName, "OTHER-PC\r\n");
    const auto before = SnapshotTree(target);
    const PassResult result = Run();
    EXPECT_EQ(result.refusal, PassRefusal::ForeignMirror);
    EXPECT_EQ(result.path, "OTHER-PC");
    EXPECT_EQ(ExitCodeOf(result), kExitNotRun);
    EXPECT_EQ(SnapshotTree(target), before); // the mirror, its journal and its versions, byte for byte
    EXPECT_EQ(schedule.calls, 1);
    // The owner's name in any letter case, with blanks around it, is this computer.
    std::string self = ComputerName();
    std::transform(self.begin(), self.end(), self.begin(), [](unsigned char c) { return std::tolower(c); });
    WriteFile(root + kOwnerName, "  " + self + " \r\n");
    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a, second");
}

TEST_F(PassFixture, AnOwnerFileThatCannotBeReadIsNeverTakenOver) {
    RunWithFiles({{"a.txt", "a"}});
    ASSERT_TRUE(DeleteFileA((src + "a.txt").c_str()));
    const std::string owner = root + kOwnerName;
    const std::vector<std::pair<std::string, std::function<void()>>> kinds = {
        {"empty", [&] { WriteFile(owner, " \r\n"); }},
        {"folder", [&] { ASSERT_TRUE(CreateDirectoryA(owner.c_str(), nullptr)); }},
        {"held", [&] { WriteFile(owner, ComputerName()); }},
    };
    for (const auto& [kind, make] : kinds) {
        DeleteFileA(owner.c_str());
        RemoveDirectoryA(owner.c_str());
        make();
        const auto before = SnapshotTree(target);
        std::optional<FileLock> held;
        if (kind == "held")
            held.emplace(owner); // by another program, without sharing
        const PassResult result = Run();
        EXPECT_EQ(result.refusal, PassRefusal::OwnerUnreadable) << kind;
        EXPECT_EQ(result.path, owner) << kind;
        held.reset();
        EXPECT_EQ(SnapshotTree(target), before) << kind;
    }
}

TEST_F(PassFixture, VariablesInIdentifCompAndTargetDirAreExpandedBeforeTheSafetyRulesCheckThem) {
    const std::vector<std::pair<const char*, const char*>> set = {
        {"VESTRAND_DOTS", ".."}, {"VESTRAND_SHARE", "\\\\srv\\share"}, {"VESTRAND_UNSET", nullptr}};
    for (const auto& [variable, value] : set)
        SetEnvironmentVariableA(variable, value);
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    const auto before = SnapshotTree(target);
    struct Case {
        std::string identifComp, targetDir;
        PassRefusal refusal;
        std::string path;
    };
    for (const Case& c : std::vector<Case>{
             {"%VESTRAND_DOTS%", target, PassRefusal::UnsafeName, ".."},
             {"%VESTRAND_UNSET%", target, PassRefusal::UnsetVariable, "%VESTRAND_UNSET%"},
             {"Test", target + "%VESTRAND_UNSET%\\", PassRefusal::UnsetVariable, "%VESTRAND_UNSET%"},
             {"Test", "%VESTRAND_SHARE%", PassRefusal::TargetUnusable, "\\\\srv\\share"},
         }) {
        settings.IdentifComp = c.identifComp;
        settings.TargetDir = c.targetDir;
        const PassResult result = Run();
        EXPECT_EQ(result.refusal, c.refusal) << c.identifComp << " " << c.targetDir;
        EXPECT_EQ(result.path, c.path) << c.identifComp << " " << c.targetDir;
    }
    EXPECT_EQ(SnapshotTree(target), before);
    for (const auto& [variable, value] : set)
        SetEnvironmentVariableA(variable, nullptr);
    // One settings file for every computer: each mirrors into a folder of its own name.
    settings.IdentifComp = "%COMPUTERNAME%";
    settings.TargetDir = target;
    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    EXPECT_EQ(ReadFile(target + ComputerName() + "\\" + MirrorRel(src) + "a.txt"), "a");
}

TEST_F(PassFixture, AFileThatDiffersFromItsCopyInSizeAloneIsUpdatedListedOrInAListedFolder) {
    const std::string inFolder = src + "dir\\a.txt", listed = src + "single.txt";
    WriteFile(inFolder, "a"), WriteFile(listed, "s");
    settings.SourceDirs = {src + "dir\\"};
    settings.SourceFiles = {listed};
    Run();
    for (const std::string& file : {inFolder, listed}) // the same time stamp and attributes
        WriteFile(Mirror(file), "cut"), SetStamp(file, 600), SetStamp(Mirror(file), 600);
    Run();
    EXPECT_EQ(Sorted(Body()), Sorted({Update(inFolder), Update(listed)}));
    EXPECT_EQ(ReadFile(Mirror(listed)), "s");
}
