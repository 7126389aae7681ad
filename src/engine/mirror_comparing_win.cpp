#include "engine/mirror_comparing_win.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

#include "engine/backup_pass_win.h"
#include "engine/paths.h"
#include "runtime/cp1251.h"

namespace vestrand {
namespace {

// The listings of the sources made ahead of comparing, while the mirror is walked: 32 bytes an
// entry besides its name, so that the listings of a tree of 1,000,000 entries can wait, beside the
// index, within the pass's memory (see SourceLister). Past it the lister waits for comparing, which
// waits for the mirror's walk to end: the two walks no longer overlap.
constexpr size_t kListingsAheadBytes = size_t{96} << 20;

bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder) {
    return vestrand::IsAtOrBelow(path, folder, SameFileName);
}

TFileParam StampOf(const WideEntry& e) {
    return {e.Time, e.Size, e.Attr};
}

} // namespace

MirrorComparing::MirrorComparing(const BackupSettings& settings, const OpenedMirror& mirror,
                                 const std::vector<std::string>& storedPatterns,
                                 const std::atomic<bool>* stop)
    : m_s(settings), m_rootFull(mirror.full), m_root(mirror.root), m_rootLong(mirror.longForm), m_stop(stop) {
    PlanSources(storedPatterns);
}

PassPlan MirrorComparing::Compare(IBackupDisplay& display) {
    StartSourceLister(); // the sources are walked while the mirror is
    Walk(L"", BackupIndex::kTop);
    for (const auto& own : m_ownRels)
        m_plan.index.RemoveTree(WithoutSeparator(own)); // never deleted, whatever happens
    display.StageReached(PassStage::MirrorIndexed);
    CompareSources();
    m_lister.reset();
    m_plan.damage = DamageCounted();
    m_plan.deletionsAhead = DeletionsAhead();
    return std::move(m_plan);
}

// Which listed sources this pass mirrors (see PlanListedSources).
void MirrorComparing::PlanSources(const std::vector<std::string>& storedPatterns) {
    std::vector<std::wstring> patterns;
    for (const auto& pattern : m_s.Exclude)
        patterns.push_back(WidenCp1251(pattern));
    m_exclusions = Exclusions(patterns, FileSystemUpperTable());
    // The patterns the last complete pass used that are no longer listed: what the mirror holds
    // of the entries they named was kept as it was, and is compared again from this pass on.
    std::vector<std::wstring> removed;
    for (const auto& pattern : storedPatterns)
        if (std::find(m_s.Exclude.begin(), m_s.Exclude.end(), pattern) == m_s.Exclude.end())
            removed.push_back(WidenCp1251(pattern));
    m_removedExclusions = Exclusions(removed, FileSystemUpperTable());
    m_plan.spots = PlanListedSources(m_s, m_rootFull, m_rootLong, &m_exclusions);
    for (const auto& spot : m_plan.spots) {
        if (spot.role == SourceRole::InsideMirror)
            m_ownRels.push_back(spot.ownRel);
        if (spot.role == SourceRole::Mirror)
            m_mirrorKeys.push_back(WithoutSeparator(MirrorRelOf(spot.form)));
    }
}

// True for a mirror path at or below a source that lies inside the mirror folder: the user's
// own files there are neither overwritten nor deleted.
bool MirrorComparing::IsOwnedByUser(const std::wstring& mirrorRel) const {
    for (const auto& own : m_ownRels)
        if (IsKeyAtOrBelow(mirrorRel, WithoutSeparator(own), SameFileName))
            return true;
    return false;
}

void MirrorComparing::Walk(const std::wstring& rel, BackupIndex::Node folder) {
    const bool found = SearchFolder(m_root + rel + L"*", [&](const WideEntry& e) {
        if (Stopped())
            return false;
        if (e.Name == L"." || e.Name == L"..")
            return true;
        if (rel.empty() && IsPassOwnName(e.Name))
            return true;
        const BackupIndex::Node node = m_plan.index.Add(folder, e.Name, TFileParam{e.Time, e.Size, e.Attr});
        if ((e.Attr & kFolderAttr) && (e.Attr & kLinkAttr))
            m_walkGaps.push_back(rel + e.Name + L"\\"); // never reach through a link out of the mirror
        else if (e.Attr & kFolderAttr)
            Walk(rel + e.Name + L"\\", node);
        return true;
    });
    if (!found || Stopped())
        m_walkGaps.push_back(rel); // what it holds is unknown
}

// True the first time the directory stage comes to the mirror folder `rel` (empty or ending
// in "\") when the index walk searched it fully: the index then tells what it holds.
bool MirrorComparing::FirstVisitOfIndexedFolder(const std::wstring& rel) {
    for (const auto& gap : m_walkGaps)
        if (IsAtOrBelow(rel, gap))
            return false;
    return m_visited.insert(FileSystemKey(rel)).second;
}

// The walk of the listed folders that comparing walks, in its order, on a thread of its own.
void MirrorComparing::StartSourceLister() {
    std::vector<std::wstring> roots;
    for (const auto& spot : m_plan.spots)
        if (spot.role == SourceRole::Mirror && spot.folder)
            roots.push_back(spot.form);
    m_lister.emplace(
        std::move(roots),
        [this](const std::wstring& root, const std::wstring& rel, const std::wstring& rootLong,
               const WideEntry& e) { return Enters(root, rel, rootLong, e); },
        m_stop, kListingsAheadBytes);
}

// Whether comparing enters the source folder `e` listed at root + rel (see CompareOne). Reads
// only what is set before comparing, as the lister's thread calls it too.
bool MirrorComparing::Enters(const std::wstring& root, const std::wstring& rel, const std::wstring& rootLong,
                             const WideEntry& e) const {
    if (!(e.Attr & kFolderAttr) || m_exclusions.Excludes(rootLong, rel, e.Name, true))
        return false;
    const std::wstring src = root + rel + e.Name;
    return !IsWalledOff(src, rootLong + rel + e.Name, root + rel, (e.Attr & kLinkAttr) != 0) &&
           !IsRefused(MirrorRelOf(src));
}

// A source folder never entered: the mirror folder itself, or a link back up the tree (whose
// content is being mirrored already).
bool MirrorComparing::IsWalledOff(const std::wstring& src, const std::wstring& longSrc,
                                  const std::wstring& dir, bool isLink) const {
    return IsMirrorFolder(src, longSrc) || (isLink && LeadsBack(src, dir));
}

// The pass's own names, or the user's files in the mirror folder.
bool MirrorComparing::IsRefused(const std::wstring& mirrorRel) const {
    return IsPassOwnName(mirrorRel) || IsOwnedByUser(mirrorRel);
}

// Walks every listed folder in the order of the directory stage, and looks at every listed file,
// deciding what each entry needs; what the mirror holds as it is leaves the index here.
void MirrorComparing::CompareSources() {
    for (size_t i = 0; i < m_plan.spots.size() && !Stopped(); ++i) {
        const SourceSpot& spot = m_plan.spots[i];
        if (spot.role != SourceRole::Mirror)
            continue;
        if (spot.folder)
            CompareSource(i);
        else
            CompareListedFile(i);
    }
}

void MirrorComparing::CompareSource(size_t spotIndex) {
    const std::wstring& root = m_plan.spots[spotIndex].form;
    m_sourceLong = WithSeparator(LongFullPath(root));
    PlannedSource source{spotIndex, static_cast<uint32_t>(m_plan.entries.size()), 0,
                         FirstVisitOfIndexedFolder(MirrorRelOf(root))};
    m_topLostEntries = false;
    const size_t listedBefore = m_listed;
    CompareFolder(root, L"", Planned::kNoParent, m_plan.index.NodeOf(WithoutSeparator(MirrorRelOf(root))));
    // A share shows an empty top to a user without rights to it: one that lists nothing while
    // its mirror holds files is taken as unreachable, not as emptied, so that a share seen
    // under other rights never deletes its backup (nor trips the guard).
    const std::wstring key = WithoutSeparator(MirrorRelOf(root));
    if (m_listed == listedBefore && IsNetworkPath(root) && m_plan.index.CountTree(key, true) > 0) {
        m_plan.index.RemoveTree(key);
        m_plan.spots[spotIndex].role = SourceRole::Unreachable;
        return;
    }
    source.end = static_cast<uint32_t>(m_plan.entries.size());
    source.indexed = source.indexed && !m_topLostEntries;
    m_plan.sources.push_back(source);
}

// The mirror folder is recognised however either side is written (letter case, "..", short
// names): both are compared in their long full form.
bool MirrorComparing::IsMirrorFolder(const std::wstring& src, const std::wstring& longSrc) const {
    return SameFileName(src + L"\\", m_rootFull) || SameFileName(longSrc + L"\\", m_rootLong);
}

// Compares root + rel (rel empty or ending in "\"), planned as `parent`. `mirrorFolder`: the
// index's node of its mirror folder, or kNone when the mirror holds nothing in it (a folder this
// pass is to make, or one the index never saw).
void MirrorComparing::CompareFolder(const std::wstring& root, const std::wstring& rel, uint32_t parent,
                                    BackupIndex::Node mirrorFolder) {
    const std::wstring dir = root + rel;
    // Only the entries at the top of the mirror can bear the pass's own names, and only the
    // mirror paths of a source inside the mirror folder are the user's: elsewhere the paths
    // are not put together for files.
    const bool mayRefuseFiles = !m_ownRels.empty() || MirrorRelOf(dir).empty();
    const bool found = m_lister->List(dir, [&](const WideEntry& listed) {
        if (Stopped())
            return false;
        ++m_listed;
        CompareOne(root, rel, listed, parent, mirrorFolder, mayRefuseFiles);
        return true;
    });
    if (!found) {
        const DWORD why = GetLastError();
        // An existing empty folder (a drive root lists no "." entry) is not unreachable; the
        // mirror keeps what it holds of one that cannot be read.
        if (why != ERROR_FILE_NOT_FOUND || !IsFolder(ExtendedPath(dir)))
            m_plan.index.RemoveTree(WithoutSeparator(MirrorRelOf(dir)));
    }
}

// One source entry compared with what the mirror holds under its name.
void MirrorComparing::CompareOne(const std::wstring& root, const std::wstring& rel, const WideEntry& e,
                                 uint32_t parent, BackupIndex::Node mirrorFolder, bool mayRefuseFiles) {
    const bool isFolder = (e.Attr & kFolderAttr) != 0;
    if (m_exclusions.Excludes(m_sourceLong, rel, e.Name, isFolder)) {
        if (mirrorFolder != BackupIndex::kNone)
            KeepMirrorOf(MirrorRelOf(root + rel + e.Name), parent);
        return; // neither compared nor entered
    }
    // A link is mirrored as the entry it leads to; the mirror cannot hold a link.
    const bool isLink = (e.Attr & kLinkAttr) != 0;
    const int32_t attr = e.Attr & ~kLinkAttr;
    const TFileParam stamp{e.Time, e.Size, attr};
    std::wstring mirrorRel;
    if (isFolder) {
        const std::wstring src = root + rel + e.Name;
        if (IsWalledOff(src, m_sourceLong + rel + e.Name, root + rel, isLink))
            return;
        mirrorRel = MirrorRelOf(src);
    } else if (mayRefuseFiles) {
        mirrorRel = MirrorRelOf(root + rel + e.Name);
    }
    Planned entry{.size = e.Size,
                  .parent = parent,
                  .nameAt = static_cast<uint32_t>(m_plan.names.size()),
                  .known = BackupIndex::kNone,
                  .attr = attr,
                  .nameSize = static_cast<uint16_t>(e.Name.size()),
                  .act = Act::Copy,
                  .flags = 0};
    if ((isFolder || mayRefuseFiles) && IsRefused(mirrorRel)) {
        entry.act = Act::Refuse;
    } else if (const BackupIndex::Node known = m_plan.index.ChildOf(mirrorFolder, e.Name);
               m_plan.index.Holds(known)) {
        entry.known = known;
        const TFileParam& was = m_plan.index.Param(known);
        entry.act = DecideAct(&was, stamp, false);
        if (m_damage.Compared(was, stamp, entry.act) && KeptByRemovedPattern(m_sourceLong, rel + e.Name))
            m_damage.Unexcluded();
        if (entry.act != Act::Replace)
            m_plan.index.Remove(known); // a replaced entry is deleted with what is stale
    }
    if (entry.act == Act::Keep && !isFolder)
        return; // nothing to do, and nothing below it
    if (isFolder && entry.act != Act::Refuse && FirstVisitOfIndexedFolder(mirrorRel + L"\\"))
        entry.flags |= Planned::kIndexedFolder;
    m_plan.weight += entry.Weight();
    m_plan.names += e.Name;
    const uint32_t self = static_cast<uint32_t>(m_plan.entries.size());
    m_plan.entries.push_back(entry);
    if (isFolder && entry.act != Act::Refuse)
        CompareFolder(root, rel + e.Name + L"\\", self,
                      entry.act == Act::Copy || entry.act == Act::Replace ? BackupIndex::kNone : entry.known);
}

// What the mirror holds of an entry the user excludes stays exactly as it is: it leaves the
// index, so that nothing of it is deleted, updated or held (except what another listed source
// mirrors there, which that source compares). Its mirror folder no longer shows in the index
// all it holds.
void MirrorComparing::KeepMirrorOf(const std::wstring& mirrorRel, uint32_t parent) {
    std::vector<std::wstring> kept;
    for (const auto& key : m_mirrorKeys) {
        if (SameFileName(key, mirrorRel))
            return; // listed itself: its own source compares all of it
        if (IsKeyAtOrBelow(key, mirrorRel, SameFileName))
            kept.push_back(key);
    }
    if (m_plan.index.RemoveTree(mirrorRel, kept) == 0)
        return;
    if (parent == Planned::kNoParent)
        m_topLostEntries = true;
    else
        m_plan.entries[parent].flags &= static_cast<uint8_t>(~Planned::kIndexedFolder);
}

// Whether a pattern taken out of the list since the last complete pass names the file
// `entryRel` (below the listed folder `listedLong`) or a folder it lies in: the mirror's copy
// was then kept as it was by that pattern, and what the plan does to it follows from the
// change of the exclusions rather than of the file.
//
// The pass tells a removed pattern only by the patterns the last complete pass wrote into the
// exclusions file; a mirror without one (made before the file was kept) tells nothing, and such
// files are counted as any other. No current pattern can name the file or its folders: the
// plan would keep it as it is.
bool MirrorComparing::KeptByRemovedPattern(const std::wstring& listedLong,
                                           const std::wstring& entryRel) const {
    if (m_removedExclusions.Empty())
        return false;
    const std::wstring_view path(entryRel);
    for (size_t from = 0;;) {
        const size_t sep = path.find(L'\\', from);
        const bool last = sep == std::wstring_view::npos;
        if (m_removedExclusions.Excludes(listedLong, path.substr(0, from),
                                         path.substr(from, (last ? path.size() : sep) - from), !last))
            return true;
        if (last)
            return false;
        from = sep + 1;
    }
}

// The files the deletion stage would remove under the listed folders that a removed pattern
// had kept (see KeptByRemovedPattern).
int64_t MirrorComparing::UnexcludedLeft() const {
    if (m_removedExclusions.Empty())
        return 0;
    int64_t count = 0;
    m_plan.index.ForEach([&](const std::wstring& rel, const TFileParam& p) {
        if (p.Attr & kFolderAttr)
            return;
        for (const auto& spot : m_plan.spots) {
            const std::wstring key = spot.MirrorKey();
            if (spot.role != SourceRole::Mirror || !spot.folder || SameFileName(rel, key) ||
                !IsKeyAtOrBelow(rel, key, SameFileName))
                continue;
            count +=
                KeptByRemovedPattern(spot.longForm, rel.substr(key.empty() ? 0 : key.size() + 1)) ? 1 : 0;
            return;
        }
    });
    return count;
}

void MirrorComparing::CompareListedFile(size_t spotIndex) {
    const std::wstring& form = m_plan.spots[spotIndex].form;
    const std::wstring src = ExtendedPath(form);
    const std::wstring rel = MirrorRelOf(form);
    WideEntry e;
    if (!ReadEntry(src, e) || (e.Attr & kFolderAttr)) {
        if (!rel.empty())
            m_plan.index.Remove(rel); // an unreachable source file keeps its mirror copy
        return;
    }
    e.Attr &= ~kLinkAttr; // a link to a file is mirrored as the file
    const bool refused = IsRefused(rel);
    const BackupIndex::Node known = refused ? BackupIndex::kNone : m_plan.index.FindNode(rel);
    const TFileParam* was = known == BackupIndex::kNone ? nullptr : &m_plan.index.Param(known);
    const PlannedFile file{spotIndex, DecideAct(was, StampOf(e), refused)};
    if (was) {
        m_damage.Compared(*was, StampOf(e), file.act);
        if (file.act != Act::Replace)
            m_plan.index.Remove(known); // a folder of the file's name is deleted with what is stale
    }
    if (file.act != Act::Keep && file.act != Act::Refuse)
        m_plan.weight += e.Size + kEntryWeight;
    m_plan.files.push_back(file);
}

// What the plan would destroy under the sources still listed and reachable: the updates and
// replacements comparing counted, and the files the index still holds under those sources
// (deleted by the deletion stage, or with a folder that a file replaces). What a refused
// source keeps is not counted; what sources taken out of the list left lies under no key.
PlanDamage MirrorComparing::DamageCounted() const {
    int64_t left = 0;
    for (size_t i = 0; i < m_mirrorKeys.size(); ++i) {
        bool nested = false;
        for (size_t j = 0; j < m_mirrorKeys.size() && !nested; ++j)
            nested = j != i && IsKeyAtOrBelow(m_mirrorKeys[i], m_mirrorKeys[j], SameFileName) &&
                     (j < i || !SameFileName(m_mirrorKeys[i], m_mirrorKeys[j]));
        if (!nested)
            left += static_cast<int64_t>(m_plan.index.CountTree(m_mirrorKeys[i], true));
    }
    for (const auto& spot : m_plan.spots)
        if (spot.role == SourceRole::Overlaps)
            left -= static_cast<int64_t>(m_plan.index.CountTree(spot.MirrorKey(), true));
    return m_damage.WithLeft(left, UnexcludedLeft());
}

// What the deletion stage will have to do, as far as comparing can tell: the index less what
// refused sources keep.
int64_t MirrorComparing::DeletionsAhead() const {
    int64_t ahead = static_cast<int64_t>(m_plan.index.Count());
    for (const auto& spot : m_plan.spots)
        if (spot.role == SourceRole::Overlaps)
            ahead -= static_cast<int64_t>(m_plan.index.CountTree(spot.MirrorKey()));
    return std::max<int64_t>(ahead, 0);
}

// True when the folder link `link`, listed in `dir`, leads to `dir` itself, to a folder that
// holds it, or to the mirror folder: entering it would go round for ever.
bool MirrorComparing::LeadsBack(const std::wstring& link, std::wstring dir) const {
    FileIdentity target, seen;
    if (!IdentityOf(ExtendedPath(link), target))
        return false; // it leads nowhere: the search in it finds nothing
    if (IdentityOf(m_root, seen) && seen == target)
        return true;
    while (dir.size() >= 3) {
        if (IdentityOf(ExtendedPath(dir), seen) && seen == target)
            return true;
        if (dir.size() == 3)
            break;
        dir.resize(dir.find_last_of(L'\\', dir.size() - 2) + 1);
    }
    return false;
}

} // namespace vestrand
