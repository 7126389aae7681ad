// vestrand.exe as it is deployed: started as a process of its own with its settings file beside it.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "engine/backup_pass_win.h"
#include "engine/mirror_owner_win.h"
#include "runtime/handles_win.h"
#include "runtime/platform_win.h"
#include "settings/schedule_win.h"
#include "tree_snapshot.h"
#include "program_runner.h"
#include "ui_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

const std::string kConfig = "IdentifComp=PC\r\nLowDriveSpaceMb=5\r\n";

// A folder with the program and a settings file that mirrors src\ into arch\PC\.
std::string Install(const std::string& name) {
    const std::string root = FreshFolder('T', name);
    const std::string self = ExecutablePath();
    const std::string built = self.substr(0, self.find_last_of('\\') + 1) + "bin\\vestrand.exe";
    EXPECT_TRUE(::CopyFileA(built.c_str(), (root + "vestrand.exe").c_str(), FALSE)) << built;
    WriteFile(root + "src\\a.txt", "alpha");
    WriteFile(root + "vestrand.ini", SettingsText(root, kConfig));
    return root;
}

// Where the installed program mirrors its src\ folder, and its journal.
std::string MirrorOf(const std::string& root) {
    return root + "arch\\PC\\" + MirrorRel(root) + "src\\";
}
std::string Journal(const std::string& root) {
    return ReadFile(root + "arch\\PC\\journal.txt");
}

// The journal with the day's archive in front: the block of a large first pass is moved to the
// archive at once.
std::string JournalWithArchive(const std::string& root) {
    std::string archive;
    for (const std::string& name : NamesIn(root + "arch\\"))
        if (name.size() == 9 && name.substr(6) == ".PC")
            archive = ReadFile(root + "arch\\" + name);
    return archive + Journal(root);
}

HWND MainWindowOf(const Program& p) {
    for (int i = 0; i < 400; ++i) {
        HWND hwnd = nullptr;
        while ((hwnd = ::FindWindowExA(nullptr, hwnd, "TFormVestrand", nullptr)) != nullptr) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid == p.id)
                return hwnd;
        }
        ::Sleep(50);
    }
    return nullptr;
}

} // namespace

TEST(Program, StartRunsOnePassOfEveryNameAndEnds) {
    const std::string root = Install("prog_start");
    const std::wstring src = WidenU(root + "src\\"), mirror = WidenU(MirrorOf(root));
    WriteFileW(src + L"M\u00FCller.txt", "umlaut");
    WriteFileW(src + L"Muller.txt", "plain");
    WriteFileW(src + L"photo \xD83D\xDE00.txt", "emoji");
    EXPECT_EQ(RunToEnd(root, "start"), 0u); // the switch in any case (its rule: the host tests)
    EXPECT_EQ(ReadFile(MirrorOf(root) + "a.txt"), "alpha");
    EXPECT_EQ(ReadFileW(mirror + L"M\u00FCller.txt"), "umlaut");
    EXPECT_EQ(ReadFileW(mirror + L"Muller.txt"), "plain");
    EXPECT_EQ(ReadFileW(mirror + L"photo \xD83D\xDE00.txt"), "emoji");
    const std::string journal = Journal(root);
    const Lines lines = SplitCrLf(journal);
    EXPECT_TRUE(HasLine(lines, "Command \"Start\"")) << journal;
    EXPECT_TRUE(WithPrefix(lines, "NextStart").empty()) << journal;
    // Names outside the code page are written in the journal in their <U+XXXX> form.
    EXPECT_TRUE(HasLine(lines, NewLine(MirrorOf(root) + "M<U+00FC>ller.txt"))) << journal;
    EXPECT_TRUE(HasLine(lines, NewLine(MirrorOf(root) + "photo <U+1F600>.txt"))) << journal;
    // The settings file beside the program was completed at start.
    EXPECT_NE(ReadFile(root + "vestrand.ini").find("SaveMin=60"), std::string::npos);
}

TEST(Program, StartEndsWithTheStatusOfItsPass) {
    // Not run: the backup drive is not there, or the folder holds the user's own files.
    const std::string root = Install("prog_start_status");
    const std::string ini = root + "vestrand.ini", thesis = root + "arch\\PC\\thesis.docx";
    WriteFile(ini, "[Config]\r\nTargetDir=Q:\\nowhere\r\n[SourceDir]\r\n1=" + root + "src\r\n");
    EXPECT_EQ(RunToEnd(root, "START"), 2u);
    WriteFile(thesis, "the user's");
    WriteFile(ini, SettingsText(root, kConfig));
    EXPECT_EQ(RunToEnd(root, "START"), 2u);
    EXPECT_EQ(ReadFile(thesis), "the user's");
    EXPECT_EQ(Journal(root), "");
    // Run with a Failed line: a listed file inside the mirror folder is refused and kept.
    WriteFile(root + "arch\\PC\\" + kPassLockName, "");
    WriteFile(ini, SettingsText(root, kConfig, {thesis}));
    EXPECT_EQ(RunToEnd(root, "START"), 1u);
    EXPECT_EQ(ReadFile(thesis), "the user's");
    EXPECT_TRUE(HasLine(SplitCrLf(Journal(root)), FailedLine(thesis))) << Journal(root);
}

TEST(Program, OneSettingsFileServesEveryComputerAndStartOnAnotherComputersMirrorEndsWithTwo) {
    const std::string root = Install("prog_start_owner");
    const std::string ini = root + "vestrand.ini";
    WriteFile(ini, SettingsText(root, "IdentifComp=%COMPUTERNAME%\r\nLowDriveSpaceMb=5\r\n"));
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    ASSERT_TRUE(::GetComputerNameA(name, &size));
    const std::string mirror = root + "arch\\" + std::string(name, size) + "\\";
    EXPECT_EQ(RunToEnd(root, "START"), 0u);
    EXPECT_TRUE(HasLine(SplitCrLf(ReadFile(mirror + "journal.txt")),
                        NewLine(mirror + MirrorRel(root) + "src\\a.txt")));
    EXPECT_NE(ReadFile(ini).find("IdentifComp=%COMPUTERNAME%\r\n"), std::string::npos); // kept as written
    // The folder turns out to be another computer's: nothing of it changes.
    WriteFile(mirror + kOwnerName, "OTHER-PC\r\n");
    WriteFile(root + "src\\a.txt", "alpha, second");
    const auto before = SnapshotTree(root + "arch\\");
    EXPECT_EQ(RunToEnd(root, "START"), 2u);
    EXPECT_EQ(SnapshotTree(root + "arch\\"), before);
}

TEST(Program, StartPausedByTheGuardEndsWithFourAndConfirmCarriesThePlanOut) {
    const std::string root = Install("prog_start_guard");
    for (int i = 0; i < 100; ++i)
        WriteFile(root + "src\\d\\" + std::to_string(i) + ".txt", "d");
    EXPECT_EQ(RunToEnd(root, "START"), 0u);
    RemoveTree(root + "src\\d");
    EXPECT_EQ(RunToEnd(root, "START"), 4u);
    EXPECT_EQ(ReadFile(MirrorOf(root) + "d\\7.txt"), "d");
    EXPECT_EQ(RunToEnd(root, "CONFIRM"), 0u);
    EXPECT_EQ(::GetFileAttributesA((MirrorOf(root) + "d\\7.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

// An overdue backup changes no exit code; a complete pass of START is kept as the last one.
TEST(Program, StartOverdueKeepsItsExitCodesAndKeepsTheLastCompletePass) {
    const std::string root = Install("prog_start_overdue");
    const std::string ini = root + "vestrand.ini";
    const DateTime old = EncodeDateTime(CivilTime{2020, 1, 1, 12, 0, 0, 0});
    StoreLastComplete(kScheduleKey, old);
    SystemClock clock;
    WriteFile(ini, "[Config]\r\nTargetDir=Q:\\nowhere\r\n[SourceDir]\r\n1=" + root + "src\r\n");
    EXPECT_EQ(RunToEnd(root, "START"), 2u);
    EXPECT_EQ(ReadLastComplete(kScheduleKey, clock.Now()), old);
    WriteFile(root + "arch\\PC\\" + kPassLockName, "");
    WriteFile(root + "arch\\PC\\mine.txt", "the user's");
    WriteFile(ini, SettingsText(root, kConfig, {root + "arch\\PC\\mine.txt"}));
    EXPECT_EQ(RunToEnd(root, "START"), 1u); // a Failed line: complete all the same
    const DateTime after = clock.Now();
    EXPECT_GT(ReadLastComplete(kScheduleKey, after + kMinute), after - 2 * kMinute);
}

TEST(Program, TwoStartsAtOnceMakeOnePassAndTheOtherEndsWithTwo) {
    const std::string root = Install("prog_start_twice");
    // Enough files that the first pass is still at work when the second process comes.
    const auto file = [](int i) { return "d" + std::to_string(i % 40) + "\\f" + std::to_string(i) + ".txt"; };
    for (int i = 0; i < 4000; ++i)
        WriteFile(root + "src\\" + file(i), std::to_string(i));
    Program a(root, "START", false), b(root, "START", false);
    ASSERT_TRUE(a.Ended(180000));
    ASSERT_TRUE(b.Ended(180000));
    EXPECT_EQ((std::multiset<DWORD>{a.ExitCode(), b.ExitCode()}), (std::multiset<DWORD>{0u, 2u}));
    EXPECT_EQ(WithPrefix(SplitCrLf(JournalWithArchive(root)), "Start ").size(), 1u);
    for (int i = 0; i < 4000; i += 397)
        EXPECT_EQ(ReadFile(MirrorOf(root) + file(i)), std::to_string(i));
    EXPECT_EQ(ReadFile(MirrorOf(root) + file(3999)), "3999");
}

TEST(Program, StartWithVersionsKeptHoldsWhatItsPassDeletesAndOverwrites) {
    const std::string root = Install("prog_start_versions");
    WriteFile(root + "src\\b.txt", "beta");
    WriteFile(root + "vestrand.ini", SettingsText(root, kConfig + "KeepVersionsDays=30\r\n"));
    const std::string mirror = MirrorOf(root);
    EXPECT_EQ(RunToEnd(root, "START"), 0u);
    WriteFile(root + "src\\a.txt", "alpha, second");
    ASSERT_TRUE(::DeleteFileA((root + "src\\b.txt").c_str()));
    EXPECT_EQ(RunToEnd(root, "START"), 0u);
    EXPECT_NE(ReadFile(root + "vestrand.ini").find("KeepVersionsDays=30\r\n"), std::string::npos);
    EXPECT_EQ(ReadFile(mirror + "a.txt"), "alpha, second");
    EXPECT_EQ(::GetFileAttributesA((mirror + "b.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    // One stamped folder, named after the start of the pass that held them, as its block says.
    const Lines stamps = NamesIn(root + "arch\\PC\\~versions\\");
    ASSERT_EQ(stamps.size(), 1u);
    const std::string& s = stamps[0]; // yyyy-mm-dd hhnnss
    const std::string started = "Start " + s.substr(8, 2) + "." + s.substr(5, 2) + "." + s.substr(2, 2) +
                                " " + s.substr(11, 2) + ":" + s.substr(13, 2) + ":" + s.substr(15, 2);
    const std::string journal = Journal(root);
    const Lines block = LastBlock(SplitCrLf(journal));
    ASSERT_FALSE(block.empty()) << journal;
    EXPECT_EQ(block[0], started) << journal;
    EXPECT_TRUE(HasLine(block, UpdateLine(mirror + "a.txt"))) << journal;
    EXPECT_TRUE(HasLine(block, DeleteLine(MirrorRel(root + "src\\b.txt")))) << journal;
    const std::string held = root + "arch\\PC\\~versions\\" + s + "\\" + MirrorRel(root) + "src\\";
    EXPECT_EQ(ReadFile(held + "a.txt"), "alpha");
    EXPECT_EQ(ReadFile(held + "b.txt"), "beta");
}

TEST(Program, OnlyTheFirstArgumentCounts) {
    const std::string root = Install("prog_config_start");
    Program p(root, "CONFIG START");
    HWND main = MainWindowOf(p);
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(p.Ended(1500)); // resident: no one-shot pass
    EXPECT_EQ(Journal(root), "");
    EXPECT_FALSE(::IsWindowVisible(main)); // hidden at its first paint
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(p.Ended(20000));
    EXPECT_EQ(p.ExitCode(), 0u);
}

TEST(Program, AStartPassEndedByAnErrorEndsByItselfWithThreeAndNoBox) {
    const std::string root = Install("prog_start_error");
    // A mirror of this program whose journal is a folder: the pass ends with an error.
    WriteFile(root + "arch\\PC\\" + kPassLockName, "");
    ASSERT_TRUE(::CreateDirectoryA((root + "arch\\PC\\journal.txt").c_str(), nullptr));
    Program p(root, "START");
    // Nobody may be there to close a box: the error goes to a balloon and the program ends.
    bool boxSeen = false;
    for (int i = 0; i < 400 && !p.Ended(50); ++i)
        boxSeen = boxSeen || ::FindWindowExA(nullptr, nullptr, "#32770", "Страховой полис") != nullptr;
    ASSERT_TRUE(p.Ended(20000));
    EXPECT_FALSE(boxSeen);
    EXPECT_EQ(p.ExitCode(), 3u);
}

TEST(Program, StartClosedDuringItsPassStopsItAndEndsWithOne) {
    const std::string root = Install("prog_start_closed");
    for (int i = 0; i < 3000; ++i)
        WriteFile(root + "src\\many\\" + std::to_string(i) + ".txt", std::string(2000, 'm'));
    Program p(root, "START", false);
    const HWND main = MainWindowOf(p);
    ASSERT_NE(main, nullptr);
    for (int i = 0;
         i < 400 && ::GetFileAttributesA((MirrorOf(root) + "many").c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        ::Sleep(25); // closed once the pass copies
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(p.Ended(5000));
    EXPECT_EQ(p.ExitCode(), 1u);
    const Lines block = LastBlock(SplitCrLf(JournalWithArchive(root)));
    EXPECT_EQ(WithPrefix(block, "Interrupted ").size(), 1u);
    EXPECT_TRUE(HasLine(block, "Command \"Start\""));
}

TEST(Program, ASecondResidentStartHandsOverToTheRunningAgent) {
    const std::string root = Install("prog_second_start");
    const auto agents = [] {
        int n = 0;
        for (HWND w = nullptr; (w = ::FindWindowExA(nullptr, w, "TFormVestrand", nullptr)) != nullptr;)
            ++n;
        return n;
    };
    auto first = std::make_unique<Program>(root, "");
    const HWND main = MainWindowOf(*first);
    ASSERT_NE(main, nullptr);
    for (int i = 0; i < 100 && ::IsWindowVisible(main); ++i)
        ::Sleep(50); // hidden at its first paint
    Program second(root, "CONFIG");
    ASSERT_TRUE(second.Ended(20000));
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_TRUE(::IsWindowVisible(main)); // shown by the running agent, as «Управление» does
    EXPECT_EQ(agents(), 1);
    // A killed agent leaves nothing that blocks the next start.
    ::TerminateProcess(first->process.Get(), 99);
    ASSERT_TRUE(first->Ended(5000));
    first.reset();
    Program third(root, "");
    ASSERT_NE(MainWindowOf(third), nullptr);
    EXPECT_FALSE(third.Ended(1000));
    ::PostMessageA(MainWindowOf(third), WM_CLOSE, 0, 0);
    EXPECT_TRUE(third.Ended(20000));
}
