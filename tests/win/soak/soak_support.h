// Pieces shared by the soak's generator, model and checks. Paths are in the kit's NarrowU form
// ("<U+XXXX>" for a character code page 1251 cannot hold), the form the journal writes, so the
// model's lines are the paths themselves; the platform is always called with the UTF-16 name,
// through an extended-length path. Nothing here calls into the engine.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "journal_kit.h"
#include "random.h"
#include "runtime/handles_win.h"
#include "test_drives.h"
#include "tree_snapshot.h"

namespace vestrand::soak {

using namespace vestrand::test;

// The file system's equality of names (CompareStringOrdinal ignoring case), as CompareString does.
inline int OrdinalNoCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                TRUE) -
           CSTR_EQUAL;
}
inline bool SameNoCase(const std::string& a, const std::string& b) {
    return OrdinalNoCase(WidenU(a), WidenU(b)) == 0;
}
// The order of mirror paths: CompareStringW with the user's default locale, ignoring case; names it
// takes as equal in the file system's order.
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
        const std::wstring wa = WidenU(a), wb = WidenU(b);
        const int r = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wa.data(),
                                     static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()));
        return (r != CSTR_EQUAL ? r - CSTR_EQUAL : OrdinalNoCase(wa, wb)) < 0;
    }
};
// True when `path` lies below `folder` (a relative path without trailing separator).
inline bool IsBelow(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && path[folder.size()] == '\\' &&
           SameNoCase(path.substr(0, folder.size()), folder);
}

// The platform's file calls on such paths.
inline DWORD GetAttr(const std::string& path) {
    return GetFileAttributesW(ExtendedPath(path).c_str());
}
inline bool SetAttr(const std::string& path, DWORD attr) {
    return SetFileAttributesW(ExtendedPath(path).c_str(), attr) != 0;
}
inline bool DeleteEntry(const std::string& path) {
    return DeleteFileW(ExtendedPath(path).c_str()) != 0;
}
inline bool MakeDir(const std::string& path) {
    return CreateDirectoryW(ExtendedPath(path).c_str(), nullptr) != 0;
}
inline bool MoveEntry(const std::string& from, const std::string& to) {
    return MoveFileW(ExtendedPath(from).c_str(), ExtendedPath(to).c_str()) != 0;
}
inline bool Exists(const std::string& path) {
    return GetAttr(path) != INVALID_FILE_ATTRIBUTES;
}
inline bool IsDir(const std::string& path) {
    const DWORD a = GetAttr(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
inline std::string ReadWhole(const std::string& path) {
    return ReadFileW(WidenU(path));
}
// True when the file is there afterwards.
inline bool WriteWhole(const std::string& path, const std::string& content) {
    WriteFileW(WidenU(path), content);
    return Exists(path);
}
// A folder tree, or a folder, removed; a file is left as it is. True when nothing is left.
inline bool RemoveAll(const std::string& path) {
    RemoveTreeW(WidenU(path));
    return !Exists(path);
}
inline bool SetWriteTime(const std::string& path, const FILETIME& ft) {
    const FileHandle h(CreateFileW(ExtendedPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h && SetFileTime(h.Get(), nullptr, nullptr, &ft) != 0;
}

// An entry with the values a search reports: the last write, local, packed as date << 16 | time;
// the size's low 32 bits; the full last-write time.
struct MirrorItem {
    std::string Rel; // relative to BackupRoot, no leading or trailing separator; from a search: the name
    bool Folder = false;
    int32_t Time = 0, Size = 0, Attr = 0;
    FILETIME Write{};
    std::string Content{}; // a file's bytes, where they were read
};

inline int32_t PackedLocal(const FILETIME& ft) {
    FILETIME local{};
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToDosDateTime(&local, &date, &time))
        return 0;
    return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

inline MirrorItem FromFindData(const WIN32_FIND_DATAW& fd) {
    return {NarrowU(fd.cFileName),
            (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
            PackedLocal(fd.ftLastWriteTime),
            static_cast<int32_t>(fd.nFileSizeLow),
            static_cast<int32_t>(fd.dwFileAttributes),
            fd.ftLastWriteTime};
}

// The search entry of one path; false when there is none.
inline bool FindOne(const std::string& path, MirrorItem& out) {
    WIN32_FIND_DATAW fd{};
    const FindHandle h(FindFirstFileW(ExtendedPath(path).c_str(), &fd));
    if (h)
        out = FromFindData(fd);
    return h.Valid();
}

} // namespace vestrand::soak
