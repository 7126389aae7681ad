// A file held open as another program would hold it: with no sharing, nobody else can read,
// write or delete it until it is released; with `share` FILE_SHARE_READ, others may only read it.
#pragma once
#include <string>

#include "runtime/handles_win.h"
#include "tree_snapshot.h"

namespace vestrand::test {

class FileLock {
public:
    explicit FileLock(const std::string& path, DWORD access = GENERIC_READ, DWORD share = 0)
        : m_file(::CreateFileW(ExtendedPath(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
    bool Held() const { return m_file.Valid(); }
    void Release() { m_file.Reset(); }
    HANDLE Get() const { return m_file.Get(); }

private:
    FileHandle m_file;
};

} // namespace vestrand::test
