#include "ui/pass_notices_win.h"

namespace vestrand {
namespace {

// Units of 1,000,000 bytes, as the free-space floor is given in the settings.
std::string Mb(int64_t bytes) {
    return std::to_string(bytes / 1000000);
}

} // namespace

std::string RefusalText(const PassResult& result) {
    switch (result.refusal) {
    case PassRefusal::UnsafeName:
        return "Недопустимое имя папки компьютера (IdentifComp): \"" + result.path + "\"";
    case PassRefusal::TargetUnusable:
        return "Папка копий (TargetDir) должна быть на диске с буквой или в сетевой папке "
               "(\\\\сервер\\ресурс\\): " +
               result.path;
    case PassRefusal::RootUnreachable:
        return "Папка копии недоступна: " + result.path;
    case PassRefusal::NotAMirror:
        return "Папка копии содержит файлы, которые не являются копией, и не тронута: " + result.path;
    case PassRefusal::ForeignMirror:
        return "Папка копии принадлежит компьютеру " + result.path + ": задайте своё название полиса";
    case PassRefusal::OwnerUnreadable:
        return "Не удаётся прочесть, чья это папка копии: " + result.path;
    case PassRefusal::UnsetVariable:
        return "Переменная окружения " + result.path + " не задана";
    case PassRefusal::LowSpace:
        if (result.freeBytes < 0)
            return "Не удаётся узнать свободное место на диске " + result.path;
        return "Мало места на диске " + result.path + " (свободно " + Mb(result.freeBytes) + " Мб, нужно " +
               Mb(result.floorBytes) + " Мб)";
    case PassRefusal::Busy:
        return "Папка копии занята другим копированием: " + result.path;
    case PassRefusal::None:
        break;
    }
    return std::string();
}

Balloon NoticeBalloon(const PassResult& result, const NoticeDue& due) {
    const std::string given = "Прежние версии удалены раньше срока: не хватало места на диске копии.";
    if (due.paused)
        return {BalloonIcon::Warning, PausedBalloonText(result.damage)};
    if (due.refusal)
        return {BalloonIcon::Error,
                due.versionsGiven ? given + "\n" + RefusalText(result) : RefusalText(result)};
    std::string text = due.versionsGiven ? given : std::string();
    if (due.diskFull)
        text += std::string(text.empty() ? "" : "\n") +
                "Копирование остановлено: на диске копии осталось меньше " + Mb(result.floorBytes) + " Мб.";
    if (due.failures) {
        if (!text.empty())
            text += "\n";
        text += "Не скопировано: " + std::to_string(result.failed.size()) + ". Подробности в журнале " +
                result.journalPath;
    } else if (due.diskFull) {
        text += " Подробности в журнале " + result.journalPath;
    }
    return {BalloonIcon::Warning, text};
}

} // namespace vestrand
