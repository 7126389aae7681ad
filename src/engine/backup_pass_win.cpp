#include "engine/backup_pass_win.h"

#include <windows.h>

#include <unordered_set>
#include <vector>

#include "engine/backup_index_win.h"
#include "engine/fileops_win.h"
#include "engine/journal_win.h"
#include "engine/source_plan.h"
#include "runtime/handles_win.h"
#include "runtime/platform_win.h"

namespace vestrand {

bool IsSafeIdentifComp(const std::string& name) {
    // The file system drops blanks and full stops at the end of a name, so "Other." would name
    // another computer's folder and "..." or " " the backup folder itself ("." and ".." too).
    if (name.empty() || name.back() == '.' || name.back() == ' ')
        return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::string("\\/:*?\"<>|").find(c) != std::string::npos)
            return false;
    return true;
}

namespace {

constexpr int64_t kBudgetRecheck = 500000;
constexpr int32_t kFolderBit = FILE_ATTRIBUTE_DIRECTORY;
// A link (symbolic link or junction): the mirror holds what it leads to, as a plain entry.
constexpr int32_t kLinkBit = FILE_ATTRIBUTE_REPARSE_POINT;
// A copy in progress. It lies at the top of the mirror folder, where the index walk leaves it out
// like the journal's files, so no mirror entry can share its name (a source entry that would map
// onto one of these names is reported as failed instead of copied).
constexpr const char* kCopyTempName = "copy.~vestrand.tmp";

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The backup folder must name a drive: a letter and ":", alone (the drive's current folder, as the
// settings keep "F:") or followed by "\". Relative, rooted and network forms would put the mirror
// wherever the current folder happens to be, or measure the free space of an unrelated drive.
bool IsDriveTarget(const std::string& dir) {
    return dir.size() >= 2 && IsLetter(dir[0]) && dir[1] == ':' && (dir.size() == 2 || dir[2] == '\\');
}

// A source is mapped by dropping its drive designator, so only "X:\..." can be mapped at all.
bool IsDriveSource(const std::string& path) {
    return path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && path[2] == '\\';
}

// The form in which a source is mapped: its full path, so that "x\..\y" or "a/b" give the mirror
// paths of the folder they name (the mirror's own names, which the index holds). Short (8.3) names
// are kept as written. A source that is not in drive-letter form gives the empty string (skipped).
std::string SourceForm(const std::string& written) {
    if (!IsDriveSource(written))
        return std::string();
    const std::string full = FullPath(written);
    return IsDriveSource(full) ? full : written;
}

bool SameText(const std::string& a, const std::string& b) { return CompareIndexKeys(a, b) == 0; }

bool KindDiffers(const TFileParam& p, int32_t attr) { return ((p.Attr ^ attr) & kFolderBit) != 0; }

// The pass's own files at the top of the mirror folder, which no mirror entry may replace.
bool IsReservedRel(const std::string& rel) {
    if (rel.find('\\') != std::string::npos)
        return false;
    return SameText(rel, kJournalName) || SameText(rel, kJournalTempName) || SameText(rel, kCopyTempName) ||
           SameText(rel, kPassLockName);
}

// True when `path` is `folder` (both ending in "\") or lies below it, ignoring case.
bool IsAtOrBelow(const std::string& path, const std::string& folder) {
    return vestrand::IsAtOrBelow(path, folder, SameText);
}

// A journal archive of this computer's folder in the backup folder ("yymmdd." + IdentifComp).
bool HasJournalArchive(const std::string& targetDir, const std::string& identifComp) {
    bool found = false;
    SearchFolder(targetDir + "??????." + identifComp, [&](const DirEntry& e) {
        const bool digits = e.Name.size() > 7 && e.Name.find_first_not_of("0123456789") == 6 && e.Name[6] == '.';
        found = digits && !(e.Attr & kFolderBit) && SameText(e.Name.substr(7), identifComp);
        return !found;
    });
    return found;
}

// A folder this program mirrors into: it holds the mark that every pass leaves, the journal or
// the versions folder, or the backup folder holds an archive of its journal. An empty folder is
// taken too. Any other folder holds the user's own files, which a pass would delete.
bool IsMirrorOfThisProgram(const std::string& root, const std::string& targetDir, const std::string& identifComp) {
    return ReadAttributes(root + kPassLockName) != -1 || IsFile(root + kJournalName) ||
           IsFolder(root + kVersionsFolderName) || IsEmptyFolder(root) || HasJournalArchive(targetDir, identifComp);
}

// The pass's hold on its mirror folder, released when the pass ends in any way.
class MirrorLock {
public:
    enum class Outcome { Taken, Busy, Failed };
    Outcome Take(const std::string& path) {
        // Read access only: a lock file that was made read-only still locks.
        m_file.Reset(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_file)
            return Outcome::Taken;
        return GetLastError() == ERROR_SHARING_VIOLATION ? Outcome::Busy : Outcome::Failed;
    }

private:
    FileHandle m_file;
};

std::string WithoutTrailingSeparator(std::string path) {
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

// Copies src over mirror through the temporary file `temp` (in the same volume), so that the mirror
// name holds either the previous copy or a complete new one. Carries the source's time; the caller
// sets the attributes. The temporary file does not exist between copies (the pass removes one left
// by an earlier pass at its start, and every failed copy removes its own), so it is not cleared
// first: each platform call per file shows in a first pass.
bool CopyIntoMirror(const std::string& src, const std::string& mirror, const std::string& temp) {
    bool ok = CopyFileA(src.c_str(), temp.c_str(), FALSE) != 0;
    if (!ok && ReadAttributes(temp) != -1) {
        WriteAttributes(temp, 0);  // a leftover the pass could not remove: clear it and try again
        DeleteFileA(temp.c_str());
        ok = CopyFileA(src.c_str(), temp.c_str(), FALSE) != 0;
    }
    if (ok)
        ok = MoveFileExA(temp.c_str(), mirror.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) {
        WriteAttributes(temp, 0);
        DeleteFileA(temp.c_str());
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
bool CopyAsNew(const std::string& src, const std::string& mirror, const std::string& temp) {
    if (CopyFileA(src.c_str(), mirror.c_str(), TRUE))
        return true;
    const DWORD why = GetLastError();
    if (why == ERROR_FILE_EXISTS || why == ERROR_ALREADY_EXISTS)
        return CopyIntoMirror(src, mirror, temp);  // the name was taken after all
    WriteAttributes(mirror, 0);
    DeleteFileA(mirror.c_str());
    return false;
}

// What is known of the mirror folder of a source folder during its directory stage.
struct MirrorFolder {
    bool Ready;    // it exists: a copy into it needs no folder chain, a new folder in it one call
    bool Fresh;    // made by this pass just now: it holds only what the stage copies into it
    bool Indexed;  // the index holds all it held, and nothing has been copied into it since
};

// Attributes with which every copy leaves its source's attributes, so that reading them back
// would only confirm them: the archive bit, which a new file gets anyway, alone or with the
// read-only bit, which the file system keeps in the file's mode. Others (hidden, system, the
// "normal" of a file without any) depend on the volume under Wine, so they are read back.
bool CopyCarries(int32_t attr) {
    return attr == FILE_ATTRIBUTE_ARCHIVE || attr == (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
}

bool IsNotFound(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

constexpr int32_t kProtectingBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Clears what could refuse the replacement of an existing mirror entry.
void UnprotectMirrorEntry(const std::string& mirror, int32_t before) {
    if (before != -1 && (before & kProtectingBits))
        WriteAttributes(mirror, 0);
}

// Gives the mirror entry `attr` unless it has it already (reading is far cheaper than writing).
void SetMirrorAttributes(const std::string& mirror, int32_t attr) {
    if (ReadAttributes(mirror) != attr)
        WriteAttributes(mirror, attr);
}

// CreateDirChain on the full form of the path, so that a backup folder written through ".."
// (F:\Arch\x\..\) creates only the folders it names, not the "x" it passes through.
void MakeFolders(const std::string& path) { CreateDirChain(FullPath(path)); }

class Pass {
public:
    Pass(const BackupSettings& s, bool autoRunOnce, IBackupDisplay& d, ISchedule& sch, IClock& c)
        : m_s(s), m_autoRunOnce(autoRunOnce), m_display(d), m_schedule(sch), m_clock(c) {}

    PassResult Run() {
        if (!IsSafeIdentifComp(m_s.IdentifComp))
            return Refused(PassRefusal::UnsafeName, m_s.IdentifComp);
        if (!IsDriveTarget(m_s.TargetDir))
            return Refused(PassRefusal::TargetNotDrive, m_s.TargetDir);
        m_root = m_s.TargetDir + m_s.IdentifComp + "\\";
        // A folder the pass makes is its own; one that was there must show that it is a mirror.
        if (!IsFolder(m_root)) {
            MakeFolders(m_root);
            if (!IsFolder(m_root))
                return Refused(PassRefusal::RootUnreachable, m_root);
        } else if (!IsMirrorOfThisProgram(m_root, m_s.TargetDir, m_s.IdentifComp)) {
            return Refused(PassRefusal::NotAMirror, m_root);
        }
        MirrorLock lock;
        switch (lock.Take(m_root + kPassLockName)) {
        case MirrorLock::Outcome::Busy:
            return Refused(PassRefusal::Busy, m_root);
        case MirrorLock::Outcome::Failed:
            return Refused(PassRefusal::RootUnreachable, m_root);
        case MirrorLock::Outcome::Taken:
            break;
        }
        m_rootLong = NormalizeDir(LongFullPath(m_root));
        m_temp = m_root + kCopyTempName;
        m_settledBefore = PackDosStamp(m_clock.Now() - 1.0);
        m_floor = m_s.LowDriveSpaceMb * 1000000;
        const int64_t free = DriveFree(m_s.TargetDir);
        m_budget = free - m_floor;
        m_result.floorBytes = m_floor;
        if (m_budget < 0) {
            m_result.freeBytes = free;
            return Refused(PassRefusal::LowSpace, m_s.TargetDir);
        }
        m_display.SetBusyCursor(true);
        m_display.SetTrayHint("Создаю полис");
        Journal journal(m_root);
        m_journal = &journal;
        m_result.journalPath = journal.Path();
        journal.Append("Start " + Stamp());
        m_display.SetGaugeMax(3);
        m_display.SetGaugeMin(0);
        WriteAttributes(m_temp, 0);  // a copy left unfinished by a pass that was ended part-way
        DeleteFileA(m_temp.c_str());
        PlanSources();
        Walk("");
        m_index.Sort();
        for (const auto& own : m_ownRels)
            m_index.RemoveTree(WithoutTrailingSeparator(own));  // never deleted, whatever happens
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
        RotateJournal(m_root, m_s.TargetDir, m_s.IdentifComp, m_clock.Now());
        m_display.SetBusyCursor(false);
        return m_result;
    }

private:
    PassResult Refused(PassRefusal why, const std::string& path) {
        m_result.refusal = why;
        m_result.path = path;
        return m_result;
    }

    // Which listed sources this pass mirrors (see PlanSources): folders first, then files.
    void PlanSources() {
        for (const auto& folder : m_s.SourceDirs) {
            const std::string form = SourceForm(NormalizeDir(folder));  // empty entries are skipped too
            AddSpot(folder, form.empty() ? form : NormalizeDir(form), true);
        }
        for (const auto& file : m_s.SourceFiles)
            AddSpot(file, SourceForm(file), false);
        vestrand::PlanSources(m_spots, m_root, m_rootLong, SameText);
        for (const auto& spot : m_spots)
            if (spot.role == SourceRole::InsideMirror)
                m_ownRels.push_back(spot.ownRel);
    }

    void AddSpot(const std::string& written, const std::string& form, bool folder) {
        SourceSpot spot;
        spot.written = written;
        spot.form = form;
        spot.folder = folder;
        if (!form.empty())
            spot.longForm = folder ? NormalizeDir(LongFullPath(form)) : LongFullPath(form);
        m_spots.push_back(std::move(spot));
    }

    // A source the pass refuses gets a line at its turn; the mirror paths it names are left alone.
    bool RefuseAtItsTurn(const SourceSpot& spot) {
        if (spot.role != SourceRole::InsideMirror && spot.role != SourceRole::Overlaps &&
            spot.role != SourceRole::NotDriveForm)
            return false;
        m_journal->Append("Failed " + spot.written);
        m_result.failed.push_back(spot.written);
        return true;
    }

    void DirectoryStage() {
        for (const auto& spot : m_spots)
            if (spot.folder && !RefuseAtItsTurn(spot) && spot.role == SourceRole::Mirror)
                MirrorSource(spot.form);
    }

    // True for a mirror path at or below a source that lies inside the mirror folder: the user's
    // own files there are neither overwritten nor deleted.
    bool IsOwnedByUser(const std::string& mirrorRel) const {
        for (const auto& own : m_ownRels)
            if (IsKeyAtOrBelow(mirrorRel, WithoutTrailingSeparator(own), SameText))
                return true;
        return false;
    }

    std::string Stamp() { return FormatTimeStamp(m_clock.Now(), TimeSeparator()); }

    bool BudgetOk() {
        if (m_budget < kBudgetRecheck)
            m_budget = DriveFree(m_s.TargetDir) - m_floor;
        return m_budget >= 0;
    }

    // The index walk: everything under the mirror folder except the journal and its save file.
    void Walk(const std::string& rel) {
        const bool found = SearchFolder(m_root + rel + "*.*", [&](const DirEntry& e) {
            if (e.Name == "." || e.Name == "..")
                return true;
            if (rel.empty() && IsReservedRel(e.Name))
                return true;
            m_index.Add(rel + e.Name, TFileParam{e.Time, e.Size, e.Attr});
            if ((e.Attr & kFolderBit) && (e.Attr & kLinkBit))
                m_walkGaps.push_back(rel + e.Name + "\\");  // never reach through a link out of the mirror
            else if (e.Attr & kFolderBit)
                Walk(rel + e.Name + "\\");
            return true;
        });
        if (!found)
            m_walkGaps.push_back(rel);  // what it holds is unknown
    }

    // True the first time the directory stage comes to the mirror folder `rel` (empty or ending
    // in "\") when the index walk searched it fully: the index then tells what it holds. Two
    // listed folders can share mirror folders (one inside the other, or the same path on two
    // drives); the second comes to them after the first has copied into them.
    bool FirstVisitOfIndexedFolder(const std::string& rel) {
        for (const auto& gap : m_walkGaps)
            if (IsAtOrBelow(rel, gap))
                return false;
        std::string key = IndexKeyOf(rel);
        return !key.empty() && m_visited.insert(std::move(key)).second;
    }

    // The mirror folder is recognised however either side is written (letter case, "..", short
    // names): both are compared in their long full form.
    void MirrorSource(const std::string& root) {
        m_sourceLong = NormalizeDir(LongFullPath(root));
        Mirror(root, "", false);
    }

    // True when the folder link `link`, listed in `dir`, leads to `dir` itself, to a folder that
    // holds it, or to the mirror folder: entering it would go round for ever.
    bool LeadsBack(const std::string& link, std::string dir) const {
        FileIdentity target, seen;
        if (!IdentityOf(link, target))
            return false;  // it leads nowhere: the search in it finds nothing
        if (IdentityOf(m_root, seen) && seen == target)
            return true;
        while (dir.size() >= 3) {
            if (IdentityOf(dir, seen) && seen == target)
                return true;
            const auto up = dir.find_last_of('\\', dir.size() - 2);
            if (up == std::string::npos || dir.size() == 3)
                break;
            dir.resize(up + 1);
        }
        return false;
    }

    static DirEntry Unlinked(const DirEntry& e) {
        DirEntry plain = e;
        plain.Attr &= ~kLinkBit;
        return plain;
    }

    bool IsMirrorFolder(const std::string& src, const std::string& longSrc) const {
        return SameText(src + "\\", m_root) || SameText(longSrc + "\\", m_rootLong);
    }

    // The directory stage for root + rel (rel empty or ending in "\"). `fresh`: its mirror folder
    // was made just now by this pass, so it holds nothing but what this call copies into it.
    void Mirror(const std::string& root, const std::string& rel, bool fresh) {
        const std::string dir = root + rel;
        // Every visit is noted, of fresh folders too: a second listed source may come to them.
        const bool firstVisit = FirstVisitOfIndexedFolder(dir.substr(3));
        MirrorFolder folder{fresh, fresh, firstVisit && !fresh};
        DirEntry unlinked;
        const bool found = SearchFolder(dir + "*.*", [&](const DirEntry& listed) {
            if (!BudgetOk()) {
                return false;
            }
            if (listed.Name == "." || listed.Name == "..")
                return true;
            // A link is mirrored as the entry it leads to; the mirror cannot hold a link.
            const bool isLink = (listed.Attr & kLinkBit) != 0;
            const DirEntry& e = isLink ? (unlinked = Unlinked(listed)) : listed;
            const std::string src = dir + e.Name;
            const bool isFolder = (e.Attr & kFolderBit) != 0;
            if (isFolder && IsMirrorFolder(src, m_sourceLong + rel + e.Name))
                return true;  // never enter the mirror folder
            if (isFolder && isLink && LeadsBack(src, dir))
                return true;  // a link back up the tree: its content is being mirrored already
            const std::string mirrorRel = src.substr(3);
            const std::string mirror = m_root + mirrorRel;
            if (IsReservedRel(mirrorRel) || IsOwnedByUser(mirrorRel)) {
                Report(false, "", mirror);  // the pass's own names, or the user's files in the mirror folder
                return true;
            }
            const TFileParam* p = fresh ? nullptr : m_index.Find(mirrorRel);
            const bool knownAbsent = !p && (folder.Fresh || folder.Indexed);
            if (p && (KindDiffers(*p, e.Attr) || (p->Attr & kLinkBit))) {
                DeleteStaleTree(mirrorRel);  // a file became a folder or the reverse, or a link
                p = nullptr;  // and what could not be deleted is still there
                if (ReadAttributes(mirror) != -1 && (ReadAttributes(mirror) & kLinkBit)) {
                    Report(false, "", mirror);  // never copy through a link out of the mirror
                    return true;
                }
            }
            bool made = false;  // a folder that was not in the mirror and is now
            if (p) {
                const bool same = p->Time == e.Time && p->Size == e.Size && p->Attr == e.Attr;
                if (!same && (!isFolder || p->Attr != e.Attr))
                    Report(CopyEntry(src, mirror, e, p, false, folder, made), "Update ", mirror);
                m_index.Remove(mirrorRel);
            } else {
                Report(CopyEntry(src, mirror, e, nullptr, knownAbsent, folder, made), "New    ", mirror);
            }
            if (isFolder)
                Mirror(root, rel + e.Name + "\\", made);
            return true;
        });
        if (!found) {
            const DWORD why = GetLastError();
            // An existing empty folder (a drive root lists no "." entry) is not unreachable.
            if (why != ERROR_FILE_NOT_FOUND || !IsFolder(dir))
                m_index.RemoveTree(WithoutTrailingSeparator(dir.size() > 3 ? dir.substr(3) : std::string()));
        }
    }

    // A copy that fails leaves the mirror entry as it was, its attributes included (it may be an
    // entry of the other kind that the pass keeps, for a source that cannot be reached).
    // `known`: the mirror entry as the index found it, or nullptr; `knownAbsent`: the mirror is
    // known to hold nothing under this name. What the pass knows is not asked of the file system
    // again. `folder`: what is known of the mirror folder the entry goes into. `made`: set for a
    // folder entry that was not in the mirror and now is.
    bool CopyEntry(const std::string& src, const std::string& mirror, const DirEntry& e, const TFileParam* known,
                   bool knownAbsent, MirrorFolder& folder, bool& made) {
        bool& parentReady = folder.Ready;
        const int32_t before = known ? known->Attr : knownAbsent ? -1 : ReadAttributes(mirror);
        const bool absent = !known && (knownAbsent || (before == -1 && IsNotFound(GetLastError())));
        UnprotectMirrorEntry(mirror, before);
        bool ok;
        if (e.Attr & kFolderBit) {
            if (before == -1 && parentReady) {
                made = MakeFolder(mirror);  // fails when the name is taken after all
                ok = made || IsFolder(mirror);
            } else {
                MakeFolders(mirror);
                ok = IsFolder(mirror);
                made = ok && absent;
            }
            parentReady = parentReady || ok;
        } else {
            if (!parentReady) {
                MakeFolders(FileDirOf(mirror));
                parentReady = true;
            }
            ok = absent && IsSettled(e.Time) ? CopyAsNew(src, mirror, m_temp) : CopyIntoMirror(src, mirror, m_temp);
            m_budget -= e.Size;
        }
        if (ok && ((e.Attr & kFolderBit) || !CopyCarries(e.Attr)))
            SetMirrorAttributes(mirror, e.Attr);
        else if (!ok && before != -1)
            WriteAttributes(mirror, before);
        return ok;
    }

    // A source stamped more than a day before the pass: a copy of it cut short now cannot carry
    // its stamp (the day covers clock shifts as well as the two-second steps of the stamp).
    bool IsSettled(DosDateTime stamp) const { return static_cast<uint32_t>(stamp) < m_settledBefore; }

    void Report(bool ok, const char* tag, const std::string& mirror) {
        m_journal->Append((ok ? std::string(tag) : std::string("Failed ")) + mirror);
        if (!ok)
            m_result.failed.push_back(mirror);
    }

    void FileStage() {
        bool copying = true;
        for (const auto& spot : m_spots) {
            if (spot.folder || RefuseAtItsTurn(spot) || spot.role != SourceRole::Mirror || !copying)
                continue;  // not a file, refused, covered by a listed folder, or not in drive-letter form
            copying = BudgetOk();
            if (!copying)
                continue;  // the floor is reached; refused sources still get their lines
            const std::string& src = spot.form;
            const std::string rel = src.substr(3);
            if (!IsFile(src)) {
                if (!rel.empty())
                    m_index.Remove(rel);  // an unreachable source file keeps its mirror copy
                continue;
            }
            const std::string mirror = m_root + rel;
            if (IsReservedRel(rel) || IsOwnedByUser(rel)) {
                Report(false, "", mirror);
                continue;
            }
            const TFileParam* p = m_index.Find(rel);
            if (p && (p->Attr & kFolderBit)) {
                DeleteStaleTree(rel);  // the mirror holds a folder of the file's name
                p = nullptr;
            }
            if (p) {
                if (FileStamp(src) != p->Time || ReadAttributes(src) != p->Attr)
                    Report(CopyListedFile(src, mirror), "Update ", mirror);
                m_index.Remove(rel);
            } else {
                Report(CopyListedFile(src, mirror), "New    ", mirror);
            }
        }
    }

    bool CopyListedFile(const std::string& src, const std::string& mirror) const {
        const int32_t before = ReadAttributes(mirror);
        UnprotectMirrorEntry(mirror, before);
        MakeFolders(FileDirOf(mirror));
        const bool ok = CopyIntoMirror(src, mirror, m_temp);
        if (ok)
            SetMirrorAttributes(mirror, ReadAttributes(src));
        else if (before != -1)
            WriteAttributes(mirror, before);
        return ok;
    }

    void DeletionStage() {
        m_index.ForEach([&](const std::string& rel, const TFileParam& p) { DeleteStale(rel, p); });
    }

    // One stale entry, with the line of the deletion stage: "Delete " + rel, "Failed " + rel for a
    // file that stays, no line for a folder that cannot be removed.
    void DeleteStale(const std::string& rel, const TFileParam& p) {
        const std::string path = m_root + rel;
        WriteAttributes(path, 0);
        if (p.Attr & kFolderBit) {
            if (RemoveFolder(path))
                m_journal->Append("Delete " + rel);
        } else {
            const bool ok = DeleteFileA(path.c_str()) != 0 || !IsFile(path);
            m_journal->Append((ok ? "Delete " : "Failed ") + rel);
            if (!ok)
                m_result.failed.push_back(rel);
        }
    }

    // A mirror entry of the other kind than its source entry is stale: it is deleted before the
    // source entry is copied in its place (which then counts as New). A folder goes with its
    // content, innermost first, so that it is empty when its own turn comes; each entry gets the
    // line the deletion stage would give it. What cannot be deleted stays, and the copy over it
    // is reported as failed.
    void DeleteStaleTree(const std::string& rel) {
        const auto stale = m_index.TakeTree(rel);  // index order: a folder before its content
        for (auto it = stale.rbegin(); it != stale.rend(); ++it)
            DeleteStale(it->first, it->second);
    }

    const BackupSettings& m_s;
    bool m_autoRunOnce;
    IBackupDisplay& m_display;
    ISchedule& m_schedule;
    IClock& m_clock;
    std::string m_root;
    std::string m_rootLong;    // m_root in its long full form
    std::string m_temp;        // the copy in progress
    std::string m_sourceLong;  // the source folder being mirrored, in its long full form
    std::vector<std::string> m_walkGaps;           // mirror folders the index walk could not search
    std::unordered_set<std::string> m_visited;     // index keys of mirror folders the stage came to
    uint32_t m_settledBefore = 0;  // packed stamp of the moment a day before the pass
    int64_t m_floor = 0;
    int64_t m_budget = 0;
    BackupIndex m_index;
    Journal* m_journal = nullptr;
    std::vector<SourceSpot> m_spots;    // the listed sources with what the pass does with each
    std::vector<std::string> m_ownRels;  // mirror paths of sources inside the mirror folder: the user's
    PassResult m_result;
};

}  // namespace

PassResult RunBackupPass(const BackupSettings& settings, bool autoRunOnce, IBackupDisplay& display,
                         ISchedule& schedule, IClock& clock) {
    return Pass(settings, autoRunOnce, display, schedule, clock).Run();
}

}  // namespace vestrand
