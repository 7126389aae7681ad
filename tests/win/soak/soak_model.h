// The soak's own model of the mirror: what BackupRoot must hold after each pass and which New,
// Update and Delete lines the pass must write, worked out from the source tree and the mapping
// rules alone (a source path is mirrored as BackupRoot + the path without its drive designator;
// an entry is copied when it is new or differs in time stamp, size or attributes; what no source
// produced is deleted, a folder only once it is empty; a source that cannot be searched keeps its
// mirror; a mirror entry of the other kind than its source entry, a file where the source has a
// folder or the reverse, is deleted with its content before the source entry is copied as new; a
// copy onto an entry of the other kind that stays, kept for a source that cannot be reached, fails
// and leaves the mirror as it was).
// It never looks at what the engine reports.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "engine/backup_settings.h"
#include "soak_support.h"

namespace vestrand::soak {

struct MirrorItem {
    std::string Rel; // relative to BackupRoot, no leading or trailing separator
    bool Folder = false;
    int32_t Time = 0;
    int32_t Size = 0;
    int32_t Attr = 0;
    FILETIME Write{};
    std::string Content;
};

class MirrorModel {
public:
    using Items = std::map<std::string, MirrorItem, NoCaseLess>;

    // Works out one pass over the sources as they are now: moves the model to the state after the
    // pass and returns the lines the pass writes between its Start line and its Stop line.
    std::vector<std::string> PredictPass(const BackupSettings& settings);

    // Every difference between the model and the mirror folder on disk (the journal left out);
    // empty when they agree.
    std::vector<std::string> Compare(const std::string& backupRoot) const;

    const Items& State() const { return m_items; }
    // Folder (true) or file (false) held at a mirror path; absent gives false in `found`.
    bool KindAt(const std::string& rel, bool& found) const;

    // Counters of what the predictions contained, over all passes.
    long Copies = 0, Updates = 0, Deletes = 0, KeptUnreachable = 0, KindChanges = 0, Failures = 0,
         Refusals = 0;

private:
    void MirrorFolder(const std::string& root, const std::string& rel);
    enum class Role { Skip, Mirror, Covered, Refused };
    struct Planned {
        std::string written, path; // as listed; a folder with its trailing separator
        bool folder = false;
        Role role = Role::Skip;
    };
    void PlanSources(const BackupSettings& settings);
    bool RefusedAtItsTurn(const Planned& p);
    void FileStage();
    void DeletionStage();
    void DeleteStale(const MirrorItem& was);
    void DeleteStaleTree(const std::string& rel);
    // One source entry against the index: an entry of the other kind goes first, then the entry
    // is copied as New, or as Update when it changed (for a folder: its attributes; for a file also
    // its time stamp, and its size where `sizeCounts`).
    void Follow(const std::string& src, const Listed& e, bool sizeCounts);
    void EnsureParents(const std::string& mirrorRel);
    bool HasChildren(const std::string& rel) const;
    // True, with its Failed line, when a copy to mirrorRel cannot succeed.
    bool FailedCopy(const std::string& mirrorRel, bool folder);

    Items m_items;
    Items m_index; // during a prediction: what the pass's index still holds
    std::string m_root;
    std::vector<std::string> m_lines;
    std::vector<Planned> m_plan;
};

} // namespace vestrand::soak
