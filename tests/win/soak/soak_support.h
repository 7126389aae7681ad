// Pieces shared by the soak's generator, model and checks: a seeded random source, the
// case-insensitive order of mirror paths, directory listings and small file helpers. Everything
// here talks to the platform directly; nothing calls into the engine.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_drives.h"

namespace vestrand::soak {

// A small, fully specified generator (splitmix64), so that one seed replays one run on every
// standard library.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1 (n > 0).
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }
    template <typename T> const T& Pick(const std::vector<T>& items) {
        return items[Below(static_cast<uint32_t>(items.size()))];
    }

private:
    uint64_t m_state;
};

// CompareStringA with the user's default locale, ignoring case: the order and equality of mirror
// paths.
inline int CompareNoCase(const std::string& a, const std::string& b) {
    const int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                                 b.data(), static_cast<int>(b.size()));
    return r == CSTR_LESS_THAN ? -1 : r == CSTR_GREATER_THAN ? 1 : 0;
}
inline bool SameNoCase(const std::string& a, const std::string& b) {
    return CompareNoCase(a, b) == 0;
}
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return CompareNoCase(a, b) < 0; }
};
// True when `path` lies below `folder` (a relative path without trailing separator).
inline bool IsBelow(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && path[folder.size()] == '\\' &&
           SameNoCase(path.substr(0, folder.size()), folder);
}

// One entry of a folder listing, with the values a search reports.
struct Listed {
    std::string Name;
    bool Folder = false;
    int32_t Time = 0; // last write, local, packed as date << 16 | time
    int32_t Size = 0; // low 32 bits
    int32_t Attr = 0;
    FILETIME Write{}; // the full last-write time
};

inline int32_t PackedLocal(const FILETIME& ft) {
    FILETIME local{};
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToDosDateTime(&local, &date, &time))
        return 0;
    return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

inline Listed FromFindData(const WIN32_FIND_DATAA& fd) {
    Listed l;
    l.Name = fd.cFileName;
    l.Folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    l.Time = PackedLocal(fd.ftLastWriteTime);
    l.Size = static_cast<int32_t>(fd.nFileSizeLow);
    l.Attr = static_cast<int32_t>(fd.dwFileAttributes);
    l.Write = fd.ftLastWriteTime;
    return l;
}

// Lists `dir` (ending in "\") in the order the search returns its entries, "." and ".." left
// out. False when the search finds nothing; `error` then holds GetLastError.
inline bool ListFolder(const std::string& dir, std::vector<Listed>& out, DWORD* error = nullptr) {
    out.clear();
    WIN32_FIND_DATAA fd{};
    HANDLE h = FindFirstFileA((dir + "*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        if (error)
            *error = GetLastError();
        return false;
    }
    do {
        const std::string name = fd.cFileName;
        if (name != "." && name != "..")
            out.push_back(FromFindData(fd));
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return true;
}

// The search entry of one path; false when there is none.
inline bool FindOne(const std::string& path, Listed& out) {
    WIN32_FIND_DATAA fd{};
    HANDLE h = FindFirstFileA(path.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FindClose(h);
    out = FromFindData(fd);
    return true;
}

inline bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
inline bool IsDir(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Whole-file read and write through the platform; Read gives false when the file cannot be read.
inline bool ReadWhole(const std::string& path, std::string& out) {
    out.clear();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    char block[16384];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(h, block, sizeof block, &got, nullptr) != 0) && got > 0)
        out.append(block, got);
    CloseHandle(h);
    return ok;
}
inline bool WriteWhole(const std::string& path, const std::string& content) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    const bool ok =
        content.empty() || (WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &put, nullptr) &&
                            put == content.size());
    CloseHandle(h);
    return ok;
}
inline bool SetWriteTime(const std::string& path, const FILETIME& ft) {
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = SetFileTime(h, nullptr, nullptr, &ft) != 0;
    CloseHandle(h);
    return ok;
}

// Removes a folder tree, clearing attributes first; true when it is gone.
inline bool RemoveAll(const std::string& path) {
    std::string dir = path;
    if (!dir.empty() && dir.back() == '\\')
        dir.pop_back();
    std::vector<Listed> items;
    if (ListFolder(dir + "\\", items))
        for (const auto& e : items) {
            const std::string child = dir + "\\" + e.Name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (e.Folder)
                RemoveAll(child);
            else
                DeleteFileA(child.c_str());
        }
    SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(dir.c_str());
    return !Exists(dir);
}

inline std::string TimeSeparatorText() {
    char buf[8] = {};
    if (GetLocaleInfoA(GetThreadLocale(), LOCALE_STIME, buf, sizeof buf) > 0 && buf[0] != '\0')
        return std::string(1, buf[0]);
    return ":";
}

// "dd.mm.yy hh:nn:ss" of a civil time, with the locale's time separator.
inline std::string StampText(int year, int month, int day, int hour, int minute, int second) {
    const std::string sep = TimeSeparatorText();
    char buf[40];
    snprintf(buf, sizeof buf, "%02d.%02d.%02d %02d%s%02d%s%02d", day, month, year % 100, hour, sep.c_str(),
             minute, sep.c_str(), second);
    return buf;
}

// Text split at CR LF; a final line without CR LF still counts.
inline std::vector<std::string> CrLfLines(const std::string& text) {
    return vestrand::test::SplitCrLf(text);
}

} // namespace vestrand::soak
