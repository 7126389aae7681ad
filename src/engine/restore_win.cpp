#include "engine/restore_win.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <unordered_set>

#include "engine/backup_index_win.h"
#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "engine/held_versions_win.h"
#include "engine/journal_win.h"
#include "engine/mirror_lock_win.h"
#include "engine/mirror_owner_win.h"
#include "engine/new_file_copier.h"
#include "engine/restore_rules.h"
#include "runtime/cp1251.h"
#include "runtime/handles_win.h"
#include "runtime/platform_win.h"

namespace vestrand {
namespace {

constexpr int32_t kFolderBit = FILE_ATTRIBUTE_DIRECTORY;
constexpr size_t kBlockBytes = 1 << 20;
constexpr const wchar_t* kTempSuffix = L".~vestrand-restore.tmp";
// Files of at most a block go to a free name on the copiers' threads, a few at once (one small
// copy spends its time in the file system's calls, so two in flight take little longer than one);
// a larger one, or one that replaces a file, is copied here block by block, so that a stop ends
// it at the next block.
constexpr int kCopierThreads = 2;
constexpr size_t kCopiesAhead = 16;

// The source copied to the temporary name beside `target`, which is cleared once when an earlier
// restore left it behind read-only or hidden; with `renameTo`, renamed there once complete (see
// CopyFileInBlocks).
BlockCopy CopyToTemp(const std::wstring& source, const std::wstring& temp,
                     const std::function<bool(int64_t)>& onBlock, const std::wstring& renameTo = {}) {
    BlockCopy copied = CopyFileInBlocks(source, temp, kBlockBytes, onBlock, renameTo);
    if (copied == BlockCopy::Failed) {
        const DWORD error = GetLastError(); // the reason, kept past the look at the temporary name
        if (ReadAttributes(temp) == -1) {
            SetLastError(error);
            return copied;
        }
        WriteAttributes(temp, 0);
        DeleteFileW(temp.c_str());
        copied = CopyFileInBlocks(source, temp, kBlockBytes, onBlock, renameTo);
    }
    return copied;
}

// A new file has the archive bit alone; any other attributes are given to it.
void GiveAttributes(const std::wstring& path, int32_t attr) {
    if ((attr & ~kFolderBit) != FILE_ATTRIBUTE_ARCHIVE)
        WriteAttributes(path, attr & ~kFolderBit);
}

// A small file restored to a free name, on a copier's thread: through its temporary name, renamed
// only when complete and never over anything that took the name meanwhile.
NewFileCopier::Outcome RestoreToFreeName(NewFileCopier::Copy& copy) {
    const std::wstring temp = copy.Target + kTempSuffix;
    if (CopyToTemp(
            copy.Source, temp, [](int64_t) { return true; }, copy.Target) != BlockCopy::Done) {
        copy.Error = GetLastError();
        return NewFileCopier::Outcome::Failed;
    }
    GiveAttributes(copy.Target, copy.Attr);
    return NewFileCopier::Outcome::Done;
}

// The whole content of a file; false when it cannot be read.
bool ReadWhole(const std::wstring& path, std::string& text) {
    FileHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!h || !GetFileSizeEx(h.Get(), &size))
        return false;
    text.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    return text.empty() ||
           (::ReadFile(h.Get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) &&
            got == text.size());
}

// Every entry below `folder` (ending in "\"), relative to `base`, folders before what they hold;
// `keep` decides for the names at the top.
void ListTree(const std::wstring& folder, const std::wstring& rel, bool filesOnly,
              std::vector<ListedEntry>& out, const std::function<bool(const std::wstring&)>& keep) {
    SearchFolder(folder + rel + L"*", [&](const WideEntry& e) {
        if (e.Name == L"." || e.Name == L".." || (rel.empty() && !keep(e.Name)))
            return true;
        const std::wstring path = rel + e.Name;
        const bool isFolder = (e.Attr & kFolderBit) != 0;
        if (!isFolder || !filesOnly)
            out.push_back({path, TFileParam{e.Time, e.Size, e.Attr & ~FILE_ATTRIBUTE_REPARSE_POINT}});
        if (isFolder && !(e.Attr & FILE_ATTRIBUTE_REPARSE_POINT))
            ListTree(folder, path + L"\\", filesOnly, out, keep);
        return true;
    });
}

struct JournalFile {
    std::wstring path;
    WideEntry entry;
};

// The journal's archives in TargetDir, oldest first, then journal.txt.
std::vector<JournalFile> JournalFiles(const BackupSettings& s, const std::wstring& root) {
    std::vector<JournalFile> files;
    const std::wstring targetDir = ExtendedPath(WithSeparator(FullPath(WidenCp1251(s.TargetDir))));
    for (const auto& e : JournalArchivesIn(targetDir, s.IdentifComp))
        files.push_back({targetDir + e.Name, e});
    std::sort(files.begin(), files.end(), [](const JournalFile& a, const JournalFile& b) {
        return a.entry.Name.substr(0, 6) < b.entry.Name.substr(0, 6);
    });
    JournalFile current{root + WidenCp1251(kJournalName), {}};
    if (ReadEntry(current.path, current.entry))
        files.push_back(current);
    return files;
}

// What the stamped folder `folder` holds as its pass listed it when it ended; false when there is no
// whole list (a pass killed before its end, a folder a restore made), which leaves the folder to be
// searched.
bool ReadHeldListOf(const std::wstring& folder, std::vector<ListedEntry>& files) {
    std::string text;
    return ReadWhole(folder + WidenCp1251(kHeldListName), text) && ReadHeldList(text, files);
}

bool IsRestoreFolder(const std::wstring& versions, const std::wstring& name) {
    return IsFile(versions + name + L"\\" + WidenCp1251(kRestoreMarkName));
}

// What tells that a pass has been at work since: the journal's files and the stamped folders.
std::wstring SignatureOf(const BackupSettings& s, const std::wstring& root) {
    std::wstring sig;
    for (const auto& f : JournalFiles(s, root))
        sig +=
            f.path + L"|" + std::to_wstring(f.entry.Size) + L"|" + std::to_wstring(f.entry.Written) + L"\n";
    for (const auto& folder : ListStampedFolders(root + WidenCp1251(kVersionsFolderName) + L"\\"))
        sig += folder.name + L"\n";
    return sig;
}

bool PlaceOf(const BackupSettings& settings, LoadedHistory& out, BackupSettings& expanded) {
    expanded = settings;
    std::string unset;
    if (!ExpandSettingsVariables(expanded, unset)) {
        out.error = unset;
        return false;
    }
    if (!IsSafeIdentifComp(expanded.IdentifComp) || !IsBackupTarget(expanded.TargetDir)) {
        out.error = expanded.TargetDir + expanded.IdentifComp;
        return false;
    }
    out.rootText = MirrorFolderOf(expanded.TargetDir, expanded.IdentifComp);
    const std::wstring rootFull = WithSeparator(FullPath(WidenCp1251(out.rootText)));
    out.root = ExtendedPath(rootFull);
    out.spots = PlanListedSources(expanded, rootFull, WithSeparator(LongFullPath(rootFull)), nullptr);
    return true;
}

// The mirror folder `root` as the history asks for it: a folder's entries when it is first looked
// at, single entries where the moments need them. A link is an entry but never followed, and the
// program's own files at the top are no entries.
MirrorAccess MirrorOnDisk(const std::wstring& root) {
    constexpr int32_t kLinkBit = FILE_ATTRIBUTE_REPARSE_POINT;
    MirrorAccess mirror;
    mirror.list = [root](const std::wstring& folderRel) {
        std::vector<ListedEntry> out;
        if (!folderRel.empty()) {
            const int32_t attr = ReadAttributes(root + folderRel);
            if (attr == -1 || !(attr & kFolderBit) || (attr & kLinkBit))
                return out;
        }
        SearchFolder(root + folderRel + (folderRel.empty() ? L"*" : L"\\*"), [&](const WideEntry& e) {
            if (e.Name != L"." && e.Name != L".." && !(folderRel.empty() && IsPassOwnName(e.Name)))
                out.push_back({e.Name, TFileParam{e.Time, e.Size, e.Attr & ~kLinkBit}});
            return true;
        });
        return out;
    };
    mirror.entry = [root](const std::wstring& rel) -> std::optional<TFileParam> {
        WideEntry e;
        if (IsPassOwnName(rel) || !ReadEntry(root + rel, e))
            return std::nullopt;
        return TFileParam{e.Time, e.Size, e.Attr & ~kLinkBit};
    };
    return mirror;
}

void ReadHistory(const BackupSettings& expanded, LoadedHistory& out) {
    out.history.reset();
    if (!IsFolder(out.root)) {
        out.error = out.rootText;
        return;
    }
    out.signature = SignatureOf(expanded, out.root);
    std::string journal;
    for (const auto& f : JournalFiles(expanded, out.root)) {
        std::string text;
        if (!ReadWhole(f.path, text)) {
            out.error = JournalText(PlainPath(f.path));
            return;
        }
        if (!text.empty() && text.back() != '\n' && text.back() != '\r')
            text += "\r\n";
        journal += text;
    }
    const std::wstring versions = out.root + WidenCp1251(kVersionsFolderName) + L"\\";
    std::vector<HeldFolder> held;
    for (const auto& folder : ListStampedFolders(versions)) {
        if (IsRestoreFolder(versions, folder.name))
            continue;
        HeldFolder h{folder.stamp, folder.name, {}};
        if (!ReadHeldListOf(versions + folder.name + L"\\", h.files))
            ListTree(versions + folder.name + L"\\", L"", true, h.files, [](const std::wstring& name) {
                return !SameFileName(name, WidenCp1251(kHeldListName));
            });
        held.push_back(std::move(h));
    }
    out.history = std::make_unique<History>(journal, out.rootText, std::move(held), MirrorOnDisk(out.root),
                                            FileSystemUpperTable());
    out.error.clear();
}

// The folder part of a relative path ("" at the top).
std::wstring ParentRel(const std::wstring& rel) {
    const size_t at = rel.rfind(L'\\');
    return at == std::wstring::npos ? std::wstring() : rel.substr(0, at);
}

class Restore {
public:
    Restore(LoadedHistory& loaded, const RestoreRequest& request, DateTime now)
        : m_loaded(loaded), m_request(request), m_now(now) {}

    RestoreSummary Run() {
        std::vector<std::pair<std::wstring, std::vector<HistoryEntry>>> trees; // per selection
        int64_t total = 0;
        for (const auto& rel : m_request.rels) {
            auto tree = m_loaded.history->Tree(m_request.moment, rel);
            for (const auto& e : tree)
                if (!e.IsFolder())
                    total += e.param.Size;
            if (!tree.empty())
                trees.emplace_back(rel, std::move(tree));
        }
        if (trees.empty()) {
            m_summary.outcome = RestoreOutcome::Nothing;
            return m_summary;
        }
        m_total = total;
        m_copier.emplace(kCopierThreads, m_request.stop, RestoreToFreeName);
        for (const auto& [selected, tree] : trees)
            for (const auto& e : tree) {
                if (Stopped())
                    break;
                RestoreEntry(selected, e);
            }
        TakeCopiesBack(0);
        m_summary.outcome = Stopped() ? RestoreOutcome::Stopped : RestoreOutcome::Done;
        return m_summary;
    }

private:
    bool Stopped() const { return m_request.stop && m_request.stop->load(std::memory_order_relaxed); }

    void Advance(int64_t bytes) {
        m_done += bytes;
        if (m_request.onProgress)
            m_request.onProgress(m_done, m_total);
    }

    // Where `e` goes: its original path, or below the chosen folder with its path below the selection.
    std::optional<std::wstring> DestinationOf(const std::wstring& selected, const HistoryEntry& e) const {
        if (m_request.destination.empty()) {
            const auto original = OriginalPathOf(m_loaded.spots, e.rel, SameFileName);
            if (!original)
                return std::nullopt;
            return ExtendedPath(FullPath(*original));
        }
        const std::wstring base = ParentRel(selected);
        const std::wstring below = e.rel.substr(base.empty() ? 0 : base.size() + 1);
        return ExtendedPath(WithSeparator(FullPath(m_request.destination)) + below);
    }

    std::wstring SourceOf(const HistoryEntry& e) const {
        if (e.source == EntrySource::Held)
            return m_loaded.root + WidenCp1251(kVersionsFolderName) + L"\\" + e.held + L"\\" + e.rel;
        return m_loaded.root + e.rel;
    }

    void Fail(const std::wstring& path, std::string reason) {
        m_summary.failed.push_back({PlainPath(path), std::move(reason)});
    }
    // The system's reason for the last call that failed on this thread.
    void FailWithLastError(const std::wstring& path) { Fail(path, SystemErrorText(GetLastError())); }

    void RestoreEntry(const std::wstring& selected, const HistoryEntry& e) {
        if (e.rel.empty())
            return; // the mirror folder itself
        const auto dest = DestinationOf(selected, e);
        if (!dest) {
            // A folder above every listed source is made with what lies in it; a file no source
            // produces has no original place.
            if (!e.IsFolder()) {
                Fail(e.rel, "ни один источник из списка не даёт этот путь: исходного места нет");
                Advance(e.param.Size);
            }
            return;
        }
        if (e.IsFolder()) {
            // Made at once where it can be (a folder comes before what it holds, so its parent is
            // there); else it is there already, or the folders above it are missing.
            if (!MakeFolder(*dest)) {
                if (IsFolder(*dest))
                    return;
                CreateDirChain(*dest);
                if (!IsFolder(*dest))
                    return Fail(*dest, ReadAttributes(*dest) != -1 ? "на этом месте файл"
                                                                   : "папку не удалось создать");
            }
            m_madeFolders.insert(*dest);
            ++m_summary.folders;
            // A folder made has no attributes but the folder's own.
            if (e.source == EntrySource::Mirror && (e.param.Attr & ~kFolderBit) != 0)
                WriteAttributes(*dest, e.param.Attr & ~kFolderBit);
            return;
        }
        RestoreFile(SourceOf(e), *dest, e);
        if (!Stopped())
            Advance(0);
    }

    void RestoreFile(const std::wstring& source, const std::wstring& dest, const HistoryEntry& e) {
        // In a folder this restore made nothing can stand yet (and the rename never replaces).
        WideEntry there;
        const bool occupied = m_madeFolders.count(FileDirOf(dest)) == 0 && ReadEntry(dest, there);
        if (occupied && !(there.Attr & kFolderBit) && there.Size == e.param.Size &&
            there.Time == e.param.Time) {
            ++m_summary.identical; // the same file: left as it is
            m_done += e.param.Size;
            return;
        }
        if (occupied && (there.Attr & kFolderBit) && m_request.replace) {
            m_done += e.param.Size;
            return Fail(dest, "на этом месте папка"); // a folder is never replaced by a file
        }
        const bool beside = occupied && !m_request.replace;
        const std::wstring target =
            beside ? FileDirOf(dest) + L"\\" + BesideName(dest.substr(dest.rfind(L'\\') + 1), m_now) : dest;
        MakeFolderOnce(FileDirOf(target));
        if (!(occupied && m_request.replace) && e.param.Size <= static_cast<int64_t>(kBlockBytes)) {
            m_copier->Add(source, target, e.param.Attr, e.param.Size);
            m_copiesAhead.push_back(beside);
            TakeCopiesBack(kCopiesAhead - 1);
            return;
        }
        TakeCopiesBack(0); // the progress stays in order
        const std::wstring temp = target + kTempSuffix;
        const int64_t before = m_done;
        const BlockCopy copied = CopyToTemp(source, temp, [&](int64_t bytes) {
            Advance(bytes);
            return !Stopped();
        });
        if (copied == BlockCopy::Stopped) {
            m_done = before; // nothing of it was written
            return;
        }
        m_done = before + e.param.Size;
        if (copied != BlockCopy::Done)
            return FailWithLastError(target);
        std::wstring heldAs;
        if (occupied && m_request.replace && !HoldCurrent(dest, e.rel, heldAs)) {
            const DWORD error = GetLastError();
            DeleteFileW(temp.c_str());
            return Fail(dest,
                        "файл пользователя не удалось сохранить в ~versions: " + SystemErrorText(error));
        }
        if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            const DWORD error = GetLastError();
            DeleteFileW(temp.c_str());
            if (!heldAs.empty())
                MoveFileExW(heldAs.c_str(), dest.c_str(), MOVEFILE_COPY_ALLOWED);
            return Fail(target, SystemErrorText(error));
        }
        GiveAttributes(target, e.param.Attr);
        ++m_summary.restored;
        if (!heldAs.empty())
            ++m_summary.replaced;
        if (beside)
            m_summary.beside.push_back(PlainPath(target));
    }

    // Counts the copies handed to the copiers, oldest first: those finished, and waiting for those
    // under way until at most `keep` are outstanding. A copy the stop kept from starting counts
    // nothing.
    void TakeCopiesBack(size_t keep) {
        NewFileCopier::Copy copy;
        while (m_copier && m_copier->TakeFinished(copy, m_copier->Outstanding() > keep)) {
            const bool beside = m_copiesAhead.front();
            m_copiesAhead.pop_front();
            if (copy.Result == NewFileCopier::Outcome::NotStarted)
                continue;
            if (copy.Result != NewFileCopier::Outcome::Done) {
                Fail(copy.Target, SystemErrorText(copy.Error));
            } else {
                ++m_summary.restored;
                if (beside)
                    m_summary.beside.push_back(PlainPath(copy.Target));
            }
            Advance(copy.Size);
        }
    }

    // Makes a file's folder with the folders above it, unless this restore made it or the file
    // before it went there too.
    void MakeFolderOnce(const std::wstring& folder) {
        if (folder == m_lastFolder || m_madeFolders.count(folder) != 0)
            return;
        CreateDirChain(folder);
        m_lastFolder = folder;
    }

    // Moves the user's file at `dest` into the restore's stamped folder under `rel`.
    bool HoldCurrent(const std::wstring& dest, const std::wstring& rel, std::wstring& heldAs) {
        const std::wstring folder =
            m_loaded.root + WidenCp1251(kVersionsFolderName) + L"\\" + StampedFolderName(m_now) + L"\\";
        CreateDirChain(folder);
        const std::wstring mark = folder + WidenCp1251(kRestoreMarkName);
        if (!IsFile(mark)) {
            FileHandle h(CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!h)
                return false;
        }
        heldAs = folder + rel;
        CreateDirChain(FileDirOf(heldAs));
        const int32_t attr = ReadAttributes(dest);
        if (attr != -1 && (attr & FILE_ATTRIBUTE_READONLY))
            WriteAttributes(dest, attr & ~FILE_ATTRIBUTE_READONLY);
        if (MoveFileExW(dest.c_str(), heldAs.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))
            return true;
        if (attr != -1)
            WriteAttributes(dest, attr);
        heldAs.clear();
        return false;
    }

    LoadedHistory& m_loaded;
    const RestoreRequest& m_request;
    DateTime m_now;
    RestoreSummary m_summary;
    int64_t m_done = 0, m_total = 0;
    std::wstring m_lastFolder; // the folder the last file went to
    std::optional<NewFileCopier> m_copier;
    std::unordered_set<std::wstring> m_madeFolders; // the folders this restore made
    std::deque<bool> m_copiesAhead; // of each copy handed to the copiers: whether it goes beside a file
};

} // namespace

LoadedHistory LoadHistory(const BackupSettings& settings) {
    LoadedHistory out;
    BackupSettings expanded;
    if (PlaceOf(settings, out, expanded))
        ReadHistory(expanded, out);
    return out;
}

RestoreSummary RunRestore(const BackupSettings& settings, LoadedHistory& loaded,
                          const RestoreRequest& request, DateTime now) {
    RestoreSummary summary;
    BackupSettings expanded;
    if (!PlaceOf(settings, loaded, expanded) || !IsFolder(loaded.root)) {
        summary.outcome = RestoreOutcome::Error;
        summary.error = loaded.error.empty() ? loaded.rootText : loaded.error;
        return summary;
    }
    // From the first read of the backup to the last rename, no pass changes it.
    MirrorLock lock;
    switch (lock.Take(loaded.root + WidenCp1251(kPassLockName))) {
    case MirrorLock::Outcome::Busy:
        summary.outcome = RestoreOutcome::Busy;
        return summary;
    case MirrorLock::Outcome::Failed:
        summary.outcome = RestoreOutcome::Error;
        summary.error = loaded.rootText;
        return summary;
    case MirrorLock::Outcome::Taken:
        break;
    }
    RestoreRequest asked = request;
    if (!loaded.history || SignatureOf(expanded, loaded.root) != loaded.signature) {
        // A pass has been at work since the history was read: read it again, and find the moment
        // asked for by the pass it follows.
        const bool wasNow = !loaded.history || request.moment.undoFrom == loaded.history->StepCount();
        ReadHistory(expanded, loaded);
        if (!loaded.history) {
            summary.outcome = RestoreOutcome::Error;
            summary.error = loaded.error;
            return summary;
        }
        if (wasNow) {
            asked.moment = loaded.history->Now();
        } else {
            const auto& moments = loaded.history->Moments();
            const auto same = std::find_if(moments.begin(), moments.end(), [&](const HistoryMoment& m) {
                return m.start == request.moment.start && m.stop == request.moment.stop;
            });
            if (same == moments.end()) {
                summary.outcome = RestoreOutcome::Nothing;
                return summary;
            }
            asked.moment = *same;
        }
    }
    return Restore(loaded, asked, now).Run();
}

RestoreWorker::~RestoreWorker() {
    Stop();
    Wait();
}

bool RestoreWorker::Start(const BackupSettings& settings, LoadedHistory& loaded, RestoreRequest request,
                          DateTime now, std::function<void(const RestoreSummary&)> onDone) {
    if (m_running)
        return false;
    Wait();
    m_stop = false;
    m_running = true;
    request.stop = &m_stop;
    m_thread =
        std::thread([this, settings, &loaded, request = std::move(request), now, onDone = std::move(onDone)] {
            const RestoreSummary summary = RunRestore(settings, loaded, request, now);
            if (onDone)
                onDone(summary);
            m_running = false;
        });
    return true;
}

void RestoreWorker::Wait() {
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace vestrand
