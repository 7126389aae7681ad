#include "engine/pass_stages_win.h"

#include <windows.h>

#include <algorithm>

#include "engine/paths.h"
#include "runtime/cp1251.h"
#include "runtime/platform_win.h"

namespace vestrand {
namespace {

constexpr int32_t kProtectingBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// New files copied at once by the directory stage (see NewFileCopier), and how many copies may be
// asked for ahead of the stage's lines: enough to keep the copiers busy, few enough that a stop
// lets the few under way finish within a moment.
constexpr int kCopierThreads = 2;
constexpr size_t kCopiesAhead = 16;

bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
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
    e.Attr = now.Attr & ~kLinkAttr;
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

// Only the attributes of a file changed (a read-only or hidden mark): the mirror's copy gets them
// in place, and nothing is copied or held, as its content is the source's.
bool OnlyAttributesDiffer(const TFileParam& was, const WideEntry& e) {
    return !(e.Attr & kFolderAttr) && !(was.Attr & (kFolderAttr | kLinkAttr)) && was.Time == e.Time &&
           was.Size == e.Size && was.Attr != e.Attr;
}

bool SetAttributesInPlace(const std::wstring& mirror, int32_t attr) {
    return SetFileAttributesW(mirror.c_str(), static_cast<DWORD>(attr)) != 0;
}

// A copy that a killed pass cut short at its name: shorter than the source, written after the
// source was, and the first bytes of it. Holding it would keep nothing of the user's that the
// new copy does not hold, under the name of a version of it. (Only files that small go straight
// to their names.)
bool IsCutCopy(const std::wstring& mirror, const TFileParam& was, const std::wstring& source,
               const WideEntry& e) {
    return was.Size < e.Size &&
           was.Size<kLargeFileBytes&& static_cast<uint32_t>(was.Time)> static_cast<uint32_t>(e.Time) &&
           IsLeadingPartOf(mirror, source);
}

} // namespace

PassStages::PassStages(const OpenedMirror& mirror, PassPlan& plan, PassVersions& versions, PassBudget& budget,
                       Journal& journal, IBackupDisplay& display, const std::atomic<bool>* stop,
                       DateTime start, std::vector<std::string>& failed)
    : m_rootText(mirror.text), m_root(mirror.root), m_temp(mirror.OwnPath(kCopyTempName)), m_plan(plan),
      m_versions(versions), m_budget(budget), m_journal(journal), m_display(display), m_stop(stop),
      m_settledBefore(PackDosStamp(start - 1.0)), m_failed(failed) {
    // A measurement of the free space counts the copies under way: all finished, or those finished
    // without waiting taken back.
    m_budget.SetSettling([this](bool exact) { FinishCopiesAhead(exact ? 0 : SIZE_MAX); });
    m_progress.Plan(m_plan.weight + m_plan.deletionsAhead * kEntryWeight);
    m_copyingSince = std::chrono::steady_clock::now();
    ReportProgress();
}

PassStages::~PassStages() {
    m_budget.SetSettling(nullptr);
}

void PassStages::KeepWhatRefusedSourcesHold() {
    for (const auto& spot : m_plan.spots)
        if (spot.role == SourceRole::Overlaps)
            m_plan.index.RemoveTree(spot.MirrorKey());
}

// New, Update and a failed copy name the full mirror path.
void PassStages::Report(JournalTag tag, const std::wstring& mirrorRel) {
    Line(tag, m_rootText + JournalText(mirrorRel));
}

// Delete and a failed deletion name the path relative to the mirror folder.
void PassStages::ReportStale(JournalTag tag, const std::wstring& rel) {
    Line(tag, JournalText(rel));
}

// Every line of the stages: the lines of the copies asked for before it come first.
void PassStages::Line(JournalTag tag, const std::string& path) {
    FinishCopiesAhead(0);
    Write(tag, path);
}

void PassStages::Write(JournalTag tag, const std::string& path) {
    m_journal.Append(FormatJournalLine(tag, path));
    if (tag == JournalTag::Failed)
        m_failed.push_back(path);
}

// A source the pass refuses gets a line at its turn; the mirror paths it names are left alone.
bool PassStages::RefuseAtItsTurn(const SourceSpot& spot) {
    if (spot.role != SourceRole::InsideMirror && spot.role != SourceRole::Overlaps &&
        spot.role != SourceRole::Unmappable && spot.role != SourceRole::Unreachable)
        return false;
    Line(JournalTag::Failed, spot.written);
    return true;
}

void PassStages::Advance(int64_t weight) {
    m_progress.Done(weight);
    ReportProgress();
}

void PassStages::ReportProgress() {
    m_display.SetGaugeProgress(m_progress.Percent());
    const double copying =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_copyingSince).count();
    std::string hint = WorkingHint(m_progress.Percent(), m_progress.SecondsLeft(copying));
    if (hint != m_hint) {
        m_display.SetTrayHint(hint);
        m_hint = std::move(hint);
    }
}

void PassStages::MirrorFolders() {
    m_copier.emplace(kCopierThreads, m_stop, CopyNewFile);
    size_t next = 0; // the next planned source
    for (size_t i = 0; i < m_plan.spots.size() && Copying(); ++i) {
        const SourceSpot& spot = m_plan.spots[i];
        if (!spot.folder || RefuseAtItsTurn(spot) || spot.role != SourceRole::Mirror)
            continue;
        if (next < m_plan.sources.size() && m_plan.sources[next].spot == i)
            ActOnSource(m_plan.sources[next++]);
    }
    FinishCopiesAhead(0);
    m_copier.reset();
}

void PassStages::ActOnSource(const PlannedSource& source) {
    const std::wstring& root = m_plan.spots[source.spot].form;
    std::wstring rel; // the entry's folder below root: empty or ending in "\"
    std::vector<OpenFolder> open{{Planned::kNoParent, 0, MirrorFolder{false, false, source.indexed}, false}};
    for (uint32_t i = source.begin; i < source.end && Copying(); ++i) {
        const Planned& p = m_plan.entries[i];
        while (open.back().planned != p.parent)
            open.pop_back();
        rel.resize(open.back().relSize);
        const std::wstring name = m_plan.NameOf(p);
        const std::optional<MirrorFolder> entered =
            ActOnEntry(root, rel, name, p, open.back().folder, open.back().leftOut);
        if (p.attr & kFolderAttr) {
            rel += name + L"\\";
            open.push_back({i, rel.size(), entered.value_or(MirrorFolder{}), !entered});
        }
    }
}

// One entry's way through the directory stage: is it still what was compared, what the pass does
// with it, and the line that says so. For a folder, what is then known of its mirror folder;
// nothing when what lies below it is left out.
std::optional<PassStages::MirrorFolder> PassStages::ActOnEntry(const std::wstring& root,
                                                               const std::wstring& rel,
                                                               const std::wstring& name, const Planned& p,
                                                               MirrorFolder& folder, bool leftOut) {
    const bool isFolder = (p.attr & kFolderAttr) != 0;
    if (leftOut) {
        Advance(p.Weight());
        return std::nullopt;
    }
    const std::wstring src = root + rel + name;
    const std::wstring mirrorRel = MirrorRelOf(src);
    switch (p.act) {
    case Act::Keep: // a folder the mirror holds as it is
        return MirrorFolder{false, false, (p.flags & Planned::kIndexedFolder) != 0};
    case Act::Refuse:
        Report(JournalTag::Failed, mirrorRel);
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
        Report(JournalTag::Failed, mirrorRel);
    if (!read || ((e.Attr & kFolderAttr) != 0) != isFolder) {
        Advance(p.Weight());
        return std::nullopt;
    }
    e.Attr &= ~kLinkAttr;
    MirrorEntry there{folder.Fresh || p.known == BackupIndex::kNone ? nullptr : &m_plan.index.Param(p.known),
                      false};
    if (p.act == Act::Replace) {
        DeleteStaleTree(mirrorRel); // a file became a folder or the reverse, or a link
        there.known = nullptr;      // and what could not be deleted is still there
        if (LinkLeftAt(mirrorRel)) {
            Report(JournalTag::Failed, mirrorRel); // never copy through a link out of the mirror
            Advance(p.Weight());
            return std::nullopt;
        }
    }
    there.knownAbsent = !there.known && (folder.Fresh || folder.Indexed);
    const bool making = !isFolder || p.act == Act::Copy || p.act == Act::Replace;
    if (making && !m_budget.RoomFor(isFolder ? m_budget.FolderCost() : m_budget.FileCost(e.Size)))
        return std::nullopt; // at the floor: this entry is not started, and copying ends
    if (p.act == Act::Copy && CopyAhead(src, mirrorRel, e, there, folder))
        return std::nullopt; // a file: nothing lies below it
    bool made = false;       // a folder that was not in the mirror and is now
    const Copied copied = CopyEntry(src, mirrorRel, e, there, folder, made);
    if (made)
        m_budget.Charge(m_budget.FolderCost());
    if (copied == Copied::Stopped)
        return std::nullopt; // no line: the copy was abandoned, the mirror's entry is as it was
    if (copied == Copied::Gone) {
        Advance(p.Weight());
        return std::nullopt;
    }
    Report(copied == Copied::Failed ? JournalTag::Failed
           : p.act == Act::Update   ? JournalTag::Update
                                    : JournalTag::New,
           mirrorRel);
    Advance(isFolder ? kEntryWeight : std::max<int64_t>(kEntryWeight + e.Size - m_blockBytes, 0));
    return MirrorFolder{made, made, (p.flags & Planned::kIndexedFolder) && !made};
}

// A new file whose name the stage knows to be free, settled and small, as CopyEntry would copy
// it with CopyAsNew, goes to the copiers; its line comes when its turn does. It is charged to
// the budget now and given back if it is not copied.
bool PassStages::CopyAhead(const std::wstring& src, const std::wstring& mirrorRel, const WideEntry& e,
                           const MirrorEntry& there, MirrorFolder& folder) {
    if ((e.Attr & kFolderAttr) || there.known || !there.knownAbsent || !IsSettled(e.Time) ||
        e.Size >= kLargeFileBytes)
        return false;
    if (!folder.Ready) {
        CreateDirChain(FileDirOf(m_root + mirrorRel));
        folder.Ready = true;
    }
    m_budget.ChargeAhead(m_budget.FileCost(e.Size));
    m_copier->Add(ExtendedPath(src), m_root + mirrorRel, e.Attr, e.Size, e.Written);
    FinishCopiesAhead(kCopiesAhead - 1); // room for the next
    return true;
}

// Writes the lines of the copies asked for, oldest first: of those finished, and waiting for
// those under way until at most `keep` are outstanding. A copy the stop kept from starting
// gets no line, as a copy abandoned in the middle.
void PassStages::FinishCopiesAhead(size_t keep) {
    NewFileCopier::Copy copy;
    while (m_copier && m_copier->TakeFinished(copy, m_copier->Outstanding() > keep)) {
        m_budget.Settled(m_budget.FileCost(copy.Size));
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
            m_budget.GiveBack(m_budget.FileCost(copy.Size));
        if (copy.Result == NewFileCopier::Outcome::NotStarted)
            continue;
        if (copy.Result == NewFileCopier::Outcome::Gone) {
            Advance(kEntryWeight + copy.Size); // no line: the next pass sees it gone
            continue;
        }
        const bool done = copy.Result == NewFileCopier::Outcome::Done;
        Write(done ? JournalTag::New : JournalTag::Failed,
              m_rootText + JournalText(copy.Target.substr(m_root.size())));
        Advance(kEntryWeight + copy.Size);
    }
}

// A copy that fails leaves the mirror entry as it was, its attributes included (it may be an
// entry of the other kind that the pass keeps, for a source that cannot be reached). What the
// pass knows of the mirror entry (`there`) is not asked of the file system again. `made` is set
// for a folder entry that was not in the mirror and now is.
PassStages::Copied PassStages::CopyEntry(const std::wstring& src, const std::wstring& mirrorRel, WideEntry& e,
                                         const MirrorEntry& there, MirrorFolder& folder, bool& made) {
    const std::wstring mirror = m_root + mirrorRel;
    const std::wstring source = ExtendedPath(src);
    if (there.known && OnlyAttributesDiffer(*there.known, e))
        return SetAttributesInPlace(mirror, e.Attr) ? Copied::Done : Copied::Failed;
    const std::optional<int32_t> before = there.known         ? std::optional<int32_t>(there.known->Attr)
                                          : there.knownAbsent ? std::nullopt
                                                              : AttributesOf(mirror);
    const bool absent = !there.known && (there.knownAbsent || (!before && IsNotFound(GetLastError())));
    const bool hold = m_versions.Holding() && there.known && !(there.known->Attr & kFolderAttr) &&
                      !IsCutCopy(mirror, *there.known, source, e);
    if (!hold)
        UnprotectMirrorEntry(mirror,
                             before); // a held copy keeps its attributes: a rename needs none cleared
    Copied copied = Copied::Failed;
    m_blockBytes = 0;
    if (e.Attr & kFolderAttr) {
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
                     : CopyIntoMirror(source, mirror, e, hold ? m_versions.HeldPathOf(mirrorRel) : L"");
        if (copied == Copied::Done)
            m_budget.Charge(m_budget.FileCost(e.Size));
    }
    if (copied == Copied::Done &&
        ((e.Attr & kFolderAttr) || e.Size >= kLargeFileBytes || !CopyCarries(e.Attr)))
        SetMirrorAttributes(mirror, e.Attr);
    else if (copied != Copied::Done && before)
        WriteAttributes(mirror, *before);
    return copied;
}

// A new file straight to its free name (see CopyToFreeName); through the temporary file when
// the name was taken after all.
PassStages::Copied PassStages::CopyAsNew(const std::wstring& source, const std::wstring& mirror,
                                         WideEntry& e) {
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
PassStages::Copied PassStages::CopyIntoMirror(const std::wstring& source, const std::wstring& mirror,
                                              WideEntry& e, const std::wstring& holdAs) {
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

// A source stamped more than a day before the pass: a copy of it cut short now cannot carry
// its stamp (the day covers clock shifts as well as the two-second steps of the stamp).
bool PassStages::IsSettled(DosDateTime stamp) const {
    return static_cast<uint32_t>(stamp) < m_settledBefore;
}

// ---- The file stage: the listed files, as comparing found them ----

// Once copying has ended (the floor, a stop), refused sources still get their lines.
void PassStages::MirrorListedFiles() {
    size_t next = 0;
    for (size_t i = 0; i < m_plan.spots.size(); ++i) {
        const SourceSpot& spot = m_plan.spots[i];
        if (spot.folder || RefuseAtItsTurn(spot) || spot.role != SourceRole::Mirror || !Copying())
            continue; // not a file, refused, covered by a listed folder, or not in drive-letter form
        while (next < m_plan.files.size() && m_plan.files[next].spot < i)
            ++next;
        if (next < m_plan.files.size() && m_plan.files[next].spot == i)
            ActOnListedFile(m_plan.files[next]);
    }
}

void PassStages::ActOnListedFile(const PlannedFile& file) {
    const std::wstring& form = m_plan.spots[file.spot].form;
    const std::wstring src = ExtendedPath(form);
    const std::wstring rel = MirrorRelOf(form);
    if (file.act == Act::Refuse) {
        Report(JournalTag::Failed, rel);
        return;
    }
    if (file.act == Act::Keep)
        return;
    WideEntry e;
    const bool read = ReadEntry(src, e);
    if (!read && !IsNotFound(GetLastError()))
        Report(JournalTag::Failed, rel);
    if (!read || (e.Attr & kFolderAttr))
        return; // gone since it was compared: the next pass sees it
    e.Attr &= ~kLinkAttr;
    if (file.act == Act::Replace) {
        DeleteStaleTree(rel); // the mirror holds a folder of the file's name, or a link
        if (LinkLeftAt(rel)) {
            Report(JournalTag::Failed, rel);
            return;
        }
    }
    if (!m_budget.RoomFor(m_budget.FileCost(e.Size)))
        return; // at the floor: the file is not started
    const Copied copied = CopyListedFile(src, rel, e);
    if (copied == Copied::Stopped || copied == Copied::Gone)
        return;
    Report(copied == Copied::Failed  ? JournalTag::Failed
           : file.act == Act::Update ? JournalTag::Update
                                     : JournalTag::New,
           rel);
    Advance(std::max<int64_t>(kEntryWeight + e.Size - m_blockBytes, 0));
}

PassStages::Copied PassStages::CopyListedFile(const std::wstring& src, const std::wstring& rel,
                                              WideEntry& e) {
    const std::wstring mirror = m_root + rel;
    WideEntry there;
    if (ReadEntry(mirror, there) && OnlyAttributesDiffer(TFileParam{there.Time, there.Size, there.Attr}, e))
        return SetAttributesInPlace(mirror, e.Attr) ? Copied::Done : Copied::Failed;
    const std::optional<int32_t> before = AttributesOf(mirror);
    const bool hold = m_versions.Holding() && before && !(*before & kFolderAttr);
    if (!hold)
        UnprotectMirrorEntry(mirror, before);
    CreateDirChain(FileDirOf(mirror));
    m_blockBytes = 0;
    const Copied copied = CopyIntoMirror(src, mirror, e, hold ? m_versions.HeldPathOf(rel) : L"");
    if (copied == Copied::Done) {
        m_budget.Charge(m_budget.FileCost(e.Size));
        SetMirrorAttributes(mirror, ReadAttributes(src));
    } else if (before) {
        WriteAttributes(mirror, *before);
    }
    return copied;
}

// True when what could not be deleted under `mirrorRel` is a link: a copy never goes through a
// link out of the mirror.
bool PassStages::LinkLeftAt(const std::wstring& mirrorRel) {
    const std::optional<int32_t> left = AttributesOf(m_root + mirrorRel);
    return left && (*left & kLinkAttr);
}

// ---- The deletion stage ----

// False when a stop ended it before its last entry.
bool PassStages::DeleteStale() {
    bool complete = true;
    m_plan.index.ForEach([&](const std::wstring& rel, const TFileParam& p) {
        complete = complete && !Stopped(); // a stop ends the stage at the next entry
        if (complete)
            DeleteStaleEntry(rel, p);
    });
    return complete;
}

// One stale entry, with the line of the deletion stage: "Delete " + rel, "Failed " + rel for a
// file that stays, no line for a folder that cannot be removed.
void PassStages::DeleteStaleEntry(const std::wstring& rel, const TFileParam& p) {
    const std::wstring path = m_root + rel;
    Advance(kEntryWeight);
    if (m_versions.Holding() && !(p.Attr & kFolderAttr)) {
        ReportStale(m_versions.Hold(rel) ? JournalTag::Delete : JournalTag::Failed,
                    rel); // a held file stays where it is when it cannot be moved
        return;
    }
    WriteAttributes(path, 0);
    if (p.Attr & kFolderAttr) {
        if (RemoveFolder(path))
            ReportStale(JournalTag::Delete, rel);
    } else {
        const bool ok = DeleteFileW(path.c_str()) != 0 || !IsFile(path);
        ReportStale(ok ? JournalTag::Delete : JournalTag::Failed, rel);
    }
}

// A mirror entry of the other kind than its source entry is stale: it is deleted before the
// source entry is copied in its place (which then counts as New). A folder goes with its
// content, innermost first, so that it is empty when its own turn comes; each entry gets the
// line the deletion stage would give it. What cannot be deleted stays, and the copy over it
// is reported as failed.
void PassStages::DeleteStaleTree(const std::wstring& rel) {
    const auto stale = m_plan.index.TakeTree(rel); // index order: a folder before its content
    for (auto it = stale.rbegin(); it != stale.rend(); ++it)
        DeleteStaleEntry(it->first, it->second);
}

} // namespace vestrand
