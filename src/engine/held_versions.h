// Held versions: what a pass deletes or overwrites goes to a folder under ~versions at the top of
// the mirror folder, named by the moment the pass started ("yyyy-mm-dd hhnnss"). The rule of that
// name in both directions; the listing is in held_versions_win.h.
#pragma once
#include <string>
#include <vector>

#include "engine/history.h" // ListedEntry

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

// The list of what a stamped folder holds (kHeldListName): a line per file, "time<TAB>size<TAB>
// attributes<TAB>path" with the path relative to the stamped folder as the journal writes names,
// and a last line "end<TAB>count", without which the list is not whole and is not read.
std::string HeldListLine(const std::wstring& rel, const TFileParam& param);
std::string HeldListEnd(size_t count);
// The files of a whole list; false for one that is cut short or not of this form.
bool ReadHeldList(const std::string& text, std::vector<ListedEntry>& files);

} // namespace vestrand
