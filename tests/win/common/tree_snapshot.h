// One walker for every test that looks at a whole tree, and the snapshot built on it: what a
// folder holds, to compare before and after a pass. Through the wide entry points with
// extended-length paths, so names outside the code page and long paths are seen too.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace vestrand::test {

// Text in code page 1251 in which a character the code page cannot hold, and a control character,
// stands as "<U+XXXX>" (the form the journal writes), and back to UTF-16.
std::string NarrowU(const std::wstring& text);
std::wstring WidenU(const std::string& text);
// The extended-length form of a full drive-letter path given in that text.
std::wstring ExtendedPath(const std::string& path);

// Visits every entry below `folder` (ending in "\"), parents before children, with its path
// relative to `folder` (folders without a trailing "\"). A folder is entered when `visit` returns
// true; a link to a folder is never entered. False when `folder` itself cannot be searched (an empty
// drive root included); GetLastError() then tells why.
using TreeVisitor = std::function<bool(const std::wstring& rel, const WIN32_FIND_DATAW& found)>;
bool WalkTree(const std::string& folder, const TreeVisitor& visit);

struct TreeEntry {
    bool folder = false;
    uint32_t attributes = 0;
    uint64_t writeTime = 0;
    std::string content; // a file's bytes
    bool operator==(const TreeEntry&) const = default;
};
// Relative path (in NarrowU form; folders end in "\") -> entry. Keys in byte order.
using TreeSnapshot = std::map<std::string, TreeEntry>;

enum class Snap { Everything, FilesOnly };
TreeSnapshot SnapshotTree(const std::string& folder, Snap what = Snap::Everything);
// The same without the entries a pass keeps for itself at the top of a mirror (journal.txt, the
// lock, the owner file, the temporary copy), so a source and its mirror compare equal.
TreeSnapshot SnapshotMirror(const std::string& folder);
// Only paths and contents: what stays equal when a copy's times and attributes do not matter.
std::map<std::string, std::string> Contents(const TreeSnapshot& tree);

// The names directly inside `folder`, sorted; empty when it cannot be searched.
inline std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> out;
    WalkTree(folder, [&](const std::wstring& name, const WIN32_FIND_DATAW&) {
        out.push_back(NarrowU(name));
        return false;
    });
    std::sort(out.begin(), out.end());
    return out;
}

void PrintTo(const TreeEntry& e, std::ostream* os);

} // namespace vestrand::test
