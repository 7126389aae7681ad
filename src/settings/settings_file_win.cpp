#include "settings/settings_file_win.h"

#include <windows.h>

#include <cstring>

#include <exception>
#include <functional>

#include "engine/exclusions.h" // TrimBlanks
#include "engine/fileops_win.h"
#include "engine/paths.h"
#include "runtime/error.h"
#include "runtime/handles_win.h"
#include "runtime/platform_win.h"
#include "settings/config_table.h"
#include "settings/ini_int.h"

namespace vestrand {
namespace {

constexpr const char* kConfig = "Config";
constexpr const char* kSourceDir = "SourceDir";
constexpr const char* kSourceFile = "SourceFile";
constexpr const char* kExclude = "Exclude";
constexpr const char* kListEnd = "None";
constexpr DWORD kValueBuffer = 2048; // a value is read as at most 2047 characters

// Runs each write-back in turn; a refused one is remembered and the others still run.
class WriteBacks {
public:
    void Run(const std::function<void()>& write) {
        try {
            write();
        } catch (const VestrandError&) {
            if (!m_first)
                m_first = std::current_exception();
        }
    }
    void RaiseFirst() const {
        if (m_first)
            std::rethrow_exception(m_first);
    }

private:
    std::exception_ptr m_first;
};

// Keeps the processes of a session from reading the settings file while another one rewrites it:
// the private-profile functions write a whole new file, and a second process started at the same
// moment (autostart and a START from the scheduler) could read it half-written and run with
// defaults. Held around every load and save; a holder that died releases it (WAIT_ABANDONED), and
// one that hangs is waited for 10 seconds at most.
class SettingsFileGuard {
public:
    explicit SettingsFileGuard(const std::string& iniPath)
        : m_mutex(::CreateMutexA(nullptr, FALSE, ("Local\\Vestrand.Settings." + PathTag(iniPath)).c_str())) {
        const DWORD wait = m_mutex ? ::WaitForSingleObject(m_mutex.Get(), 10000) : WAIT_FAILED;
        m_held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~SettingsFileGuard() {
        if (m_held)
            ::ReleaseMutex(m_mutex.Get());
    }
    SettingsFileGuard(const SettingsFileGuard&) = delete;
    SettingsFileGuard& operator=(const SettingsFileGuard&) = delete;

private:
    KernelHandle m_mutex;
    bool m_held = false;
};

// A Config value read and corrected as its row says.
void LoadValue(const IniFile& ini, const ConfigSetting& row, BackupSettings& s) {
    switch (row.kind) {
    case ConfigKind::Number:
        row.setNumber(s, ClampLoaded(row, ini.ReadInteger(kConfig, row.key, row.defaultNumber)));
        break;
    case ConfigKind::Text:
        s.*row.text = ini.ReadString(kConfig, row.key, row.defaultText);
        break;
    case ConfigKind::Folder:
        s.*row.text = NormalizeDir(ini.ReadString(kConfig, row.key, row.defaultText));
        break;
    }
}

void StoreValue(const IniFile& ini, const ConfigSetting& row, const BackupSettings& s) {
    if (row.kind == ConfigKind::Number)
        ini.WriteInteger(kConfig, row.key, row.number(s));
    else
        ini.WriteString(kConfig, row.key, s.*row.text);
}

// Keys "1", "2", ... up to the first missing key or the exact value "None".
template <typename Canonical>
std::vector<std::string> ReadList(const IniFile& ini, const char* section, Canonical canonical) {
    std::vector<std::string> items;
    for (int n = 1;; ++n) {
        const std::string value = ini.ReadString(section, std::to_string(n), kListEnd);
        if (value == kListEnd)
            break;
        items.push_back(canonical(value));
    }
    return items;
}

void WriteList(const IniFile& ini, const char* section, const std::vector<std::string>& items) {
    ini.EraseSection(section);
    int n = 1;
    for (const auto& item : items)
        ini.WriteString(section, std::to_string(n++), item);
}

// The exclusions: the defaults are written into a file that has none, so that the user finds them
// there; an empty list is saved as "None", which keeps the defaults from coming back.
std::vector<std::string> LoadExclusions(const IniFile& ini) {
    if (ini.HasKey(kExclude, "1"))
        return ReadList(ini, kExclude, [](const std::string& value) { return TrimBlanks(value); });
    const std::vector<std::string> defaults(std::begin(kDefaultExclusions), std::end(kDefaultExclusions));
    try {
        WriteList(ini, kExclude, defaults);
    } catch (const VestrandError&) {
        // A file that cannot be written still gets the defaults in memory.
    }
    return defaults;
}

void SaveExclusions(const IniFile& ini, std::vector<std::string> items) {
    if (items.empty()) {
        ini.EraseSection(kExclude);
        ini.WriteString(kExclude, "1", kListEnd);
        return;
    }
    // A pattern "None" would end the list where it stands and lose the patterns after it; it is
    // written in lower case, which names the same entries (patterns ignore letter case).
    for (auto& item : items)
        if (item == kListEnd)
            item = "none";
    WriteList(ini, kExclude, items);
}

} // namespace

std::string SettingsFilePathFor(const std::string& executablePath) {
    const auto slash = executablePath.find_last_of("\\/:");
    const auto dot = executablePath.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? executablePath.substr(0, dot) : executablePath) + ".ini";
}

std::string SettingsFilePath() {
    return SettingsFilePathFor(ExecutablePath());
}

std::string IniFile::ReadString(const char* section, const std::string& key,
                                const std::string& fallback) const {
    char buffer[kValueBuffer];
    const DWORD length = ::GetPrivateProfileStringA(section, key.c_str(), fallback.c_str(), buffer,
                                                    kValueBuffer, m_path.c_str());
    return std::string(buffer, length);
}

int32_t IniFile::ReadInteger(const char* section, const std::string& key, int32_t fallback) const {
    return ParseIniInt(ReadString(section, key, std::string()), fallback);
}

void IniFile::WriteString(const char* section, const std::string& key, const std::string& value) const {
    if (!::WritePrivateProfileStringA(section, key.c_str(), value.c_str(), m_path.c_str()))
        RaiseError(kErrUnableToWrite, m_path);
}

void IniFile::WriteInteger(const char* section, const std::string& key, int64_t value) const {
    WriteString(section, key, std::to_string(value));
}

void IniFile::EraseSection(const char* section) const {
    if (!::WritePrivateProfileStringA(section, nullptr, nullptr, m_path.c_str()))
        RaiseError(kErrUnableToWrite, m_path);
}

bool IniFile::HasKey(const char* section, const std::string& key) const {
    // The section's key names, each ended by a NUL, the list by a second one.
    std::vector<char> names(32768);
    const DWORD n = ::GetPrivateProfileStringA(section, nullptr, "", names.data(),
                                               static_cast<DWORD>(names.size()), m_path.c_str());
    for (size_t at = 0; at < n && names[at] != '\0'; at += std::strlen(names.data() + at) + 1)
        if (::lstrcmpiA(names.data() + at, key.c_str()) == 0)
            return true;
    return false;
}

void LoadSettings(BackupSettings& settings, const std::string& iniPath) {
    const SettingsFileGuard guard(iniPath);
    const IniFile ini(iniPath);
    WriteBacks writeBacks;
    for (const ConfigSetting& row : ConfigSettings()) {
        const bool present = row.writtenWhenMissing || ini.HasKey(kConfig, row.key);
        LoadValue(ini, row, settings);
        if (present)
            writeBacks.Run([&] { StoreValue(ini, row, settings); });
    }
    settings.SourceDirs.clear();
    settings.SourceFiles.clear();
    settings.SourceDirs = ReadList(ini, kSourceDir, [](const std::string& value) {
        return NormalizeDir(IsFolder(value) ? CanonicalPath(value) : value);
    });
    settings.SourceFiles = ReadList(ini, kSourceFile, [](const std::string& value) {
        return IsFile(value) ? CanonicalPath(value) : value;
    });
    settings.Exclude = LoadExclusions(ini);
    writeBacks.RaiseFirst();
}

void SaveSettingsFromDialog(BackupSettings& settings, const std::vector<std::string>& dirItems,
                            const std::vector<std::string>& fileItems,
                            const std::vector<std::string>& excludeItems, const std::string& iniPath) {
    const SettingsFileGuard guard(iniPath);
    const IniFile ini(iniPath);
    for (const ConfigSetting& row : ConfigSettings())
        StoreValue(ini, row, settings);
    // Both lists are in force before the sections are rewritten: a write refused half-way must not
    // leave an empty list in memory, with which the next pass would delete the mirror.
    settings.SourceDirs = dirItems;
    settings.SourceFiles = fileItems;
    settings.Exclude = excludeItems;
    WriteList(ini, kSourceDir, dirItems);
    WriteList(ini, kSourceFile, fileItems);
    SaveExclusions(ini, excludeItems);
}

} // namespace vestrand
