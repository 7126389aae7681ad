// Comparing: the walk of the mirror folder and of the listed sources (at once, on two threads),
// and every source entry compared with what the mirror holds under its name, into the pass's plan.
// Nothing is changed on either side.
#pragma once
#include <atomic>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/backup_settings.h"
#include "engine/exclusions.h"
#include "engine/fileops_win.h"
#include "engine/mirror_opening_win.h"
#include "engine/pass_host.h"
#include "engine/pass_plan_win.h"
#include "engine/source_lister_win.h"

namespace vestrand {

class MirrorComparing {
public:
    // `storedPatterns` the exclusions the last complete pass used (see the exclusions file): what
    // the mirror holds of the entries that those no longer listed named was kept as it was, and the
    // plan tells it apart. A set `stop` ends the walks at their next entry; the plan is then partial
    // and the pass changes nothing.
    MirrorComparing(const BackupSettings& settings, const OpenedMirror& mirror,
                    const std::vector<std::string>& storedPatterns, const std::atomic<bool>* stop);

    // Walks and compares; `display` is told once the mirror's walk is done.
    PassPlan Compare(IBackupDisplay& display);

private:
    bool Stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    void PlanSources(const std::vector<std::string>& storedPatterns);
    bool IsOwnedByUser(const std::wstring& mirrorRel) const;
    bool IsRefused(const std::wstring& mirrorRel) const;

    void Walk(const std::wstring& rel, BackupIndex::Node folder);
    bool FirstVisitOfIndexedFolder(const std::wstring& rel);

    void StartSourceLister();
    bool Enters(const std::wstring& root, const std::wstring& rel, const std::wstring& rootLong,
                const WideEntry& e) const;
    bool IsWalledOff(const std::wstring& src, const std::wstring& longSrc, const std::wstring& dir,
                     bool isLink) const;
    bool IsMirrorFolder(const std::wstring& src, const std::wstring& longSrc) const;
    bool LeadsBack(const std::wstring& link, std::wstring dir) const;

    void CompareSources();
    void CompareSource(size_t spotIndex);
    void CompareFolder(const std::wstring& root, const std::wstring& rel, uint32_t parent,
                       BackupIndex::Node mirrorFolder);
    void CompareOne(const std::wstring& root, const std::wstring& rel, const WideEntry& e, uint32_t parent,
                    BackupIndex::Node mirrorFolder, bool mayRefuseFiles);
    void CompareListedFile(size_t spotIndex);
    void KeepMirrorOf(const std::wstring& mirrorRel, uint32_t parent);
    bool KeptByRemovedPattern(const std::wstring& listedLong, const std::wstring& entryRel) const;

    int64_t UnexcludedLeft() const;
    PlanDamage DamageCounted() const;
    int64_t DeletionsAhead() const;

    const BackupSettings& m_s;
    const std::wstring& m_rootFull;
    const std::wstring& m_root;
    const std::wstring& m_rootLong;
    const std::atomic<bool>* m_stop;
    PassPlan m_plan;
    Exclusions m_exclusions;
    Exclusions m_removedExclusions;         // the patterns of the last complete pass no longer listed
    std::vector<std::wstring> m_mirrorKeys; // mirror paths of the sources mirrored, as the index has them
    std::vector<std::wstring> m_ownRels;    // mirror paths of sources inside the mirror folder: the user's
    std::vector<std::wstring> m_walkGaps;   // mirror folders the index walk could not search
    std::unordered_set<std::wstring> m_visited; // file-system keys of mirror folders the plan came to
    std::optional<SourceLister> m_lister;
    std::wstring m_sourceLong;     // the source folder being compared, in its long full form
    bool m_topLostEntries = false; // an exclusion took entries at its top out of the index
    size_t m_listed = 0;           // source entries listed so far
    DamageCount m_damage;
};

} // namespace vestrand
