#include "settings/restore_command_win.h"

#include <windows.h>

#include "engine/backup_index_win.h"
#include "engine/fileops_win.h"
#include "engine/restore_rules.h"
#include "engine/restore_win.h"
#include "runtime/cp1251.h"
#include "runtime/platform_win.h"
#include "settings/command_line.h"
#include "settings/settings_file_win.h"

namespace vestrand {

int RunRestoreCommand(const std::string& commandLine, const std::string& iniPath) {
    RestoreCommand command;
    if (!ParseRestoreCommand(commandLine, command))
        return kRestoreError;
    BackupSettings settings;
    try {
        LoadSettings(settings, iniPath);
    } catch (...) {
        // A settings file that cannot be written back is still read whole: its values are in force.
    }
    LoadedHistory loaded = LoadHistory(settings);
    if (!loaded.history)
        return kRestoreError;
    const auto rel =
        MirrorRelOfOriginal(loaded.spots, FullPath(PathOfJournalText(command.path)), SameFileName);
    if (!rel)
        return kRestoreNothing; // no listed source produces it: the backup holds nothing of it
    RestoreRequest request;
    request.moment = loaded.history->Now();
    if (!command.moment.empty()) {
        DateTime when = 0;
        ParseRestoreMoment(command.moment, when);
        const auto moment = loaded.history->MomentAtOrBefore(when);
        if (!moment)
            return kRestoreNothing;
        request.moment = *moment;
    }
    request.rels.push_back(*rel);
    if (!command.folder.empty())
        request.destination = FullPath(PathOfJournalText(command.folder));
    SystemClock clock;
    const RestoreSummary summary = RunRestore(settings, loaded, request, clock.Now());
    switch (summary.outcome) {
    case RestoreOutcome::Busy:
    case RestoreOutcome::Nothing:
        return kRestoreNothing;
    case RestoreOutcome::Error:
        return kRestoreError;
    case RestoreOutcome::Stopped:
        return kRestorePartial;
    case RestoreOutcome::Done:
        break;
    }
    return summary.failed.empty() && summary.beside.empty() ? kRestoreDone : kRestorePartial;
}

} // namespace vestrand
