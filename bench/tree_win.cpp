#include "tree_win.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "engine/fileops_win.h"

namespace vestrand::bench {

namespace {

constexpr int kMaxDepth = 8;         // keeps every mirror path well inside MAX_PATH
constexpr size_t kPathBuffer = 1024; // room for the longest path a walk can meet

class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t Next() { // splitmix64
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }

private:
    uint64_t m_state;
};

// Words of the names; the Cyrillic ones are stored in code page 1251 by the compiler.
const char* const kLatinWords[] = {"report", "Invoice", "photo",    "README",  "Budget",  "notes",  "Draft",
                                   "backup", "Scan",    "contract", "data",    "Project", "letter", "Summary",
                                   "img",    "Archive", "plan",     "Minutes", "todo",    "Config"};
const char* const kCyrillicWords[] = {"Отчёт",    "счёт",  "Фото",     "договор", "Письмо",
                                      "черновик", "Смета", "ПРОЕКТ",   "заметки", "Ёлка",
                                      "юбилей",   "Щука",  "Экзамен",  "яблоко",  "Бухгалтерия",
                                      "план",     "Сканы", "Протокол", "архив",   "Жёлтый"};
const char* const kExtensions[] = {".txt", ".docx", ".xlsx",   ".jpg", ".pdf", ".DOC", ".dat",
                                   ".log", "",      ".tar.gz", ".JPG", ".ини", ".csv", ".xml"};
const char* const kSeparators[] = {" ", "_", "-", "  ", " - ", "."};

// Letter case in code page 1251: Latin as usual, А-Я at 0xC0-0xDF, а-я at 0xE0-0xFF, Ё 0xA8, ё 0xB8.
char Upper1251(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z')
        return static_cast<char>(u - 32);
    if (u >= 0xE0)
        return static_cast<char>(u - 32);
    if (u == 0xB8)
        return static_cast<char>(0xA8);
    return c;
}
char Lower1251(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z')
        return static_cast<char>(u + 32);
    if (u >= 0xC0 && u <= 0xDF)
        return static_cast<char>(u + 32);
    if (u == 0xA8)
        return static_cast<char>(0xB8);
    return c;
}

std::string Word(Rng& r) {
    std::string w = r.Below(100) < 55 ? kLatinWords[r.Below(std::size(kLatinWords))]
                                      : kCyrillicWords[r.Below(std::size(kCyrillicWords))];
    switch (r.Below(5)) {
    case 0:
        std::transform(w.begin(), w.end(), w.begin(), Lower1251);
        break;
    case 1:
        std::transform(w.begin(), w.end(), w.begin(), Upper1251);
        break;
    case 2:
        std::transform(w.begin(), w.end(), w.begin(), Lower1251);
        w[0] = Upper1251(w[0]);
        break;
    default:
        break; // as written
    }
    return w;
}

// A name unique in its folder through `serial`; never ends in a blank or a full stop.
std::string MakeName(Rng& r, int serial, bool folder) {
    std::string name = r.Below(100) == 0 ? " " : "";
    name += Word(r);
    if (!folder && r.Below(2) == 0)
        name += kSeparators[r.Below(std::size(kSeparators))] + Word(r);
    name += kSeparators[r.Below(4)] + std::to_string(serial);
    if (!folder)
        name += kExtensions[r.Below(std::size(kExtensions))];
    if (folder && name.size() > 16)
        name = name.substr(name.size() - 16); // keeps the serial, which makes it unique
    if (!name.empty() && (name[0] == ' ' || name[0] == '.') && folder)
        name[0] = 'x';
    return name;
}

// Mostly small files with a tail of larger ones: 85 % up to 2 KiB (a few empty), 14 % up to
// 16 KiB, 1 % up to 256 KiB, one in ten thousand of 1 to 2 MiB.
uint32_t FileSize(Rng& r) {
    const uint32_t bucket = r.Below(10000);
    if (bucket < 8500)
        return r.Below(50) == 0 ? 0 : r.Below(2048);
    if (bucket < 9900)
        return 2048 + r.Below(14336);
    if (bucket < 9999)
        return 16384 + r.Below(245760);
    return (1u << 20) + r.Below(1u << 20);
}

const std::vector<char>& Content() {
    static const std::vector<char> bytes = [] {
        std::vector<char> b((2u << 20) + 4096);
        Rng r(7);
        for (auto& c : b)
            c = static_cast<char>(r.Next() >> 56);
        return b;
    }();
    return bytes;
}

FILETIME PastTime(Rng& r) {
    SYSTEMTIME st{};
    st.wYear = 2023;
    st.wMonth = 1;
    st.wDay = 1;
    FILETIME ft{};
    SystemTimeToFileTime(&st, &ft);
    ULARGE_INTEGER t{};
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    t.QuadPart += static_cast<uint64_t>(r.Below(2 * 365 * 86400)) * 10000000ull;
    ft.dwLowDateTime = t.LowPart;
    ft.dwHighDateTime = t.HighPart;
    return ft;
}

bool WriteWholeFile(const std::string& path, const char* data, uint32_t size, const FILETIME* time) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    const bool ok = size == 0 || (WriteFile(h, data, size, &put, nullptr) && put == size);
    if (time)
        SetFileTime(h, nullptr, nullptr, time);
    CloseHandle(h);
    return ok;
}

class Generator {
public:
    Generator(uint64_t seed) : m_rng(seed) {}

    void Fill(const std::string& dir, int depth, int64_t budget) {
        if (budget <= 0)
            return;
        const int64_t files = depth >= kMaxDepth ? budget : std::min<int64_t>(budget, 20 + m_rng.Below(160));
        int64_t rest = budget - files;
        const int64_t folders = rest > 0 ? std::min<int64_t>(rest, 2 + m_rng.Below(7)) : 0;
        rest -= folders;
        int serial = 0;
        for (int64_t i = 0; i < files; ++i)
            MakeFile(dir + MakeName(m_rng, ++serial, false), depth + 1);
        std::vector<int64_t> weights(static_cast<size_t>(folders));
        int64_t total = 0;
        for (auto& w : weights)
            total += (w = 1 + m_rng.Below(100));
        int64_t handedOut = 0;
        for (int64_t i = 0; i < folders; ++i) {
            const int64_t share =
                i + 1 == folders ? rest - handedOut : rest * weights[static_cast<size_t>(i)] / total;
            handedOut += share;
            const std::string sub = dir + MakeName(m_rng, ++serial, true);
            CreateDirectoryA(sub.c_str(), nullptr);
            Note(sub, depth + 1);
            ++m_stats.Folders;
            Fill(sub + "\\", depth + 1, share);
            // Attributes of a folder are set once its content is in place.
            DWORD attr = 0;
            if (m_rng.Below(100) == 0)
                attr |= FILE_ATTRIBUTE_HIDDEN;
            if (m_rng.Below(200) == 0)
                attr |= FILE_ATTRIBUTE_READONLY;
            if (attr) {
                SetFileAttributesA(sub.c_str(), attr | FILE_ATTRIBUTE_DIRECTORY);
                Count(sub);
            }
        }
    }

    TreeStats Stats() const { return m_stats; }

private:
    void MakeFile(const std::string& path, int depth) {
        const uint32_t size = FileSize(m_rng);
        const FILETIME time = PastTime(m_rng);
        const auto& bytes = Content();
        if (!WriteWholeFile(path, bytes.data() + m_rng.Below(4096), size, &time))
            return;
        ++m_stats.Files;
        m_stats.Bytes += size;
        Note(path, depth);
        DWORD attr = 0;
        const uint32_t roll = m_rng.Below(1000);
        if (roll < 20)
            attr = FILE_ATTRIBUTE_READONLY;
        else if (roll < 30)
            attr = FILE_ATTRIBUTE_HIDDEN;
        else if (roll < 33)
            attr = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
        if (attr) {
            SetFileAttributesA(path.c_str(), attr);
            Count(path);
        }
    }
    void Note(const std::string& path, int depth) {
        m_stats.MaxDepth = std::max(m_stats.MaxDepth, depth);
        m_stats.LongestPath = std::max(m_stats.LongestPath, path.size());
    }
    // Counts what the volume really keeps (a volume without extended attributes drops "hidden").
    void Count(const std::string& path) {
        const DWORD got = GetFileAttributesA(path.c_str());
        if (got == INVALID_FILE_ATTRIBUTES)
            return;
        m_stats.ReadOnly += (got & FILE_ATTRIBUTE_READONLY) != 0;
        m_stats.Hidden += (got & FILE_ATTRIBUTE_HIDDEN) != 0;
    }

    Rng m_rng;
    TreeStats m_stats;
};

bool IsDots(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// The floor of the engine's walk: the same wide entry points on extended-length paths.
int64_t WalkInto(wchar_t* path, size_t len) {
    std::wmemcpy(path + len, L"*", 2);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(path, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int64_t n = 0;
    do {
        if (IsDots(fd.cFileName))
            continue;
        ++n;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            const size_t l = std::wcslen(fd.cFileName);
            if (len + l + 5 < kPathBuffer) {
                std::wmemcpy(path + len, fd.cFileName, l);
                path[len + l] = L'\\';
                n += WalkInto(path, len + l + 1);
            }
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return n;
}

int64_t CopyInto(wchar_t* src, size_t sl, wchar_t* dst, size_t dl) {
    std::wmemcpy(src + sl, L"*", 2);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(src, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int64_t n = 0;
    do {
        if (IsDots(fd.cFileName))
            continue;
        const size_t l = std::wcslen(fd.cFileName);
        if (sl + l + 5 >= kPathBuffer || dl + l + 5 >= kPathBuffer)
            continue;
        std::wmemcpy(src + sl, fd.cFileName, l + 1);
        std::wmemcpy(dst + dl, fd.cFileName, l + 1);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CreateDirectoryW(dst, nullptr);
            src[sl + l] = dst[dl + l] = L'\\';
            src[sl + l + 1] = dst[dl + l + 1] = 0;
            n += CopyInto(src, sl + l + 1, dst, dl + l + 1);
        } else {
            n += CopyFileW(src, dst, FALSE) != 0;
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return n;
}

// A folder given in the code page as the extended-length path the engine would use, ending in "\".
std::wstring ExtendedFolder(const std::string& folder) {
    std::wstring full = ExtendedPath(FullPath(WidenAnsi(folder)));
    if (full.empty() || full.back() != L'\\')
        full += L'\\';
    return full;
}

uint64_t Mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    return x ^ (x >> 33);
}

void ListInto(const std::string& root, const std::string& rel, TreeListing& out) {
    SearchFolder(root + rel + "*.*", [&](const DirEntry& e) {
        if (e.Name == "." || e.Name == "..")
            return true;
        std::string key = rel + e.Name;
        std::transform(key.begin(), key.end(), key.begin(), Lower1251);
        uint64_t h = 1469598103934665603ull;
        for (const char c : key)
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        const bool folder = (e.Attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
        out.NameHash += Mix(h ^ (folder ? 0 : static_cast<uint32_t>(e.Size)));
        ++out.Entries;
        if (folder)
            ListInto(root, rel + e.Name + "\\", out);
        else
            out.Bytes += static_cast<uint32_t>(e.Size);
        return true;
    });
}

void CollectFiles(const std::string& dir, std::vector<std::string>& files,
                  std::vector<std::string>& folders) {
    folders.push_back(dir);
    SearchFolder(dir + "*.*", [&](const DirEntry& e) {
        if (e.Name == "." || e.Name == "..")
            return true;
        if (e.Attr & FILE_ATTRIBUTE_DIRECTORY)
            CollectFiles(dir + e.Name + "\\", files, folders);
        else
            files.push_back(dir + e.Name);
        return true;
    });
}

} // namespace

TreeStats GenerateTree(const std::string& root, int64_t entries, uint64_t seed) {
    CreateDirChain(root);
    Generator g(seed);
    g.Fill(root, 0, entries);
    return g.Stats();
}

MutationStats MutateTree(const std::string& root, int permille, uint64_t seed) {
    std::vector<std::string> files, folders;
    CollectFiles(root, files, folders);
    MutationStats m;
    if (files.empty())
        return m;
    Rng r(seed ^ 0xA5A5A5A5ull);
    const int64_t count = std::max<int64_t>(3, static_cast<int64_t>(files.size()) * permille / 1000);
    const int64_t touched = std::min<int64_t>(static_cast<int64_t>(files.size()), count / 3 * 2);
    // The first `touched` places of a partial shuffle: distinct files, half changed, half removed.
    for (int64_t i = 0; i < touched; ++i) {
        const auto j =
            static_cast<size_t>(i + static_cast<int64_t>(r.Below(static_cast<uint32_t>(files.size() - i))));
        std::swap(files[static_cast<size_t>(i)], files[j]);
    }
    const auto& bytes = Content();
    SYSTEMTIME now{};
    GetSystemTime(&now);
    FILETIME fresh{};
    SystemTimeToFileTime(&now, &fresh);
    for (int64_t i = 0; i < touched; ++i) {
        const std::string& path = files[static_cast<size_t>(i)];
        const DWORD attr = GetFileAttributesA(path.c_str());
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (i % 2 == 0) {
            HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                SetFilePointer(h, 0, nullptr, FILE_END);
                DWORD put = 0;
                WriteFile(h, bytes.data(), 100 + r.Below(900), &put, nullptr);
                SetFileTime(h, nullptr, nullptr, &fresh);
                CloseHandle(h);
                ++m.Changed;
            }
            if (attr != INVALID_FILE_ATTRIBUTES)
                SetFileAttributesA(path.c_str(), attr);
        } else if (DeleteFileA(path.c_str())) {
            ++m.Removed;
        }
    }
    const int64_t adds = count - touched;
    for (int64_t i = 0; i < adds; ++i) {
        const std::string& dir = folders[r.Below(static_cast<uint32_t>(folders.size()))];
        const std::string path =
            dir + "Новый файл " + std::to_string(seed) + "-" + std::to_string(i) + ".txt";
        if (WriteWholeFile(path, bytes.data(), 1 + r.Below(2047), &fresh))
            ++m.Added;
    }
    return m;
}

int64_t WalkTree(const std::string& root) {
    wchar_t path[kPathBuffer];
    const std::wstring wide = ExtendedFolder(root);
    if (wide.size() + 5 >= kPathBuffer)
        return 0;
    std::wmemcpy(path, wide.data(), wide.size());
    return WalkInto(path, wide.size());
}

TreeListing ListTree(const std::string& root) {
    TreeListing out;
    ListInto(root, "", out);
    return out;
}

int64_t CopyTreeLoop(const std::string& src, const std::string& dst) {
    wchar_t s[kPathBuffer], d[kPathBuffer];
    const std::wstring from = ExtendedFolder(src), to = ExtendedFolder(dst);
    if (from.size() + 5 >= kPathBuffer || to.size() + 5 >= kPathBuffer)
        return 0;
    CreateDirChain(to);
    std::wmemcpy(s, from.data(), from.size());
    std::wmemcpy(d, to.data(), to.size() + 1);
    return CopyInto(s, from.size(), d, to.size());
}

BackupSettings BenchSettings(const std::string& source, const std::string& targetDir) {
    BackupSettings s;
    s.SourceDirs = {source};
    s.TargetDir = targetDir;
    s.IdentifComp = "Bench";
    s.LowDriveSpaceMb = 5;
    s.KeepVersionsDays = 0; // measured against the engine without versions; --keep-days turns them on
    s.GuardPercent =
        0; // the passes that change every file are measured, not paused (the counts are made anyway)
    return s;
}

} // namespace vestrand::bench
