// Path rules of the mirror that need no file system.
#pragma once
#include <functional>
#include <optional>
#include <string>

namespace vestrand {

// Empty stays empty; a path ending in ":" or "\" is unchanged; a single letter becomes "X:\";
// otherwise "\" is appended.
std::string NormalizeDir(const std::string& path);
// The folder part of a path: F:\Arch\Data\a.txt gives F:\Arch\Data, F:\a.txt gives F:\.
std::string FileDirOf(const std::string& path);
std::wstring FileDirOf(const std::wstring& path);

// True when `name` can serve as this computer's folder: not empty, not ending in "." or a blank
// (which the file system would drop), and free of \ / : * ? " < > | and control characters.
bool IsSafeIdentifComp(const std::string& name);
// The backup folder must name a drive: a letter and ":", alone (the drive's current folder, as the
// settings keep "F:") or followed by "\".
bool IsDriveTarget(const std::string& dir);
// Puts in place of each "%NAME%" in `text` what `lookup` gives for NAME, as the system expands a
// variable: a name is not empty and holds no "\" or "=", a "%" that opens none stays as written,
// and a value is not expanded again. False when a variable named is not set: `unset` then holds
// it as written ("%NAME%"), so that a value is never taken with a reference left in it.
using VariableLookup = std::function<std::optional<std::string>(const std::string& name)>;
bool ExpandVariables(const std::string& text, const VariableLookup& lookup, std::string& expanded,
                     std::string& unset);

// A source is mapped by dropping its drive designator, so only "X:\..." can be mapped at all.
bool IsDriveSource(const std::string& path);

} // namespace vestrand
