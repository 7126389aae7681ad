// The rule by which comparing decides that a mirror entry is no longer its source entry: one rule
// for the entries of a listed folder and for the listed files.
#pragma once
#include <cstdint>

namespace vestrand {

// What comparing reads of an entry, and the index keeps of a mirror entry: its packed time stamp,
// size and attributes (without the mark of a link, which the mirror never carries).
// Packed to 16 bytes (24 with the size aligned): the index and the history keep one for every
// entry. Its Size is therefore not aligned: copy it rather than bind a reference or pointer to it.
#pragma pack(push, 4)
struct TFileParam {
    int32_t Time = 0;
    int64_t Size = 0;
    int32_t Attr = 0;
};
#pragma pack(pop)
static_assert(sizeof(TFileParam) == 16);

// The file system's marks in TFileParam::Attr that the rules read.
inline constexpr int32_t kFolderAttr = 0x10; // FILE_ATTRIBUTE_DIRECTORY
inline constexpr int32_t kLinkAttr = 0x400;  // FILE_ATTRIBUTE_REPARSE_POINT: a symbolic link or junction

// True when the mirror entry `mirror` is to be updated from the source entry `source` of the same
// kind (`folder`): a file whose time, size or attributes differ (a change of attributes alone is
// made in place); a folder only when its attributes differ, as its time and size follow what it
// holds.
bool NeedsUpdate(const TFileParam& mirror, const TFileParam& source, bool folder);

// What the stages do with a source entry, as comparing decided it.
enum class Act : uint8_t {
    Keep,    // the mirror holds it as it is (a folder: what lies in it may still need work)
    Copy,    // the mirror does not hold it: New
    Update,  // changed: Update
    Replace, // the mirror holds an entry of the other kind, or a link: deleted, then copied as New
    Refuse,  // a name the pass keeps for itself, or the user's own files in the mirror: Failed
};

// The one decision of comparing, for the entries of listed folders and for listed files alike:
// what becomes of the source entry `source` (its attributes without the mark of a link) given what
// the mirror holds under its name (`mirror`, null when nothing). `refused`: its mirror path is one
// the pass keeps for itself or the user's own. A link in the mirror is never copied through.
Act DecideAct(const TFileParam* mirror, const TFileParam& source, bool refused);

} // namespace vestrand
