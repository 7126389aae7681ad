#include "engine/held_versions_win.h"

#include <windows.h>

#include <algorithm>

#include "engine/fileops_win.h"

namespace vestrand {

std::vector<StampedFolderEntry> ListStampedFolders(const std::wstring& versions) {
    std::vector<StampedFolderEntry> found;
    SearchFolder(versions + L"*", [&](const WideEntry& e) {
        DateTime stamp = 0;
        if ((e.Attr & FILE_ATTRIBUTE_DIRECTORY) && StampOfFolderName(e.Name, stamp))
            found.push_back({stamp, e.Name});
        return true;
    });
    std::sort(found.begin(), found.end(),
              [](const StampedFolderEntry& a, const StampedFolderEntry& b) { return a.stamp < b.stamp; });
    return found;
}

} // namespace vestrand
