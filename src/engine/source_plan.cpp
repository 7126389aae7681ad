#include "engine/source_plan.h"

#include "engine/exclusions.h"
#include "engine/paths.h"

namespace vestrand {
namespace {

std::wstring WithoutTrailingSeparator(std::wstring path) {
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

} // namespace

bool IsKeyAtOrBelow(const std::wstring& key, const std::wstring& other, const SameNameFn& same) {
    if (other.empty())
        return true;
    if (key.size() == other.size())
        return same(key, other);
    return key.size() > other.size() && key[other.size()] == L'\\' &&
           same(key.substr(0, other.size()), other);
}

namespace {

// The drive ("X:") or the share ("\\server\share") a path starts at.
std::wstring RootOf(const std::wstring& path) {
    return WithoutTrailingSeparator(path.substr(0, RootLength(path)));
}

bool SameDrive(const SourceSpot& a, const SourceSpot& b, const SameNameFn& same) {
    return same(RootOf(a.longForm), RootOf(b.longForm));
}

// `spot`, inside the listed folder `outer`, lies in what the walk of `outer` leaves out: the walk
// would never reach it.
bool LeftOutOf(const SourceSpot& spot, const SourceSpot& outer, const Exclusions* exclusions) {
    if (!exclusions || exclusions->Empty())
        return false;
    const std::wstring_view inner = std::wstring_view(spot.longForm).substr(outer.longForm.size());
    for (size_t from = 0; from < inner.size();) {
        const size_t sep = inner.find(L'\\', from);
        const size_t end = sep == std::wstring_view::npos ? inner.size() : sep;
        // Every name followed by a separator is a folder; a listed file's own name is not.
        if (exclusions->Excludes(outer.longForm, inner.substr(0, from), inner.substr(from, end - from),
                                 sep != std::wstring_view::npos))
            return true;
        from = end + 1;
    }
    return false;
}

// `spot` adds nothing to `active`, a source of its own drive already mirrored.
bool CoveredBy(const SourceSpot& spot, const SourceSpot& active, const SameNameFn& same,
               const Exclusions* exclusions) {
    if (!SameDrive(spot, active, same))
        return false;
    if (active.folder)
        return IsAtOrBelow(spot.longForm, active.longForm, same) && !LeftOutOf(spot, active, exclusions);
    return !spot.folder && same(spot.longForm, active.longForm);
}

// The two sources, on different drives, would write the same mirror paths.
bool Overlap(const SourceSpot& a, const SourceSpot& b, const SameNameFn& same) {
    if (SameDrive(a, b, same))
        return false;
    const std::wstring ka = a.MirrorKey(), kb = b.MirrorKey();
    return IsKeyAtOrBelow(ka, kb, same) || IsKeyAtOrBelow(kb, ka, same);
}

} // namespace

std::wstring SourceSpot::MirrorKey() const {
    const size_t start = MirrorKeyStart(longForm);
    return start > 0 && longForm.size() > start ? WithoutTrailingSeparator(longForm.substr(start))
                                                : std::wstring();
}

bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder, const SameNameFn& same) {
    return path.size() >= folder.size() && same(path.substr(0, folder.size()), folder);
}

void PlanSources(std::vector<SourceSpot>& spots, const std::wstring& root, const std::wstring& rootLong,
                 const SameNameFn& same, const Exclusions* exclusions) {
    std::vector<SourceSpot*> active;
    for (auto& spot : spots) {
        spot.role = SourceRole::Skip;
        if (spot.written.empty())
            continue;
        if (spot.form.empty() || MirrorKeyStart(spot.longForm) == 0) {
            spot.role = SourceRole::Unmappable;
            continue;
        }
        if (IsAtOrBelow(spot.longForm, rootLong, same)) {
            spot.role = SourceRole::InsideMirror;
            spot.ownRel = spot.longForm.substr(rootLong.size());
            continue;
        }
        if (IsAtOrBelow(spot.form, root, same)) {
            spot.role = SourceRole::InsideMirror;
            spot.ownRel = spot.form.substr(root.size());
            continue;
        }
        bool covered = false, overlaps = false;
        for (const SourceSpot* other : active) {
            covered = covered || CoveredBy(spot, *other, same, exclusions);
            overlaps = overlaps || Overlap(spot, *other, same);
        }
        if (covered) {
            spot.role = SourceRole::Covered;
            continue;
        }
        if (overlaps) {
            spot.role = SourceRole::Overlaps;
            continue;
        }
        // A folder listed after folders inside it covers them: they give their turn to it.
        if (spot.folder) {
            for (auto it = active.begin(); it != active.end();) {
                if ((*it)->folder && CoveredBy(**it, spot, same, exclusions)) {
                    (*it)->role = SourceRole::Covered;
                    it = active.erase(it);
                } else {
                    ++it;
                }
            }
        }
        spot.role = SourceRole::Mirror;
        active.push_back(&spot);
    }
}

} // namespace vestrand
