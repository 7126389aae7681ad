// The rules of getting files back that need no file system: where a mirror path came from, the
// name of a restored copy that goes beside a file of the user's, and the moment a command names.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "engine/source_plan.h"
#include "runtime/datetime.h"

namespace vestrand {

// The original path of the mirror path `rel` (relative to the mirror folder): the drive or
// "\\server\" of the listed source that produces it (a spot of the role Mirror) before `rel`; none
// when no listed source produces it.
std::optional<std::wstring> OriginalPathOf(const std::vector<SourceSpot>& spots, const std::wstring& rel,
                                           const SameNameFn& same);
// The mirror path of the original `path` (a full path, "X:\..." or "\\server\share\..."): none when no
// listed source produces it.
std::optional<std::wstring> MirrorRelOfOriginal(const std::vector<SourceSpot>& spots,
                                                const std::wstring& path, const SameNameFn& same);

// The name of a restored copy put beside a different file of the user's: "name (восстановлено
// yyyy-mm-dd hhnnss).ext", the extension being what follows the last "." of a name that does not
// begin with it.
std::wstring BesideName(const std::wstring& name, DateTime when);

// The moment a command line names, "yyyy-mm-dd hh:nn": the last second of that minute (hh:nn:59);
// false for any other text or a date that does not exist.
bool ParseRestoreMoment(const std::string& text, DateTime& when);

} // namespace vestrand
