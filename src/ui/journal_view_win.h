// «Журнал» of the tray menu: a copy of the mirror folder's journal, opened in the user's viewer, so
// that the viewer never holds or changes the journal a pass writes.
#pragma once
#include <functional>
#include <string>

#include "engine/backup_settings.h"

namespace vestrand {

// Opens a file in the program the user has for it; false when it cannot.
using OpenFileFn = std::function<bool(const std::string& path)>;
// ShellExecuteA "open".
bool OpenWithShell(const std::string& path);

// The journal of the mirror folder that `settings` name (variables expanded); empty, with `why`
// set, when the settings name none.
std::string JournalPathOf(const BackupSettings& settings, std::string& why);

// Copies the journal into `tempFolder` as "vestrand journal.txt" and opens the copy; a journal that
// cannot be reached or copied, or a copy that cannot be opened, raises an error that says why.
void ShowJournalCopy(const BackupSettings& settings, const std::string& tempFolder, const OpenFileFn& open);

// The user's temporary folder, with its separator.
std::string UserTempFolder();

} // namespace vestrand
