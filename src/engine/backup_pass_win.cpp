#include "engine/backup_pass_win.h"

#include <windows.h>

#include "engine/backup_index_win.h"
#include "engine/fileops_win.h"
#include "engine/journal_win.h"
#include "runtime/platform_win.h"

namespace vestrand {

bool IsSafeIdentifComp(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::string("\\/:*?\"<>|").find(c) != std::string::npos)
            return false;
    return true;
}

namespace {

constexpr int64_t kBudgetRecheck = 500000;
constexpr int32_t kFolderBit = FILE_ATTRIBUTE_DIRECTORY;
constexpr const char* kCopySuffix = ".~vestrand";  // a copy in progress, beside its mirror file

bool SameText(const std::string& a, const std::string& b) { return CompareIndexKeys(a, b) == 0; }

// True when `path` is `folder` (both ending in "\") or lies below it, ignoring case.
bool IsAtOrBelow(const std::string& path, const std::string& folder) {
    return path.size() >= folder.size() && SameText(path.substr(0, folder.size()), folder);
}

std::string WithoutTrailingSeparator(std::string path) {
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

// Copies src over mirror through a temporary file beside it, so that the mirror name holds either
// the previous copy or a complete new one. Carries the source's time; attributes are set after.
bool CopyIntoMirror(const std::string& src, const std::string& mirror) {
    const std::string temp = mirror + kCopySuffix;
    WriteAttributes(temp, 0);
    DeleteFileA(temp.c_str());
    bool ok = CopyFileOver(src, temp);
    if (ok) {
        WriteAttributes(temp, 0);
        ok = MoveFileExA(temp.c_str(), mirror.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    }
    if (!ok) {
        WriteAttributes(temp, 0);
        DeleteFileA(temp.c_str());
    }
    return ok;
}

class Pass {
public:
    Pass(const BackupSettings& s, bool autoRunOnce, IBackupDisplay& d, ISchedule& sch, IClock& c)
        : m_s(s), m_autoRunOnce(autoRunOnce), m_display(d), m_schedule(sch), m_clock(c) {}

    void Run() {
        if (!IsSafeIdentifComp(m_s.IdentifComp))
            return;
        m_root = m_s.TargetDir + m_s.IdentifComp + "\\";
        if (!IsFolder(m_root)) {
            CreateDirChain(m_root);
            if (!IsFolder(m_root))
                return;
        }
        m_floor = m_s.LowDriveSpaceMb * 1000000;
        m_budget = DriveFree(m_s.TargetDir) - m_floor;
        if (m_budget < 0)
            return;
        m_display.SetBusyCursor(true);
        m_display.SetTrayHint("Создаю полис");
        Journal journal(m_root);
        m_journal = &journal;
        journal.Append("Start " + Stamp());
        m_display.SetGaugeMax(3);
        m_display.SetGaugeMin(0);
        Walk("");
        m_index.Sort();
        m_display.SetGaugeProgress(1);
        for (const auto& folder : m_s.SourceDirs)
            if (!folder.empty())
                MirrorSource(NormalizeDir(folder));
        m_display.SetGaugeProgress(2);
        FileStage();
        m_display.SetGaugeProgress(3);
        if (m_budget > 0)
            DeletionStage();
        else
            journal.Append("DiskFull " + Stamp());
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
    }

private:
    std::string Stamp() { return FormatTimeStamp(m_clock.Now(), TimeSeparator()); }

    bool BudgetOk() {
        if (m_budget < kBudgetRecheck)
            m_budget = DriveFree(m_s.TargetDir) - m_floor;
        return m_budget >= 0;
    }

    // The index walk: everything under the mirror folder except the journal and its save file.
    void Walk(const std::string& rel) {
        SearchFolder(m_root + rel + "*.*", [&](const DirEntry& e) {
            if (e.Name == "." || e.Name == "..")
                return true;
            if (rel.empty() && (SameText(e.Name, kJournalName) || SameText(e.Name, kJournalTempName)))
                return true;
            m_index.Add(rel + e.Name, TFileParam{e.Time, e.Size, e.Attr});
            if (e.Attr & kFolderBit)
                Walk(rel + e.Name + "\\");
            return true;
        });
    }

    void MirrorSource(const std::string& root) {
        if (IsAtOrBelow(root, m_root))
            return;  // a source inside the mirror folder would mirror the mirror
        Mirror(root, "");
    }

    // The directory stage for root + rel (rel empty or ending in "\").
    void Mirror(const std::string& root, const std::string& rel) {
        const std::string dir = root + rel;
        const bool found = SearchFolder(dir + "*.*", [&](const DirEntry& e) {
            if (!BudgetOk()) {
                return false;
            }
            if (e.Name == "." || e.Name == "..")
                return true;
            const std::string src = dir + e.Name;
            const bool isFolder = (e.Attr & kFolderBit) != 0;
            if (isFolder && SameText(src + "\\", m_root))
                return true;  // never enter the mirror folder
            const std::string mirrorRel = src.substr(3);
            const std::string mirror = m_root + mirrorRel;
            if (const TFileParam* p = m_index.Find(mirrorRel)) {
                const bool same = p->Time == e.Time && p->Size == e.Size && p->Attr == e.Attr;
                if (!same && (!isFolder || p->Attr != e.Attr))
                    Report(CopyEntry(src, mirror, e), "Update ", mirror);
                m_index.Remove(mirrorRel);
            } else {
                Report(CopyEntry(src, mirror, e), "New    ", mirror);
            }
            if (isFolder)
                Mirror(root, rel + e.Name + "\\");
            return true;
        });
        if (!found) {
            const DWORD why = GetLastError();
            // An existing empty folder (a drive root lists no "." entry) is not unreachable.
            if (why != ERROR_FILE_NOT_FOUND || !IsFolder(dir))
                m_index.RemoveTree(WithoutTrailingSeparator(dir.size() > 3 ? dir.substr(3) : std::string()));
        }
    }

    bool CopyEntry(const std::string& src, const std::string& mirror, const DirEntry& e) {
        WriteAttributes(mirror, 0);
        bool ok;
        if (e.Attr & kFolderBit) {
            CreateDirChain(mirror);
            ok = IsFolder(mirror);
        } else {
            CreateDirChain(FileDirOf(mirror));
            ok = CopyIntoMirror(src, mirror);
            m_budget -= e.Size;
        }
        WriteAttributes(mirror, e.Attr);
        return ok;
    }

    void Report(bool ok, const char* tag, const std::string& mirror) {
        m_journal->Append((ok ? std::string(tag) : std::string("Failed ")) + mirror);
    }

    void FileStage() {
        for (const auto& src : m_s.SourceFiles) {
            if (src.empty())
                continue;
            if (!BudgetOk())
                return;
            const std::string rel = src.size() > 3 ? src.substr(3) : std::string();
            if (!IsFile(src)) {
                if (!rel.empty())
                    m_index.Remove(rel);  // an unreachable source file keeps its mirror copy
                continue;
            }
            const std::string mirror = m_root + rel;
            if (const TFileParam* p = m_index.Find(rel)) {
                if (FileStamp(src) != p->Time || ReadAttributes(src) != p->Attr)
                    Report(CopyListedFile(src, mirror), "Update ", mirror);
                m_index.Remove(rel);
            } else {
                Report(CopyListedFile(src, mirror), "New    ", mirror);
            }
        }
    }

    static bool CopyListedFile(const std::string& src, const std::string& mirror) {
        WriteAttributes(mirror, 0);
        CreateDirChain(FileDirOf(mirror));
        const bool ok = CopyIntoMirror(src, mirror);
        WriteAttributes(mirror, ReadAttributes(src));
        return ok;
    }

    void DeletionStage() {
        m_index.ForEach([&](const std::string& rel, const TFileParam& p) {
            const std::string path = m_root + rel;
            WriteAttributes(path, 0);
            if (p.Attr & kFolderBit) {
                if (RemoveFolder(path))
                    m_journal->Append("Delete " + rel);
            } else {
                const bool ok = DeleteFileA(path.c_str()) != 0 || !IsFile(path);
                m_journal->Append((ok ? "Delete " : "Failed ") + rel);
            }
        });
    }

    const BackupSettings& m_s;
    bool m_autoRunOnce;
    IBackupDisplay& m_display;
    ISchedule& m_schedule;
    IClock& m_clock;
    std::string m_root;
    int64_t m_floor = 0;
    int64_t m_budget = 0;
    BackupIndex m_index;
    Journal* m_journal = nullptr;
};

}  // namespace

void RunBackupPass(const BackupSettings& settings, bool autoRunOnce, IBackupDisplay& display, ISchedule& schedule,
                   IClock& clock) {
    Pass(settings, autoRunOnce, display, schedule, clock).Run();
}

}  // namespace vestrand
