// Path rules of the mirror that need no file system.
#pragma once
#include <string>

namespace vestrand {

// Empty stays empty; a path ending in ":" or "\" is unchanged; a single letter becomes "X:\";
// otherwise "\" is appended.
std::string NormalizeDir(const std::string& path);
// The folder part of a path: F:\Arch\Data\a.txt gives F:\Arch\Data, F:\a.txt gives F:\.
std::string FileDirOf(const std::string& path);

}  // namespace vestrand
