#include "settings/config_table.h"

#include <limits>
#include <type_traits>

namespace vestrand {
namespace {

template <auto Member> int64_t Get(const BackupSettings& s) {
    return s.*Member;
}

template <auto Member> void Set(BackupSettings& s, int64_t value) {
    s.*Member = static_cast<std::remove_reference_t<decltype(s.*Member)>>(value);
}

constexpr int64_t kNoMax = std::numeric_limits<int64_t>::max();

// An integer kept in `Member`: read with `defaultValue` when missing or not an integer, brought into
// loadMin..loadMax, shown in a number field with the range fieldMin..fieldMax.
template <auto Member>
constexpr ConfigSetting Number(const char* key, int place, int32_t defaultValue, int64_t loadMin,
                               int64_t loadMax, int64_t fieldMin, int64_t fieldMax, const char* label,
                               ConfigBox labelBox, ConfigBox fieldBox, bool writtenWhenMissing = true) {
    return {key,      place,    ConfigKind::Number, defaultValue,      loadMin, loadMax,
            fieldMin, fieldMax, &Get<Member>,       &Set<Member>,      nullptr, nullptr,
            label,    labelBox, fieldBox,           writtenWhenMissing};
}

// Text kept in `member` (a Folder is read with a trailing separator and shown read-only).
constexpr ConfigSetting Text(const char* key, int place, ConfigKind kind, const char* defaultValue,
                             std::string BackupSettings::*member, const char* label, ConfigBox labelBox,
                             ConfigBox fieldBox) {
    return {key,     place,   kind,         0,      0,     0,        0,       0,
            nullptr, nullptr, defaultValue, member, label, labelBox, fieldBox};
}

// The rows in the order of the settings file; `place` orders the page «Прочее» from the top.
const ConfigSetting kSettings[] = {
    Number<&BackupSettings::SaveMin>("SaveMin", 2, 60, 5, 1440, 5, 1440,
                                     "Период сохранения (Min):", {24, 60, 129, 13}, {160, 56, 121, 21}),
    Text("IdentifComp", 0, ConfigKind::Text, "Test", &BackupSettings::IdentifComp,
         "Название полиса:", {24, 12, 92, 13}, {160, 8, 121, 21}),
    Text("TargetDir", 1, ConfigKind::Folder, "F:\\Arch", &BackupSettings::TargetDir,
         "Директория сохранения:", {24, 36, 127, 13}, {160, 32, 241, 21}),
    // No range on the field: any value typed is kept (the load still raises it to 5).
    Number<&BackupSettings::LowDriveSpaceMb>(
        "LowDriveSpaceMb", 3, 10, 5, kNoMax, 0, 0,
        "Допустимое свободное место на диске сохранения  (Mb):", {24, 88, 294, 13}, {160, 104, 121, 21}),
    // On by default: a file without the key gets a month written, so that a deleted or damaged file
    // can be got back; 0 switches holding off.
    Number<&BackupSettings::KeepVersionsDays>("KeepVersionsDays", 4, 30, 0, 3650, 0, 3650,
                                              "Хранить прежние версии (дней):", {24, 136, 163, 13},
                                              {160, 152, 121, 21}),
    // A pass whose plan would overwrite or delete this share of the backup's files waits for the user.
    Number<&BackupSettings::GuardPercent>(
        "GuardPercent", 5, 30, 0, 100, 0, 100,
        "Спрашивать, если копия заменит или удалит (%):", {24, 184, 270, 13}, {160, 200, 121, 21}),
    // Days without a complete pass before the tray warns that the backup has grown old.
    Number<&BackupSettings::WarnAfterDays>("WarnAfterDays", 6, 3, 0, 365, 0, 365,
                                           "Предупреждать, если нет полной копии (дней):", {24, 228, 240, 13},
                                           {288, 224, 105, 21}),
};

} // namespace

std::span<const ConfigSetting> ConfigSettings() {
    return kSettings;
}

int64_t ClampLoaded(const ConfigSetting& setting, int64_t value) {
    return value < setting.loadMin ? setting.loadMin : value > setting.loadMax ? setting.loadMax : value;
}

} // namespace vestrand
