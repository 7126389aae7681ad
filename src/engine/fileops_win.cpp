#include "engine/fileops_win.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "engine/backup_index_win.h" // FileSystemKey
#include "runtime/error.h"
#include "runtime/handles_win.h"

namespace vestrand {

namespace {

DosDateTime PackLocal(const FILETIME& ft) {
    FILETIME local{};
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToDosDateTime(&local, &date, &time))
        return 0;
    return static_cast<DosDateTime>((static_cast<uint32_t>(date) << 16) | time);
}

DirEntry ToEntry(const WIN32_FIND_DATAA& fd) {
    DirEntry e;
    e.Name = fd.cFileName;
    e.Time = PackLocal(fd.ftLastWriteTime);
    e.Size = static_cast<int64_t>((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
    e.Attr = static_cast<int32_t>(fd.dwFileAttributes);
    return e;
}

int64_t Ticks(const FILETIME& ft) {
    return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

void FillEntry(const WIN32_FIND_DATAW& fd, WideEntry& e) {
    e.Name = fd.cFileName;
    e.Time = PackLocal(fd.ftLastWriteTime);
    e.Written = Ticks(fd.ftLastWriteTime);
    e.Size = static_cast<int64_t>((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
    e.Attr = static_cast<int32_t>(fd.dwFileAttributes);
}

// One walk of CanonicalPath: `useShort` picks the 8.3 name first, otherwise the long name first.
std::string CanonicalWalk(const std::string& path, bool useShort) {
    std::string rest = path;
    std::string result;
    // The root ("X:", "\\server\share") is no entry a search can find.
    const size_t root = RootLength(path);
    for (auto at = rest.find_last_of('\\'); at != std::string::npos && at + 1 >= root;
         at = rest.find_last_of('\\')) {
        std::string name;
        WIN32_FIND_DATAA fd{};
        FindHandle h(FindFirstFileA(rest.c_str(), &fd));
        if (h) {
            const std::string longName = fd.cFileName, shortName = fd.cAlternateFileName;
            if (useShort)
                name = shortName.empty() ? longName : shortName;
            else
                name = longName.empty() ? shortName : longName;
        }
        result = "\\" + name + result;
        rest.resize(at);
    }
    return rest + result;
}

} // namespace

// The ANSI forms, for the settings, the journal and the dialog, are the wide forms of the path in
// the ANSI code page.
bool IsFolder(const std::string& path) {
    return IsFolder(WidenAnsi(path));
}
bool IsFile(const std::string& path) {
    return FileStamp(path) != -1;
}
DosDateTime FileStamp(const std::string& path) {
    return FileStamp(WidenAnsi(path));
}
int32_t ReadAttributes(const std::string& path) {
    return ReadAttributes(WidenAnsi(path));
}
void WriteAttributes(const std::string& path, int32_t attr) {
    WriteAttributes(WidenAnsi(path), attr);
}
void CreateDirChain(const std::string& path) {
    CreateDirChain(WidenAnsi(path));
}
bool RemoveFolder(const std::string& path) {
    return RemoveFolder(WidenAnsi(path));
}
bool MakeFolder(const std::string& path) {
    return MakeFolder(WidenAnsi(path));
}
int64_t DriveFree(const std::string& path) {
    return DriveFree(WidenAnsi(path));
}
bool IdentityOf(const std::string& path, FileIdentity& identity) {
    return IdentityOf(WidenAnsi(path), identity);
}
bool IsEmptyFolder(const std::string& folder) {
    return IsEmptyFolder(WidenAnsi(folder));
}

std::wstring WidenAnsi(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attr = GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::wstring& path) {
    return FileStamp(path) != -1;
}

DosDateTime FileStamp(const std::wstring& path) {
    WIN32_FIND_DATAW fd{};
    FindHandle h(FindFirstFileW(path.c_str(), &fd));
    if (!h || (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return -1;
    return PackLocal(fd.ftLastWriteTime);
}

bool ReadEntry(const std::wstring& path, WideEntry& entry) {
    // The attributes call, not a search: a search for one name lists its folder under Wine, which
    // made a first pass over large folders slower than the copies themselves.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    entry.Time = PackLocal(data.ftLastWriteTime);
    entry.Written = Ticks(data.ftLastWriteTime);
    entry.Size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    entry.Attr = static_cast<int32_t>(data.dwFileAttributes);
    return true;
}

int32_t ReadAttributes(const std::wstring& path) {
    return static_cast<int32_t>(GetFileAttributesW(path.c_str())); // INVALID_FILE_ATTRIBUTES is -1
}

void WriteAttributes(const std::wstring& path, int32_t attr) {
    SetFileAttributesW(path.c_str(), static_cast<DWORD>(attr));
}

void CreateDirChain(const std::wstring& path) {
    // The root, a drive such as F:\ or a share \\nas\backup\ (plain or extended-length), is never
    // created: a share that does not answer must not become a folder of that name somewhere.
    size_t rootEnd = RootLength(path);
    if (rootEnd == 0) { // relative: the first level is taken as it stands
        const auto first = path.find(L'\\');
        rootEnd = first == std::wstring::npos ? 0 : first + 1;
    }
    std::wstring acc = path.substr(0, rootEnd);
    std::wstring rest = path.substr(rootEnd);
    if (rest.empty())
        return;
    std::wstring::size_type at;
    while ((at = rest.find(L'\\')) != std::wstring::npos) {
        acc += rest.substr(0, at + 1);
        rest.erase(0, at + 1);
        CreateDirectoryW(acc.c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
}

std::wstring FullPath(const std::wstring& path) {
    if (path.empty())
        return path;
    std::vector<wchar_t> buf(MAX_PATH * 2);
    DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    }
    return n > 0 && n < buf.size() ? std::wstring(buf.data(), n) : path;
}

namespace {

bool LongForm(const std::wstring& path, std::wstring& out) {
    std::vector<wchar_t> buf(MAX_PATH * 2);
    DWORD n = GetLongPathNameW(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetLongPathNameW(path.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    }
    if (n == 0 || n >= buf.size())
        return false;
    out = PlainPath(std::wstring(buf.data(), n));
    return true;
}

} // namespace

std::wstring LongFullPath(const std::wstring& path) {
    // The plain form first: not every platform resolves short names below "\\?\"; the prefixed
    // form for a path longer than the plain forms take.
    const std::wstring full = FullPath(path);
    std::wstring found;
    if (LongForm(full, found) || LongForm(ExtendedPath(full), found))
        return found;
    return full;
}

bool SearchFolder(const std::wstring& pattern, const std::function<bool(const WideEntry&)>& onEntry) {
    WIN32_FIND_DATAW fd{};
    // Without the short names, which no caller reads (every caller tells entries by their long
    // names), and in larger batches: the walks of a pass are most of an unchanged pass.
    FindHandle h(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                  FIND_FIRST_EX_LARGE_FETCH));
    if (!h)
        return false;
    WideEntry e;
    do {
        FillEntry(fd, e);
        if (!onEntry(e))
            break;
    } while (FindNextFileW(h.Get(), &fd));
    return true;
}

bool RemoveFolder(const std::wstring& path) {
    return RemoveDirectoryW(path.c_str()) != 0;
}

bool RemoveFolderTree(const std::wstring& folder) {
    const std::wstring dir = !folder.empty() && folder.back() == L'\\' ? folder : folder + L'\\';
    SearchFolder(dir + L"*", [&](const WideEntry& e) {
        if (e.Name == L"." || e.Name == L"..")
            return true;
        const std::wstring child = dir + e.Name;
        // Only a read-only mark keeps an entry from going; the search entry tells where one is, so
        // a tree of ordinary files costs one call per entry.
        if (e.Attr & FILE_ATTRIBUTE_READONLY)
            WriteAttributes(child, 0);
        if ((e.Attr & FILE_ATTRIBUTE_DIRECTORY) && !(e.Attr & FILE_ATTRIBUTE_REPARSE_POINT))
            RemoveFolderTree(child);
        else if (e.Attr & FILE_ATTRIBUTE_DIRECTORY)
            RemoveFolder(child);
        else
            DeleteFileW(child.c_str());
        return true;
    });
    if (!RemoveFolder(dir)) {
        WriteAttributes(dir, 0);
        RemoveFolder(dir);
    }
    return ReadAttributes(dir) == -1;
}

namespace {

// Renames the open file `file` (opened with DELETE access) to `target`, unless something is there.
bool RenameOpenFile(HANDLE file, const std::wstring& target) {
    const size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->FileName, target.data(), nameBytes);
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != 0;
}

// The first block of a copy: most files are smaller, and a block of a megabyte made (and its pages
// touched) for every small file costs more than copying it, as does asking each file its size.
constexpr size_t kFirstBlockBytes = 64 * 1024;

} // namespace

BlockCopy CopyFileInBlocks(const std::wstring& src, const std::wstring& dst, size_t blockSize,
                           const std::function<bool(int64_t)>& onBlock, const std::wstring& renameTo) {
    BlockCopy outcome = BlockCopy::Failed;
    DWORD error = 0;
    {
        // Shared for writing, as CopyFileW shares it: a file another program keeps open for writing
        // can be copied; the caller tells a copy of a file written meanwhile by its size and time.
        FileHandle in(CreateFileW(src.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!in)
            return BlockCopy::Failed;
        FileHandle out(CreateFileW(dst.c_str(), GENERIC_WRITE | (renameTo.empty() ? 0 : DELETE), 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                   nullptr));
        if (!out)
            return BlockCopy::Failed;
        size_t blockLength = std::min(blockSize, kFirstBlockBytes);
        std::unique_ptr<char[]> block(new char[blockLength]);
        for (;;) {
            DWORD got = 0, put = 0;
            if (!ReadFile(in.Get(), block.get(), static_cast<DWORD>(blockLength), &got, nullptr))
                break;
            if (got == blockLength && blockLength < blockSize) {
                // A larger file: blocks of the full size from here on, this one read in two parts.
                std::unique_ptr<char[]> full(new char[blockSize]);
                std::memcpy(full.get(), block.get(), got);
                block = std::move(full);
                DWORD more = 0;
                if (!ReadFile(in.Get(), block.get() + got, static_cast<DWORD>(blockSize - got), &more,
                              nullptr))
                    break;
                got += more;
                blockLength = blockSize;
            }
            if (got > 0) {
                if (!WriteFile(out.Get(), block.get(), got, &put, nullptr) || put != got)
                    break;
                if (!onBlock(got)) {
                    outcome = BlockCopy::Stopped;
                    break;
                }
            }
            // Only a read that gives nothing is the end: a read of a share may stop short of a
            // block before it, and a copy cut there would pass for whole.
            if (got == 0) {
                FILETIME created{}, accessed{}, written{};
                if (GetFileTime(in.Get(), &created, &accessed, &written) &&
                    SetFileTime(out.Get(), nullptr, nullptr, &written) &&
                    (renameTo.empty() || RenameOpenFile(out.Get(), renameTo)))
                    outcome = BlockCopy::Done;
                break;
            }
        }
        if (outcome == BlockCopy::Failed)
            error = GetLastError();
    }
    if (outcome != BlockCopy::Done) {
        DeleteFileW(dst.c_str());
        SetLastError(error); // the reason, not that of the removal
    }
    return outcome;
}

bool IsLeadingPartOf(const std::wstring& part, const std::wstring& whole) {
    const auto open = [](const std::wstring& path) {
        return FileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    };
    const FileHandle a = open(part), b = open(whole);
    if (!a || !b)
        return false;
    std::vector<char> mine(1 << 16), theirs(1 << 16);
    for (;;) {
        DWORD got = 0, also = 0;
        if (!ReadFile(a.Get(), mine.data(), static_cast<DWORD>(mine.size()), &got, nullptr))
            return false;
        if (got == 0)
            return true;
        if (!ReadFile(b.Get(), theirs.data(), got, &also, nullptr) || also != got ||
            std::memcmp(mine.data(), theirs.data(), got) != 0)
            return false;
    }
}

bool MakeFolder(const std::wstring& path) {
    return CreateDirectoryW(path.c_str(), nullptr) != 0;
}

namespace {

// The bytes free to this user and the size of the volume that holds `path`, -1 each when they
// cannot be read. A share's are asked of its root, as the server answers for the whole share.
std::pair<int64_t, int64_t> VolumeSpace(const std::wstring& path) {
    const std::wstring root = VolumeRoot(path);
    if (root.empty())
        return {-1, -1};
    ULARGE_INTEGER avail{}, total{}, free{};
    if (GetDiskFreeSpaceExW(root.c_str(), &avail, &total, &free))
        return {static_cast<int64_t>(avail.QuadPart), static_cast<int64_t>(total.QuadPart)};
    DWORD spc = 0, bps = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceW(root.c_str(), &spc, &bps, &freeClusters, &clusters))
        return {-1, -1};
    const int64_t cluster = static_cast<int64_t>(spc) * bps;
    return {cluster * freeClusters, cluster * clusters};
}

} // namespace

int64_t DriveFree(const std::wstring& path) {
    return VolumeSpace(path).first;
}

int64_t DriveSize(const std::wstring& path) {
    return VolumeSpace(path).second;
}

int64_t ClusterBytes(const std::wstring& path) {
    const std::wstring root = VolumeRoot(path);
    if (root.empty())
        return 0;
    DWORD spc = 0, bps = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceW(root.c_str(), &spc, &bps, &freeClusters, &clusters))
        return 0;
    return static_cast<int64_t>(spc) * bps;
}

std::string CanonicalPath(const std::string& path) {
    return CanonicalWalk(CanonicalWalk(path, true), false);
}

std::string FullPath(const std::string& path) {
    if (path.empty())
        return path;
    std::vector<char> buf(MAX_PATH * 2);
    DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    }
    return n > 0 && n < buf.size() ? std::string(buf.data(), n) : path;
}

std::string LongFullPath(const std::string& path) {
    const std::string full = FullPath(path);
    if (full.empty())
        return full;
    std::vector<char> buf(MAX_PATH * 2);
    DWORD n = GetLongPathNameA(full.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetLongPathNameA(full.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    }
    return n > 0 && n < buf.size() ? std::string(buf.data(), n) : full;
}

bool SearchFolder(const std::string& pattern, const std::function<bool(const DirEntry&)>& onEntry) {
    WIN32_FIND_DATAA fd{};
    FindHandle h(FindFirstFileA(pattern.c_str(), &fd));
    if (!h)
        return false;
    do {
        if (!onEntry(ToEntry(fd)))
            break;
    } while (FindNextFileA(h.Get(), &fd));
    return true;
}

bool CopyFileOver(const std::string& src, const std::string& dst) {
    if (!CopyFileA(src.c_str(), dst.c_str(), FALSE))
        return false;
    // Wine keeps the hidden and system bits in extended attributes, which not every volume holds,
    // so a copy may lack them; the mirror must carry them all.
    const DWORD attr = GetFileAttributesA(src.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && GetFileAttributesA(dst.c_str()) != attr)
        SetFileAttributesA(dst.c_str(), attr);
    return true;
}

bool IdentityOf(const std::wstring& path, FileIdentity& identity) {
    // No access rights are needed to read the identity; backup semantics open folders too.
    const FileHandle h(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h || !GetFileInformationByHandle(h.Get(), &info))
        return false;
    identity.Volume = info.dwVolumeSerialNumber;
    identity.Index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool IsEmptyFolder(const std::wstring& folder) {
    bool empty = true;
    const std::wstring dir = !folder.empty() && folder.back() == L'\\' ? folder : folder + L"\\";
    SearchFolder(dir + L"*", [&](const WideEntry& e) {
        empty = e.Name == L"." || e.Name == L"..";
        return empty;
    });
    return empty;
}

namespace {

// The fallback copy of MoveFileWithFallback: blocks of 8192 bytes, the source's last-write time.
void StreamCopy(const std::string& src, std::string dst) {
    FileHandle in(CreateFileA(src.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in)
        RaiseError(kErrCannotOpenFile, src);
    if (IsFolder(dst)) {
        const auto at = src.find_last_of(":\\");
        dst = NormalizeDir(dst) + (at == std::string::npos ? src : src.substr(at + 1));
    }
    CreateDirChain(FileDirOf(dst));
    FileHandle out(
        CreateFileA(dst.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        RaiseError(kErrCannotCreateFile, dst);
    std::vector<char> block(8192);
    for (;;) {
        DWORD got = 0, put = 0;
        if (!ReadFile(in.Get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr))
            RaiseError(kErrStreamRead);
        if (got > 0 && (!WriteFile(out.Get(), block.data(), got, &put, nullptr) || put != got))
            RaiseError(kErrStreamWrite);
        if (got < block.size())
            break;
    }
    FILETIME created{}, accessed{}, written{};
    if (GetFileTime(in.Get(), &created, &accessed, &written))
        SetFileTime(out.Get(), nullptr, nullptr, &written);
}

} // namespace

void MoveFileWithFallback(const std::string& src, const std::string& dst) {
    char full[MAX_PATH * 2] = {};
    const DWORD n = GetFullPathNameA(dst.c_str(), sizeof full, full, nullptr);
    const std::string target = (n > 0 && n < sizeof full) ? std::string(full, n) : dst;
    if (MoveFileA(src.c_str(), target.c_str()))
        return;
    if (GetFileAttributesA(src.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    const DWORD attr = GetFileAttributesA(src.c_str());
    SetFileAttributesA(src.c_str(), attr & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    StreamCopy(src, target);
    DeleteFileA(src.c_str());
}

} // namespace vestrand

namespace vestrand {

std::string PathTag(const std::string& path) {
    // FNV-1a over the full path with its letter case folded as the file system folds it.
    const std::wstring key = FileSystemKey(FullPath(WidenAnsi(path)));
    uint64_t hash = 14695981039346656037ull;
    for (const wchar_t unit : key) {
        hash ^= static_cast<uint16_t>(unit);
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace vestrand
