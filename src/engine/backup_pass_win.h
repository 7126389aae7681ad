// One backup pass: brings the mirror folder TargetDir\IdentifComp\ into line with the sources
// and appends a block to its journal.
#pragma once
#include <string>

#include "engine/backup_settings.h"
#include "engine/pass_host.h"
#include "runtime/datetime.h"

namespace vestrand {

// True when `name` can serve as this computer's folder: not empty, not ending in "." or a blank
// (which the file system would drop), and free of \ / : * ? " < > | and control characters.
bool IsSafeIdentifComp(const std::string& name);

// Errors of the journal (load, save, rotation) are raised to the caller and end the pass there.
void RunBackupPass(const BackupSettings& settings, bool autoRunOnce, IBackupDisplay& display, ISchedule& schedule,
                   IClock& clock);

}  // namespace vestrand
