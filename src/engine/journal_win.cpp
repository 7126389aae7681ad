#include "engine/journal_win.h"

#include <windows.h>

#include <utility>

#include "engine/fileops_win.h"
#include "runtime/error.h"
#include "runtime/handles_win.h"

namespace vestrand {

namespace {

std::string ReadWhole(const std::string& path) {
    FileHandle h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h)
        RaiseError(kErrCannotOpenFile, path);
    std::string text;
    char block[8192];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h.Get(), block, sizeof block, &got, nullptr))
            RaiseError(kErrStreamRead);
        if (got == 0)
            break;
        text.append(block, got);
    }
    return text;
}

void WriteAll(HANDLE h, const std::string& text) {
    DWORD put = 0;
    if (!text.empty() &&
        (!WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) || put != text.size()))
        RaiseError(kErrStreamWrite);
}

int64_t SizeOf(const std::string& path) {
    FileHandle h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h)
        return 0;
    DWORD high = 0;
    const DWORD low = GetFileSize(h.Get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    return (static_cast<int64_t>(high) << 32) | low;
}

} // namespace

Journal::Journal(std::string backupRoot) : m_root(std::move(backupRoot)) {
    if (IsFile(Path()))
        m_lines = SplitJournalLines(ReadWhole(Path()));
}

void Journal::Save() const {
    const std::string temp = m_root + kJournalTempName;
    try {
        {
            FileHandle h(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!h)
                RaiseError(kErrCannotCreateFile, Path());
            WriteAll(h.Get(), JoinJournalLines(m_lines));
            if (!FlushFileBuffers(h.Get()))
                RaiseError(kErrStreamWrite);
        }
        WriteAttributes(Path(), 0); // a read-only journal must not block the replacement
        if (!MoveFileExA(temp.c_str(), Path().c_str(), MOVEFILE_REPLACE_EXISTING))
            RaiseError(kErrCannotCreateFile, Path());
    } catch (...) {
        DeleteFileA(temp.c_str());
        throw;
    }
}

void RotateJournal(const std::string& backupRoot, const std::string& targetDir,
                   const std::string& identifComp, DateTime now) {
    const std::string path = backupRoot + kJournalName;
    if (SizeOf(path) <= kJournalRotateBytes)
        return;
    const std::string archive = JournalArchiveName(targetDir, now, identifComp);
    if (!IsFile(archive)) {
        MoveFileWithFallback(path, archive);
        return;
    }
    const std::string text = ReadWhole(path);
    {
        FileHandle h(CreateFileA(archive.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h)
            RaiseError(kErrCannotOpenFile, archive);
        if (SetFilePointer(h.Get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
            GetLastError() != NO_ERROR)
            RaiseError(kErrStreamWrite);
        WriteAll(h.Get(), text);
    }
    WriteAttributes(path, 0);
    DeleteFileA(path.c_str());
}

} // namespace vestrand
