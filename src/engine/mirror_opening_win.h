// Opening a mirror folder for a pass: where it lies in each form the pass needs, the test that a
// folder that was there already is a mirror of this program, its lock and its owner. Opening
// measures nothing and removes nothing: what a pass changes comes after its plan.
#pragma once
#include <memory>
#include <string>

#include "engine/backup_settings.h"
#include "engine/mirror_lock_win.h"
#include "engine/mirror_names.h"
#include "engine/pass_result.h"

namespace vestrand {

// A mirror folder held under its lock for as long as this lives.
struct OpenedMirror {
    std::string text;      // TargetDir + IdentifComp + "\" as the settings give it, for the journal
    std::wstring full;     // its full path, ending in "\"
    std::wstring root;     // the same as an extended-length path, for every file operation
    std::wstring longForm; // `full` in its long form
    MirrorLock lock;

    // One of the program's own names at the top of the folder (see mirror_names.h).
    std::wstring OwnPath(const char* name) const;
};

struct MirrorOpening {
    PassRefusal refusal = PassRefusal::None;
    std::string path; // what the refusal names
    std::unique_ptr<OpenedMirror> mirror;
};

// Opens the mirror folder of `settings` (their "%NAME%" already expanded): makes it when it is not
// there, refuses a folder that holds the user's own files rather than a mirror, a folder another
// pass holds, and one whose owner is another computer. A folder without an owner is claimed.
MirrorOpening OpenMirror(const BackupSettings& settings);

// True for the program's own names at the top of the mirror folder (`rel` a name there: the journal,
// the lock, ~versions, ...), which no mirror entry may replace and no listing of the mirror shows.
bool IsPassOwnName(const std::wstring& rel);

} // namespace vestrand
