// Held versions: what a pass deletes or overwrites goes to a folder under ~versions at the top of
// the mirror folder, named by the moment the pass started ("yyyy-mm-dd hhnnss"). The rule of that
// name in both directions; the listing is in held_versions_win.h.
#pragma once
#include <string>

#include "engine/mirror_names.h" // kVersionsFolderName
#include "runtime/datetime.h"

namespace vestrand {

// The name of the stamped folder of a pass that started at `start`.
std::wstring StampedFolderName(DateTime start);
// The moment a stamped folder's name stands for; false for a folder of any other name, which is not
// the program's.
bool StampOfFolderName(const std::wstring& name, DateTime& stamp);
// True when a journal's Start stamp and a stamped folder name one moment: the same second.
bool SameStamp(DateTime a, DateTime b);

} // namespace vestrand
