// The hold on a mirror folder: the lock file at its top (kPassLockName) open without sharing. A pass
// holds it from its start to its end, a restore from its first read of the backup to its last
// rename, so that neither ever sees the other's work half-done.
#pragma once
#include <windows.h>

#include <string>

#include "runtime/handles_win.h"

namespace vestrand {

class MirrorLock {
public:
    enum class Outcome { Taken, Busy, Failed };
    Outcome Take(const std::wstring& path) {
        // Read access only: a lock file that was made read-only still locks.
        m_file.Reset(
            CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_file)
            return Outcome::Taken;
        return GetLastError() == ERROR_SHARING_VIOLATION ? Outcome::Busy : Outcome::Failed;
    }
    void Release() { m_file.Reset(); }

private:
    FileHandle m_file;
};

} // namespace vestrand
