// The settings that drive a pass: loaded from the settings file, edited in the settings dialog.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vestrand {

struct BackupSettings {
    int32_t SaveMin = 60;                 // minutes between passes
    std::string IdentifComp = "Test";     // this computer's folder under TargetDir
    std::string TargetDir = "F:\\Arch\\"; // the backup folder
    int64_t LowDriveSpaceMb = 10;         // free-space floor, units of 1,000,000 bytes
    int32_t KeepVersionsDays = 30;        // days a held version is kept; 0: nothing is held
    int32_t GuardPercent = 30;            // share of the mirror files a pass may destroy unasked; 0: any
    int32_t WarnAfterDays = 3;            // days without a complete pass before the user is warned; 0: never
    std::vector<std::string> SourceDirs;  // source folders, in order
    std::vector<std::string> SourceFiles; // single source files, in order
    std::vector<std::string> Exclude;     // patterns of what listed folders hold that is left out
};

} // namespace vestrand
