// The stamped folders of a mirror folder's ~versions as the file system lists them.
#pragma once
#include <string>
#include <vector>

#include "engine/held_versions.h"

namespace vestrand {

struct StampedFolderEntry {
    DateTime stamp = 0;
    std::wstring name;
};

// The stamped folders under `versions` (ending in "\"), oldest first; folders of other names are
// not the program's and are left out.
std::vector<StampedFolderEntry> ListStampedFolders(const std::wstring& versions);

} // namespace vestrand
