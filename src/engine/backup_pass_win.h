// One backup pass: brings the mirror folder TargetDir\IdentifComp\ into line with the sources
// and appends a block to its journal.
#pragma once
#include <atomic>
#include <string>
#include <vector>

#include "engine/backup_settings.h"
#include "engine/mirror_names.h"
#include "engine/mirror_opening_win.h" // IsPassOwnName
#include "engine/pass_host.h"
#include "engine/pass_result.h"
#include "engine/source_plan.h"
#include "engine/paths.h" // IsSafeIdentifComp
#include "runtime/datetime.h"

namespace vestrand {

class Exclusions;

// The listed sources of `settings` (folders first, then files, each in list order) in the full form
// they are mapped from, with the role each plays for the mirror folder `rootFull` (`rootLong` its
// long form; both end in "\"): the one mapping of the pass, which a restore follows back.
std::vector<SourceSpot> PlanListedSources(const BackupSettings& settings, const std::wstring& rootFull,
                                          const std::wstring& rootLong, const Exclusions* exclusions);

// Errors of the journal (load, save, rotation) are raised to the caller and end the pass there.
// Everything else the pass reports in its result: whether it ran, and what it could not copy,
// delete or take as a source. `stop`, set from another thread, ends the pass at its next entry: it
// writes "Interrupted" and never starts its deletion stage; before the Start line, it leaves no block.
// A plan that would overwrite or delete GuardPercent % of the mirror files or more (see GuardTrips)
// is carried out only when `confirmed`; otherwise the pass changes nothing and writes "Paused".
// "%NAME%" in IdentifComp and TargetDir stands for the environment variable NAME of this process
// (the settings themselves keep it as written), and the mirror folder must be this computer's.
PassResult RunBackupPass(const BackupSettings& settings, bool autoRunOnce, IBackupDisplay& display,
                         ISchedule& schedule, IClock& clock, const std::atomic<bool>* stop = nullptr,
                         bool confirmed = false);

} // namespace vestrand
