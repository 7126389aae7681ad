// The settings file: defaults, clamps, canonical source paths, write-back and saving from the dialog,
// on real files through the platform's private-profile functions.
#include <gtest/gtest.h>

#include "engine/backup_settings.h"
#include "runtime/error.h"
#include "settings/settings_file_win.h"
#include "settings_helpers.h"

using namespace vestrand;
using namespace vestrand::test;
using Lines = std::vector<std::string>;

namespace {

BackupSettings Loaded(const std::string& ini) {
    BackupSettings s;
    s.SourceDirs = {"stale"}; // loading replaces whatever was there
    LoadSettings(s, ini);
    return s;
}

std::string Key(const std::string& ini, const char* section, const char* key) {
    return IniFile(ini).ReadString(section, key, "<missing>");
}

// Holds the file open for reading without sharing writes, so every write to it is refused,
// and marks it read-only. (Running as root, Wine would let a merely read-only file be written.)
class RefusedWrites {
public:
    explicit RefusedWrites(const std::string& path) : m_path(path) {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
        m_handle =
            ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    ~RefusedWrites() {
        ::CloseHandle(m_handle);
        ::SetFileAttributesA(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    bool Holding() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    std::string m_path;
    HANDLE m_handle;
};

} // namespace

TEST(SettingsFilePath, ExtensionReplacedByIni) {
    EXPECT_EQ(SettingsFilePathFor("C:\\Tools\\agent.exe"), "C:\\Tools\\agent.ini");
    EXPECT_EQ(SettingsFilePathFor("C:\\My.Tools\\agent"), "C:\\My.Tools\\agent.ini");
    EXPECT_EQ(SettingsFilePathFor("C:\\Tools\\agent.v2.exe"), "C:\\Tools\\agent.v2.ini");
}

TEST(LoadSettings, FirstStartWritesExactlyTheFourDefaults) {
    const std::string ini = SettingsFileWith("set_first", "");
    const BackupSettings s = Loaded(ini);
    EXPECT_EQ(s.SaveMin, 60);
    EXPECT_EQ(s.IdentifComp, "Test");
    EXPECT_EQ(s.TargetDir, "F:\\Arch\\");
    EXPECT_EQ(s.LowDriveSpaceMb, 10);
    EXPECT_TRUE(s.SourceDirs.empty());
    EXPECT_TRUE(s.SourceFiles.empty());
    EXPECT_EQ(FileLines(ini), (Lines{"[Config]", "SaveMin=60", "IdentifComp=Test", "TargetDir=F:\\Arch\\",
                                     "LowDriveSpaceMb=10"}));
}

TEST(LoadSettings, SaveMinIsReadByTheIntegerRulesAndClamped) {
    const struct {
        const char* text;
        int32_t loaded;
    } cases[] = {{"3", 5},         {"2000", 1440}, {"0x1E", 30}, {"abc", 60},         {"$1F", 31},
                 {"\" 12\"", 12},  {"+7", 7},      {"-0", 5},    {"99999999999", 60}, {"FFFFFFFF", 60},
                 {"$FFFFFFFF", 5}, {"'12 '", 60},  {"5", 5},     {"1440", 1440},      {"", 60}};
    for (const auto& c : cases) {
        const std::string ini =
            SettingsFileWith("set_savemin", std::string("[Config]\r\nSaveMin=") + c.text + "\r\n");
        EXPECT_EQ(Loaded(ini).SaveMin, c.loaded) << c.text;
        EXPECT_EQ(Key(ini, "Config", "SaveMin"), std::to_string(c.loaded)) << c.text; // corrected in the file
    }
}

TEST(LoadSettings, FloorHasOnlyALowerBound) {
    for (const auto& [text, loaded] : std::vector<std::pair<std::string, int64_t>>{
             {"-7", 5}, {"4", 5}, {"5", 5}, {"2147483647", 2147483647}, {"0x10", 16}, {"junk", 10}}) {
        const std::string ini = SettingsFileWith("set_floor", "[Config]\r\nLowDriveSpaceMb=" + text + "\r\n");
        EXPECT_EQ(Loaded(ini).LowDriveSpaceMb, loaded) << text;
        EXPECT_EQ(Key(ini, "Config", "LowDriveSpaceMb"), std::to_string(loaded)) << text;
    }
}

TEST(LoadSettings, HeldVersionDaysAreClampedAndWrittenBackOnlyWhenTheFileHasThem) {
    for (const auto& [text, loaded] : std::vector<std::pair<std::string, int32_t>>{
             {"-3", 0}, {"7", 7}, {"0x10", 16}, {"5000", 3650}, {"3650", 3650}, {"junk", 0}, {"", 0}}) {
        const std::string ini = SettingsFileWith("set_keep", "[Config]\r\nKeepVersionsDays=" + text + "\r\n");
        EXPECT_EQ(Loaded(ini).KeepVersionsDays, loaded) << text;
        EXPECT_EQ(Key(ini, "Config", "KeepVersionsDays"), std::to_string(loaded)) << text;
    }
    // A file without the key stays byte for byte as it is.
    const std::string text =
        "[Config]\r\nSaveMin=60\r\nIdentifComp=Test\r\nTargetDir=F:\\Arch\\\r\nLowDriveSpaceMb=10\r\n";
    const std::string ini = SettingsFileWith("set_keep_missing", text);
    EXPECT_EQ(Loaded(ini).KeepVersionsDays, 0);
    EXPECT_EQ(ReadFile(ini), text);
    // The dialog's save writes it, the fifth value.
    BackupSettings s = Loaded(ini);
    s.KeepVersionsDays = 30;
    SaveSettingsFromDialog(s, {}, {}, ini);
    const Lines lines = FileLines(ini);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 6),
              (Lines{"[Config]", "SaveMin=60", "IdentifComp=Test", "TargetDir=F:\\Arch\\",
                     "LowDriveSpaceMb=10", "KeepVersionsDays=30"}));
    EXPECT_EQ(Loaded(ini).KeepVersionsDays, 30);
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
    for (char& c : lower)
        c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
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

TEST(LoadSettings, RefusedWriteBackStillLoadsEverythingAndRaisesOnce) {
    const std::string ini = SettingsFileWith(
        "set_readonly", "[Config]\r\nSaveMin=3\r\nIdentifComp=Box\r\nTargetDir=T:\\m\r\nLowDriveSpaceMb=1\r\n"
                        "[SourceDir]\r\n1=T:\\src\r\n[SourceFile]\r\n1=T:\\one.txt\r\n");
    const std::string before = ReadFile(ini);
    RefusedWrites refused(ini);
    ASSERT_TRUE(refused.Holding());
    BackupSettings s;
    int raised = 0;
    std::string message;
    try {
        LoadSettings(s, ini);
    } catch (const VestrandError& e) {
        ++raised;
        message = e.what();
    }
    EXPECT_EQ(raised, 1);
    EXPECT_EQ(message, "Unable to write to " + ini);
    EXPECT_EQ(s.SaveMin, 5);
    EXPECT_EQ(s.IdentifComp, "Box");
    EXPECT_EQ(s.TargetDir, "T:\\m\\");
    EXPECT_EQ(s.LowDriveSpaceMb, 5);
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
    SaveSettingsFromDialog(s, {"t:\\a\\", "c:\\Program Files", ""}, {}, ini);

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

TEST(SaveSettingsFromDialog, RefusedWriteKeepsTheListsInMemoryAndTheFile) {
    const std::string ini =
        SettingsFileWith("set_save_ro", "[Config]\r\nSaveMin=60\r\n[SourceDir]\r\n1=t:\\a\r\n");
    BackupSettings s = Loaded(ini);
    const std::string before = ReadFile(ini);
    RefusedWrites refused(ini);
    ASSERT_TRUE(refused.Holding());
    s.SaveMin = 30;
    EXPECT_THROW(SaveSettingsFromDialog(s, {"t:\\new\\"}, {"t:\\f.txt"}, ini), VestrandError);
    EXPECT_EQ(s.SaveMin, 30); // already in force
    EXPECT_EQ(s.SourceDirs, (Lines{"t:\\a\\"}));
    EXPECT_TRUE(s.SourceFiles.empty());
    EXPECT_EQ(ReadFile(ini), before);
}
