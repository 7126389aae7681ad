// The stamped folders of a mirror folder's ~versions as the file system lists them.
#pragma once
#include <cstdint>
#include <functional>
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

// The held versions of one pass: its own stamped folder, where what it deletes or overwrites goes,
// and the pruning of the older ones, by age and for room. Nothing is removed before the pass's plan
// is known to be no damage (the caller asks for that), as what earlier passes held may be the only
// good copy of what the damage reached.
class PassVersions {
public:
    // `root` the mirror folder (extended-length, ending in "\"), `start` the pass's start, which
    // names its stamped folder; `keepDays` 0 when the pass holds nothing of its own.
    PassVersions(const std::wstring& root, DateTime start, int keepDays);

    bool Holding() const { return m_keepDays > 0; }
    // Removes the stamped folders older than the days kept (one exactly that old stays).
    void PruneByAge(const std::function<bool()>& stopped);
    // Removes the oldest stamped folder, never this pass's; false when there is none left to remove.
    bool RemoveOldest();
    // The drive's `free` space once held versions have given way to `reserve` (see
    // VersionsReserve): the oldest stamped folders old enough (see ReserveVictim), never this
    // pass's, are removed one by one while the free space (as `measure` gives it) is below it. Once
    // none is left to remove, later calls do not search again.
    int64_t FreeAboveReserve(int64_t free, int64_t reserve, const std::function<int64_t()>& measure);
    // Moves the mirror file `rel` into this pass's stamped folder under the same relative path, with
    // its contents, time and attributes; false when it cannot be moved (it then stays where it is).
    bool Hold(const std::wstring& rel);
    // Where `rel` is held in this pass's stamped folder, its folder chain made.
    std::wstring HeldPathOf(const std::wstring& rel);
    // Writes the list of what this pass's stamped folder holds (kHeldListName) at its top; nothing
    // when the pass held nothing. A list cut short by a killed pass lacks its last line: the history
    // then searches the folder instead.
    void WriteHeldList() const;
    // Whether a stamped folder was removed before its days were over.
    bool RemovedEarly() const { return m_removedEarly; }

private:
    void RemoveStamped(const std::wstring& name);
    bool Spared(const std::wstring& name) const; // this pass's, or one that could not be removed

    std::wstring m_root;
    std::wstring m_versions; // ~versions at the top of the mirror folder, ending in "\"
    std::wstring m_current;  // the name of this pass's stamped folder
    DateTime m_start;
    int m_keepDays;
    bool m_reserveSpent = false;             // no stamped folder is left that the reserve may take
    bool m_removedEarly = false;             // see RemovedEarly
    std::vector<std::wstring> m_unremovable; // stamped folders this pass failed to remove
};

} // namespace vestrand
