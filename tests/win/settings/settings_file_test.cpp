// The settings file: defaults, clamps, canonical source paths, write-back and saving from the dialog,
// on real files through the platform's private-profile functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <span>

#include "engine/backup_settings.h"
#include "expected_config.h"
#include "file_lock.h"
#include "runtime/error.h"
#include "settings/settings_file_win.h"
#include "test_drives.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

// A settings file with the given lines, in a fresh folder of its own.
std::string SettingsFileWith(const std::string& folder, const std::string& text) {
    const std::string path = FreshFolder('T', folder) + "vestrand.ini";
    if (!text.empty())
        WriteFile(path, text);
    return path;
}

BackupSettings Loaded(const std::string& ini) {
    BackupSettings s{-1, "stale", "stale",   -1,        -1,
                     -1, -1,      {"stale"}, {"stale"}, {"stale"}}; // loading replaces all of it
    LoadSettings(s, ini);
    return s;
}

std::string Key(const std::string& ini, const char* section, const char* key) {
    return IniFile(ini).ReadString(section, key, "<missing>");
}

// The [Config] values of loaded settings in the form the file writes them.
std::map<std::string, std::string> ConfigOf(const BackupSettings& s) {
    return {{"SaveMin", std::to_string(s.SaveMin)},
            {"IdentifComp", s.IdentifComp},
            {"TargetDir", s.TargetDir},
            {"LowDriveSpaceMb", std::to_string(s.LowDriveSpaceMb)},
            {"KeepVersionsDays", std::to_string(s.KeepVersionsDays)},
            {"GuardPercent", std::to_string(s.GuardPercent)},
            {"WarnAfterDays", std::to_string(s.WarnAfterDays)}};
}

std::string DefaultOf(const ExpectedConfig& row) {
    return row.number ? std::to_string(row.defaultNumber) : row.defaultText;
}

// The [Config] section of a file of defaults: the keys written even when missing, or all of them.
Lines DefaultConfig(bool all) {
    Lines lines{"[Config]"};
    for (const ExpectedConfig& row : kExpectedConfig)
        if (all || row.writtenWhenMissing)
            lines.push_back(std::string(row.key) + "=" + DefaultOf(row));
    return lines;
}

// A list section as the file holds it.
Lines Section(const char* name, const Lines& items) {
    Lines lines{std::string("[") + name + "]"};
    for (size_t i = 0; i < items.size(); ++i)
        lines.push_back(std::to_string(i + 1) + "=" + items[i]);
    return lines;
}

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(SettingsFilePath, ExtensionReplacedByIni) {
    EXPECT_EQ(SettingsFilePathFor("C:\\Tools\\agent.exe"), "C:\\Tools\\agent.ini");
    EXPECT_EQ(SettingsFilePathFor("C:\\My.Tools\\agent"), "C:\\My.Tools\\agent.ini");
    EXPECT_EQ(SettingsFilePathFor("C:\\Tools\\agent.v2.exe"), "C:\\Tools\\agent.v2.ini");
}

TEST(LoadSettings, FirstStartWritesExactlyTheDefaultsOfTheKeysWrittenWhenMissing) {
    const std::string ini = SettingsFileWith("set_first", "");
    const BackupSettings s = Loaded(ini);
    for (const ExpectedConfig& row : kExpectedConfig)
        EXPECT_EQ(ConfigOf(s)[row.key], DefaultOf(row)) << row.key;
    EXPECT_TRUE(s.SourceDirs.empty());
    EXPECT_TRUE(s.SourceFiles.empty());
    EXPECT_EQ(s.Exclude, kExpectedExclusions);
    EXPECT_EQ(SplitCrLf(ReadFile(ini)), DefaultConfig(false) + Section("Exclude", kExpectedExclusions));
}

// The defaults are written into a file without exclusions once, so that the user finds them there;
// "None" is an empty list that stays empty; no other key or section changes.
TEST(LoadSettings, ExclusionsDefaultsAreWrittenOnceAndNoneKeepsThemOut) {
    const Lines others = DefaultConfig(false) + Section("SourceDir", {"T:\\a\\"}) + Lines{"[Other]", "K=V"};
    std::string text;
    for (const std::string& line : others + Lines{"[Exclude]", "2=*.tmp"}) // no key "1": no list
        text += line + "\r\n";
    const std::string ini = SettingsFileWith("set_exclude", text);
    EXPECT_EQ(Loaded(ini).Exclude, kExpectedExclusions);
    const std::string once = ReadFile(ini);
    EXPECT_EQ(SplitCrLf(once), others + Section("Exclude", kExpectedExclusions));
    EXPECT_EQ(Loaded(ini).Exclude, kExpectedExclusions);
    EXPECT_EQ(ReadFile(ini), once);
    // The dialog's empty list is saved as "None", and loads as nothing excluded from then on.
    BackupSettings s = Loaded(ini);
    SaveSettingsFromDialog(s, s.SourceDirs, {}, {}, ini);
    EXPECT_TRUE(s.Exclude.empty());
    EXPECT_EQ(Key(ini, "Exclude", "1"), "None");
    EXPECT_EQ(Key(ini, "Exclude", "2"), "<missing>");
    EXPECT_TRUE(Loaded(ini).Exclude.empty());
    SaveSettingsFromDialog(s, s.SourceDirs, {}, {"  Temp\\ ", "None", "~$*"}, ini);
    // Blanks around a pattern dropped; a pattern "None" does not end the list.
    EXPECT_EQ(Loaded(ini).Exclude, (Lines{"Temp\\", "none", "~$*"}));
    EXPECT_EQ(Key(ini, "Other", "K"), "V");
}

// Read by the integer rules, brought into their bounds (the floor has only a lower one), written
// back corrected.
TEST(LoadSettings, NumbersAreClampedAndWrittenBack) {
    using Case = std::pair<const char*, int64_t>; // the text in the file, the value loaded
    const Case saveMin[] = {
        {"3", 5},         {"2000", 1440}, {"0x1E", 30}, {"abc", 60},         {"$1F", 31},
        {"\" 12\"", 12},  {"+7", 7},      {"-0", 5},    {"99999999999", 60}, {"FFFFFFFF", 60},
        {"$FFFFFFFF", 5}, {"'12 '", 60},  {"5", 5},     {"1440", 1440},      {"", 60}};
    const Case floor[] = {{"-7", 5},    {"4", 5},    {"5", 5}, {"2147483647", 2147483647},
                          {"0x10", 16}, {"junk", 10}};
    const Case keep[] = {{"-3", 0},      {"7", 7},     {"0x10", 16}, {"5000", 3650},
                         {"3650", 3650}, {"junk", 30}, {"", 30},     {"0", 0}};
    const std::pair<const char*, std::span<const Case>> keys[] = {
        {"SaveMin", saveMin}, {"LowDriveSpaceMb", floor}, {"KeepVersionsDays", keep}};
    for (const auto& [key, cases] : keys)
        for (const auto& [text, loaded] : cases) {
            const std::string line = std::string(key) + "=" + text;
            const std::string ini = SettingsFileWith("set_numbers", "[Config]\r\n" + line + "\r\n");
            EXPECT_EQ(ConfigOf(Loaded(ini))[key], std::to_string(loaded)) << line;
            EXPECT_EQ(Key(ini, "Config", key), std::to_string(loaded)) << line;
        }
}

TEST(LoadSettings, AFileWithoutHeldVersionDaysGetsAMonthWrittenAndOneWithThemKeepsThem) {
    // Upgraded from a version that held nothing by default: the key is added at the section's end.
    std::string text;
    Lines config = DefaultConfig(true);
    config.erase(std::find(config.begin(), config.end(), "KeepVersionsDays=30"));
    for (const std::string& line : config + Lines{"[Exclude]", "1=None"})
        text += line + "\r\n";
    const std::string ini = SettingsFileWith("set_keep_missing", text);
    EXPECT_EQ(Loaded(ini).KeepVersionsDays, 30);
    Lines expected = config;
    expected.push_back("KeepVersionsDays=30");
    const Lines lines = SplitCrLf(ReadFile(ini));
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + static_cast<long>(expected.size())), expected);
    // A file that switched holding off keeps it off.
    const std::string off = SettingsFileWith("set_keep_off", "[Config]\r\nKeepVersionsDays=0\r\n");
    EXPECT_EQ(Loaded(off).KeepVersionsDays, 0);
    EXPECT_EQ(Key(off, "Config", "KeepVersionsDays"), "0");
}

TEST(LoadSettings, StringsKeepEmptyValuesAndLoseQuotes) {
    const std::string ini = SettingsFileWith(
        "set_strings", "[config]\r\nidentifcomp=  'Office PC'  \r\nTARGETDIR=\r\nSaveMin = 30 \r\n");
    const BackupSettings s = Loaded(ini);
    EXPECT_EQ(s.IdentifComp, "Office PC");
    EXPECT_EQ(s.TargetDir, ""); // present but empty: not the default
    EXPECT_EQ(s.SaveMin, 30);
    EXPECT_EQ(Key(ini, "Config", "TargetDir"), "");

    const std::string drive = SettingsFileWith("set_drive", "[Config]\r\nTargetDir=F:\r\nIdentifComp=\r\n");
    const BackupSettings d = Loaded(drive);
    EXPECT_EQ(d.TargetDir, "F:");
    EXPECT_EQ(d.IdentifComp, "");
    EXPECT_EQ(Key(drive, "Config", "TargetDir"), "F:");
    EXPECT_EQ(Key(drive, "Config", "IdentifComp"), "");
}

TEST(LoadSettings, SourceFoldersTakeTheirOnDiskFormAndASeparator) {
    const std::string root = FreshFolder('T', "set_src");
    ASSERT_TRUE(::CreateDirectoryA((root + "Program Files").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((root + "Program Files\\MyApp").c_str(), nullptr));
    WriteFile(root + "Program Files\\MyApp\\Notes.TXT", "x");
    char shortName[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameA((root + "Program Files\\MyApp").c_str(), shortName, MAX_PATH), 0u);

    std::string lower = root + "program files\\myapp";
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return ::tolower(c); });
    const std::string ini = SettingsFileWith(
        "set_src_ini",
        "[SourceDir]\r\n1=" + lower + "\r\n2=" + shortName + "\r\n3=t:\\gone\r\n4=\r\n5=" + root +
            "Program Files\\\r\n[SourceFile]\r\n1=" + lower + "\\notes.txt\r\n2=t:\\gone.txt\r\n3=\r\n");
    const BackupSettings s = Loaded(ini);
    const std::string onDisk = root + "Program Files\\MyApp\\";
    // The drive letter keeps the case it was typed in; the rest takes its on-disk form.
    const std::string typedDrive = "t" + onDisk.substr(1);
    EXPECT_EQ(s.SourceDirs, (Lines{typedDrive, onDisk, "t:\\gone\\", "", root + "Program Files\\"}));
    EXPECT_EQ(s.SourceFiles, (Lines{typedDrive + "Notes.TXT", "t:\\gone.txt", ""}));
    // Nothing is written back for the lists.
    EXPECT_EQ(Key(ini, "SourceDir", "1"), lower);
}

TEST(LoadSettings, ListsEndAtTheFirstMissingKeyOrAtNone) {
    const std::string gap = SettingsFileWith("set_gap", "[SourceDir]\r\n1=t:\\a\r\n2=t:\\b\r\n4=t:\\d\r\n");
    EXPECT_EQ(Loaded(gap).SourceDirs, (Lines{"t:\\a\\", "t:\\b\\"}));

    const std::string none =
        SettingsFileWith("set_none", "[SourceDir]\r\n1=None\r\n2=t:\\b\r\n[SourceFile]\r\n"
                                     "1=none\r\n2=NONE\r\n3=None\r\n4=t:\\x\r\n");
    const BackupSettings s = Loaded(none);
    EXPECT_TRUE(s.SourceDirs.empty());
    EXPECT_EQ(s.SourceFiles, (Lines{"none", "NONE"})); // only the exact text ends a list

    const std::string noFirst = SettingsFileWith("set_nofirst", "[SourceFile]\r\n2=t:\\b\r\n");
    EXPECT_TRUE(Loaded(noFirst).SourceFiles.empty());
}

TEST(LoadSettings, LongValuesAreCutAt2047Characters) {
    const std::string ini =
        SettingsFileWith("set_long", "[Config]\r\nIdentifComp=" + std::string(3000, 'a') + "\r\n");
    EXPECT_EQ(Loaded(ini).IdentifComp, std::string(2047, 'a'));
}

TEST(SettingsFile, ARefusedWriteLoadsEverythingRaisesOnceAndTheDialogsSaveKeepsTheLists) {
    const std::string ini = SettingsFileWith(
        "set_readonly", "[Config]\r\nSaveMin=3\r\nIdentifComp=Box\r\nTargetDir=T:\\m\r\nLowDriveSpaceMb=1\r\n"
                        "[SourceDir]\r\n1=T:\\src\r\n[SourceFile]\r\n1=T:\\one.txt\r\n");
    const std::string before = ReadFile(ini);
    // Read-only, and held open without sharing writes, so every write to it is refused. (Running as
    // root, Wine would let a merely read-only file be written.)
    ASSERT_TRUE(::SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_READONLY));
    const FileLock refused(ini, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(refused.Held());
    BackupSettings s;
    std::string raised;
    try {
        LoadSettings(s, ini);
    } catch (const VestrandError& e) {
        raised = e.what();
    }
    EXPECT_EQ(raised, "Unable to write to " + ini);
    EXPECT_EQ(s.SaveMin, 5);
    EXPECT_EQ(s.IdentifComp, "Box");
    EXPECT_EQ(s.TargetDir, "T:\\m\\");
    EXPECT_EQ(s.LowDriveSpaceMb, 5);
    EXPECT_EQ(s.SourceDirs, (Lines{"T:\\src\\"}));
    EXPECT_EQ(s.SourceFiles, (Lines{"T:\\one.txt"}));
    EXPECT_EQ(s.Exclude, kExpectedExclusions); // the defaults hold although they could not be written
    EXPECT_EQ(ReadFile(ini), before);
    // The dialog's save: its values are in force already, the lists and the file stay as they were.
    s.SaveMin = 30;
    EXPECT_THROW(SaveSettingsFromDialog(s, {"t:\\new\\"}, {"t:\\f.txt"}, {}, ini), VestrandError);
    EXPECT_EQ(s.SaveMin, 30);
    EXPECT_EQ(s.SourceDirs, (Lines{"T:\\src\\"}));
    EXPECT_EQ(s.SourceFiles, (Lines{"T:\\one.txt"}));
    EXPECT_EQ(ReadFile(ini), before);
}

TEST(SaveSettingsFromDialog, RewritesTheSectionsAsTheDialogGivesThem) {
    const std::string ini = SettingsFileWith(
        "set_save",
        "[Config]\r\nSaveMin=60\r\n[SourceDir]\r\n1=t:\\a\r\n2=t:\\b\r\n4=t:\\d\r\n[Other]\r\nK=V\r\n"
        "[SourceFile]\r\n1=t:\\old.txt\r\n");
    BackupSettings s = Loaded(ini);
    s.SaveMin = 3; // nothing clamped on this path
    s.LowDriveSpaceMb = -4;
    s.TargetDir = "x:\\no separator";
    s.IdentifComp = "";
    SaveSettingsFromDialog(s, {"t:\\a\\", "c:\\Program Files", ""}, {}, {}, ini);

    EXPECT_EQ(s.SourceDirs, (Lines{"t:\\a\\", "c:\\Program Files", ""}));
    EXPECT_TRUE(s.SourceFiles.empty());
    EXPECT_EQ(Key(ini, "Config", "SaveMin"), "3");
    EXPECT_EQ(Key(ini, "Config", "LowDriveSpaceMb"), "-4");
    EXPECT_EQ(Key(ini, "Config", "TargetDir"), "x:\\no separator");
    EXPECT_EQ(Key(ini, "Config", "IdentifComp"), "");
    EXPECT_EQ(Key(ini, "SourceDir", "2"), "c:\\Program Files");
    EXPECT_EQ(Key(ini, "SourceDir", "3"), "");
    EXPECT_EQ(Key(ini, "SourceDir", "4"), "<missing>"); // the old key 4 went with the section
    EXPECT_EQ(Key(ini, "SourceFile", "1"), "<missing>");
    EXPECT_EQ(Key(ini, "Other", "K"), "V");

    // The next start applies the clamps again; the empty third folder entry comes back as empty.
    const BackupSettings again = Loaded(ini);
    EXPECT_EQ(again.SaveMin, 5);
    EXPECT_EQ(again.SourceDirs, (Lines{"t:\\a\\", "c:\\Program Files\\", ""}));
}
