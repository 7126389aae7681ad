// The stages of a pass: its plan carried out on the mirror folder, in the plan's order, each change
// with its journal line. The folders of the listed sources first (new files copied on two threads
// at once), then the listed files, then what no source produced. Copying ends at the free-space
// floor or a stop; what a pass deletes or overwrites is held when versions are kept.
#pragma once
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "engine/fileops_win.h"
#include "engine/held_versions_win.h"
#include "engine/journal_win.h"
#include "engine/mirror_opening_win.h"
#include "engine/new_file_copier.h"
#include "engine/pass_budget_win.h"
#include "engine/pass_host.h"
#include "engine/pass_plan_win.h"
#include "engine/pass_progress.h"

namespace vestrand {

class PassStages {
public:
    // `start` the pass's start; a Failed line's path also goes to `failed`.
    PassStages(const OpenedMirror& mirror, PassPlan& plan, PassVersions& versions, PassBudget& budget,
               Journal& journal, IBackupDisplay& display, const std::atomic<bool>* stop, DateTime start,
               std::vector<std::string>& failed);
    ~PassStages();
    PassStages(const PassStages&) = delete;
    PassStages& operator=(const PassStages&) = delete;

    // The listed folders: what comparing planned, in the same order.
    void MirrorFolders();
    // The listed files, as comparing found them. Once copying has ended (the floor, a stop),
    // refused sources still get their lines.
    void MirrorListedFiles();
    // A refused source keeps the copies no other source produced, as an unreachable one does. (Only
    // after the stages above, which still delete what an entry of the other kind replaces.)
    void KeepWhatRefusedSourcesHold();
    // Deletes (or holds) what no source produced; false when a stop ended it before its last entry.
    bool DeleteStale();

private:
    enum class Copied {
        Done,
        Failed,
        Stopped, // abandoned part-way: no line, the mirror's entry as it was
        Gone,    // the source is not there any more: no line, the next pass sees it
    };

    // What is known of the mirror folder an entry goes into, during the directory stage.
    struct MirrorFolder {
        bool Ready = false;   // it exists: a copy into it needs no folder chain, a new folder in it one call
        bool Fresh = false;   // made by this pass just now: it holds only what the stage copies into it
        bool Indexed = false; // the index holds all it held, and nothing has been copied into it since
    };

    // What the mirror holds under an entry's name, as far as the pass knows without asking.
    struct MirrorEntry {
        const TFileParam* known = nullptr; // as the index found it
        bool knownAbsent = false;          // the mirror holds nothing under this name
    };

    // A folder the stage is in: its path, what is known of its mirror folder, and whether what was
    // planned in it is left out (its source went away or changed kind).
    struct OpenFolder {
        uint32_t planned;
        size_t relSize;
        MirrorFolder folder;
        bool leftOut;
    };

    bool Stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }
    // Copying goes on: neither stopped nor at the floor.
    bool Copying() const { return !m_budget.FloorReached() && !Stopped(); }
    bool IsSettled(DosDateTime stamp) const;

    void Report(JournalTag tag, const std::wstring& mirrorRel);
    void ReportStale(JournalTag tag, const std::wstring& rel);
    void Line(JournalTag tag, const std::string& path);
    void Write(JournalTag tag, const std::string& path);
    bool RefuseAtItsTurn(const SourceSpot& spot);
    void Advance(int64_t weight);
    void ReportProgress();

    void ActOnSource(const PlannedSource& source);
    std::optional<MirrorFolder> ActOnEntry(const std::wstring& root, const std::wstring& rel,
                                           const std::wstring& name, const Planned& p, MirrorFolder& folder,
                                           bool leftOut);
    bool CopyAhead(const std::wstring& src, const std::wstring& mirrorRel, const WideEntry& e,
                   const MirrorEntry& there, MirrorFolder& folder);
    void FinishCopiesAhead(size_t keep);
    Copied CopyEntry(const std::wstring& src, const std::wstring& mirrorRel, WideEntry& e,
                     const MirrorEntry& there, MirrorFolder& folder, bool& made);
    Copied CopyAsNew(const std::wstring& source, const std::wstring& mirror, WideEntry& e);
    Copied CopyIntoMirror(const std::wstring& source, const std::wstring& mirror, WideEntry& e,
                          const std::wstring& holdAs);
    void ActOnListedFile(const PlannedFile& file);
    Copied CopyListedFile(const std::wstring& src, const std::wstring& rel, WideEntry& e);
    bool LinkLeftAt(const std::wstring& mirrorRel);
    void DeleteStaleEntry(const std::wstring& rel, const TFileParam& p);
    void DeleteStaleTree(const std::wstring& rel);

    const std::string& m_rootText;
    const std::wstring& m_root;
    const std::wstring m_temp; // the copy in progress, at the mirror folder's top
    PassPlan& m_plan;
    PassVersions& m_versions;
    PassBudget& m_budget;
    Journal& m_journal;
    IBackupDisplay& m_display;
    const std::atomic<bool>* m_stop;
    const uint32_t m_settledBefore; // packed stamp of the moment a day before the pass
    std::vector<std::string>& m_failed;
    PassProgress m_progress;
    std::chrono::steady_clock::time_point m_copyingSince;
    std::string m_hint;                    // the tray hint last shown
    int64_t m_blockBytes = 0;              // of the file being copied, what went to the gauge block by block
    std::optional<NewFileCopier> m_copier; // during the directory stage
};

} // namespace vestrand
