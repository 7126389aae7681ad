#include "ui/journal_view_win.h"

#include <windows.h>

#include <shellapi.h>

#include "engine/fileops_win.h"
#include "engine/journal.h"
#include "engine/mirror_owner_win.h"
#include "engine/paths.h"
#include "runtime/error.h"

namespace vestrand {

bool OpenWithShell(const std::string& path) {
    const auto rc = reinterpret_cast<INT_PTR>(
        ::ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return rc > 32;
}

std::string JournalPathOf(const BackupSettings& settings, std::string& why) {
    BackupSettings expanded = settings;
    std::string unset;
    if (!ExpandSettingsVariables(expanded, unset)) {
        why = "Переменная окружения " + unset + " не задана";
        return std::string();
    }
    if (!IsSafeIdentifComp(expanded.IdentifComp) || !IsBackupTarget(expanded.TargetDir)) {
        why = "Папка копии не задана: " + expanded.TargetDir + expanded.IdentifComp;
        return std::string();
    }
    return MirrorFolderOf(expanded.TargetDir, expanded.IdentifComp) + kJournalName;
}

void ShowJournalCopy(const BackupSettings& settings, const std::string& tempFolder, const OpenFileFn& open) {
    std::string why;
    const std::string journal = JournalPathOf(settings, why);
    if (journal.empty())
        throw VestrandError("Журнал недоступен. " + why);
    if (!IsFile(journal))
        throw VestrandError("Журнал недоступен: " + journal +
                            " не найден (диск копии не подключён или "
                            "копирования ещё не было)");
    if (tempFolder.empty())
        throw VestrandError("Не удаётся найти временную папку для копии журнала");
    const std::string copy = tempFolder + "vestrand journal.txt";
    ::SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL); // an earlier copy of a read-only journal
    if (!::CopyFileA(journal.c_str(), copy.c_str(), FALSE))
        throw VestrandError("Не удаётся скопировать журнал " + journal + " в " + copy);
    ::SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!open(copy))
        throw VestrandError("Не удаётся открыть " + copy);
}

std::string UserTempFolder() {
    char buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathA(sizeof buffer, buffer);
    return n > 0 && n < sizeof buffer ? NormalizeDir(std::string(buffer, n)) : std::string();
}

} // namespace vestrand
