// The program as a process of its own, started by the tests of the whole program.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "runtime/handles_win.h"

namespace vestrand::test {

// The program started in `root` with `arguments`; ended by force if it still runs at the end.
struct Program {
    FileHandle process;
    DWORD id = 0;
    Program(const std::string& root, const std::string& arguments, bool waitIdle = true) {
        std::string commandLine = "\"" + root + "vestrand.exe\" " + arguments;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        EXPECT_TRUE(::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     root.c_str(), &si, &pi))
            << commandLine;
        process.Reset(pi.hProcess);
        FileHandle thread(pi.hThread);
        id = pi.dwProcessId;
        if (waitIdle && process)
            ::WaitForInputIdle(process.Get(), 20000);
    }
    ~Program() {
        if (process && !Ended(0))
            ::TerminateProcess(process.Get(), 99);
    }
    bool Ended(DWORD ms) const { return ::WaitForSingleObject(process.Get(), ms) == WAIT_OBJECT_0; }
    DWORD ExitCode() const {
        DWORD code = 12345;
        ::GetExitCodeProcess(process.Get(), &code);
        return code;
    }
};

// The exit code of a run that has to end within a minute.
inline DWORD RunToEnd(const std::string& root, const std::string& arguments) {
    Program p(root, arguments, false);
    EXPECT_TRUE(p.Ended(60000)) << arguments;
    return p.ExitCode();
}

} // namespace vestrand::test
