#include "engine/journal_win.h"

#include <windows.h>

#include <utility>

#include "engine/backup_index_win.h" // SameFileName
#include "engine/fileops_win.h"
#include "runtime/cp1251.h"
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

namespace {

constexpr size_t kSpillBytes = 1 << 20;

FileHandle CreateTemp(const std::string& path) {
    return FileHandle(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Writes what it can of `text` and takes that off its front; false when not all of it went.
bool WriteFront(HANDLE h, std::string& text) {
    DWORD put = 0;
    const bool ok = text.empty() || WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
    text.erase(0, put);
    return ok && text.empty();
}

} // namespace

Journal::Journal(std::string backupRoot) : m_root(std::move(backupRoot)) {
    // Line breaks of every kind come back as CR LF, as the save has always written them.
    if (IsFile(Path()))
        m_text = JoinJournalLines(SplitJournalLines(ReadWhole(Path())));
}

Journal::~Journal() {
    if (m_temp) {
        m_temp.Reset();
        DeleteFileA(TempPath().c_str());
    }
}

void Journal::Append(const std::string& line) {
    m_text += line;
    m_text += "\r\n";
    if (m_text.size() >= kSpillBytes && !m_held)
        Spill();
}

// Moves the text to the temporary file. A file that cannot be made or written keeps the rest in
// memory, for the save to try once more (and to report).
void Journal::Spill() {
    if (!m_temp)
        m_temp = CreateTemp(TempPath());
    m_held = !m_temp || !WriteFront(m_temp.Get(), m_text);
}

void Journal::Save() {
    try {
        if (!m_temp) {
            m_temp = CreateTemp(TempPath());
            if (!m_temp)
                RaiseError(kErrCannotCreateFile, Path());
        }
        if (!WriteFront(m_temp.Get(), m_text) || !FlushFileBuffers(m_temp.Get()))
            RaiseError(kErrStreamWrite);
        m_temp.Reset();
        WriteAttributes(Path(), 0); // a read-only journal must not block the replacement
        if (!MoveFileExA(TempPath().c_str(), Path().c_str(), MOVEFILE_REPLACE_EXISTING))
            RaiseError(kErrCannotCreateFile, Path());
    } catch (...) {
        m_temp.Reset();
        DeleteFileA(TempPath().c_str());
        throw;
    }
}

std::vector<WideEntry> JournalArchivesIn(const std::wstring& targetDir, const std::string& identifComp) {
    const std::wstring name = WidenCp1251(identifComp);
    std::vector<WideEntry> found;
    SearchFolder(targetDir + L"??????." + name, [&](const WideEntry& e) {
        if (e.Name.size() > 7 && e.Name.find_first_not_of(L"0123456789") == 6 && e.Name[6] == L'.' &&
            !(e.Attr & FILE_ATTRIBUTE_DIRECTORY) && SameFileName(e.Name.substr(7), name))
            found.push_back(e);
        return true;
    });
    return found;
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
    {
        FileHandle from(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!from)
            RaiseError(kErrCannotOpenFile, path);
        FileHandle h(CreateFileA(archive.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h)
            RaiseError(kErrCannotOpenFile, archive);
        if (SetFilePointer(h.Get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
            GetLastError() != NO_ERROR)
            RaiseError(kErrStreamWrite);
        // Block by block: a journal of a large pass is not held in memory.
        std::string block(65536, '\0');
        for (DWORD got = 0;; got = 0) {
            if (!ReadFile(from.Get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr))
                RaiseError(kErrStreamRead);
            if (got == 0)
                break;
            WriteAll(h.Get(), block.substr(0, got));
        }
    }
    WriteAttributes(path, 0);
    DeleteFileA(path.c_str());
}

} // namespace vestrand
