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

const ConfigSetting kSettings[] = {
    {"SaveMin",
     2,
     ConfigKind::Number,
     60,
     5,
     1440,
     5,
     1440,
     &Get<&BackupSettings::SaveMin>,
     &Set<&BackupSettings::SaveMin>,
     nullptr,
     nullptr,
     "Период сохранения (Min):",
     {24, 60, 129, 13},
     {160, 56, 121, 21}},
    {"IdentifComp",
     0,
     ConfigKind::Text,
     0,
     0,
     0,
     0,
     0,
     nullptr,
     nullptr,
     "Test",
     &BackupSettings::IdentifComp,
     "Название полиса:",
     {24, 12, 92, 13},
     {160, 8, 121, 21}},
    {"TargetDir",
     1,
     ConfigKind::Folder,
     0,
     0,
     0,
     0,
     0,
     nullptr,
     nullptr,
     "F:\\Arch",
     &BackupSettings::TargetDir,
     "Директория сохранения:",
     {24, 36, 127, 13},
     {160, 32, 241, 21}},
    {"LowDriveSpaceMb",
     3,
     ConfigKind::Number,
     10,
     5,
     kNoMax,
     0,
     0,
     &Get<&BackupSettings::LowDriveSpaceMb>,
     &Set<&BackupSettings::LowDriveSpaceMb>,
     nullptr,
     nullptr,
     "Допустимое свободное место на диске сохранения  (Mb):",
     {24, 88, 294, 13},
     {160, 104, 121, 21}},
    {"KeepVersionsDays",
     4,
     ConfigKind::Number,
     0,
     0,
     3650,
     0,
     3650,
     &Get<&BackupSettings::KeepVersionsDays>,
     &Set<&BackupSettings::KeepVersionsDays>,
     nullptr,
     nullptr,
     "Хранить прежние версии (дней):",
     {24, 136, 163, 13},
     {160, 152, 121, 21},
     false},
};

} // namespace

std::span<const ConfigSetting> ConfigSettings() {
    return kSettings;
}

int64_t ClampLoaded(const ConfigSetting& setting, int64_t value) {
    return value < setting.loadMin ? setting.loadMin : value > setting.loadMax ? setting.loadMax : value;
}

} // namespace vestrand
