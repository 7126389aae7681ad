// Path and file primitives the mirror depends on. None raises an error to its caller except
// MoveFileWithFallback; failures give false, -1 or nothing.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "engine/paths.h" // NormalizeDir, FileDirOf and the other pure path rules

namespace vestrand {

using DosDateTime = int32_t;

struct DirEntry {
    std::string Name;
    DosDateTime Time = 0; // last write, local time, packed
    int64_t Size = 0;
    int32_t Attr = 0;
};

bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);
DosDateTime FileStamp(const std::string& path);  // -1 when missing or a folder
int32_t ReadAttributes(const std::string& path); // -1 on failure
void WriteAttributes(const std::string& path, int32_t attr);
void CreateDirChain(const std::string& path);
std::string CanonicalPath(const std::string& path);
// The full form of a path as the file system resolves it (GetFullPathNameA): "." and ".." taken
// out, "/" turned into "\"; the path unchanged when that fails.
std::string FullPath(const std::string& path);
// FullPath with its existing components in their long form (GetLongPathNameA), for comparing two
// ways of writing one folder; the full form alone when the path does not exist.
std::string LongFullPath(const std::string& path);
// The free space of the volume that holds the full path `path` (a drive or a network share), -1 on
// failure (and for a path without a root).
int64_t DriveFree(const std::string& path);
// A short tag for the file or folder `path` names, the same however it is written (letter case,
// "." and ".."), for the names of objects shared by the processes of a session: 16 hex digits.
std::string PathTag(const std::string& path);
// Calls `onEntry` for every entry of the search, "." and ".." included; returns false when the
// search found nothing. The search is closed on every way out, also when onEntry returns false
// (which stops the search) or throws.
bool SearchFolder(const std::string& pattern, const std::function<bool(const DirEntry&)>& onEntry);
bool CopyFileOver(const std::string& src, const std::string& dst);
bool RemoveFolder(const std::string& path);
bool MakeFolder(const std::string& path);
void MoveFileWithFallback(const std::string& src, const std::string& dst);

// ---- The engine's forms: UTF-16 paths, extended-length ("\\?\" + a full path) where they name
// what a pass copies, so that every name the file system holds and every path length is reached.

struct WideEntry {
    std::wstring Name;
    DosDateTime Time = 0; // last write, local time, packed
    int64_t Size = 0;
    int32_t Attr = 0;
    // The last write to the 100 ns (UTC): what tells whether a file was written while it was
    // copied, where the packed time's two-second steps cannot.
    int64_t Written = 0;
};

// The ANSI code page's text in UTF-16.
std::wstring WidenAnsi(const std::string& text);
bool IsFolder(const std::wstring& path);
bool IsFile(const std::wstring& path);
DosDateTime FileStamp(const std::wstring& path);
int32_t ReadAttributes(const std::wstring& path);
void WriteAttributes(const std::wstring& path, int32_t attr);
void CreateDirChain(const std::wstring& path); // also below "\\?\"; never the drive or share itself
bool RemoveFolder(const std::wstring& path);
bool MakeFolder(const std::wstring& path);
int64_t DriveFree(const std::wstring& path);
// The size of the drive of `path` in bytes (the volume's total), -1 when it cannot be read.
int64_t DriveSize(const std::wstring& path);
// The cluster of the drive of `path` (sectors per cluster * bytes per sector), 0 when it cannot be read.
int64_t ClusterBytes(const std::wstring& path);
// The time, size and attributes of `path` itself, as a search would list them (not its name);
// false when there is none.
bool ReadEntry(const std::wstring& path, WideEntry& entry);
std::wstring FullPath(const std::wstring& path);
// The full path with its existing components in long form (no "\\?\" prefix).
std::wstring LongFullPath(const std::wstring& path);
bool SearchFolder(const std::wstring& pattern, const std::function<bool(const WideEntry&)>& onEntry);
// Removes a folder with everything in it, taking read-only marks off first; links in it are
// removed, never entered. True when it is gone.
bool RemoveFolderTree(const std::wstring& folder);

// What makes a folder the same folder however it is reached (through links or other names): its
// volume and its index on that volume.
struct FileIdentity {
    uint32_t Volume = 0;
    uint64_t Index = 0;
    bool operator==(const FileIdentity&) const = default;
};
// False when the entry cannot be opened (missing, or a link that leads nowhere).
bool IdentityOf(const std::wstring& path, FileIdentity& identity);
bool IdentityOf(const std::string& path, FileIdentity& identity);

// Copies a file in blocks of `blockSize` bytes into `dst`, made anew, and gives it the source's
// last-write time at the end (not its attributes, nor its alternate data streams); the source may be
// open for writing elsewhere, so the copy is only as good as the source stood still. After every block
// `onBlock` gets the bytes just written and returns false to stop the copy: `dst` is then removed,
// as it is after a failure. With `renameTo`, the complete copy is renamed there before it is closed
// (one call, where a rename by the names opens the file again), never over anything that stands
// there: a copy that cannot be renamed fails, and is removed.
enum class BlockCopy { Done, Failed, Stopped };
BlockCopy CopyFileInBlocks(const std::wstring& src, const std::wstring& dst, size_t blockSize,
                           const std::function<bool(int64_t)>& onBlock, const std::wstring& renameTo = {});

// True when the file `part` holds the first bytes of the file `whole` and nothing else (false when
// either cannot be read).
bool IsLeadingPartOf(const std::wstring& part, const std::wstring& whole);

// True when the folder holds no entry besides "." and "..".
bool IsEmptyFolder(const std::wstring& folder);
bool IsEmptyFolder(const std::string& folder);

} // namespace vestrand
