// vestrand.exe as it is deployed: started as a process of its own with its settings file beside it.
#include <gtest/gtest.h>

#include <set>

#include "engine/backup_pass_win.h"
#include "runtime/platform_win.h"
#include "ui_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

std::string BuiltProgram() {
    const std::string self = ExecutablePath();
    return self.substr(0, self.find_last_of('\\') + 1) + "bin\\vestrand.exe";
}

struct Program {
    PROCESS_INFORMATION pi{};
    bool started = false;
    ~Program() {
        if (started) {
            if (::WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT)
                ::TerminateProcess(pi.hProcess, 99);
            ::CloseHandle(pi.hThread);
            ::CloseHandle(pi.hProcess);
        }
    }
    bool Ended(DWORD ms) const { return ::WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0; }
    DWORD ExitCode() const {
        DWORD code = 12345;
        ::GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
};

// A folder with the program and a settings file that mirrors src\ into arch\PC\.
std::string Install(const std::string& name) {
    const std::string root = FreshFolder('T', name);
    EXPECT_TRUE(::CopyFileA(BuiltProgram().c_str(), (root + "vestrand.exe").c_str(), FALSE))
        << BuiltProgram();
    WriteFile(root + "src\\a.txt", "alpha");
    WriteFile(root + "vestrand.ini", "[Config]\r\nIdentifComp=PC\r\nTargetDir=" + root +
                                         "arch\r\nLowDriveSpaceMb=5\r\n" + "[SourceDir]\r\n1=" + root +
                                         "src\r\n");
    return root;
}

void Launch(Program& p, const std::string& root, const std::string& arguments, bool waitIdle = true) {
    std::string commandLine = "\"" + root + "vestrand.exe\" " + arguments;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    p.started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 root.c_str(), &si, &p.pi) != FALSE;
    ASSERT_TRUE(p.started) << commandLine;
    if (waitIdle)
        ::WaitForInputIdle(p.pi.hProcess, 20000);
}

// The main window of the given process.
// The journal of the installed program's mirror with the day's archive in front: the block of a
// large first pass is moved to the archive at once.
std::string JournalWithArchive(const std::string& root) {
    std::string journal;
    WIN32_FIND_DATAA found{};
    HANDLE archive = ::FindFirstFileA((root + "arch\\??????.PC").c_str(), &found);
    if (archive != INVALID_HANDLE_VALUE) {
        journal = ReadFile(root + "arch\\" + found.cFileName);
        ::FindClose(archive);
    }
    return journal + ReadFile(root + "arch\\PC\\journal.txt");
}

HWND MainWindowOf(const Program& p) {
    for (int i = 0; i < 400; ++i) {
        HWND hwnd = nullptr;
        while ((hwnd = ::FindWindowExA(nullptr, hwnd, "TFormVestrand", nullptr)) != nullptr) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid == p.pi.dwProcessId)
                return hwnd;
        }
        ::Sleep(50);
    }
    return nullptr;
}

} // namespace

TEST(Program, StartRunsOnePassAndEnds) {
    for (const char* variant : {"START", "start", "Start"}) {
        const std::string root = Install(std::string("prog_start_") + variant);
        Program p;
        Launch(p, root, variant);
        ASSERT_TRUE(p.Ended(60000)) << variant;
        EXPECT_EQ(p.ExitCode(), 0u) << variant;
        EXPECT_EQ(ReadFile(root + "arch\\PC" + root.substr(2) + "src\\a.txt"), "alpha") << variant;
        const std::string journal = ReadFile(root + "arch\\PC\\journal.txt");
        EXPECT_NE(journal.find("Command \"Start\""), std::string::npos) << journal;
        EXPECT_EQ(journal.find("NextStart"), std::string::npos) << journal;
        // The settings file beside the program was completed at start.
        EXPECT_NE(ReadFile(root + "vestrand.ini").find("SaveMin=60"), std::string::npos);
    }
}

TEST(Program, StartEndsWithTheStatusOfItsPass) {
    // Not run: the backup drive is not there, or the folder holds the user's own files.
    const std::string root = Install("prog_start_status");
    WriteFile(root + "vestrand.ini",
              "[Config]\r\nTargetDir=Q:\\nowhere\r\n[SourceDir]\r\n1=" + root + "src\r\n");
    {
        Program p;
        Launch(p, root, "START");
        ASSERT_TRUE(p.Ended(60000));
        EXPECT_EQ(p.ExitCode(), 2u);
    }
    WriteFile(root + "arch\\PC\\thesis.docx", "the user's");
    WriteFile(root + "vestrand.ini", "[Config]\r\nIdentifComp=PC\r\nTargetDir=" + root +
                                         "arch\r\nLowDriveSpaceMb=5\r\n" + "[SourceDir]\r\n1=" + root +
                                         "src\r\n");
    {
        Program p;
        Launch(p, root, "START");
        ASSERT_TRUE(p.Ended(60000));
        EXPECT_EQ(p.ExitCode(), 2u);
        EXPECT_EQ(ReadFile(root + "arch\\PC\\thesis.docx"), "the user's");
        EXPECT_EQ(ReadFile(root + "arch\\PC\\journal.txt"), "");
    }
    // Run with a Failed line: a listed file inside the mirror folder is refused and kept.
    WriteFile(root + "arch\\PC\\" + kPassLockName, "");
    WriteFile(root + "vestrand.ini",
              ReadFile(root + "vestrand.ini") + "[SourceFile]\r\n1=" + root + "arch\\PC\\thesis.docx\r\n");
    {
        Program p;
        Launch(p, root, "START");
        ASSERT_TRUE(p.Ended(60000));
        EXPECT_EQ(p.ExitCode(), 1u);
        EXPECT_EQ(ReadFile(root + "arch\\PC\\thesis.docx"), "the user's");
        EXPECT_NE(
            ReadFile(root + "arch\\PC\\journal.txt").find("Failed " + root + "arch\\PC\\thesis.docx\r\n"),
            std::string::npos);
    }
}

TEST(Program, TwoStartsAtOnceMakeOnePassAndTheOtherEndsWithTwo) {
    const std::string root = Install("prog_start_twice");
    // Enough files that the first pass is still at work when the second process comes.
    for (int i = 0; i < 4000; ++i)
        WriteFile(root + "src\\d" + std::to_string(i % 40) + "\\f" + std::to_string(i) + ".txt",
                  std::to_string(i));
    Program a, b;
    Launch(a, root, "START", false);
    Launch(b, root, "START", false);
    ASSERT_TRUE(a.Ended(180000));
    ASSERT_TRUE(b.Ended(180000));
    const std::multiset<DWORD> codes = {a.ExitCode(), b.ExitCode()};
    EXPECT_EQ(codes, (std::multiset<DWORD>{0u, 2u}));
    const std::string journal = JournalWithArchive(root);
    size_t blocks = 0;
    for (size_t at = journal.find("Start "); at != std::string::npos; at = journal.find("\r\nStart ", at + 1))
        ++blocks;
    EXPECT_EQ(blocks, 1u);
    const std::string mirror = root + "arch\\PC" + root.substr(2) + "src\\";
    for (int i = 0; i < 4000; i += 397)
        EXPECT_EQ(ReadFile(mirror + "d" + std::to_string(i % 40) + "\\f" + std::to_string(i) + ".txt"),
                  std::to_string(i));
    EXPECT_EQ(ReadFile(mirror + "d39\\f3999.txt"), "3999");
}

TEST(Program, StartMirrorsNamesOutsideTheCodePageAndWritesThemInTheJournal) {
    const std::string root = Install("prog_start_names");
    std::wstring src;
    for (const char c : root + "src\\")
        src += static_cast<wchar_t>(static_cast<unsigned char>(c)); // the folder's name is ASCII
    WriteFileW(src + L"M\u00FCller.txt", "umlaut");
    WriteFileW(src + L"Muller.txt", "plain");
    WriteFileW(src + L"photo \xD83D\xDE00.txt", "emoji");
    Program p;
    Launch(p, root, "START");
    ASSERT_TRUE(p.Ended(60000));
    EXPECT_EQ(p.ExitCode(), 0u);
    std::wstring mirror;
    for (const char c : root + "arch\\PC" + root.substr(2) + "src\\")
        mirror += static_cast<wchar_t>(static_cast<unsigned char>(c));
    EXPECT_EQ(ReadFileW(mirror + L"M\u00FCller.txt"), "umlaut");
    EXPECT_EQ(ReadFileW(mirror + L"Muller.txt"), "plain");
    EXPECT_EQ(ReadFileW(mirror + L"photo \xD83D\xDE00.txt"), "emoji");
    const std::string journal = ReadFile(root + "arch\\PC\\journal.txt");
    const std::string mirrorText = root + "arch\\PC" + root.substr(2) + "src\\";
    EXPECT_NE(journal.find("\r\nNew    " + mirrorText + "M<U+00FC>ller.txt\r\n"), std::string::npos)
        << journal;
    EXPECT_NE(journal.find("\r\nNew    " + mirrorText + "photo <U+1F600>.txt\r\n"), std::string::npos)
        << journal;
}

TEST(Program, StartWithVersionsKeptHoldsWhatItsPassDeletesAndOverwrites) {
    const std::string root = Install("prog_start_versions");
    WriteFile(root + "src\\b.txt", "beta");
    WriteFile(root + "vestrand.ini",
              "[Config]\r\nIdentifComp=PC\r\nTargetDir=" + root +
                  "arch\r\nLowDriveSpaceMb=5\r\nKeepVersionsDays=30\r\n[SourceDir]\r\n1=" + root + "src\r\n");
    const std::string mirror = root + "arch\\PC" + root.substr(2) + "src\\";
    for (int pass = 1; pass <= 2; ++pass) {
        if (pass == 2) {
            WriteFile(root + "src\\a.txt", "alpha, second");
            ASSERT_TRUE(::DeleteFileA((root + "src\\b.txt").c_str()));
        }
        Program p;
        Launch(p, root, "START");
        ASSERT_TRUE(p.Ended(60000)) << pass;
        EXPECT_EQ(p.ExitCode(), 0u) << pass;
    }
    EXPECT_NE(ReadFile(root + "vestrand.ini").find("KeepVersionsDays=30\r\n"), std::string::npos);
    EXPECT_EQ(ReadFile(mirror + "a.txt"), "alpha, second");
    EXPECT_EQ(::GetFileAttributesA((mirror + "b.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    // One stamped folder, named after the start of the pass that held them, as its block says.
    std::vector<std::string> stamps;
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA((root + "arch\\PC\\~versions\\*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do
        if (found.cFileName[0] != '.')
            stamps.push_back(found.cFileName);
    while (::FindNextFileA(search, &found));
    ::FindClose(search);
    ASSERT_EQ(stamps.size(), 1u);
    const std::string& s = stamps[0]; // yyyy-mm-dd hhnnss
    const std::string started = "Start " + s.substr(8, 2) + "." + s.substr(5, 2) + "." + s.substr(2, 2) +
                                " " + s.substr(11, 2) + ":" + s.substr(13, 2) + ":" + s.substr(15, 2) +
                                "\r\n";
    const std::string journal = ReadFile(root + "arch\\PC\\journal.txt");
    const size_t block = journal.find(started);
    ASSERT_NE(block, std::string::npos) << s << "\n" << journal;
    EXPECT_NE(journal.find("Update " + mirror + "a.txt\r\n", block), std::string::npos) << journal;
    EXPECT_NE(journal.find("Delete " + root.substr(3) + "src\\b.txt\r\n", block), std::string::npos)
        << journal;
    const std::string held = root + "arch\\PC\\~versions\\" + s + root.substr(2) + "src\\";
    EXPECT_EQ(ReadFile(held + "a.txt"), "alpha");
    EXPECT_EQ(ReadFile(held + "b.txt"), "beta");
}

TEST(Program, OnlyTheFirstArgumentCounts) {
    const std::string root = Install("prog_config_start");
    Program p;
    Launch(p, root, "CONFIG START");
    HWND main = MainWindowOf(p);
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(p.Ended(1500)); // resident: no one-shot pass
    EXPECT_EQ(ReadFile(root + "arch\\PC\\journal.txt"), "");
    EXPECT_FALSE(::IsWindowVisible(main)); // hidden at its first paint
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(p.Ended(20000));
    EXPECT_EQ(p.ExitCode(), 0u);
}

TEST(Program, AStartPassEndedByAnErrorEndsByItselfWithThreeAndNoBox) {
    const std::string root = Install("prog_start_error");
    ASSERT_TRUE(::CreateDirectoryA((root + "arch").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((root + "arch\\PC").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((root + "arch\\PC\\journal.txt").c_str(), nullptr));
    WriteFile(root + "arch\\PC\\" + kPassLockName, ""); // a mirror of this program all the same
    Program p;
    Launch(p, root, "START");
    // Nobody may be there to close a box: the error goes to a balloon and the program ends.
    bool boxSeen = false;
    for (int i = 0; i < 400 && !p.Ended(50); ++i)
        boxSeen = boxSeen || ::FindWindowExA(nullptr, nullptr, "#32770", "Страховой полис") != nullptr;
    ASSERT_TRUE(p.Ended(20000));
    EXPECT_FALSE(boxSeen);
    EXPECT_EQ(p.ExitCode(), 3u);
}
