// The rule by which comparing decides that a mirror entry is no longer its source entry: one rule
// for the entries of a listed folder and for the listed files.
#pragma once
#include <cstdint>

namespace vestrand {

// What comparing reads of an entry, and the index keeps of a mirror entry: its packed time stamp,
// size and attributes (without the mark of a link, which the mirror never carries).
struct TFileParam {
    int32_t Time = 0;
    int64_t Size = 0;
    int32_t Attr = 0;
};

// True when the mirror entry `mirror` is to be updated from the source entry `source` of the same
// kind (`folder`): a file whose time, size or attributes differ (a change of attributes alone is
// made in place); a folder only when its attributes differ, as its time and size follow what it
// holds.
bool NeedsUpdate(const TFileParam& mirror, const TFileParam& source, bool folder);

} // namespace vestrand
