// Pieces shared by the soak's generator, model and checks: a seeded random source, the
// case-insensitive order of mirror paths, directory listings and small file helpers. Everything
// here talks to the platform directly; nothing calls into the engine.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
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

// Paths in the soak are code page 1251 text in which a character the code page cannot hold, and a
// control character, stands as "<U+XXXX>" (its code point in hexadecimal): the form in which the
// journal writes them, so that the model's lines are the paths themselves. The platform is always
// called with the UTF-16 name, through an extended-length path.
inline std::wstring Wide(const std::string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, 3, "<U+") == 0) {
            const size_t end = text.find('>', i);
            const unsigned long point = std::stoul(text.substr(i + 3, end - i - 3), nullptr, 16);
            if (point >= 0x10000) {
                out += static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10));
                out += static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
            } else {
                out += static_cast<wchar_t>(point);
            }
            i = end + 1;
            continue;
        }
        wchar_t w = 0;
        MultiByteToWideChar(1251, 0, text.data() + i, 1, &w, 1);
        out += w;
        ++i;
    }
    return out;
}
inline std::string Narrow(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned long point = static_cast<unsigned long>(text[i]) & 0xFFFF;
        size_t units = 1;
        if (point >= 0xD800 && point <= 0xDBFF && i + 1 < text.size()) {
            point = 0x10000 + ((point - 0xD800) << 10) +
                    ((static_cast<unsigned long>(text[i + 1]) & 0xFFFF) - 0xDC00);
            units = 2;
        }
        char byte = 0;
        BOOL defaulted = FALSE;
        if (units == 1 && point >= 0x20 &&
            WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, text.data() + i, 1, &byte, 1, nullptr,
                                &defaulted) == 1 &&
            !defaulted) {
            out += byte;
        } else {
            char buf[16];
            snprintf(buf, sizeof buf, "<U+%04lX>", point);
            out += buf;
        }
        i += units - 1;
    }
    return out;
}
// The extended-length form of a full drive-letter path.
inline std::wstring Ext(const std::string& path) {
    const std::wstring w = Wide(path);
    return w.size() >= 3 && w[1] == L':' && w[2] == L'\\' ? L"\\\\?\\" + w : w;
}

// The order of mirror paths: CompareStringW with the user's default locale, ignoring case; names
// it takes as equal in the order of their upper-case forms as the file system compares them. And
// their equality: the file system's (CompareStringOrdinal ignoring case).
inline int CompareNoCase(const std::string& a, const std::string& b) {
    const std::wstring wa = Wide(a), wb = Wide(b);
    const int r = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wa.data(), static_cast<int>(wa.size()),
                                 wb.data(), static_cast<int>(wb.size()));
    if (r != CSTR_EQUAL)
        return r - CSTR_EQUAL;
    return CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(),
                                static_cast<int>(wb.size()), TRUE) -
           CSTR_EQUAL;
}
inline bool SameNoCase(const std::string& a, const std::string& b) {
    const std::wstring wa = Wide(a), wb = Wide(b);
    return CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(),
                                static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return CompareNoCase(a, b) < 0; }
};
// True when `path` lies below `folder` (a relative path without trailing separator).
inline bool IsBelow(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && path[folder.size()] == '\\' &&
           SameNoCase(path.substr(0, folder.size()), folder);
}

// The platform's file calls on such paths.
inline DWORD GetAttr(const std::string& path) {
    return GetFileAttributesW(Ext(path).c_str());
}
inline bool SetAttr(const std::string& path, DWORD attr) {
    return SetFileAttributesW(Ext(path).c_str(), attr) != 0;
}
inline bool DeleteEntry(const std::string& path) {
    return DeleteFileW(Ext(path).c_str()) != 0;
}
inline bool MakeDir(const std::string& path) {
    return CreateDirectoryW(Ext(path).c_str(), nullptr) != 0;
}
inline bool MoveEntry(const std::string& from, const std::string& to) {
    return MoveFileW(Ext(from).c_str(), Ext(to).c_str()) != 0;
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

inline Listed FromFindData(const WIN32_FIND_DATAW& fd) {
    Listed l;
    l.Name = Narrow(fd.cFileName);
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
    WIN32_FIND_DATAW fd{};
    HANDLE h = FindFirstFileW((Ext(dir) + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        if (error)
            *error = GetLastError();
        return false;
    }
    do {
        const std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..")
            out.push_back(FromFindData(fd));
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return true;
}

// The search entry of one path; false when there is none.
inline bool FindOne(const std::string& path, Listed& out) {
    WIN32_FIND_DATAW fd{};
    HANDLE h = FindFirstFileW(Ext(path).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FindClose(h);
    out = FromFindData(fd);
    return true;
}

inline bool Exists(const std::string& path) {
    return GetAttr(path) != INVALID_FILE_ATTRIBUTES;
}
inline bool IsDir(const std::string& path) {
    const DWORD a = GetAttr(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Whole-file read and write through the platform; Read gives false when the file cannot be read.
inline bool ReadWhole(const std::string& path, std::string& out) {
    out.clear();
    HANDLE h = CreateFileW(Ext(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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
    HANDLE h = CreateFileW(Ext(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
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
    HANDLE h = CreateFileW(Ext(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
            SetAttr(child, FILE_ATTRIBUTE_NORMAL);
            if (e.Folder)
                RemoveAll(child);
            else
                DeleteEntry(child);
        }
    SetAttr(dir, FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(Ext(dir).c_str());
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
