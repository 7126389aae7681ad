// The settings file beside the executable, read and written through the private-profile functions.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/backup_settings.h"

namespace vestrand {

// The executable's full path with its extension replaced by ".ini".
std::string SettingsFilePathFor(const std::string& executablePath);
std::string SettingsFilePath();

// One settings file. Reads never fail (a missing file, section or key gives the default);
// a write the platform refuses raises "Unable to write to <path>".
class IniFile {
public:
    explicit IniFile(std::string path) : m_path(std::move(path)) {}
    const std::string& Path() const { return m_path; }

    std::string ReadString(const char* section, const std::string& key, const std::string& fallback) const;
    int32_t ReadInteger(const char* section, const std::string& key, int32_t fallback) const;
    void WriteString(const char* section, const std::string& key, const std::string& value) const;
    void WriteInteger(const char* section, const std::string& key, int64_t value) const;
    void EraseSection(const char* section) const;
    bool HasKey(const char* section, const std::string& key) const;

private:
    std::string m_path;
};

// What a settings file without exclusions gets, written into it at the first load.
inline constexpr const char* kDefaultExclusions[] = {
    "pagefile.sys",   "hiberfil.sys", "swapfile.sys", "System Volume Information\\",
    "$RECYCLE.BIN\\", "Thumbs.db",    "~$*",
};

// Reads the Config values of ConfigSettings() (corrected, written back at once), both source lists
// and the exclusions (the defaults written into a file that has no section of them).
// A refused write-back does not cut the loading short: everything is read and in force, and the
// first refusal is raised once loading has finished.
void LoadSettings(BackupSettings& settings, const std::string& iniPath);

// Writes the Config values from `settings`, then replaces both source lists and the exclusions in
// memory and in the file with the dialog's items, as they are ("None" for no exclusions). A refused
// write raises and skips the rest.
void SaveSettingsFromDialog(BackupSettings& settings, const std::vector<std::string>& dirItems,
                            const std::vector<std::string>& fileItems,
                            const std::vector<std::string>& excludeItems, const std::string& iniPath);

} // namespace vestrand
