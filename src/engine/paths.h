// Path rules of the mirror that need no file system.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vestrand {

// Empty stays empty; a path ending in ":" or "\" is unchanged; a single letter becomes "X:\";
// otherwise "\" is appended.
std::string NormalizeDir(const std::string& path);
// The folder part of a path: F:\Arch\Data\a.txt gives F:\Arch\Data, F:\a.txt gives F:\.
std::string FileDirOf(const std::string& path);
std::wstring FileDirOf(const std::wstring& path);
// A folder's path ending in "\", and without it.
inline std::wstring WithSeparator(std::wstring path) {
    if (path.empty() || path.back() != L'\\')
        path += L'\\';
    return path;
}
inline std::wstring WithoutSeparator(std::wstring path) {
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

// True when `name` can serve as this computer's folder: not empty, not ending in "." or a blank
// (which the file system would drop), and free of \ / : * ? " < > | and control characters.
bool IsSafeIdentifComp(const std::string& name);
// The backup folder must name a drive: a letter and ":", alone (the drive's current folder, as the
// settings keep "F:") or followed by "\"; or a network share, "\\server\share\" with or without
// folders below it. A share written without the separator after its name is refused: the mirror
// folder, TargetDir + IdentifComp, would then name another share ("\\nas\backupTest").
bool IsBackupTarget(const std::string& dir);
// The mirror folder of this computer in the backup folder, ending in "\".
inline std::string MirrorFolderOf(const std::string& targetDir, const std::string& identifComp) {
    return targetDir + identifComp + "\\";
}
// Puts in place of each "%NAME%" in `text` what `lookup` gives for NAME, as the system expands a
// variable: a name is not empty and holds no "\" or "=", a "%" that opens none stays as written,
// and a value is not expanded again. False when a variable named is not set: `unset` then holds
// it as written ("%NAME%"), so that a value is never taken with a reference left in it.
using VariableLookup = std::function<std::optional<std::string>(const std::string& name)>;
bool ExpandVariables(const std::string& text, const VariableLookup& lookup, std::string& expanded,
                     std::string& unset);

// A source is mapped by dropping its drive designator ("X:\...") or its server ("\\server\share..."
// is mirrored under "share\..."); nothing else can be mapped at all.
bool IsMappableSource(const std::string& path);

// ---- Roots. A full path starts at a drive ("X:\") or at a network share ("\\server\share\"); the
// engine reaches either through its extended-length form ("\\?\X:\...", "\\?\UNC\server\share\...").

// "\\server\share" with or without more after it: neither name empty, "." or "..". The device and
// extended-length forms ("\\.\", "\\?\") are none.
bool IsNetworkPath(std::string_view path);
bool IsNetworkPath(std::wstring_view path);
// The length of the root of a full path, plain or extended-length, with the separator after it
// when there is one: "X:\" or "\\server\share\" ("\\server\share" alone is its own root); 0 when the
// path starts at no root.
size_t RootLength(std::wstring_view path);
size_t RootLength(std::string_view path);
// Where the part of a rooted path that the mirror keeps begins: after "X:\" for a drive, after
// "\\server\" for a share (whose name the mirror keeps); 0 when the path starts at no root.
size_t MirrorKeyStart(std::wstring_view path);
// A source path's place in the mirror: without its drive ("C:\x" gives "x"), or without its server
// ("\\nas\projects\x" gives "projects\x").
std::wstring MirrorRelOf(const std::wstring& path);
// The root of a full path (plain or extended-length) in plain form, ending in "\": what the free
// space of its volume is asked of. Empty when it has none.
std::wstring VolumeRoot(std::wstring_view path);
// The extended-length form of a full path: "\\?\" + a drive path, "\\?\UNC\" + a share path without
// its leading "\\"; unchanged when it has the prefix already. The file system takes such a path as
// it is: build it only from a path already normalised.
std::wstring ExtendedPath(const std::wstring& full);
// The plain form of an extended-length path ("\\?\UNC\server\..." gives "\\server\..."); any other
// path unchanged.
std::wstring PlainPath(const std::wstring& path);

} // namespace vestrand
