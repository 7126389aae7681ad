// The trees the benchmark works on: generating a source tree, changing a share of it, and the two
// reference programs that any backup tool has to beat: the bare directory walk and the bare copy.
#pragma once
#include <cstdint>
#include <string>

#include "engine/backup_settings.h"

namespace vestrand::bench {

struct TreeStats {
    int64_t Files = 0;
    int64_t Folders = 0;
    int64_t Bytes = 0;
    int64_t ReadOnly = 0; // files and folders carrying the read-only bit
    int64_t Hidden = 0;   // files and folders carrying the hidden bit
    int MaxDepth = 0;     // 1 for an entry directly in the root
    size_t LongestPath = 0;
    int64_t Entries() const { return Files + Folders; }
};

// Fills `root` (an existing or missing folder, ending in "\") with exactly `entries` files and
// folders: about a hundred entries per folder, two to eight subfolders per folder, names of Latin
// and Cyrillic words in code page 1251 in varied letter case with blanks, hyphens and underscores,
// mostly small files with a tail of larger ones, a few read-only and hidden entries, last-write
// times spread over two years. The same seed gives the same tree.
TreeStats GenerateTree(const std::string& root, int64_t entries, uint64_t seed);

struct MutationStats {
    int64_t Changed = 0; // files that grew by some bytes and got a new last-write time
    int64_t Added = 0;   // new files in existing folders
    int64_t Removed = 0; // files deleted
};

// Changes `permille` thousandths of the files under `root`: a third of them are rewritten, a third
// removed, and as many new files added. Read-only files are changed too (their bit is kept).
MutationStats MutateTree(const std::string& root, int permille, uint64_t seed);

// A recursive FindFirstFileA / FindNextFileA walk that does nothing with what it finds; returns
// the number of entries below `root` (ending in "\"), "." and ".." not counted.
int64_t WalkTree(const std::string& root);

// Everything the walk finds, summed: the check that two trees hold the same names and sizes.
struct TreeListing {
    int64_t Entries = 0;
    int64_t Bytes = 0;
    uint64_t NameHash = 0; // over the relative paths (case-insensitively) and sizes, order-free
};
TreeListing ListTree(const std::string& root);

// The least a first copy must do: the walk of `src`, CreateDirectoryA for every folder and
// CopyFileA for every file into `dst` (both ending in "\"). Returns the number of files copied.
int64_t CopyTreeLoop(const std::string& src, const std::string& dst);

// The settings of the benchmark's passes: the folder `source` mirrored into `targetDir` + "Bench\",
// with a free-space floor of 5 MB.
BackupSettings BenchSettings(const std::string& source, const std::string& targetDir);

} // namespace vestrand::bench
