// A pass's plan: what comparing found the sources and the mirror to need, as a value that the
// pass inspects (the guard) before anything changes, and that the stages then carry out.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/backup_index_win.h"
#include "engine/compare_rule.h"
#include "engine/pass_guard.h"
#include "engine/pass_progress.h"
#include "engine/source_plan.h"

namespace vestrand {

// One source entry that needs work, or a folder that may hold some. Planned entries of a listed
// folder stand in the order the stage takes them (a folder before its content), each with its own
// name only, so that a large plan stays small.
struct Planned {
    int64_t size;            // as comparing found the source
    uint32_t parent;         // the planned folder it lies in, kNoParent at the top of its source
    uint32_t nameAt;         // in the plan's names
    BackupIndex::Node known; // what the mirror held under its name, as the index found it
    int32_t attr;
    uint16_t nameSize;
    Act act;
    uint8_t flags;

    static constexpr uint32_t kNoParent = UINT32_MAX;
    static constexpr uint8_t kIndexedFolder = 1; // the first visit of a mirror folder the walk searched whole

    // The work it weighs for the gauge (see PassProgress): nothing for what is kept or refused.
    int64_t Weight() const;
};

// The planned entries of one listed folder, and of one listed file.
struct PlannedSource {
    size_t spot;
    uint32_t begin, end;
    bool indexed; // its mirror folder is one the index walk searched whole
};
struct PlannedFile {
    size_t spot;
    Act act;
};

struct PassPlan {
    std::vector<SourceSpot> spots; // the listed sources with what the pass does with each
    std::vector<Planned> entries;  // of the listed folders, each folder's in the stage's order
    std::wstring names;            // the entries' own names, one after the other
    std::vector<PlannedSource> sources;
    std::vector<PlannedFile> files;
    // The mirror as the walk found it. Only the entries no source matched are still in it (the
    // stale ones, and what refused sources keep), but planned entries read what was found under
    // their names through `known`.
    BackupIndex index;
    PlanDamage damage;          // what the plan destroys, for the guard
    int64_t weight = 0;         // of the copying stages (see PassProgress)
    int64_t deletionsAhead = 0; // stale entries, less what refused sources keep

    std::wstring NameOf(const Planned& p) const { return names.substr(p.nameAt, p.nameSize); }
};

inline int64_t Planned::Weight() const {
    if (act == Act::Keep || act == Act::Refuse)
        return 0;
    return (attr & kFolderAttr) ? kEntryWeight : size + kEntryWeight;
}

} // namespace vestrand
