// vestrand.exe as it is deployed: started as a process of its own with its settings file beside it.
#include <gtest/gtest.h>

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
    EXPECT_TRUE(::CopyFileA(BuiltProgram().c_str(), (root + "vestrand.exe").c_str(), FALSE)) << BuiltProgram();
    WriteFile(root + "src\\a.txt", "alpha");
    WriteFile(root + "vestrand.ini", "[Config]\r\nIdentifComp=PC\r\nTargetDir=" + root + "arch\r\nLowDriveSpaceMb=5\r\n" +
                                         "[SourceDir]\r\n1=" + root + "src\r\n");
    return root;
}

void Launch(Program& p, const std::string& root, const std::string& arguments) {
    std::string commandLine = "\"" + root + "vestrand.exe\" " + arguments;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    p.started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, root.c_str(), &si,
                                 &p.pi) != FALSE;
    ASSERT_TRUE(p.started) << commandLine;
    ::WaitForInputIdle(p.pi.hProcess, 20000);
}

// The main window of the given process.
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

HWND WaitForErrorBox(const Program& p) {
    for (int i = 0; i < 400; ++i) {
        HWND hwnd = nullptr;
        while ((hwnd = ::FindWindowExA(nullptr, hwnd, "#32770", "Страховой полис")) != nullptr) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (pid == p.pi.dwProcessId)
                return hwnd;
        }
        ::Sleep(50);
    }
    return nullptr;
}

std::string BoxText(HWND box) {
    std::string text;
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char cls[64] = {};
        ::GetClassNameA(child, cls, sizeof cls);
        if (::lstrcmpiA(cls, "Static") == 0 && ::GetWindowTextLengthA(child) > 0)
            text += WindowText(child);
    }
    return text;
}

}  // namespace

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

TEST(Program, StartWithAnUnreachableTargetStillEnds) {
    const std::string root = Install("prog_start_nowhere");
    WriteFile(root + "vestrand.ini", "[Config]\r\nTargetDir=Q:\\nowhere\r\n[SourceDir]\r\n1=" + root + "src\r\n");
    Program p;
    Launch(p, root, "START");
    ASSERT_TRUE(p.Ended(60000));
    EXPECT_EQ(p.ExitCode(), 0u);
}

TEST(Program, OnlyTheFirstArgumentCounts) {
    const std::string root = Install("prog_config_start");
    Program p;
    Launch(p, root, "CONFIG START");
    HWND main = MainWindowOf(p);
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(p.Ended(1500));  // resident: no one-shot pass
    EXPECT_EQ(ReadFile(root + "arch\\PC\\journal.txt"), "");
    EXPECT_FALSE(::IsWindowVisible(main));  // hidden at its first paint
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(p.Ended(20000));
    EXPECT_EQ(p.ExitCode(), 0u);
}

TEST(Program, AFailedStartPassIsShownAndTheProgramStaysResident) {
    const std::string root = Install("prog_start_error");
    ASSERT_TRUE(::CreateDirectoryA((root + "arch").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((root + "arch\\PC").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((root + "arch\\PC\\journal.txt").c_str(), nullptr));
    Program p;
    Launch(p, root, "START");
    HWND box = WaitForErrorBox(p);
    ASSERT_NE(box, nullptr);
    const std::string text = BoxText(box);
    EXPECT_NE(text.find("journal.txt."), std::string::npos) << text;  // the full stop appended
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(p.Ended(1500));
    HWND main = MainWindowOf(p);
    ASSERT_NE(main, nullptr);
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(p.Ended(20000));
    EXPECT_EQ(p.ExitCode(), 0u);
}
