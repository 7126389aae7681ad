// The [Config] settings as the tests expect them, one row each: written here, never read from the
// program's own table, so a row the program loses, gains or changes fails the tests that walk this
// one (the settings file's, the generated settings files' and the dialog's).
#pragma once
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace vestrand::test {

struct ExpectedConfig {
    const char* key;
    int place;   // the field's place on the page «Прочее», from the top
    bool number; // a number field; otherwise text
    int64_t defaultNumber;
    const char* defaultText;    // as loaded when the key is missing (a folder with its separator)
    int64_t loadMin, loadMax;   // a loaded number is brought into these
    int64_t fieldMin, fieldMax; // the number field's range; equal: none
    bool writtenWhenMissing;    // loading writes the value back even when the file lacks the key
};

inline constexpr int64_t kNoUpperBound = std::numeric_limits<int64_t>::max();

// In the order of the settings file.
inline constexpr ExpectedConfig kExpectedConfig[] = {
    {"SaveMin", 2, true, 60, nullptr, 5, 1440, 5, 1440, true},
    {"IdentifComp", 0, false, 0, "Test", 0, 0, 0, 0, true},
    {"TargetDir", 1, false, 0, "F:\\Arch\\", 0, 0, 0, 0, true},
    {"LowDriveSpaceMb", 3, true, 10, nullptr, 5, kNoUpperBound, 0, 0, true},
    {"KeepVersionsDays", 4, true, 30, nullptr, 0, 3650, 0, 3650, true},
    {"GuardPercent", 5, true, 30, nullptr, 0, 100, 0, 100, true},
    {"WarnAfterDays", 6, true, 3, nullptr, 0, 365, 0, 365, true},
};

// The exclusions a settings file without any gets at its first load, in order.
inline const std::vector<std::string> kExpectedExclusions = {
    "pagefile.sys",   "hiberfil.sys", "swapfile.sys", "System Volume Information\\",
    "$RECYCLE.BIN\\", "Thumbs.db",    "~$*",
};

} // namespace vestrand::test
