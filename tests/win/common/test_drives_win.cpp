#include "test_drives.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine/paths.h"

namespace vestrand::test {

namespace {

// Through the wide entry points with extended-length paths, so that names outside the code page
// and paths beyond 260 characters go too. A link is removed, never entered.
void RemoveExtended(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = dir + L"\\" + name;
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveExtended(child);
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                ::RemoveDirectoryW(child.c_str());
            else
                ::DeleteFileW(child.c_str());
        } while (::FindNextFileW(h, &fd));
        ::FindClose(h);
    }
    ::SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(dir.c_str());
}

} // namespace

void RemoveTree(const std::string& path) {
    std::string dir = path;
    if (!dir.empty() && dir.back() == '\\')
        dir.pop_back();
    const int n = ::MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, wide.data(), n);
    wide.resize(wcslen(wide.c_str()));
    if (RootLength(wide) == 0 || RootLength(wide) >= wide.size()) // relative, or a drive or share itself
        ::RemoveDirectoryA(dir.c_str());
    else
        RemoveExtended(vestrand::ExtendedPath(wide));
}

VanishingDrive::VanishingDrive(const std::string& folder, const std::string& root) {
    const char* wine = std::getenv("WINEPREFIX");
    if (!wine)
        return;
    std::string prefix = wine;
    std::replace(prefix.begin(), prefix.end(), '/', '\\');
    m_here = "Z:" + prefix.substr(0, prefix.find_last_of('\\')) + "\\drives\\" + folder;
    m_away = m_here + "-vanished";
    const auto isFolder = [](const std::string& p) {
        const DWORD attr = GetFileAttributesA(p.c_str());
        return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (isFolder(m_away) && !isFolder(m_here))
        MoveFileA(m_away.c_str(), m_here.c_str()); // left over from an interrupted run
    // Only usable when a file written through the letter or share shows up there.
    WriteFile(root + "vanish-probe.txt", "probe");
    m_ok = GetFileAttributesA((m_here + "\\vanish-probe.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
    DeleteFileA((root + "vanish-probe.txt").c_str());
}

std::string FreshFolder(char drive, const std::string& name) {
    std::string path = std::string(1, drive) + ":\\" + name;
    RemoveTree(path);
    ::CreateDirectoryA(path.c_str(), nullptr);
    return path + "\\";
}

void WriteFile(const std::string& path, const std::string& content) {
    for (size_t i = 3; i < path.size(); ++i)
        if (path[i] == '\\')
            ::CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

namespace {
std::wstring Extended(const std::wstring& path) {
    return vestrand::ExtendedPath(path);
}
} // namespace

void WriteFileW(const std::wstring& path, const std::string& content) {
    const std::wstring full = Extended(path);
    for (size_t i = 7; i < full.size(); ++i)
        if (full[i] == L'\\')
            ::CreateDirectoryW(full.substr(0, i).c_str(), nullptr);
    HANDLE h =
        ::CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD put = 0;
    ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &put, nullptr);
    ::CloseHandle(h);
}

std::string ReadFileW(const std::wstring& path, const std::string& unreadable) {
    HANDLE h = ::CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return unreadable;
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    ::CloseHandle(h);
    return out;
}

void RemoveTreeW(const std::wstring& path) {
    RemoveExtended(Extended(!path.empty() && path.back() == L'\\' ? path.substr(0, path.size() - 1) : path));
}

uint64_t WriteTimeW(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Extended(path).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

// True when R: is the small tmpfs volume (the test runner leaves a marker file in its root).
bool SmallVolumeMounted() {
    return GetFileAttributesA("R:\\.tmpfs") != INVALID_FILE_ATTRIBUTES;
}

// Writes a file of `bytes` bytes, or with a negative count, as much as the drive takes. Returns the
// number of bytes written.
int64_t WriteFiller(const std::string& path, int64_t bytes) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    const std::string block(65536, 'f');
    int64_t written = 0;
    for (DWORD chunk : {65536u, 512u}) {
        for (;;) {
            DWORD want = chunk;
            if (bytes >= 0 && bytes - written < want)
                want = static_cast<DWORD>(bytes - written);
            if (want == 0)
                break;
            DWORD put = 0;
            const BOOL ok = ::WriteFile(h, block.data(), want, &put, nullptr);
            written += put;
            if (!ok || put < want)
                break;
        }
    }
    CloseHandle(h);
    return written;
}

// Sets the last-write time of a file or folder.
bool SetWriteTime(const std::string& path, const FILETIME& written) {
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const BOOL set = SetFileTime(h, nullptr, nullptr, &written);
    CloseHandle(h);
    return set != 0;
}

// Gives `to` the last-write time of `from`.
bool CopyWriteTime(const std::string& from, const std::string& to) {
    FILETIME created{}, accessed{}, written{};
    HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return false;
    const BOOL got = GetFileTime(in, &created, &accessed, &written);
    CloseHandle(in);
    return got && SetWriteTime(to, written);
}

// Sets the last-write time of a file to 1 January 2020 + `seconds`, so that a test's changes do
// not share one of the two-second steps of the stored time stamp.
void SetStamp(const std::string& path, int64_t seconds) {
    SYSTEMTIME st{2020, 1, 0, 1, 0, 0, 0, 0};
    FILETIME ft{};
    SystemTimeToFileTime(&st, &ft);
    ULARGE_INTEGER v{{ft.dwLowDateTime, ft.dwHighDateTime}};
    v.QuadPart += static_cast<uint64_t>(seconds) * 10000000ull;
    ft = FILETIME{v.LowPart, v.HighPart};
    const DWORD attr = GetFileAttributesA(path.c_str());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    SetFileAttributesA(path.c_str(), attr);
}

} // namespace vestrand::test
