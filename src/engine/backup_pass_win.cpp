#include "engine/backup_pass_win.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <unordered_set>
#include <vector>

#include "engine/backup_index_win.h"
#include "engine/fileops_win.h"
#include "engine/journal_win.h"
#include "engine/source_plan.h"
#include "runtime/cp1251.h"
#include "runtime/handles_win.h"
#include "runtime/platform_win.h"

namespace vestrand {
namespace {

constexpr int64_t kBudgetRecheck = 500000;
constexpr int32_t kFolderBit = FILE_ATTRIBUTE_DIRECTORY;
// A link (symbolic link or junction): the mirror holds what it leads to, as a plain entry.
constexpr int32_t kLinkBit = FILE_ATTRIBUTE_REPARSE_POINT;
constexpr int32_t kProtectingBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// A copy in progress. It lies at the top of the mirror folder, where the index walk leaves it out
// like the journal's files, so no mirror entry can share its name (a source entry that would map
// onto one of these names is reported as failed instead of copied).
constexpr const char* kCopyTempName = "copy.~vestrand.tmp";

// The journal's tags, all seven characters wide.
enum class Tag { New, Update, Delete, Failed };

const char* TextOf(Tag tag) {
    switch (tag) {
    case Tag::New:
        return "New    ";
    case Tag::Update:
        return "Update ";
    case Tag::Delete:
        return "Delete ";
    case Tag::Failed:
        break;
    }
    return "Failed ";
}

std::wstring Wide(const char* ascii) {
    return WidenCp1251(ascii);
}

bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::wstring WithSeparator(std::wstring path) {
    if (path.empty() || path.back() != L'\\')
        path += L'\\';
    return path;
}

std::wstring WithoutSeparator(std::wstring path) {
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

// The full form in which a listed source is mapped, so that "x\..\y" or "a/b" give the mirror
// paths of what they name; short (8.3) names are kept as written. Empty for a source that is not in
// drive-letter form.
std::wstring SourceForm(const std::string& written) {
    if (!IsDriveSource(written))
        return std::wstring();
    const std::wstring full = FullPath(WidenCp1251(written));
    return full.size() >= 3 && full[1] == L':' && full[2] == L'\\' ? full : WidenCp1251(written);
}

bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder) {
    return vestrand::IsAtOrBelow(path, folder, SameFileName);
}

bool KindDiffers(const TFileParam& p, int32_t attr) {
    return ((p.Attr ^ attr) & kFolderBit) != 0;
}

// The pass's own names at the top of the mirror folder, which no mirror entry may replace.
bool IsReservedRel(const std::wstring& rel) {
    if (rel.find(L'\\') != std::wstring::npos)
        return false;
    for (const char* own :
         {kJournalName, kJournalTempName, kCopyTempName, kPassLockName, kVersionsFolderName})
        if (SameFileName(rel, Wide(own)))
            return true;
    return false;
}

// A journal archive of this computer's folder in the backup folder ("yymmdd." + IdentifComp).
bool HasJournalArchive(const std::wstring& targetDir, const std::string& identifComp) {
    const std::wstring name = WidenCp1251(identifComp);
    bool found = false;
    SearchFolder(targetDir + L"??????." + name, [&](const WideEntry& e) {
        const bool digits =
            e.Name.size() > 7 && e.Name.find_first_not_of(L"0123456789") == 6 && e.Name[6] == L'.';
        found = digits && !(e.Attr & kFolderBit) && SameFileName(e.Name.substr(7), name);
        return !found;
    });
    return found;
}

// A folder this program mirrors into: it holds the mark that every pass leaves, the journal or
// the versions folder, or the backup folder holds an archive of its journal. An empty folder is
// taken too. Any other folder holds the user's own files, which a pass would delete.
bool IsMirrorOfThisProgram(const std::wstring& root, const std::wstring& targetDir,
                           const std::string& identifComp) {
    return ReadAttributes(root + Wide(kPassLockName)) != -1 || IsFile(root + Wide(kJournalName)) ||
           IsFolder(root + Wide(kVersionsFolderName)) || IsEmptyFolder(root) ||
           HasJournalArchive(targetDir, identifComp);
}

// The pass's hold on its mirror folder, released when the pass ends in any way.
class MirrorLock {
public:
    enum class Outcome { Taken, Busy, Failed };
    Outcome Take(const std::wstring& path) {
        // Read access only: a lock file that was made read-only still locks.
        m_file.Reset(
            CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_file)
            return Outcome::Taken;
        return GetLastError() == ERROR_SHARING_VIOLATION ? Outcome::Busy : Outcome::Failed;
    }

private:
    FileHandle m_file;
};

// Copies src over mirror through the temporary file `temp` (in the same volume), so that the mirror
// name holds either the previous copy or a complete new one. With `holdAs`, the previous copy is
// first moved there (a rename within the volume), so that at every moment it is under its name or
// held. Carries the source's time; the caller sets the attributes. The temporary file does not
// exist between copies (the pass removes one left by an earlier pass at its start, and every failed
// copy removes its own), so it is not cleared first: each platform call per file shows in a first
// pass.
bool CopyIntoMirror(const std::wstring& src, const std::wstring& mirror, const std::wstring& temp,
                    const std::wstring& holdAs = std::wstring()) {
    bool ok = CopyFileW(src.c_str(), temp.c_str(), FALSE) != 0;
    if (!ok && ReadAttributes(temp) != -1) {
        WriteAttributes(temp, 0); // a leftover the pass could not remove: clear it and try again
        DeleteFileW(temp.c_str());
        ok = CopyFileW(src.c_str(), temp.c_str(), FALSE) != 0;
    }
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

// Copies src to the mirror name of a file the mirror does not hold. With no earlier copy to keep,
// the copy goes straight to its name, which saves a rename per file in a first pass. A copy that
// fails is removed (nothing stood under that name, so the file there is the copy's own). A copy
// cut short by the end of the process keeps the size written so far and the time of its last
// write, which the directory stage compares with the source's, so the next pass replaces it; the
// caller sends sources written shortly before the pass through `temp` instead, as their time
// could be that of the cut copy.
bool CopyAsNew(const std::wstring& src, const std::wstring& mirror, const std::wstring& temp) {
    if (CopyFileW(src.c_str(), mirror.c_str(), TRUE))
        return true;
    const DWORD why = GetLastError();
    if (why == ERROR_FILE_EXISTS || why == ERROR_ALREADY_EXISTS)
        return CopyIntoMirror(src, mirror, temp); // the name was taken after all
    WriteAttributes(mirror, 0);
    DeleteFileW(mirror.c_str());
    return false;
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
    Pass(const BackupSettings& s, bool autoRunOnce, IBackupDisplay& d, ISchedule& sch, IClock& c)
        : m_s(s), m_autoRunOnce(autoRunOnce), m_display(d), m_schedule(sch), m_clock(c) {}

    PassResult Run() {
        if (!IsSafeIdentifComp(m_s.IdentifComp))
            return Refused(PassRefusal::UnsafeName, m_s.IdentifComp);
        if (!IsDriveTarget(m_s.TargetDir))
            return Refused(PassRefusal::TargetNotDrive, m_s.TargetDir);
        m_rootText = m_s.TargetDir + m_s.IdentifComp + "\\";
        m_rootFull = WithSeparator(FullPath(WidenCp1251(m_rootText)));
        m_root = ExtendedPath(m_rootFull);
        // A folder the pass makes is its own; one that was there must show that it is a mirror.
        if (!IsFolder(m_root)) {
            CreateDirChain(m_root);
            if (!IsFolder(m_root))
                return Refused(PassRefusal::RootUnreachable, m_rootText);
        } else if (!IsMirrorOfThisProgram(m_root, ExtendedPath(FullPath(WidenCp1251(m_s.TargetDir))),
                                          m_s.IdentifComp)) {
            return Refused(PassRefusal::NotAMirror, m_rootText);
        }
        MirrorLock lock;
        switch (lock.Take(m_root + Wide(kPassLockName))) {
        case MirrorLock::Outcome::Busy:
            return Refused(PassRefusal::Busy, m_rootText);
        case MirrorLock::Outcome::Failed:
            return Refused(PassRefusal::RootUnreachable, m_rootText);
        case MirrorLock::Outcome::Taken:
            break;
        }
        m_rootLong = WithSeparator(LongFullPath(m_rootFull));
        m_temp = m_root + Wide(kCopyTempName);
        m_start = m_clock.Now();
        m_settledBefore = PackDosStamp(m_start - 1.0);
        m_versions = m_root + Wide(kVersionsFolderName) + L"\\";
        m_holdFolder = m_versions + WidenCp1251(FormatVersionStamp(m_start)) + L"\\";
        // Old versions go first, so that they can never keep a pass from running.
        if (m_s.KeepVersionsDays > 0)
            PruneVersionsByAge();
        m_floor = m_s.LowDriveSpaceMb * 1000000;
        m_result.floorBytes = m_floor;
        if (!BudgetOk()) {
            m_result.freeBytes = m_free;
            return Refused(PassRefusal::LowSpace, m_s.TargetDir);
        }
        m_display.SetBusyCursor(true);
        m_display.SetTrayHint("Создаю полис");
        Journal journal(m_rootText);
        m_journal = &journal;
        m_result.journalPath = journal.Path();
        journal.Append("Start " + Stamp());
        m_display.SetGaugeMax(3);
        m_display.SetGaugeMin(0);
        WriteAttributes(m_temp, 0); // a copy left unfinished by a pass that was ended part-way
        DeleteFileW(m_temp.c_str());
        PlanSources();
        Walk(L"", BackupIndex::kTop);
        for (const auto& own : m_ownRels)
            m_index.RemoveTree(WithoutSeparator(own)); // never deleted, whatever happens
        m_display.SetGaugeProgress(1);
        DirectoryStage();
        m_display.SetGaugeProgress(2);
        FileStage();
        m_display.SetGaugeProgress(3);
        // A refused source keeps the copies no other source produced, as an unreachable one does.
        for (const auto& spot : m_spots)
            if (spot.role == SourceRole::Overlaps)
                m_index.RemoveTree(spot.MirrorKey());
        if (m_budget > 0) {
            DeletionStage();
        } else {
            journal.Append("DiskFull " + Stamp());
            m_result.diskFull = true;
        }
        m_display.SetGaugeProgress(4);
        journal.Append("Stop " + Stamp());
        m_schedule.ScheduleNext();
        if (m_autoRunOnce)
            journal.Append("Command \"Start\"");
        else
            journal.Append("NextStart " + FormatTimeStamp(m_schedule.NextRunTime(), TimeSeparator()));
        journal.Append("");
        journal.Save();
        m_journal = nullptr;
        RotateJournal(m_rootText, m_s.TargetDir, m_s.IdentifComp, m_clock.Now());
        m_display.SetBusyCursor(false);
        return m_result;
    }

private:
    std::string Stamp() { return FormatTimeStamp(m_clock.Now(), TimeSeparator()); }

    PassResult Refused(PassRefusal why, const std::string& path) {
        m_result.refusal = why;
        m_result.path = path;
        return m_result;
    }

    // Measures the free space when the budget runs low. Held versions never stop today's backup:
    // while the floor is reached, the oldest stamped folders (never this pass's) are removed.
    // (Only a free space that was measured: a query that fails must not cost the user's history.)
    bool BudgetOk() {
        if (m_budget < kBudgetRecheck)
            MeasureBudget();
        while (m_budget < 0 && m_free >= 0 && RemoveOldestVersions())
            MeasureBudget();
        return m_budget >= 0;
    }

    void MeasureBudget() {
        m_free = DriveFree(m_rootFull);
        m_budget = m_free - m_floor;
    }

    // ---- Held versions: what a pass deletes or overwrites, kept in a folder stamped with its start ----

    bool Holding() const { return m_s.KeepVersionsDays > 0; }

    // The stamped folders under ~versions, oldest first; folders of other names are not the pass's.
    std::vector<std::pair<DateTime, std::wstring>> StampedFolders() const {
        std::vector<std::pair<DateTime, std::wstring>> found;
        SearchFolder(m_versions + L"*", [&](const WideEntry& e) {
            DateTime stamp = 0;
            if ((e.Attr & kFolderBit) && ParseVersionStamp(JournalText(e.Name), stamp))
                found.emplace_back(stamp, e.Name);
            return true;
        });
        std::sort(found.begin(), found.end());
        return found;
    }

    void PruneVersionsByAge() {
        for (const auto& [stamp, name] : StampedFolders())
            if (m_start - stamp > m_s.KeepVersionsDays + kSecond / 2) // exactly the days old is kept
                RemoveFolderTree(m_versions + name);
    }

    bool RemoveOldestVersions() {
        const std::wstring current =
            m_holdFolder.substr(m_versions.size(), m_holdFolder.size() - m_versions.size() - 1);
        for (const auto& [stamp, name] : StampedFolders()) {
            if (SameFileName(name, current))
                continue;
            RemoveFolderTree(m_versions + name);
            m_result.versionsRemovedEarly = true;
            return true;
        }
        return false;
    }

    // Moves the mirror file `rel` into this pass's stamped folder under the same relative path, with
    // its contents, time and attributes; false when it cannot be moved (it then stays where it is).
    bool Hold(const std::wstring& rel) {
        const std::wstring held = HeldPathOf(rel);
        return MoveFileExW((m_root + rel).c_str(), held.c_str(), 0) != 0;
    }

    // Where `rel` is held in this pass's stamped folder, its folder chain made.
    std::wstring HeldPathOf(const std::wstring& rel) {
        const std::wstring held = m_holdFolder + rel;
        CreateDirChain(FileDirOf(held));
        return held;
    }

    // ---- The journal: paths in code page 1251, what it cannot hold as "<U+XXXX>" ----

    // New, Update and a failed copy name the full mirror path.
    void Report(Tag tag, const std::wstring& mirrorRel) {
        const std::string path = m_rootText + JournalText(mirrorRel);
        m_journal->Append(TextOf(tag) + path);
        if (tag == Tag::Failed)
            m_result.failed.push_back(path);
    }

    // Delete and a failed deletion name the path relative to the mirror folder.
    void ReportStale(Tag tag, const std::wstring& rel) {
        const std::string path = JournalText(rel);
        m_journal->Append(TextOf(tag) + path);
        if (tag == Tag::Failed)
            m_result.failed.push_back(path);
    }

    // ---- The listed sources ----

    // Which listed sources this pass mirrors (see PlanSources): folders first, then files.
    void PlanSources() {
        for (const auto& folder : m_s.SourceDirs) {
            const std::wstring form = SourceForm(NormalizeDir(folder));
            AddSpot(folder, form.empty() ? form : WithSeparator(form), true);
        }
        for (const auto& file : m_s.SourceFiles)
            AddSpot(file, SourceForm(file), false);
        vestrand::PlanSources(m_spots, m_rootFull, m_rootLong, SameFileName);
        for (const auto& spot : m_spots)
            if (spot.role == SourceRole::InsideMirror)
                m_ownRels.push_back(spot.ownRel);
    }

    void AddSpot(const std::string& written, const std::wstring& form, bool folder) {
        SourceSpot spot;
        spot.written = written;
        spot.form = form;
        spot.folder = folder;
        if (!form.empty())
            spot.longForm = folder ? WithSeparator(LongFullPath(form)) : LongFullPath(form);
        m_spots.push_back(std::move(spot));
    }

    // A source the pass refuses gets a line at its turn; the mirror paths it names are left alone.
    bool RefuseAtItsTurn(const SourceSpot& spot) {
        if (spot.role != SourceRole::InsideMirror && spot.role != SourceRole::Overlaps &&
            spot.role != SourceRole::NotDriveForm)
            return false;
        m_journal->Append(TextOf(Tag::Failed) + spot.written);
        m_result.failed.push_back(spot.written);
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
            if (e.Name == L"." || e.Name == L"..")
                return true;
            if (rel.empty() && IsReservedRel(e.Name))
                return true;
            const BackupIndex::Node node = m_index.Add(folder, e.Name, TFileParam{e.Time, e.Size, e.Attr});
            if ((e.Attr & kFolderBit) && (e.Attr & kLinkBit))
                m_walkGaps.push_back(rel + e.Name + L"\\"); // never reach through a link out of the mirror
            else if (e.Attr & kFolderBit)
                Walk(rel + e.Name + L"\\", node);
            return true;
        });
        if (!found)
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

    // ---- The directory stage ----

    void DirectoryStage() {
        for (const auto& spot : m_spots)
            if (spot.folder && !RefuseAtItsTurn(spot) && spot.role == SourceRole::Mirror)
                MirrorSource(spot.form);
    }

    // The mirror folder is recognised however either side is written (letter case, "..", short
    // names): both are compared in their long full form.
    void MirrorSource(const std::wstring& root) {
        m_sourceLong = WithSeparator(LongFullPath(root));
        Mirror(root, L"", false);
    }

    bool IsMirrorFolder(const std::wstring& src, const std::wstring& longSrc) const {
        return SameFileName(src + L"\\", m_rootFull) || SameFileName(longSrc + L"\\", m_rootLong);
    }

    // The directory stage for root + rel (rel empty or ending in "\"). `fresh`: its mirror folder
    // was made just now by this pass, so it holds nothing but what this call copies into it.
    void Mirror(const std::wstring& root, const std::wstring& rel, bool fresh) {
        const std::wstring dir = root + rel;
        // Every visit is noted, of fresh folders too: a second listed source may come to them.
        const bool firstVisit = FirstVisitOfIndexedFolder(dir.substr(3));
        MirrorFolder folder{fresh, fresh, firstVisit && !fresh};
        WideEntry unlinked;
        const bool found = SearchFolder(ExtendedPath(dir) + L"*", [&](const WideEntry& listed) {
            if (!BudgetOk())
                return false;
            if (listed.Name == L"." || listed.Name == L"..")
                return true;
            // A link is mirrored as the entry it leads to; the mirror cannot hold a link.
            const bool isLink = (listed.Attr & kLinkBit) != 0;
            if (isLink) {
                unlinked = listed;
                unlinked.Attr &= ~kLinkBit;
            }
            MirrorOne(root, rel, isLink ? unlinked : listed, isLink, folder);
            return true;
        });
        if (!found) {
            const DWORD why = GetLastError();
            // An existing empty folder (a drive root lists no "." entry) is not unreachable.
            if (why != ERROR_FILE_NOT_FOUND || !IsFolder(ExtendedPath(dir)))
                m_index.RemoveTree(WithoutSeparator(dir.size() > 3 ? dir.substr(3) : std::wstring()));
        }
    }

    // One source entry's way through the directory stage: what it is to the mirror, then what the
    // pass does with it, then its content.
    void MirrorOne(const std::wstring& root, const std::wstring& rel, const WideEntry& e, bool isLink,
                   MirrorFolder& folder) {
        const std::wstring src = root + rel + e.Name;
        const bool isFolder = (e.Attr & kFolderBit) != 0;
        if (isFolder && IsMirrorFolder(src, m_sourceLong + rel + e.Name))
            return; // never enter the mirror folder
        if (isFolder && isLink && LeadsBack(src, root + rel))
            return; // a link back up the tree: its content is being mirrored already
        const std::wstring mirrorRel = src.substr(3);
        if (IsReservedRel(mirrorRel) || IsOwnedByUser(mirrorRel)) {
            Report(Tag::Failed, mirrorRel); // the pass's own names, or the user's files in the mirror folder
            return;
        }
        MirrorEntry there{folder.Fresh ? nullptr : m_index.Find(mirrorRel), false};
        there.knownAbsent = !there.known && (folder.Fresh || folder.Indexed);
        if (there.known && (KindDiffers(*there.known, e.Attr) || (there.known->Attr & kLinkBit))) {
            DeleteStaleTree(mirrorRel); // a file became a folder or the reverse, or a link
            there.known = nullptr;      // and what could not be deleted is still there
            const std::optional<int32_t> left = AttributesOf(m_root + mirrorRel);
            if (left && (*left & kLinkBit)) {
                Report(Tag::Failed, mirrorRel); // never copy through a link out of the mirror
                return;
            }
        }
        bool made = false; // a folder that was not in the mirror and is now
        if (there.known) {
            const TFileParam& was = *there.known;
            const bool same = was.Time == e.Time && was.Size == e.Size && was.Attr == e.Attr;
            // A folder whose time or size alone changed is left alone.
            if (!same && (!isFolder || was.Attr != e.Attr))
                Report(CopyEntry(src, mirrorRel, e, there, folder, made) ? Tag::Update : Tag::Failed,
                       mirrorRel);
            m_index.Remove(mirrorRel);
        } else {
            Report(CopyEntry(src, mirrorRel, e, there, folder, made) ? Tag::New : Tag::Failed, mirrorRel);
        }
        if (isFolder)
            Mirror(root, rel + e.Name + L"\\", made);
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
    bool CopyEntry(const std::wstring& src, const std::wstring& mirrorRel, const WideEntry& e,
                   const MirrorEntry& there, MirrorFolder& folder, bool& made) {
        const std::wstring mirror = m_root + mirrorRel;
        const std::wstring source = ExtendedPath(src);
        const std::optional<int32_t> before = there.known         ? std::optional<int32_t>(there.known->Attr)
                                              : there.knownAbsent ? std::nullopt
                                                                  : AttributesOf(mirror);
        const bool absent = !there.known && (there.knownAbsent || (!before && IsNotFound(GetLastError())));
        const bool hold = Holding() && there.known && !(there.known->Attr & kFolderBit);
        if (!hold)
            UnprotectMirrorEntry(mirror,
                                 before); // a held copy keeps its attributes: a rename needs none cleared
        bool ok;
        if (e.Attr & kFolderBit) {
            if (!before && folder.Ready) {
                made = MakeFolder(mirror); // fails when the name is taken after all
                ok = made || IsFolder(mirror);
            } else {
                CreateDirChain(mirror);
                ok = IsFolder(mirror);
                made = ok && absent;
            }
            folder.Ready = folder.Ready || ok;
        } else {
            if (!folder.Ready) {
                CreateDirChain(FileDirOf(mirror));
                folder.Ready = true;
            }
            ok = absent && IsSettled(e.Time)
                     ? CopyAsNew(source, mirror, m_temp)
                     : CopyIntoMirror(source, mirror, m_temp, hold ? HeldPathOf(mirrorRel) : L"");
            m_budget -= e.Size;
        }
        if (ok && ((e.Attr & kFolderBit) || !CopyCarries(e.Attr)))
            SetMirrorAttributes(mirror, e.Attr);
        else if (!ok && before)
            WriteAttributes(mirror, *before);
        return ok;
    }

    // A source stamped more than a day before the pass: a copy of it cut short now cannot carry
    // its stamp (the day covers clock shifts as well as the two-second steps of the stamp).
    bool IsSettled(DosDateTime stamp) const { return static_cast<uint32_t>(stamp) < m_settledBefore; }

    // ---- The file stage ----

    void FileStage() {
        bool copying = true;
        for (const auto& spot : m_spots) {
            if (spot.folder || RefuseAtItsTurn(spot) || spot.role != SourceRole::Mirror || !copying)
                continue; // not a file, refused, covered by a listed folder, or not in drive-letter form
            copying = BudgetOk();
            if (copying)
                MirrorListedFile(
                    spot.form); // once the floor is reached, refused sources still get their lines
        }
    }

    void MirrorListedFile(const std::wstring& form) {
        const std::wstring src = ExtendedPath(form);
        const std::wstring rel = form.substr(3);
        if (!IsFile(src)) {
            if (!rel.empty())
                m_index.Remove(rel); // an unreachable source file keeps its mirror copy
            return;
        }
        if (IsReservedRel(rel) || IsOwnedByUser(rel)) {
            Report(Tag::Failed, rel);
            return;
        }
        const TFileParam* p = m_index.Find(rel);
        if (p && (p->Attr & kFolderBit)) {
            DeleteStaleTree(rel); // the mirror holds a folder of the file's name
            p = nullptr;
        }
        if (p) {
            if (FileStamp(src) != p->Time || ReadAttributes(src) != p->Attr)
                Report(CopyListedFile(src, rel) ? Tag::Update : Tag::Failed, rel);
            m_index.Remove(rel);
        } else {
            Report(CopyListedFile(src, rel) ? Tag::New : Tag::Failed, rel);
        }
    }

    bool CopyListedFile(const std::wstring& src, const std::wstring& rel) {
        const std::wstring mirror = m_root + rel;
        const std::optional<int32_t> before = AttributesOf(mirror);
        const bool hold = Holding() && before && !(*before & kFolderBit);
        if (!hold)
            UnprotectMirrorEntry(mirror, before);
        CreateDirChain(FileDirOf(mirror));
        const bool ok = CopyIntoMirror(src, mirror, m_temp, hold ? HeldPathOf(rel) : L"");
        if (ok)
            SetMirrorAttributes(mirror, ReadAttributes(src));
        else if (before)
            WriteAttributes(mirror, *before);
        return ok;
    }

    // ---- The deletion stage ----

    void DeletionStage() {
        m_index.ForEach([&](const std::wstring& rel, const TFileParam& p) { DeleteStale(rel, p); });
    }

    // One stale entry, with the line of the deletion stage: "Delete " + rel, "Failed " + rel for a
    // file that stays, no line for a folder that cannot be removed.
    void DeleteStale(const std::wstring& rel, const TFileParam& p) {
        const std::wstring path = m_root + rel;
        if (Holding() && !(p.Attr & kFolderBit)) {
            ReportStale(Hold(rel) ? Tag::Delete : Tag::Failed,
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
    IBackupDisplay& m_display;
    ISchedule& m_schedule;
    IClock& m_clock;
    std::string m_rootText;               // the mirror folder as the settings give it, for the journal
    std::wstring m_rootFull;              // its full path, ending in "\"
    std::wstring m_root;                  // the same as an extended-length path, for every file operation
    std::wstring m_rootLong;              // m_rootFull in its long form
    std::wstring m_temp;                  // the copy in progress
    std::wstring m_sourceLong;            // the source folder being mirrored, in its long full form
    std::vector<std::wstring> m_walkGaps; // mirror folders the index walk could not search
    std::unordered_set<std::wstring> m_visited; // file-system keys of mirror folders the stage came to
    uint32_t m_settledBefore = 0;               // packed stamp of the moment a day before the pass
    DateTime m_start = 0;                       // when the pass began: the stamp of what it holds
    std::wstring m_versions;                    // ~versions at the top of the mirror folder
    std::wstring m_holdFolder;                  // this pass's stamped folder in it
    int64_t m_floor = 0;
    int64_t m_budget = 0;
    int64_t m_free = -1; // the free space last measured, -1 when it could not be
    BackupIndex m_index;
    Journal* m_journal = nullptr;
    std::vector<SourceSpot> m_spots;     // the listed sources with what the pass does with each
    std::vector<std::wstring> m_ownRels; // mirror paths of sources inside the mirror folder: the user's
    PassResult m_result;
};

} // namespace

PassResult RunBackupPass(const BackupSettings& settings, bool autoRunOnce, IBackupDisplay& display,
                         ISchedule& schedule, IClock& clock) {
    return Pass(settings, autoRunOnce, display, schedule, clock).Run();
}

} // namespace vestrand
