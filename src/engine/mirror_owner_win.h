// The computer a mirror folder belongs to, and the settings as this computer reads them: one
// settings file may serve every workstation, but a mirror folder is only ever one computer's.
#pragma once
#include <string>

#include "engine/backup_settings.h"
#include "engine/mirror_names.h" // kOwnerName
#include "engine/pass_result.h"

namespace vestrand {

// This computer's name as the system gives it (GetComputerNameW), in code page 1251 where a
// character the code page cannot hold is written "<U+XXXX>", as the journal writes names; empty
// when the system does not tell it.
std::string ThisComputerName();

// Whether the pass that holds the lock of the mirror folder `root` (extended-length, ending in "\",
// `rootText` as the settings give it) may use it: when the owner file names this computer, or when
// there is none (a mirror made before the owner was kept, or a new one), which the file is then
// written for, through `temp` (a name of the pass's own, which it may replace). Otherwise the
// refusal: ForeignMirror naming the owner, OwnerUnreadable naming the file (one that is there but
// cannot be read is never taken over), RootUnreachable naming the folder when no owner file can be
// written.
struct OwnerClaim {
    PassRefusal refusal = PassRefusal::None;
    std::string path;
};
OwnerClaim ClaimMirror(const std::wstring& root, const std::string& rootText, const std::wstring& temp);

// `settings` with every "%NAME%" in IdentifComp and TargetDir replaced by the value of this
// process's environment variable NAME (see ExpandVariables); false when one is not set, which
// `unset` then names as written.
bool ExpandSettingsVariables(BackupSettings& settings, std::string& unset);

} // namespace vestrand
