// Which listed sources a pass mirrors: each entry is mirrored once, by one source, and nothing
// is taken from the mirror folder itself. Pure path rules; the pass supplies the paths' full and
// long forms and the comparison of names.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace vestrand {

class Exclusions;

enum class SourceRole {
    Skip,         // an empty entry: nothing is listed
    Unmappable,   // neither a drive-letter nor a network path: nothing can be mapped from it, refused
    Mirror,       // mirrored
    Covered,      // at or below another listed folder of its drive (or listed twice), where that
                  // folder's walk reaches it (no exclusion leaves it out): adds nothing
    InsideMirror, // at or below the mirror folder: refused, and what it names is left alone
    Overlaps,     // its mirror paths overlap those of an earlier source on another drive: refused
    Unreachable,  // set by the pass, not here: a listed network folder that lists nothing while its
                  // mirror holds files (a share seen without rights): Failed, and its mirror is kept
};

struct SourceSpot {
    std::string written;   // as listed in the settings
    std::wstring form;     // full path it is mapped from ("X:\..." or "\\server\share\...", folders end
                           // in "\"), empty when it has none
    std::wstring longForm; // the same with its existing components in long form, for comparing
    bool folder = false;
    SourceRole role = SourceRole::Skip;
    std::wstring ownRel; // InsideMirror: what it names, relative to the mirror folder

    // The mirror path of the source relative to the mirror folder, without a trailing separator
    // ("" for a drive root, the share's name for a share's root).
    std::wstring MirrorKey() const;
};

using SameNameFn = std::function<bool(const std::wstring&, const std::wstring&)>;

// True when `path` is `folder` (ending in "\") or lies below it, names compared by `same`.
bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder, const SameNameFn& same);

// True when the relative path `key` is `other` or lies below it; neither carries a trailing
// separator, and an empty `other` is the top, which holds everything.
bool IsKeyAtOrBelow(const std::wstring& key, const std::wstring& other, const SameNameFn& same);

// Gives every spot its role. `spots` holds the listed folders first, then the listed files, each
// in list order: an earlier source wins over a later one, except that a folder covers the folders
// inside it wherever they stand in the list. `root` and `rootLong` are the mirror folder as built
// and in long form, both ending in "\". A source that `exclusions` leave out of a listed folder's
// walk is not covered by that folder.
void PlanSources(std::vector<SourceSpot>& spots, const std::wstring& root, const std::wstring& rootLong,
                 const SameNameFn& same, const Exclusions* exclusions = nullptr);

} // namespace vestrand
