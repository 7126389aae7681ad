#include "engine/mirror_opening_win.h"

#include <windows.h>

#include "engine/backup_index_win.h" // SameFileName
#include "engine/fileops_win.h"
#include "engine/journal_win.h"
#include "engine/mirror_owner_win.h"
#include "engine/paths.h"
#include "runtime/cp1251.h"
#include "runtime/cp1251_win.h"

namespace vestrand {
namespace {

// A folder this program mirrors into: it holds the mark that every pass leaves, the journal or
// the versions folder, or the backup folder holds an archive of its journal. An empty folder is
// taken too. Any other folder holds the user's own files, which a pass would delete.
bool IsMirrorOfThisProgram(const std::wstring& root, const std::wstring& targetDir,
                           const std::string& identifComp) {
    return ReadAttributes(root + WidenCp1251(kPassLockName)) != -1 ||
           IsFile(root + WidenCp1251(kJournalName)) || IsFolder(root + WidenCp1251(kVersionsFolderName)) ||
           IsEmptyFolder(root) || !JournalArchivesIn(targetDir, identifComp).empty();
}

MirrorOpening Refusal(PassRefusal why, std::string path) {
    MirrorOpening refused;
    refused.refusal = why;
    refused.path = std::move(path);
    return refused;
}

} // namespace

std::wstring OpenedMirror::OwnPath(const char* name) const {
    return root + WidenCp1251(name);
}

MirrorOpening OpenMirror(const BackupSettings& s) {
    if (!IsSafeIdentifComp(s.IdentifComp))
        return Refusal(PassRefusal::UnsafeName, s.IdentifComp);
    if (!IsBackupTarget(s.TargetDir))
        return Refusal(PassRefusal::TargetUnusable, s.TargetDir);
    auto mirror = std::make_unique<OpenedMirror>();
    mirror->text = MirrorFolderOf(s.TargetDir, s.IdentifComp);
    mirror->full = WithSeparator(FullPath(WidenCp1251(mirror->text)));
    mirror->root = ExtendedPath(mirror->full);
    // A folder the pass makes is its own; one that was there must show that it is a mirror.
    if (!IsFolder(mirror->root)) {
        CreateDirChain(mirror->root);
        if (!IsFolder(mirror->root))
            return Refusal(PassRefusal::RootUnreachable, mirror->text);
    } else if (!IsMirrorOfThisProgram(mirror->root, ExtendedPath(FullPath(WidenCp1251(s.TargetDir))),
                                      s.IdentifComp)) {
        return Refusal(PassRefusal::NotAMirror, mirror->text);
    }
    switch (mirror->lock.Take(mirror->OwnPath(kPassLockName))) {
    case MirrorLock::Outcome::Busy:
        return Refusal(PassRefusal::Busy, mirror->text);
    case MirrorLock::Outcome::Failed:
        return Refusal(PassRefusal::RootUnreachable, mirror->text);
    case MirrorLock::Outcome::Taken:
        break;
    }
    // Under the lock, before anything changes: the mirror folder must be this computer's.
    const OwnerClaim owner = ClaimMirror(mirror->root, mirror->text, mirror->OwnPath(kCopyTempName));
    if (owner.refusal != PassRefusal::None)
        return Refusal(owner.refusal, owner.path);
    mirror->longForm = WithSeparator(LongFullPath(mirror->full));
    MirrorOpening opened;
    opened.mirror = std::move(mirror);
    return opened;
}

bool IsPassOwnName(const std::wstring& rel) {
    if (rel.find(L'\\') != std::wstring::npos)
        return false;
    for (const char* own : kMirrorOwnNames)
        if (SameFileName(rel, WidenCp1251(own)))
            return true;
    return false;
}

} // namespace vestrand
