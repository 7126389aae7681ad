#include "engine/backup_pass_win.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "engine/fileops_win.h"
#include "engine/held_versions_win.h"
#include "engine/journal_win.h"
#include "engine/mirror_comparing_win.h"
#include "engine/mirror_opening_win.h"
#include "engine/mirror_owner_win.h"
#include "engine/pass_budget_win.h"
#include "engine/pass_guard.h"
#include "engine/pass_stages_win.h"
#include "engine/paths.h"
#include "runtime/cp1251.h"
#include "runtime/handles_win.h"
#include "runtime/platform_win.h"

namespace vestrand {
namespace {

using Tag = JournalTag;

// The full form in which a listed source is mapped, so that "x\..\y" or "a/b" give the mirror
// paths of what they name; short (8.3) names are kept as written. Empty for a source that is in
// neither drive-letter nor network form.
std::wstring SourceForm(const std::string& written) {
    if (!IsMappableSource(written))
        return std::wstring();
    const std::wstring full = FullPath(WidenCp1251(written));
    return IsNetworkPath(full) == IsNetworkPath(written) && MirrorKeyStart(full) > 0 ? full
                                                                                     : WidenCp1251(written);
}

// An exclusions file is a list of patterns from a settings file; anything larger is not one this
// program wrote.
constexpr int64_t kExclusionsFileLimit = 1 << 20;

// The patterns in the exclusions file `path`: none when it is missing, cannot be read or is not one.
std::vector<std::string> ReadStoredPatterns(const std::wstring& path) {
    FileHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!h || !GetFileSizeEx(h.Get(), &size) || size.QuadPart > kExclusionsFileLimit)
        return {};
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!text.empty() && (!::ReadFile(h.Get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) ||
                          got != text.size()))
        return {};
    std::vector<std::string> patterns;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        if (end > at)
            patterns.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return patterns;
}

// Replaces the exclusions file `path` by one of `patterns`, written to `temp` first, so that it is
// whole or as it was.
void StorePatterns(const std::wstring& path, const std::wstring& temp,
                   const std::vector<std::string>& patterns) {
    WriteAttributes(temp, 0);
    DeleteFileW(temp.c_str());
    FileHandle h(
        CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    for (const auto& pattern : patterns)
        text += pattern + "\r\n";
    DWORD put = 0;
    bool ok =
        h &&
        (text.empty() || ::WriteFile(h.Get(), text.data(), static_cast<DWORD>(text.size()), &put, nullptr)) &&
        put == text.size();
    h.Reset();
    ok = ok && MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileW(temp.c_str());
}

SourceSpot SpotOf(const std::string& written, const std::wstring& form, bool folder) {
    SourceSpot spot;
    spot.written = written;
    spot.form = form;
    spot.folder = folder;
    if (!form.empty())
        spot.longForm = folder ? WithSeparator(LongFullPath(form)) : LongFullPath(form);
    return spot;
}

// One pass: open the journal, compare into a plan, inspect the plan, act on it, end the block.
class Pass {
public:
    Pass(const BackupSettings& s, const OpenedMirror& mirror, bool autoRunOnce, IBackupDisplay& d,
         ISchedule& sch, IClock& c, const std::atomic<bool>* stop, bool confirmed)
        : m_s(s), m_mirror(mirror), m_autoRunOnce(autoRunOnce), m_confirmed(confirmed), m_display(d),
          m_schedule(sch), m_clock(c), m_stop(stop), m_temp(mirror.OwnPath(kCopyTempName)) {}

    PassResult Run() {
        const DateTime start = m_clock.Now();
        m_versions.emplace(m_mirror.root, start, m_s.KeepVersionsDays);
        if (Stopped()) { // stopped before it began: no block, and it does not come back at once
            m_result.interrupted = true;
            m_schedule.ScheduleNextAfterStop();
            return m_result;
        }
        m_display.SetBusyCursor(true);
        m_display.SetTrayHint(ComparingHint());
        Journal journal(m_mirror.text);
        m_result.journalPath = journal.Path();
        // The Start line and the stamped folder name one moment, so that the history pairs them.
        journal.Append(StampLine(Tag::Start, start, TimeSeparator()));
        m_display.SetGaugeMax(100);
        m_display.SetGaugeMin(0);
        m_display.SetGaugeProgress(0);
        WriteAttributes(m_temp, 0); // a copy left unfinished by a pass that was ended part-way
        DeleteFileW(m_temp.c_str());

        // Compare first, then act: the work is known before the first copy, so the gauge means it.
        m_storedPatterns = ReadStoredPatterns(m_mirror.OwnPath(kExclusionsName));
        PassPlan plan = MirrorComparing(m_s, m_mirror, m_storedPatterns, m_stop).Compare(m_display);

        m_result.damage = plan.damage;
        if (!Stopped() && !m_confirmed && GuardTrips(plan.damage, m_s.GuardPercent))
            return Paused(journal); // nothing changed, nothing pruned: the user decides
        // Old versions go before anything is measured, so that they can never keep a pass from
        // running; but only once the plan is known to be no damage, which they may be the only
        // copies of.
        if (m_versions->Holding())
            m_versions->PruneByAge([this] { return Stopped(); });
        PassBudget budget(m_mirror.full, m_s.LowDriveSpaceMb * 1000000, *m_versions);
        const bool room = budget.Open();
        m_result.floorBytes = budget.Floor();
        if (!room) {
            m_result.freeBytes = budget.Free();
            m_display.SetBusyCursor(false);
            return Refused(PassRefusal::LowSpace, m_s.TargetDir); // the journal is left as it was
        }

        m_display.StageReached(PassStage::Compared);
        bool complete = false;
        {
            PassStages stages(m_mirror, plan, *m_versions, budget, journal, m_display, m_stop, start,
                              m_result.failed);
            stages.MirrorFolders();
            m_display.StageReached(PassStage::FoldersMirrored);
            stages.MirrorListedFiles();
            m_display.StageReached(PassStage::FilesMirrored);
            stages.KeepWhatRefusedSourcesHold();
            // A stopped pass has not copied everything: it deletes nothing, and the next pass goes on.
            if (budget.EndedAtFloor()) {
                journal.Append(Stamped(Tag::DiskFull));
                m_result.diskFull = true;
            } else if (!Stopped()) {
                complete = stages.DeleteStale();
            }
        }
        if (complete)
            KeepPatterns(); // what removed patterns had kept is now dealt with
        if (!m_result.diskFull && !complete) {
            journal.Append(Stamped(Tag::Interrupted));
            m_result.interrupted = true;
        }
        if (!m_result.diskFull && !m_result.interrupted)
            m_display.SetGaugeProgress(100); // a stop or the floor leaves the gauge where it is
        if (!Stopped())
            budget.FreeAboveReserve(); // what the pass held with its updates
        m_result.floorMeasurements = budget.Measurements();
        m_result.floorSeconds = budget.MeasuringSeconds();
        m_display.StageReached(PassStage::Deleted);
        return Ended(journal);
    }

private:
    // The end of every block: Stop, the next run, and the journal saved and rotated.
    PassResult Ended(Journal& journal) {
        journal.Append(Stamped(Tag::Stop));
        if (m_result.interrupted)
            m_schedule.ScheduleNextAfterStop();
        else
            m_schedule.ScheduleNext();
        if (m_autoRunOnce)
            journal.Append(OneShotCommandLine());
        else
            journal.Append(StampLine(Tag::NextStart, m_schedule.NextRunTime(), TimeSeparator()));
        journal.Append("");
        journal.Save();
        m_result.versionsRemovedEarly = m_versions->RemovedEarly();
        m_versions->WriteHeldList();
        RotateJournal(m_mirror.text, m_s.TargetDir, m_s.IdentifComp, m_clock.Now());
        m_display.SetBusyCursor(false);
        return m_result;
    }

    PassResult Paused(Journal& journal) {
        journal.Append(Stamped(Tag::Paused));
        m_result.paused = true;
        return Ended(journal);
    }

    PassResult Refused(PassRefusal why, const std::string& path) {
        m_result.refusal = why;
        m_result.path = path;
        m_result.versionsRemovedEarly = m_versions->RemovedEarly(); // making room before it gave up
        return m_result;
    }

    // The journal line of a tag and the moment now.
    std::string Stamped(Tag tag) { return StampLine(tag, m_clock.Now(), TimeSeparator()); }

    // The patterns of this complete pass, for the next one to tell a removed pattern; written only
    // when they differ from what the file holds (a missing file holds none).
    void KeepPatterns() {
        std::vector<std::string> patterns;
        for (const auto& pattern : m_s.Exclude)
            if (!pattern.empty())
                patterns.push_back(pattern);
        if (m_storedPatterns != patterns)
            StorePatterns(m_mirror.OwnPath(kExclusionsName), m_temp, patterns);
    }

    bool Stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    const BackupSettings& m_s;
    const OpenedMirror& m_mirror;
    bool m_autoRunOnce;
    bool m_confirmed; // the user confirmed this pass's plan, whatever it destroys
    IBackupDisplay& m_display;
    ISchedule& m_schedule;
    IClock& m_clock;
    const std::atomic<bool>* m_stop;
    const std::wstring m_temp;                 // the copy in progress, at the mirror folder's top
    std::optional<PassVersions> m_versions;    // from the pass's start
    std::vector<std::string> m_storedPatterns; // as the exclusions file holds them
    PassResult m_result;
};

} // namespace

PassResult RunBackupPass(const BackupSettings& settings, bool autoRunOnce, IBackupDisplay& display,
                         ISchedule& schedule, IClock& clock, const std::atomic<bool>* stop, bool confirmed) {
    // The settings as written serve every computer: the pass works on this computer's reading of them.
    BackupSettings expanded = settings;
    PassResult unset;
    if (!ExpandSettingsVariables(expanded, unset.path)) {
        unset.refusal = PassRefusal::UnsetVariable;
        return unset;
    }
    const MirrorOpening opening = OpenMirror(expanded);
    if (!opening.mirror) {
        PassResult refused;
        refused.refusal = opening.refusal;
        refused.path = opening.path;
        return refused;
    }
    return Pass(expanded, *opening.mirror, autoRunOnce, display, schedule, clock, stop, confirmed).Run();
}

std::vector<SourceSpot> PlanListedSources(const BackupSettings& s, const std::wstring& rootFull,
                                          const std::wstring& rootLong, const Exclusions* exclusions) {
    std::vector<SourceSpot> spots;
    for (const auto& folder : s.SourceDirs) {
        const std::wstring form = SourceForm(NormalizeDir(folder));
        spots.push_back(SpotOf(folder, form.empty() ? form : WithSeparator(form), true));
    }
    for (const auto& file : s.SourceFiles)
        spots.push_back(SpotOf(file, SourceForm(file), false));
    vestrand::PlanSources(spots, rootFull, rootLong, SameFileName, exclusions);
    return spots;
}

} // namespace vestrand
