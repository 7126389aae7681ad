// What a pass reports to its caller: whether it ran, and if not why; what it could not do.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/pass_guard.h"

namespace vestrand {

// Why a pass did not run. A pass that finds another pass at work on its mirror folder is not a
// failure: the next tick simply tries again.
enum class PassRefusal {
    None,            // the pass ran
    UnsafeName,      // IdentifComp cannot name a folder of its own
    TargetUnusable,  // TargetDir is neither a drive-letter path nor a network folder
    RootUnreachable, // the mirror folder cannot be made or opened
    NotAMirror,      // the mirror folder holds files this program did not put there
    ForeignMirror,   // the mirror folder belongs to another computer (the refusal names it)
    OwnerUnreadable, // the file that names the mirror folder's computer cannot be read
    UnsetVariable,   // IdentifComp or TargetDir names an environment variable that is not set
    LowSpace,        // the free-space floor is reached before the pass starts
    Busy,            // another pass holds the mirror folder
};

struct PassResult {
    PassRefusal refusal = PassRefusal::None;
    std::string path;                  // what a refusal names: the folder, the drive or the name
    int64_t freeBytes = -1;            // LowSpace: the free space found (-1 when it cannot be measured)
    int64_t floorBytes = 0;            // LowSpace: the floor
    std::vector<std::string> failed;   // what each "Failed " line of the pass names, in order
    bool diskFull = false;             // the pass stopped copying at the floor
    bool interrupted = false;          // the pass was stopped before its end
    bool versionsRemovedEarly = false; // held versions were removed before their days were over, for space
    bool paused = false;               // the guard paused the pass: it changed nothing
    PlanDamage damage;                 // what the plan would destroy, as comparing counted it
    std::string journalPath;           // the journal the pass wrote
    int floorMeasurements = 0;         // how often the backup drive's free space was measured
    double floorSeconds = 0;           // and the time that took, the copies waited for included

    bool Ran() const { return refusal == PassRefusal::None; }
    // The pass went through its deletion stage: it ran, was neither paused nor stopped, and did not
    // reach the free-space floor. Failed lines do not make it incomplete.
    bool Complete() const { return Ran() && !paused && !interrupted && !diskFull; }
};

// The exit status of a one-shot pass: 0 clean, 1 with failures, stopped at the floor or by the
// user, 2 not run, 4 paused by the guard. (A pass ended by an error gives 3; the caller sees the
// error itself.)
inline constexpr int kExitClean = 0;
inline constexpr int kExitIncomplete = 1;
inline constexpr int kExitNotRun = 2;
inline constexpr int kExitError = 3;
inline constexpr int kExitPaused = 4;

inline int ExitCodeOf(const PassResult& result) {
    if (!result.Ran())
        return kExitNotRun;
    if (result.paused)
        return kExitPaused;
    return result.failed.empty() && !result.diskFull && !result.interrupted ? kExitClean : kExitIncomplete;
}

} // namespace vestrand
