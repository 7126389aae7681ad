// vestrand.exe RESTORE <path> [<moment>] [<folder>]: one file or folder back from the backup,
// without a window.
#pragma once
#include <string>

namespace vestrand {

// The exit codes of the command.
enum RestoreExit : int {
    kRestoreDone = 0,    // everything restored (or found the same at its place)
    kRestorePartial = 1, // something failed, or went beside a different file of the user's
    kRestoreNothing = 2, // nothing in the backup under that path at that moment, or a pass holds the mirror
    kRestoreError = 3,   // the arguments, the settings or the backup cannot be used
};

// Runs the command of `commandLine` with the settings file `iniPath`. <path> and <folder> may write
// a character code page 1251 cannot hold as "<U+XXXX>", as the journal does.
int RunRestoreCommand(const std::string& commandLine, const std::string& iniPath);

} // namespace vestrand
