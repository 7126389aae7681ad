// Path and file primitives the mirror depends on. None raises an error to its caller except
// MoveFileWithFallback; failures give false, -1 or nothing.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "engine/paths.h"  // NormalizeDir, FileDirOf and the other pure path rules

namespace vestrand {

using DosDateTime = int32_t;

struct DirEntry {
    std::string Name;
    DosDateTime Time = 0;  // last write, local time, packed
    int32_t Size = 0;      // low 32 bits
    int32_t Attr = 0;
};

bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);
DosDateTime FileStamp(const std::string& path);  // -1 when missing or a folder
int32_t ReadAttributes(const std::string& path);  // -1 on failure
void WriteAttributes(const std::string& path, int32_t attr);
void CreateDirChain(const std::string& path);
std::string CanonicalPath(const std::string& path);
// The full form of a path as the file system resolves it (GetFullPathNameA): "." and ".." taken
// out, "/" turned into "\"; the path unchanged when that fails.
std::string FullPath(const std::string& path);
// FullPath with its existing components in their long form (GetLongPathNameA), for comparing two
// ways of writing one folder; the full form alone when the path does not exist.
std::string LongFullPath(const std::string& path);
int64_t DriveFree(const std::string& path);  // -1 on failure (and for an empty path)
// Calls `onEntry` for every entry of the search, "." and ".." included; returns false when the
// search found nothing. The search is closed on every way out, also when onEntry returns false
// (which stops the search) or throws.
bool SearchFolder(const std::string& pattern, const std::function<bool(const DirEntry&)>& onEntry);
bool CopyFileOver(const std::string& src, const std::string& dst);
bool RemoveFolder(const std::string& path);
bool MakeFolder(const std::string& path);
void MoveFileWithFallback(const std::string& src, const std::string& dst);

// What makes a folder the same folder however it is reached (through links or other names): its
// volume and its index on that volume.
struct FileIdentity {
    uint32_t Volume = 0;
    uint64_t Index = 0;
    bool operator==(const FileIdentity&) const = default;
};
// False when the entry cannot be opened (missing, or a link that leads nowhere).
bool IdentityOf(const std::string& path, FileIdentity& identity);

// True when the folder holds no entry besides "." and "..".
bool IsEmptyFolder(const std::string& folder);

}  // namespace vestrand
