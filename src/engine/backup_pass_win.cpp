#include "engine/backup_pass_win.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/backup_index_win.h"
#include "engine/compare_rule.h"
#include "engine/exclusions.h"
#include "engine/fileops_win.h"
#include "engine/held_versions_win.h"
#include "engine/journal_win.h"
#include "engine/mirror_opening_win.h"
#include "engine/mirror_owner_win.h"
#include "engine/new_file_copier.h"
#include "engine/pass_progress.h"
#include "engine/source_lister_win.h"
#include "engine/source_plan.h"
#include "engine/space_budget.h"
#include "runtime/cp1251.h"
#include "runtime/handles_win.h"
#include "runtime/platform_win.h"

namespace vestrand {
namespace {

constexpr int32_t kFolderBit = FILE_ATTRIBUTE_DIRECTORY;
// A link (symbolic link or junction): the mirror holds what it leads to, as a plain entry.
constexpr int32_t kLinkBit = FILE_ATTRIBUTE_REPARSE_POINT;
constexpr int32_t kProtectingBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// New files copied at once by the directory stage (see NewFileCopier), and how many copies may be
// asked for ahead of the stage's lines: enough to keep the copiers busy, few enough that a stop
// lets the few under way finish within a moment.
constexpr int kCopierThreads = 2;
constexpr size_t kCopiesAhead = 16;
// The source listings made ahead of comparing, while the mirror is walked: 32 bytes an entry besides
// its name, so that the listings of most of a tree of 1,000,000 entries can wait, beside the index,
// within the pass's memory (see SourceLister).
constexpr size_t kListingsAheadBytes = size_t{64} << 20;

using Tag = JournalTag;

std::wstring Wide(const char* ascii) {
    return WidenCp1251(ascii);
}

bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

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

// A source path's place in the mirror: without its drive ("C:\x" gives "x"), or without its server
// ("\\nas\projects\x" gives "projects\x").
std::wstring MirrorRelOf(const std::wstring& path) {
    return path.substr(std::min(MirrorKeyStart(path), path.size()));
}

bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder) {
    return vestrand::IsAtOrBelow(path, folder, SameFileName);
}

TFileParam StampOf(const WideEntry& e) {
    return {e.Time, e.Size, e.Attr};
}

bool KindDiffers(const TFileParam& p, int32_t attr) {
    return ((p.Attr ^ attr) & kFolderBit) != 0;
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

// Puts the complete copy `temp` (when `copied`) in the place of `mirror`, first moving the previous
// copy to `holdAs` when that is given; removes the temporary file when that fails.
bool PublishTemp(const std::wstring& mirror, const std::wstring& temp, const std::wstring& holdAs,
                 bool copied = true) {
    bool ok = copied;
    if (ok && !holdAs.empty() && !MoveFileExW(mirror.c_str(), holdAs.c_str(), 0))
        ok = IsNotFound(GetLastError()); // nothing to hold is no failure
    if (ok)
        ok = MoveFileExW(temp.c_str(), mirror.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) {
        WriteAttributes(temp, 0);
        DeleteFileW(temp.c_str());
    }
    return ok;
}

// True when the source is not there any more (as opposed to there and unreadable): a copy of it
// that fails is left out without a line, and the next pass sees it gone.
bool IsGone(const std::wstring& src) {
    return ReadAttributes(src) == -1 && IsNotFound(GetLastError());
}

// Whether the source is still what it was before its copy (`e`): its size and its last write to the
// 100 ns, read again after the copy. A file written while it was copied gives a copy whose content
// its time stamp may not have, and a file cut short one of its old content under its new size; no
// such copy is ever published, as the next pass would take it for current. `e` takes what the
// source is now, for the copy made once more.
bool StillAsRead(const std::wstring& src, WideEntry& e) {
    WideEntry now;
    if (!ReadEntry(src, now))
        return false;
    const bool same = now.Size == e.Size && now.Written == e.Written;
    e.Time = now.Time;
    e.Size = now.Size;
    e.Written = now.Written;
    e.Attr = now.Attr & ~kLinkBit;
    return same;
}

// A source written while it was copied is copied once more; written again, its copy fails.
constexpr int kCopyTries = 2;

// Copies src to the temporary file `temp`. The temporary file does not exist between copies (the
// pass removes one left by an earlier pass at its start, and every failed copy removes its own), so
// it is not cleared first: each platform call per file shows in a first pass.
bool CopyToTemp(const std::wstring& src, const std::wstring& temp) {
    bool ok = CopyFileW(src.c_str(), temp.c_str(), FALSE) != 0;
    if (!ok && ReadAttributes(temp) != -1) {
        WriteAttributes(temp, 0); // a leftover (or a copy carrying the read-only mark): clear it, try again
        DeleteFileW(temp.c_str());
        ok = CopyFileW(src.c_str(), temp.c_str(), FALSE) != 0;
    }
    return ok;
}

// Copies src over mirror through the temporary file `temp` (in the same volume), so that the mirror
// name holds either the previous copy or a complete new one of the source as it stood still (see
// StillAsRead). With `holdAs`, the previous copy is first moved there (a rename within the volume),
// so that at every moment it is under its name or held. Carries the source's time; the caller sets
// the attributes.
bool CopyIntoMirror(const std::wstring& src, const std::wstring& mirror, const std::wstring& temp,
                    WideEntry& e, const std::wstring& holdAs = std::wstring()) {
    bool ok = false;
    for (int tries = 0; tries < kCopyTries && !ok; ++tries) {
        if (!CopyToTemp(src, temp))
            break;
        ok = StillAsRead(src, e);
    }
    return PublishTemp(mirror, temp, holdAs, ok);
}

// Removes what a copy to a name that was free left there.
void RemoveOwnCopy(const std::wstring& mirror) {
    WriteAttributes(mirror, 0);
    DeleteFileW(mirror.c_str());
}

// Copies src to the mirror name of a file the mirror does not hold. With no earlier copy to keep,
// the copy goes straight to its name, which saves a rename per file in a first pass. A copy that
// fails is removed (nothing stood under that name, so the file there is the copy's own). A copy
// cut short by the end of the process keeps the size written so far and the time of its last
// write, which the directory stage compares with the source's, so the next pass replaces it; the
// caller sends sources written shortly before the pass through `temp` instead, as their time
// could be that of the cut copy. A source written while it was copied is copied once more over its
// own copy (see StillAsRead). NameTaken leaves the name as it was.
NewFileCopier::Outcome CopyToFreeName(const std::wstring& src, const std::wstring& mirror, WideEntry& e) {
    using Outcome = NewFileCopier::Outcome;
    if (!CopyFileW(src.c_str(), mirror.c_str(), TRUE)) {
        const DWORD why = GetLastError();
        if (why == ERROR_FILE_EXISTS || why == ERROR_ALREADY_EXISTS)
            return Outcome::NameTaken;
    } else if (StillAsRead(src, e)) {
        return Outcome::Done;
    } else {
        WriteAttributes(mirror, 0); // the first copy may carry the read-only mark
        if (CopyFileW(src.c_str(), mirror.c_str(), FALSE) && StillAsRead(src, e))
            return Outcome::Done;
    }
    RemoveOwnCopy(mirror);
    return IsGone(src) ? Outcome::Gone : Outcome::Failed;
}

// Attributes with which every copy leaves its source's attributes, so that reading them back
// would only confirm them: the archive bit, which a new file gets anyway, alone or with the
// read-only bit, which the file system keeps in the file's mode. Others (hidden, system, the
// "normal" of a file without any) depend on the volume under Wine, so they are read back.
bool CopyCarries(int32_t attr) {
    return attr == FILE_ATTRIBUTE_ARCHIVE || attr == (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
}

// The attributes of a mirror entry, none when it is not there (or cannot be read).
std::optional<int32_t> AttributesOf(const std::wstring& path) {
    const int32_t attr = ReadAttributes(path);
    return attr == -1 ? std::nullopt : std::optional<int32_t>(attr);
}

// Clears what could refuse the replacement of an existing mirror entry (`before` is what it had).
void UnprotectMirrorEntry(const std::wstring& mirror, std::optional<int32_t> before) {
    if (before && (*before & kProtectingBits))
        WriteAttributes(mirror, 0);
}

// Gives the mirror entry `attr` unless it has it already (reading is far cheaper than writing).
void SetMirrorAttributes(const std::wstring& mirror, int32_t attr) {
    if (ReadAttributes(mirror) != attr)
        WriteAttributes(mirror, attr);
}

// The source of a copy as the pass read it at the file's turn.
WideEntry AsRead(const NewFileCopier::Copy& copy) {
    WideEntry e;
    e.Size = copy.Size;
    e.Attr = copy.Attr;
    e.Written = copy.Written;
    return e;
}

// A new file's copy on a copier's thread, with its attributes. A name taken after all is left to
// the stage, which alone uses the temporary file.
NewFileCopier::Outcome CopyNewFile(NewFileCopier::Copy& copy) {
    WideEntry e = AsRead(copy);
    const NewFileCopier::Outcome outcome = CopyToFreeName(copy.Source, copy.Target, e);
    copy.Attr = e.Attr;
    copy.Written = e.Written;
    if (outcome == NewFileCopier::Outcome::Done && !CopyCarries(copy.Attr))
        SetMirrorAttributes(copy.Target, copy.Attr);
    return outcome;
}

// What the directory stage does with an entry, as comparing decided it.
enum class Act : uint8_t {
    Keep,    // the mirror holds it as it is (a folder: what lies in it may still need work)
    Copy,    // the mirror does not hold it: New
    Update,  // changed: Update
    Replace, // the mirror holds an entry of the other kind, or a link: deleted, then copied as New
    Refuse,  // a name the pass keeps for itself, or the user's own files in the mirror: Failed
};

// One source entry that needs work, or a folder that may hold some. Planned entries of a listed
// folder stand in the order the stage takes them (a folder before its content), each with its own
// name only, so that a large plan stays small.
struct Planned {
    int64_t size;            // as comparing found the source
    uint32_t parent;         // the planned folder it lies in, kNoParent at the top of its source
    uint32_t nameAt;         // in the plan's names
    BackupIndex::Node known; // what the mirror held under its name, as the index found it
    int32_t attr;
    uint16_t nameSize;
    Act act;
    uint8_t flags;
};
constexpr uint32_t kNoParent = UINT32_MAX;
constexpr uint8_t kIndexedFolder = 1; // the first visit of a mirror folder the index walk searched whole

// The planned entries of one listed folder, and of one listed file.
struct PlannedSource {
    size_t spot;
    uint32_t begin, end;
    bool indexed; // its mirror folder is one the index walk searched whole
};
struct PlannedFile {
    size_t spot;
    Act act;
};

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

class Pass {
public:
    Pass(const BackupSettings& s, const OpenedMirror& mirror, bool autoRunOnce, IBackupDisplay& d,
         ISchedule& sch, IClock& c, const std::atomic<bool>* stop, bool confirmed)
        : m_s(s), m_autoRunOnce(autoRunOnce), m_confirmed(confirmed), m_display(d), m_schedule(sch),
          m_clock(c), m_stop(stop), m_rootText(mirror.text), m_rootFull(mirror.full), m_root(mirror.root),
          m_rootLong(mirror.longForm), m_temp(mirror.OwnPath(kCopyTempName)) {}

    PassResult Run() {
        m_start = m_clock.Now();
        m_settledBefore = PackDosStamp(m_start - 1.0);
        m_versions.emplace(m_root, m_start, m_s.KeepVersionsDays);
        if (Stopped()) { // stopped before it began: no block, and it does not come back at once
            m_result.interrupted = true;
            m_schedule.ScheduleNextAfterStop();
            return m_result;
        }
        m_display.SetBusyCursor(true);
        m_display.SetTrayHint(ComparingHint());
        Journal journal(m_rootText);
        m_journal = &journal;
        m_result.journalPath = journal.Path();
        // The Start line and the stamped folder name one moment, so that the history pairs them.
        journal.Append(StampLine(Tag::Start, m_start, TimeSeparator()));
        m_display.SetGaugeMax(100);
        m_display.SetGaugeMin(0);
        m_display.SetGaugeProgress(0);
        WriteAttributes(m_temp, 0); // a copy left unfinished by a pass that was ended part-way
        DeleteFileW(m_temp.c_str());
        PlanSources();
        StartSourceLister(); // the sources are walked while the mirror is
        Walk(L"", BackupIndex::kTop);
        for (const auto& own : m_ownRels)
            m_index.RemoveTree(WithoutSeparator(own)); // never deleted, whatever happens
        m_display.StageReached(PassStage::MirrorIndexed);
        // Compare first, then act: the work is known before the first copy, so the gauge means it.
        CompareSources();
        m_lister.reset();
        m_result.damage = PlanDamageCounted();
        if (!Stopped() && !m_confirmed && GuardTrips(m_result.damage, m_s.GuardPercent))
            return Paused(journal); // nothing changed, nothing pruned: the user decides
        // Old versions go before anything is measured, so that they can never keep a pass from
        // running; but only once the plan is known to be no damage, which they may be the only
        // copies of.
        if (m_versions->Holding())
            m_versions->PruneByAge([this] { return Stopped(); });
        if (!OpenBudget()) {
            m_display.SetBusyCursor(false);
            return Refused(PassRefusal::LowSpace, m_s.TargetDir); // the journal is left as it was
        }
        m_progress.Plan(DeletionsAhead() * kEntryWeight);
        m_display.StageReached(PassStage::Compared);
        m_copyingSince = std::chrono::steady_clock::now();
        ReportProgress();
        DirectoryStage();
        m_display.StageReached(PassStage::FoldersMirrored);
        FileStage();
        m_display.StageReached(PassStage::FilesMirrored);
        // A refused source keeps the copies no other source produced, as an unreachable one does.
        // (Only now: the stages above still delete what an entry of the other kind replaces.)
        for (const auto& spot : m_spots)
            if (spot.role == SourceRole::Overlaps)
                m_index.RemoveTree(spot.MirrorKey());
        // A stopped pass has not copied everything: it deletes nothing, and the next pass goes on.
        // A budget used up to the last byte counts as the floor reached, as it always has.
        m_floorReached = m_floorReached || m_space->UsedUp();
        bool complete = false;
        if (m_floorReached) {
            journal.Append(Stamped(Tag::DiskFull));
            m_result.diskFull = true;
        } else if (!Stopped()) {
            complete = DeletionStage();
        }
        if (complete)
            KeepPatterns(); // what removed patterns had kept is now dealt with
        if (!m_floorReached && !complete) {
            journal.Append(Stamped(Tag::Interrupted));
            m_result.interrupted = true;
        }
        if (!m_floorReached && !m_result.interrupted)
            m_display.SetGaugeProgress(100); // a stop or the floor leaves the gauge where it is
        if (!Stopped())
            FreeAboveReserve(); // what the pass held with its updates
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
        m_journal = nullptr;
        m_result.versionsRemovedEarly = m_versions->RemovedEarly();
        m_versions->WriteHeldList();
        if (m_space) {
            m_result.floorMeasurements = m_space->Measurements();
            m_result.floorSeconds = m_space->MeasuringSeconds();
        }
        RotateJournal(m_rootText, m_s.TargetDir, m_s.IdentifComp, m_clock.Now());
        m_display.SetBusyCursor(false);
        return m_result;
    }

    PassResult Paused(Journal& journal) {
        journal.Append(Stamped(Tag::Paused));
        m_result.paused = true;
        return Ended(journal);
    }

    // The room above the free-space floor, measured for the first time; false when there is none
    // even once the oldest held versions are gone.
    bool OpenBudget() {
        m_reserve = VersionsReserve(m_s.LowDriveSpaceMb * 1000000, DriveSize(m_rootFull));
        m_space.emplace(
            m_s.LowDriveSpaceMb * 1000000, ClusterBytes(m_rootFull),
            [this](bool exact) {
                FinishCopiesAhead(exact ? 0 : SIZE_MAX); // all, or those finished without waiting
                const int64_t free = FreeAboveReserve();
                return free < 0 ? free : free - m_costAhead;
            },
            [this] { return m_versions->RemoveOldest(); });
        m_result.floorBytes = m_space->Floor();
        if (RoomFor(0))
            return true;
        m_result.freeBytes = m_space->Free();
        return false;
    }

    // What the plan would destroy under the sources still listed and reachable: the updates and
    // replacements comparing counted, and the files the index still holds under those sources
    // (deleted by the deletion stage, or with a folder that a file replaces). What a refused
    // source keeps is not counted; what sources taken out of the list left lies under no key.
    PlanDamage PlanDamageCounted() const {
        PlanDamage damage = m_damage;
        int64_t left = 0;
        for (size_t i = 0; i < m_mirrorKeys.size(); ++i) {
            bool nested = false;
            for (size_t j = 0; j < m_mirrorKeys.size() && !nested; ++j)
                nested = j != i && IsKeyAtOrBelow(m_mirrorKeys[i], m_mirrorKeys[j], SameFileName) &&
                         (j < i || !SameFileName(m_mirrorKeys[i], m_mirrorKeys[j]));
            if (!nested)
                left += static_cast<int64_t>(m_index.CountTree(m_mirrorKeys[i], true));
        }
        for (const auto& spot : m_spots)
            if (spot.role == SourceRole::Overlaps)
                left -= static_cast<int64_t>(m_index.CountTree(spot.MirrorKey(), true));
        left = std::max<int64_t>(left, 0);
        damage.mirrored += left;
        damage.deleted = std::max<int64_t>(left - m_replacedFiles, 0);
        damage.overwritten += std::min(m_replacedFiles, left);
        damage.unexcluded += UnexcludedLeft();
        return damage;
    }

    // The journal line of a tag and the moment now.
    std::string Stamped(Tag tag) { return StampLine(tag, m_clock.Now(), TimeSeparator()); }

    // The patterns of this complete pass, for the next one to tell a removed pattern (see
    // KeptByRemovedPattern); written only when they differ from what the file holds (a missing
    // file holds none).
    void KeepPatterns() {
        std::vector<std::string> patterns;
        for (const auto& pattern : m_s.Exclude)
            if (!pattern.empty())
                patterns.push_back(pattern);
        if (m_storedPatterns != patterns)
            StorePatterns(m_root + Wide(kExclusionsName), m_temp, patterns);
    }

    PassResult Refused(PassRefusal why, const std::string& path) {
        m_result.refusal = why;
        m_result.path = path;
        m_result.versionsRemovedEarly = m_versions->RemovedEarly(); // making room before it gave up
        return m_result;
    }

    bool Stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }
    // Copying goes on: neither stopped nor at the floor.
    bool Copying() const { return !m_floorReached && !Stopped(); }

    // Whether an entry of `cost` (see SpaceBudget) fits above the floor; once one does not,
    // copying stops before it. Held versions never stop today's backup: while the floor is
    // reached, the budget has the oldest stamped folders (never this pass's) removed.
    bool RoomFor(int64_t cost) {
        m_floorReached = !m_space->RoomFor(cost);
        return !m_floorReached;
    }

    // ---- Held versions: what a pass deletes or overwrites, kept in a folder stamped with its start ----

    bool Holding() const { return m_versions->Holding(); }

    // The drive's free space once held versions have given way to the reserve (see PassVersions).
    // Only a pass that runs on does this: a paused pass prunes nothing.
    int64_t FreeAboveReserve() {
        return m_versions->FreeAboveReserve(DriveFree(m_rootFull), m_reserve,
                                            [this] { return DriveFree(m_rootFull); });
    }

    // ---- The journal: paths in code page 1251, what it cannot hold as "<U+XXXX>" ----

    // New, Update and a failed copy name the full mirror path.
    void Report(Tag tag, const std::wstring& mirrorRel) { Line(tag, m_rootText + JournalText(mirrorRel)); }

    // Delete and a failed deletion name the path relative to the mirror folder.
    void ReportStale(Tag tag, const std::wstring& rel) { Line(tag, JournalText(rel)); }

    // Every line of the stages: the lines of the copies asked for before it come first.
    void Line(Tag tag, const std::string& path) {
        FinishCopiesAhead(0);
        Write(tag, path);
    }

    void Write(Tag tag, const std::string& path) {
        m_journal->Append(FormatJournalLine(tag, path));
        if (tag == Tag::Failed)
            m_result.failed.push_back(path);
    }

    // ---- The listed sources ----

    // Which listed sources this pass mirrors (see PlanListedSources).
    void PlanSources() {
        std::vector<std::wstring> patterns;
        for (const auto& pattern : m_s.Exclude)
            patterns.push_back(WidenCp1251(pattern));
        m_exclusions = Exclusions(patterns, FileSystemUpperTable());
        // The patterns the last complete pass used that are no longer listed: what the mirror holds
        // of the entries they named was kept as it was, and is compared again from this pass on.
        m_storedPatterns = ReadStoredPatterns(m_root + Wide(kExclusionsName));
        std::vector<std::wstring> removed;
        for (const auto& pattern : m_storedPatterns)
            if (std::find(m_s.Exclude.begin(), m_s.Exclude.end(), pattern) == m_s.Exclude.end())
                removed.push_back(WidenCp1251(pattern));
        m_removedExclusions = Exclusions(removed, FileSystemUpperTable());
        m_spots = PlanListedSources(m_s, m_rootFull, m_rootLong, &m_exclusions);
        for (const auto& spot : m_spots) {
            if (spot.role == SourceRole::InsideMirror)
                m_ownRels.push_back(spot.ownRel);
            if (spot.role == SourceRole::Mirror)
                m_mirrorKeys.push_back(WithoutSeparator(MirrorRelOf(spot.form)));
        }
    }

    // A source the pass refuses gets a line at its turn; the mirror paths it names are left alone.
    bool RefuseAtItsTurn(const SourceSpot& spot) {
        if (spot.role != SourceRole::InsideMirror && spot.role != SourceRole::Overlaps &&
            spot.role != SourceRole::Unmappable && spot.role != SourceRole::Unreachable)
            return false;
        Line(Tag::Failed, spot.written);
        return true;
    }

    // True for a mirror path at or below a source that lies inside the mirror folder: the user's
    // own files there are neither overwritten nor deleted.
    bool IsOwnedByUser(const std::wstring& mirrorRel) const {
        for (const auto& own : m_ownRels)
            if (IsKeyAtOrBelow(mirrorRel, WithoutSeparator(own), SameFileName))
                return true;
        return false;
    }

    // ---- The index walk: everything under the mirror folder except the pass's own files ----

    void Walk(const std::wstring& rel, BackupIndex::Node folder) {
        const bool found = SearchFolder(m_root + rel + L"*", [&](const WideEntry& e) {
            if (Stopped())
                return false;
            if (e.Name == L"." || e.Name == L"..")
                return true;
            if (rel.empty() && IsPassOwnName(e.Name))
                return true;
            const BackupIndex::Node node = m_index.Add(folder, e.Name, TFileParam{e.Time, e.Size, e.Attr});
            if ((e.Attr & kFolderBit) && (e.Attr & kLinkBit))
                m_walkGaps.push_back(rel + e.Name + L"\\"); // never reach through a link out of the mirror
            else if (e.Attr & kFolderBit)
                Walk(rel + e.Name + L"\\", node);
            return true;
        });
        if (!found || Stopped())
            m_walkGaps.push_back(rel); // what it holds is unknown
    }

    // True the first time the directory stage comes to the mirror folder `rel` (empty or ending
    // in "\") when the index walk searched it fully: the index then tells what it holds.
    bool FirstVisitOfIndexedFolder(const std::wstring& rel) {
        for (const auto& gap : m_walkGaps)
            if (IsAtOrBelow(rel, gap))
                return false;
        return m_visited.insert(FileSystemKey(rel)).second;
    }

    // ---- Comparing: every listed source against the index, before anything is copied ----

    // The walk of the listed folders that comparing walks, in its order, on a thread of its own.
    void StartSourceLister() {
        std::vector<std::wstring> roots;
        for (const auto& spot : m_spots)
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
    bool Enters(const std::wstring& root, const std::wstring& rel, const std::wstring& rootLong,
                const WideEntry& e) const {
        if (!(e.Attr & kFolderBit) || m_exclusions.Excludes(rootLong, rel, e.Name, true))
            return false;
        const std::wstring src = root + rel + e.Name;
        return !IsWalledOff(src, rootLong + rel + e.Name, root + rel, (e.Attr & kLinkBit) != 0) &&
               !IsRefused(MirrorRelOf(src));
    }

    // A source folder never entered: the mirror folder itself, or a link back up the tree (whose
    // content is being mirrored already).
    bool IsWalledOff(const std::wstring& src, const std::wstring& longSrc, const std::wstring& dir,
                     bool isLink) const {
        return IsMirrorFolder(src, longSrc) || (isLink && LeadsBack(src, dir));
    }

    // The pass's own names, or the user's files in the mirror folder.
    bool IsRefused(const std::wstring& mirrorRel) const {
        return IsPassOwnName(mirrorRel) || IsOwnedByUser(mirrorRel);
    }

    // Walks every listed folder in the order of the directory stage, and looks at every listed file,
    // deciding what each entry needs; what the mirror holds as it is leaves the index here.
    void CompareSources() {
        for (size_t i = 0; i < m_spots.size() && !Stopped(); ++i) {
            const SourceSpot& spot = m_spots[i];
            if (spot.role != SourceRole::Mirror)
                continue;
            if (spot.folder)
                CompareSource(i);
            else
                CompareListedFile(i);
        }
    }

    void CompareSource(size_t spotIndex) {
        const std::wstring& root = m_spots[spotIndex].form;
        m_sourceLong = WithSeparator(LongFullPath(root));
        PlannedSource source{spotIndex, static_cast<uint32_t>(m_plan.size()), 0,
                             FirstVisitOfIndexedFolder(MirrorRelOf(root))};
        m_topLostEntries = false;
        const size_t listedBefore = m_listed;
        CompareFolder(root, L"", kNoParent, false);
        // A share shows an empty top to a user without rights to it: one that lists nothing while
        // its mirror holds files is taken as unreachable, not as emptied, so that a share seen
        // under other rights never deletes its backup (nor trips the guard).
        const std::wstring key = WithoutSeparator(MirrorRelOf(root));
        if (m_listed == listedBefore && IsNetworkPath(root) && m_index.CountTree(key, true) > 0) {
            m_index.RemoveTree(key);
            m_spots[spotIndex].role = SourceRole::Unreachable;
            return;
        }
        source.end = static_cast<uint32_t>(m_plan.size());
        source.indexed = source.indexed && !m_topLostEntries;
        m_plannedSources.push_back(source);
    }

    // The mirror folder is recognised however either side is written (letter case, "..", short
    // names): both are compared in their long full form.
    bool IsMirrorFolder(const std::wstring& src, const std::wstring& longSrc) const {
        return SameFileName(src + L"\\", m_rootFull) || SameFileName(longSrc + L"\\", m_rootLong);
    }

    // Compares root + rel (rel empty or ending in "\"), planned as `parent`. `fresh`: its mirror
    // folder is to be made by this pass, so the mirror holds nothing in it.
    void CompareFolder(const std::wstring& root, const std::wstring& rel, uint32_t parent, bool fresh) {
        const std::wstring dir = root + rel;
        const bool found = m_lister->List(dir, [&](const WideEntry& listed) {
            if (Stopped())
                return false;
            ++m_listed;
            CompareOne(root, rel, listed, parent, fresh);
            return true;
        });
        if (!found) {
            const DWORD why = GetLastError();
            // An existing empty folder (a drive root lists no "." entry) is not unreachable; the
            // mirror keeps what it holds of one that cannot be read.
            if (why != ERROR_FILE_NOT_FOUND || !IsFolder(ExtendedPath(dir)))
                m_index.RemoveTree(WithoutSeparator(MirrorRelOf(dir)));
        }
    }

    // One source entry compared with what the mirror holds under its name.
    void CompareOne(const std::wstring& root, const std::wstring& rel, WideEntry e, uint32_t parent,
                    bool fresh) {
        const bool isFolder = (e.Attr & kFolderBit) != 0;
        if (m_exclusions.Excludes(m_sourceLong, rel, e.Name, isFolder)) {
            if (!fresh)
                KeepMirrorOf(MirrorRelOf(root + rel + e.Name), parent);
            return; // neither compared nor entered
        }
        // A link is mirrored as the entry it leads to; the mirror cannot hold a link.
        const bool isLink = (e.Attr & kLinkBit) != 0;
        e.Attr &= ~kLinkBit;
        const std::wstring src = root + rel + e.Name;
        if (isFolder && IsWalledOff(src, m_sourceLong + rel + e.Name, root + rel, isLink))
            return;
        const std::wstring mirrorRel = MirrorRelOf(src);
        Planned entry{.size = e.Size,
                      .parent = parent,
                      .nameAt = static_cast<uint32_t>(m_planNames.size()),
                      .known = BackupIndex::kNone,
                      .attr = e.Attr,
                      .nameSize = static_cast<uint16_t>(e.Name.size()),
                      .act = Act::Copy,
                      .flags = 0};
        if (IsRefused(mirrorRel)) {
            entry.act = Act::Refuse;
        } else if (const BackupIndex::Node known = fresh ? BackupIndex::kNone : m_index.FindNode(mirrorRel);
                   known != BackupIndex::kNone) {
            entry.known = known;
            const TFileParam& was = m_index.Param(known);
            if (KindDiffers(was, e.Attr) || (was.Attr & kLinkBit)) {
                entry.act = Act::Replace; // a file became a folder or the reverse, or a link
                m_replacedFiles += (was.Attr & kFolderBit) ? 0 : 1;
            } else {
                entry.act = NeedsUpdate(was, StampOf(e), isFolder) ? Act::Update : Act::Keep;
                if (CountCompared(was, e) && KeptByRemovedPattern(m_sourceLong, rel + e.Name))
                    ++m_damage.unexcluded;
                m_index.Remove(known);
            }
        }
        if (entry.act == Act::Keep && !isFolder)
            return; // nothing to do, and nothing below it
        if (entry.act != Act::Keep && entry.act != Act::Refuse)
            m_progress.Plan(WeightOf(e));
        if (isFolder && entry.act != Act::Refuse && FirstVisitOfIndexedFolder(mirrorRel + L"\\"))
            entry.flags |= kIndexedFolder;
        m_planNames += e.Name;
        const uint32_t self = static_cast<uint32_t>(m_plan.size());
        m_plan.push_back(entry);
        if (isFolder && entry.act != Act::Refuse)
            CompareFolder(root, rel + e.Name + L"\\", self,
                          fresh || entry.act == Act::Copy || entry.act == Act::Replace);
    }

    // What the mirror holds of an entry the user excludes stays exactly as it is: it leaves the
    // index, so that nothing of it is deleted, updated or held (except what another listed source
    // mirrors there, which that source compares). Its mirror folder no longer shows in the index
    // all it holds.
    void KeepMirrorOf(const std::wstring& mirrorRel, uint32_t parent) {
        std::vector<std::wstring> kept;
        for (const auto& key : m_mirrorKeys) {
            if (SameFileName(key, mirrorRel))
                return; // listed itself: its own source compares all of it
            if (IsKeyAtOrBelow(key, mirrorRel, SameFileName))
                kept.push_back(key);
        }
        if (m_index.RemoveTree(mirrorRel, kept) == 0)
            return;
        if (parent == kNoParent)
            m_topLostEntries = true;
        else
            m_plan[parent].flags &= static_cast<uint8_t>(~kIndexedFolder);
    }

    // A mirror file comparing found under its source's name: one more of the backup, and one
    // overwritten when its content changes (a change of attributes alone is made in place). True
    // for one overwritten.
    bool CountCompared(const TFileParam& was, const WideEntry& e) {
        if (was.Attr & kFolderBit)
            return false;
        ++m_damage.mirrored;
        if (was.Time == e.Time && was.Size == e.Size)
            return false;
        ++m_damage.overwritten;
        return true;
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
    bool KeptByRemovedPattern(const std::wstring& listedLong, const std::wstring& entryRel) const {
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
    int64_t UnexcludedLeft() const {
        if (m_removedExclusions.Empty())
            return 0;
        int64_t count = 0;
        m_index.ForEach([&](const std::wstring& rel, const TFileParam& p) {
            if (p.Attr & kFolderBit)
                return;
            for (const auto& spot : m_spots) {
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

    static int64_t WeightOf(const WideEntry& e) {
        return (e.Attr & kFolderBit) ? kEntryWeight : e.Size + kEntryWeight;
    }

    void CompareListedFile(size_t spotIndex) {
        const std::wstring& form = m_spots[spotIndex].form;
        const std::wstring src = ExtendedPath(form);
        const std::wstring rel = MirrorRelOf(form);
        PlannedFile file{spotIndex, Act::Keep};
        WideEntry e;
        if (!ReadEntry(src, e) || (e.Attr & kFolderBit)) {
            if (!rel.empty())
                m_index.Remove(rel); // an unreachable source file keeps its mirror copy
            return;
        }
        if (IsRefused(rel)) {
            file.act = Act::Refuse;
        } else if (const BackupIndex::Node known = m_index.FindNode(rel); known == BackupIndex::kNone) {
            file.act = Act::Copy;
        } else if (m_index.Param(known).Attr & kFolderBit) {
            file.act = Act::Replace; // the mirror holds a folder of the file's name (counted as left)
        } else {
            const TFileParam& was = m_index.Param(known);
            e.Attr &= ~kLinkBit; // a link to a file is mirrored as the file
            file.act = NeedsUpdate(was, StampOf(e), false) ? Act::Update : Act::Keep;
            if (file.act == Act::Update)
                CountCompared(was, e);
            else
                ++m_damage.mirrored;
            m_index.Remove(known);
        }
        if (file.act == Act::Copy || file.act == Act::Update || file.act == Act::Replace)
            m_progress.Plan(WeightOf(e));
        m_plannedFiles.push_back(file);
    }

    // ---- Progress ----

    // What the deletion stage will have to do, as far as comparing can tell: the index less what
    // refused sources keep.
    int64_t DeletionsAhead() const {
        int64_t ahead = static_cast<int64_t>(m_index.Count());
        for (const auto& spot : m_spots)
            if (spot.role == SourceRole::Overlaps)
                ahead -= static_cast<int64_t>(m_index.CountTree(spot.MirrorKey()));
        return std::max<int64_t>(ahead, 0);
    }

    void Advance(int64_t weight) {
        m_progress.Done(weight);
        ReportProgress();
    }

    void ReportProgress() {
        m_display.SetGaugeProgress(m_progress.Percent());
        const double copying =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_copyingSince).count();
        std::string hint = WorkingHint(m_progress.Percent(), m_progress.SecondsLeft(copying));
        if (hint != m_hint) {
            m_display.SetTrayHint(hint);
            m_hint = std::move(hint);
        }
    }

    // ---- The directory stage: what comparing planned, in the same order ----

    void DirectoryStage() {
        m_copier.emplace(kCopierThreads, m_stop, CopyNewFile);
        size_t next = 0; // the next planned source
        for (size_t i = 0; i < m_spots.size() && Copying(); ++i) {
            const SourceSpot& spot = m_spots[i];
            if (!spot.folder || RefuseAtItsTurn(spot) || spot.role != SourceRole::Mirror)
                continue;
            if (next < m_plannedSources.size() && m_plannedSources[next].spot == i)
                ActOnSource(m_plannedSources[next++]);
        }
        FinishCopiesAhead(0);
        m_copier.reset();
    }

    // A folder the stage is in: its path, what is known of its mirror folder, and whether what was
    // planned in it is left out (its source went away or changed kind).
    struct OpenFolder {
        uint32_t planned;
        size_t relSize;
        MirrorFolder folder;
        bool leftOut;
    };

    void ActOnSource(const PlannedSource& source) {
        const std::wstring& root = m_spots[source.spot].form;
        std::wstring rel; // the entry's folder below root: empty or ending in "\"
        std::vector<OpenFolder> open{{kNoParent, 0, MirrorFolder{false, false, source.indexed}, false}};
        for (uint32_t i = source.begin; i < source.end && Copying(); ++i) {
            const Planned& p = m_plan[i];
            while (open.back().planned != p.parent)
                open.pop_back();
            rel.resize(open.back().relSize);
            const std::wstring name = m_planNames.substr(p.nameAt, p.nameSize);
            const std::optional<MirrorFolder> entered =
                ActOnEntry(root, rel, name, p, open.back().folder, open.back().leftOut);
            if (p.attr & kFolderBit) {
                rel += name + L"\\";
                open.push_back({i, rel.size(), entered.value_or(MirrorFolder{}), !entered});
            }
        }
    }

    // One entry's way through the directory stage: is it still what was compared, what the pass does
    // with it, and the line that says so. For a folder, what is then known of its mirror folder;
    // nothing when what lies below it is left out.
    std::optional<MirrorFolder> ActOnEntry(const std::wstring& root, const std::wstring& rel,
                                           const std::wstring& name, const Planned& p, MirrorFolder& folder,
                                           bool leftOut) {
        const bool isFolder = (p.attr & kFolderBit) != 0;
        if (leftOut) {
            Advance(WeightIfPlanned(p));
            return std::nullopt;
        }
        const std::wstring src = root + rel + name;
        const std::wstring mirrorRel = MirrorRelOf(src);
        switch (p.act) {
        case Act::Keep: // a folder the mirror holds as it is
            return MirrorFolder{false, false, (p.flags & kIndexedFolder) != 0};
        case Act::Refuse:
            Report(Tag::Failed, mirrorRel);
            return std::nullopt;
        default:
            break;
        }
        // The source as it is now: one that went away or changed kind is left out without a line
        // (the next pass sees what happened); one that changed is copied as it is. One that is
        // there but cannot be read (a name the file system lists but refuses, a file held by the
        // system) is Failed, as its copy would be.
        WideEntry e;
        const bool read = ReadEntry(ExtendedPath(src), e);
        if (!read && !IsNotFound(GetLastError()))
            Report(Tag::Failed, mirrorRel);
        if (!read || ((e.Attr & kFolderBit) != 0) != isFolder) {
            Advance(WeightIfPlanned(p));
            return std::nullopt;
        }
        e.Attr &= ~kLinkBit;
        MirrorEntry there{folder.Fresh || p.known == BackupIndex::kNone ? nullptr : &m_index.Param(p.known),
                          false};
        if (p.act == Act::Replace) {
            DeleteStaleTree(mirrorRel); // a file became a folder or the reverse, or a link
            there.known = nullptr;      // and what could not be deleted is still there
            const std::optional<int32_t> left = AttributesOf(m_root + mirrorRel);
            if (left && (*left & kLinkBit)) {
                Report(Tag::Failed, mirrorRel); // never copy through a link out of the mirror
                Advance(WeightIfPlanned(p));
                return std::nullopt;
            }
        }
        there.knownAbsent = !there.known && (folder.Fresh || folder.Indexed);
        const bool making = !isFolder || p.act == Act::Copy || p.act == Act::Replace;
        if (making && !RoomFor(isFolder ? m_space->FolderCost() : m_space->FileCost(e.Size)))
            return std::nullopt; // at the floor: this entry is not started, and copying ends
        if (p.act == Act::Copy && CopyAhead(src, mirrorRel, e, there, folder))
            return std::nullopt; // a file: nothing lies below it
        bool made = false;       // a folder that was not in the mirror and is now
        const Copied copied = CopyEntry(src, mirrorRel, e, there, folder, made);
        if (made)
            m_space->Charge(m_space->FolderCost());
        if (copied == Copied::Stopped)
            return std::nullopt; // no line: the copy was abandoned, the mirror's entry is as it was
        if (copied == Copied::Gone) {
            Advance(WeightIfPlanned(p));
            return std::nullopt;
        }
        Report(copied == Copied::Failed ? Tag::Failed
               : p.act == Act::Update   ? Tag::Update
                                        : Tag::New,
               mirrorRel);
        Advance(isFolder ? kEntryWeight : std::max<int64_t>(kEntryWeight + e.Size - m_blockBytes, 0));
        return MirrorFolder{made, made, (p.flags & kIndexedFolder) && !made};
    }

    // A new file whose name the stage knows to be free, settled and small, as CopyEntry would copy
    // it with CopyAsNew, goes to the copiers; its line comes when its turn does. It is charged to
    // the budget now and given back if it is not copied.
    bool CopyAhead(const std::wstring& src, const std::wstring& mirrorRel, const WideEntry& e,
                   const MirrorEntry& there, MirrorFolder& folder) {
        if ((e.Attr & kFolderBit) || there.known || !there.knownAbsent || !IsSettled(e.Time) ||
            e.Size >= kLargeFileBytes)
            return false;
        if (!folder.Ready) {
            CreateDirChain(FileDirOf(m_root + mirrorRel));
            folder.Ready = true;
        }
        m_space->Charge(m_space->FileCost(e.Size));
        m_costAhead += m_space->FileCost(e.Size);
        m_copier->Add(ExtendedPath(src), m_root + mirrorRel, e.Attr, e.Size, e.Written);
        FinishCopiesAhead(kCopiesAhead - 1); // room for the next
        return true;
    }

    // Writes the lines of the copies asked for, oldest first: of those finished, and waiting for
    // those under way until at most `keep` are outstanding. A copy the stop kept from starting
    // gets no line, as a copy abandoned in the middle.
    void FinishCopiesAhead(size_t keep) {
        NewFileCopier::Copy copy;
        while (m_copier && m_copier->TakeFinished(copy, m_copier->Outstanding() > keep)) {
            m_costAhead -= m_space->FileCost(copy.Size);
            if (copy.Result == NewFileCopier::Outcome::NameTaken) {
                WideEntry e = AsRead(copy);
                const bool copied = vestrand::CopyIntoMirror(copy.Source, copy.Target, m_temp, e);
                if (copied && !CopyCarries(e.Attr))
                    SetMirrorAttributes(copy.Target, e.Attr);
                copy.Result = copied                ? NewFileCopier::Outcome::Done
                              : IsGone(copy.Source) ? NewFileCopier::Outcome::Gone
                                                    : NewFileCopier::Outcome::Failed;
            }
            if (copy.Result != NewFileCopier::Outcome::Done)
                m_space->GiveBack(m_space->FileCost(copy.Size));
            if (copy.Result == NewFileCopier::Outcome::NotStarted)
                continue;
            if (copy.Result == NewFileCopier::Outcome::Gone) {
                Advance(kEntryWeight + copy.Size); // no line: the next pass sees it gone
                continue;
            }
            const bool done = copy.Result == NewFileCopier::Outcome::Done;
            Write(done ? Tag::New : Tag::Failed, m_rootText + JournalText(copy.Target.substr(m_root.size())));
            Advance(kEntryWeight + copy.Size);
        }
    }

    static int64_t WeightIfPlanned(const Planned& p) {
        if (p.act == Act::Keep || p.act == Act::Refuse)
            return 0;
        return (p.attr & kFolderBit) ? kEntryWeight : p.size + kEntryWeight;
    }

    // True when the folder link `link`, listed in `dir`, leads to `dir` itself, to a folder that
    // holds it, or to the mirror folder: entering it would go round for ever.
    bool LeadsBack(const std::wstring& link, std::wstring dir) const {
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

    // A copy that fails leaves the mirror entry as it was, its attributes included (it may be an
    // entry of the other kind that the pass keeps, for a source that cannot be reached). What the
    // pass knows of the mirror entry (`there`) is not asked of the file system again. `made` is set
    // for a folder entry that was not in the mirror and now is.
    Copied CopyEntry(const std::wstring& src, const std::wstring& mirrorRel, WideEntry& e,
                     const MirrorEntry& there, MirrorFolder& folder, bool& made) {
        const std::wstring mirror = m_root + mirrorRel;
        const std::wstring source = ExtendedPath(src);
        if (there.known && OnlyAttributesDiffer(*there.known, e))
            return SetAttributesInPlace(mirror, e.Attr);
        const std::optional<int32_t> before = there.known         ? std::optional<int32_t>(there.known->Attr)
                                              : there.knownAbsent ? std::nullopt
                                                                  : AttributesOf(mirror);
        const bool absent = !there.known && (there.knownAbsent || (!before && IsNotFound(GetLastError())));
        const bool hold = Holding() && there.known && !(there.known->Attr & kFolderBit) &&
                          !IsCutCopy(mirror, *there.known, source, e);
        if (!hold)
            UnprotectMirrorEntry(mirror,
                                 before); // a held copy keeps its attributes: a rename needs none cleared
        Copied copied = Copied::Failed;
        m_blockBytes = 0;
        if (e.Attr & kFolderBit) {
            if (!before && folder.Ready) {
                made = MakeFolder(mirror); // fails when the name is taken after all
                copied = made || IsFolder(mirror) ? Copied::Done : Copied::Failed;
            } else {
                CreateDirChain(mirror);
                copied = IsFolder(mirror) ? Copied::Done : Copied::Failed;
                made = copied == Copied::Done && absent;
            }
            folder.Ready = folder.Ready || copied == Copied::Done;
        } else {
            if (!folder.Ready) {
                CreateDirChain(FileDirOf(mirror));
                folder.Ready = true;
            }
            copied = absent && IsSettled(e.Time) && e.Size < kLargeFileBytes
                         ? CopyAsNew(source, mirror, e)
                         : CopyIntoMirror(source, mirror, e, hold ? m_versions->HeldPathOf(mirrorRel) : L"");
            if (copied == Copied::Done)
                m_space->Charge(m_space->FileCost(e.Size));
        }
        if (copied == Copied::Done &&
            ((e.Attr & kFolderBit) || e.Size >= kLargeFileBytes || !CopyCarries(e.Attr)))
            SetMirrorAttributes(mirror, e.Attr);
        else if (copied != Copied::Done && before)
            WriteAttributes(mirror, *before);
        return copied;
    }

    // A new file straight to its free name (see CopyToFreeName); through the temporary file when
    // the name was taken after all.
    Copied CopyAsNew(const std::wstring& source, const std::wstring& mirror, WideEntry& e) {
        switch (CopyToFreeName(source, mirror, e)) {
        case NewFileCopier::Outcome::Done:
            return Copied::Done;
        case NewFileCopier::Outcome::NameTaken:
            return CopyIntoMirror(source, mirror, e, L"");
        case NewFileCopier::Outcome::Gone:
            return Copied::Gone;
        default:
            return Copied::Failed;
        }
    }

    // Copies `source` to the temporary file and from there over `mirror` (see the free function of
    // that name); a large file goes in blocks, so that a stop takes effect inside it and the gauge
    // moves. Abandoned, it leaves no temporary file and the mirror's previous copy as it was.
    Copied CopyIntoMirror(const std::wstring& source, const std::wstring& mirror, WideEntry& e,
                          const std::wstring& holdAs) {
        if (e.Size < kLargeFileBytes) {
            if (vestrand::CopyIntoMirror(source, mirror, m_temp, e, holdAs))
                return Copied::Done;
            return IsGone(source) ? Copied::Gone : Copied::Failed;
        }
        for (int tries = 0; tries < kCopyTries; ++tries) {
            WriteAttributes(m_temp, 0);
            const BlockCopy copied = CopyFileInBlocks(source, m_temp, kCopyBlockBytes, [&](int64_t bytes) {
                m_blockBytes += bytes;
                Advance(bytes);
                return !Stopped();
            });
            if (copied == BlockCopy::Stopped)
                return Copied::Stopped;
            if (copied == BlockCopy::Failed)
                return IsGone(source) ? Copied::Gone : Copied::Failed;
            if (StillAsRead(source, e))
                return vestrand::PublishTemp(mirror, m_temp, holdAs) ? Copied::Done : Copied::Failed;
        }
        vestrand::PublishTemp(mirror, m_temp, L"", false); // written again while copied: removed
        return Copied::Failed;
    }

    // Only the attributes of a file changed (a read-only or hidden mark): the mirror's copy gets them
    // in place, and nothing is copied or held, as its content is the source's.
    static bool OnlyAttributesDiffer(const TFileParam& was, const WideEntry& e) {
        return !(e.Attr & kFolderBit) && !(was.Attr & (kFolderBit | kLinkBit)) && was.Time == e.Time &&
               was.Size == e.Size && was.Attr != e.Attr;
    }

    static Copied SetAttributesInPlace(const std::wstring& mirror, int32_t attr) {
        return SetFileAttributesW(mirror.c_str(), static_cast<DWORD>(attr)) ? Copied::Done : Copied::Failed;
    }

    // A copy that a killed pass cut short at its name: shorter than the source, written after the
    // source was, and the first bytes of it. Holding it would keep nothing of the user's that the
    // new copy does not hold, under the name of a version of it. (Only files that small go straight
    // to their names.)
    static bool IsCutCopy(const std::wstring& mirror, const TFileParam& was, const std::wstring& source,
                          const WideEntry& e) {
        return was.Size < e.Size &&
               was.Size<kLargeFileBytes&& static_cast<uint32_t>(was.Time)> static_cast<uint32_t>(e.Time) &&
               IsLeadingPartOf(mirror, source);
    }

    // A source stamped more than a day before the pass: a copy of it cut short now cannot carry
    // its stamp (the day covers clock shifts as well as the two-second steps of the stamp).
    bool IsSettled(DosDateTime stamp) const { return static_cast<uint32_t>(stamp) < m_settledBefore; }

    // ---- The file stage: the listed files, as comparing found them ----

    // Once copying has ended (the floor, a stop), refused sources still get their lines.
    void FileStage() {
        size_t next = 0;
        for (size_t i = 0; i < m_spots.size(); ++i) {
            const SourceSpot& spot = m_spots[i];
            if (spot.folder || RefuseAtItsTurn(spot) || spot.role != SourceRole::Mirror || !Copying())
                continue; // not a file, refused, covered by a listed folder, or not in drive-letter form
            while (next < m_plannedFiles.size() && m_plannedFiles[next].spot < i)
                ++next;
            if (next < m_plannedFiles.size() && m_plannedFiles[next].spot == i)
                ActOnListedFile(m_plannedFiles[next]);
        }
    }

    void ActOnListedFile(const PlannedFile& file) {
        const std::wstring& form = m_spots[file.spot].form;
        const std::wstring src = ExtendedPath(form);
        const std::wstring rel = MirrorRelOf(form);
        if (file.act == Act::Refuse) {
            Report(Tag::Failed, rel);
            return;
        }
        if (file.act == Act::Keep)
            return;
        WideEntry e;
        const bool read = ReadEntry(src, e);
        if (!read && !IsNotFound(GetLastError()))
            Report(Tag::Failed, rel);
        if (!read || (e.Attr & kFolderBit))
            return; // gone since it was compared: the next pass sees it
        e.Attr &= ~kLinkBit;
        if (file.act == Act::Replace)
            DeleteStaleTree(rel); // the mirror holds a folder of the file's name
        if (!RoomFor(m_space->FileCost(e.Size)))
            return; // at the floor: the file is not started
        const Copied copied = CopyListedFile(src, rel, e);
        if (copied == Copied::Stopped || copied == Copied::Gone)
            return;
        Report(copied == Copied::Failed  ? Tag::Failed
               : file.act == Act::Update ? Tag::Update
                                         : Tag::New,
               rel);
        Advance(std::max<int64_t>(kEntryWeight + e.Size - m_blockBytes, 0));
    }

    Copied CopyListedFile(const std::wstring& src, const std::wstring& rel, WideEntry& e) {
        const std::wstring mirror = m_root + rel;
        WideEntry there;
        if (ReadEntry(mirror, there) &&
            OnlyAttributesDiffer(TFileParam{there.Time, there.Size, there.Attr}, e))
            return SetAttributesInPlace(mirror, e.Attr);
        const std::optional<int32_t> before = AttributesOf(mirror);
        const bool hold = Holding() && before && !(*before & kFolderBit);
        if (!hold)
            UnprotectMirrorEntry(mirror, before);
        CreateDirChain(FileDirOf(mirror));
        m_blockBytes = 0;
        const Copied copied = CopyIntoMirror(src, mirror, e, hold ? m_versions->HeldPathOf(rel) : L"");
        if (copied == Copied::Done) {
            m_space->Charge(m_space->FileCost(e.Size));
            SetMirrorAttributes(mirror, ReadAttributes(src));
        } else if (before) {
            WriteAttributes(mirror, *before);
        }
        return copied;
    }

    // ---- The deletion stage ----

    // False when a stop ended it before its last entry.
    bool DeletionStage() {
        bool complete = true;
        m_index.ForEach([&](const std::wstring& rel, const TFileParam& p) {
            complete = complete && !Stopped(); // a stop ends the stage at the next entry
            if (complete)
                DeleteStale(rel, p);
        });
        return complete;
    }

    // One stale entry, with the line of the deletion stage: "Delete " + rel, "Failed " + rel for a
    // file that stays, no line for a folder that cannot be removed.
    void DeleteStale(const std::wstring& rel, const TFileParam& p) {
        const std::wstring path = m_root + rel;
        Advance(kEntryWeight);
        if (Holding() && !(p.Attr & kFolderBit)) {
            ReportStale(m_versions->Hold(rel) ? Tag::Delete : Tag::Failed,
                        rel); // a held file stays where it is when it cannot be moved
            return;
        }
        WriteAttributes(path, 0);
        if (p.Attr & kFolderBit) {
            if (RemoveFolder(path))
                ReportStale(Tag::Delete, rel);
        } else {
            const bool ok = DeleteFileW(path.c_str()) != 0 || !IsFile(path);
            ReportStale(ok ? Tag::Delete : Tag::Failed, rel);
        }
    }

    // A mirror entry of the other kind than its source entry is stale: it is deleted before the
    // source entry is copied in its place (which then counts as New). A folder goes with its
    // content, innermost first, so that it is empty when its own turn comes; each entry gets the
    // line the deletion stage would give it. What cannot be deleted stays, and the copy over it
    // is reported as failed.
    void DeleteStaleTree(const std::wstring& rel) {
        const auto stale = m_index.TakeTree(rel); // index order: a folder before its content
        for (auto it = stale.rbegin(); it != stale.rend(); ++it)
            DeleteStale(it->first, it->second);
    }

    const BackupSettings& m_s;
    bool m_autoRunOnce;
    bool m_confirmed; // the user confirmed this pass's plan, whatever it destroys
    IBackupDisplay& m_display;
    ISchedule& m_schedule;
    IClock& m_clock;
    const std::atomic<bool>* m_stop;
    bool m_floorReached = false; // copying stopped at the free-space floor
    // The mirror folder, opened (see OpenedMirror), and the copy in progress at its top.
    const std::string& m_rootText;
    const std::wstring& m_rootFull;
    const std::wstring& m_root;
    const std::wstring& m_rootLong;
    const std::wstring m_temp;
    std::wstring m_sourceLong;     // the source folder being mirrored, in its long full form
    bool m_topLostEntries = false; // an exclusion took entries at its top out of the index
    size_t m_listed = 0;           // source entries comparing has listed so far
    Exclusions m_exclusions;
    Exclusions m_removedExclusions;             // the patterns of the last complete pass no longer listed
    std::vector<std::string> m_storedPatterns;  // as the exclusions file holds them
    std::vector<std::wstring> m_mirrorKeys;     // mirror paths of the sources mirrored, as the index has them
    std::vector<std::wstring> m_walkGaps;       // mirror folders the index walk could not search
    std::unordered_set<std::wstring> m_visited; // file-system keys of mirror folders the stage came to
    uint32_t m_settledBefore = 0;               // packed stamp of the moment a day before the pass
    DateTime m_start = 0;                       // when the pass began: the stamp of what it holds
    std::optional<PassVersions> m_versions;     // from the pass's start
    std::optional<SpaceBudget> m_space;         // the room above the free-space floor, from the pass's start
    int64_t m_reserve = 0;                      // the free space held versions leave (see VersionsReserve)
    BackupIndex m_index;
    std::vector<Planned> m_plan;
    std::wstring m_planNames;
    std::vector<PlannedSource> m_plannedSources;
    std::vector<PlannedFile> m_plannedFiles;
    std::optional<NewFileCopier> m_copier; // during the directory stage
    int64_t m_costAhead = 0;               // what the copies asked for and not taken back were charged
    PassProgress m_progress;
    PlanDamage m_damage;         // what comparing counted of the mirror files it found
    int64_t m_replacedFiles = 0; // mirror files a folder of their name replaces (still in the index)
    std::chrono::steady_clock::time_point m_copyingSince;
    std::string m_hint;       // the tray hint last shown
    int64_t m_blockBytes = 0; // of the file being copied, what went to the gauge block by block
    Journal* m_journal = nullptr;
    std::vector<SourceSpot> m_spots;      // the listed sources with what the pass does with each
    std::vector<std::wstring> m_ownRels;  // mirror paths of sources inside the mirror folder: the user's
    std::optional<SourceLister> m_lister; // during comparing
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
