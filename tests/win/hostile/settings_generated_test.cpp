// The real settings loader on many generated settings files, read and written through the
// platform's private-profile functions: well-formed files whose every value the generator knows
// (huge and hexadecimal numbers, 2047/2048/5000-character values, Cyrillic text, missing, decoy
// and case-varied sections and keys, list gaps and "None" markers, existing folders and files
// typed in other letter cases and as short names), and damaged ones (binary bytes, NUL, lone CR,
// LF CR, byte-order marks, repeated sections and keys, broken headers). Every file must load
// without a crash into values the program can live with, and every Config value must be written
// back (a later one, such as KeepVersionsDays, only where the file has it). The Config rows are
// those of kExpectedConfig, the tests' own table. A failure names the case's seed and keeps its file.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "engine/backup_settings.h"
#include "engine/fileops_win.h"
#include "expected_config.h"
#include "journal_kit.h"
#include "random.h"
#include "settings/config_table.h"
#include "settings/settings_file_win.h"
#include "test_drives.h"

using namespace vestrand;
using namespace vestrand::test;
using namespace std::string_literals;

namespace {

constexpr size_t kValueLimit = 2047; // what one read of a value delivers at most
constexpr uint64_t kBaseSeed = 0x5EED0007;
constexpr int kCleanCases = 300;
constexpr int kDamagedCases = 300;
const std::string kNoKey = "<no such key>"; // a read default that no generated value equals
// The tree that settings values may name, below a fresh folder.
const Lines kFolders = {"Data", "Data\\Sub Folder", "Архив Отдела"};
const Lines kFiles = {"Data\\Report Final.Doc", "Архив Отдела\\Квартал.txt", "Data\\Sub Folder\\inner.txt"};

bool FolderRow(const ExpectedConfig& row) {
    return !row.number && std::string(row.defaultText).back() == '\\';
}

bool EndsAsFolder(const std::string& path) {
    return path.empty() || path.back() == '\\' || path.back() == ':';
}

// A folder as the settings file keeps it: with a separator at its end; a lone drive letter is
// taken for its drive's root.
std::string AsFolder(const std::string& path) {
    if (EndsAsFolder(path))
        return path;
    const char letter = static_cast<char>(path[0] | 0x20);
    return path.size() == 1 && letter >= 'a' && letter <= 'z' ? path + ":\\" : path + "\\";
}

// How the settings file reads a number: decimal within 32 bits after any blanks, or hexadecimal of
// at most 32 bits after "0x", or after blanks and "$" or "x"; anything else is no number.
std::optional<int64_t> IniNumber(std::string text) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) {
        text.erase(0, 2);
    } else {
        text.erase(0, text.find_first_not_of(' '));
        hex = !text.empty() && (text[0] == '$' || text[0] == 'x' || text[0] == 'X');
        text.erase(0, hex ? 1 : 0);
    }
    const bool negative = !hex && !text.empty() && text[0] == '-';
    if (!hex && !text.empty() && (text[0] == '+' || text[0] == '-'))
        text.erase(0, 1);
    if (text.empty() ||
        text.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return std::nullopt;
    const uint64_t value = std::strtoull(text.c_str(), nullptr, hex ? 16 : 10); // all ones when too large
    if (value > (hex ? 0xFFFFFFFFull : negative ? 2147483648ull : 2147483647ull))
        return std::nullopt;
    if (hex)
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

// The loaded Config values by key, as text.
std::map<std::string, std::string> Loaded(const BackupSettings& s) {
    return {{"SaveMin", std::to_string(s.SaveMin)},
            {"LowDriveSpaceMb", std::to_string(s.LowDriveSpaceMb)},
            {"KeepVersionsDays", std::to_string(s.KeepVersionsDays)},
            {"GuardPercent", std::to_string(s.GuardPercent)},
            {"WarnAfterDays", std::to_string(s.WarnAfterDays)},
            {"TargetDir", s.TargetDir},
            {"IdentifComp", s.IdentifComp}};
}

std::string RandomCase(Random& rng, std::string text) {
    for (char& c : text)
        if (rng.Chance(30) && (c | 0x20) >= 'a' && (c | 0x20) <= 'z')
            c = static_cast<char>(c ^ 0x20);
    return text;
}

// Text that the platform returns as written: printable Latin and Cyrillic characters, with no
// blank at either end and no quotation mark enclosing it.
std::string CleanText(Random& rng, size_t length) {
    static const std::string kAlphabet =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,-_+()!#%&@~^`{}\\:/*?<>|'\""
        "абвгдеёжзийклмнопрстуфхцчшщъыьэюяАБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"; // CP1251 bytes
    std::string out;
    for (size_t i = 0; i < length; ++i)
        out += kAlphabet[rng.Below(kAlphabet.size())];
    if (!out.empty()) {
        if (out.front() == ' ' || out.front() == '"' || out.front() == '\'')
            out.front() = 'a';
        if (out.back() == ' ' || out.back() == '"' || out.back() == '\'')
            out.back() = 'z';
    }
    return out;
}

size_t ValueLength(Random& rng) {
    static const std::vector<size_t> kLong = {kValueLimit - 1, kValueLimit, kValueLimit + 1, 5000};
    return rng.Chance(15) ? rng.Pick(kLong) : rng.Below(40);
}

std::string IntegerText(Random& rng) {
    static const Lines kFixed =
        Split("4|5|6|1439|1440|1441|0|-1|-7|60|+30|0x1E|0X1e|$5A0|x10|XFFFFFFFF|$FFFFFFFF|0x80000000|"
              "0x7FFFFFFF|2147483647|-2147483648|2147483648|-2147483649|99999999999999999999|abc|12abc|"
              "0x|$|-|+|1e3|0x123456789|$000000005A0|0012|\"12 \"|' 42'|\"0x10\"|-0|1 2",
              '|');
    switch (rng.Below(5)) {
    case 0:
        return rng.Pick(kFixed);
    case 1:
        return std::to_string(static_cast<int64_t>(rng.Next() % 4000) - 1000);
    case 2:
        return std::to_string(static_cast<int32_t>(rng.Next()));
    case 3:
        return std::string(rng.Below(3000) + 1, '0') + std::to_string(rng.Below(2000));
    default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, rng.Chance(50) ? "$%X" : "0x%x", static_cast<uint32_t>(rng.Next()));
        return buf;
    }
    }
}

// An existing folder or file below `root` as the settings file may give it (in other letter cases,
// the drive letter's too, or as its short name; a folder with or without its final separator), and
// the form the loader must keep: the letters as stored, a folder ending in "\".
std::pair<std::string, std::string> Existing(Random& rng, const std::string& root, bool folder) {
    const std::string full = root + rng.Pick(folder ? kFolders : kFiles);
    std::string typed = full;
    if (rng.Chance(30)) {
        char shortName[MAX_PATH] = {};
        const DWORD n = ::GetShortPathNameA(full.c_str(), shortName, MAX_PATH);
        typed = n > 0 && n < MAX_PATH ? std::string(shortName, n) : full;
    } else {
        typed = RandomCase(rng, full);
    }
    if (folder && rng.Chance(50))
        typed += "\\";
    return {typed, typed.substr(0, 2) + full.substr(2) + (folder ? "\\" : "")};
}

// A path that names nothing (no drive behind Q:, no "..", so no way back to an existing folder):
// the loader keeps it as given, folders with a separator added.
std::string MissingPath(Random& rng) {
    static const std::vector<std::string> kStarts = {
        "Q:\\", "C:\\gone\\",           "c:\\program files\\nothing here\\",
        "Q:",   "T:\\no_such_folder\\", "relative\\"};
    std::string path = rng.Pick(kStarts) + CleanText(rng, rng.Chance(5) ? ValueLength(rng) : rng.Below(20));
    for (size_t at = path.find(".."); at != std::string::npos; at = path.find("..", at))
        path[at + 1] = '_';
    return path;
}

// What a well-formed file holds where the platform reads it unambiguously.
struct Expected {
    std::map<std::string, std::string> config; // raw values of the Config keys that were written
    std::vector<std::string> dirs, files;      // the lists as the loader must give them
};

std::string Limited(const std::string& value) {
    return value.substr(0, std::min(value.size(), kValueLimit));
}

// A well-formed settings file: each section at most once, each key at most once, every value
// known, sections and keys in any order and letter case, decoys beside them.
std::string CleanFile(Random& rng, const std::string& world, Expected& expected) {
    const std::string eol = rng.Chance(70) ? "\r\n" : "\n";
    std::vector<std::string> sections;

    if (rng.Chance(85)) {
        std::vector<std::string> lines;
        for (const ExpectedConfig& row : kExpectedConfig) {
            if (!rng.Chance(85))
                continue;
            std::string value;
            if (row.number)
                value = IntegerText(rng);
            else if (FolderRow(row))
                value = rng.Chance(20) ? std::string(rng.Chance(50) ? "F:" : "d") : MissingPath(rng);
            else
                value = rng.Chance(10) ? std::string() : CleanText(rng, ValueLength(rng));
            expected.config[row.key] = value;
            lines.push_back(RandomCase(rng, row.key) + (rng.Chance(20) ? " = " : "=") + value);
        }
        if (rng.Chance(30))
            lines.push_back("SaveMinutes=1"); // names that only resemble the real keys
        if (rng.Chance(30))
            lines.push_back("IdentifComp2=Other");
        std::rotate(lines.begin(), lines.begin() + static_cast<long>(rng.Below(lines.size() + 1)),
                    lines.end());
        std::string text = "[" + RandomCase(rng, "Config") + "]" + eol;
        for (const auto& line : lines)
            text += line + eol;
        sections.push_back(text);
    }

    for (const bool folders : {true, false}) {
        if (!rng.Chance(80))
            continue;
        std::vector<std::string> lines;
        std::map<int, std::string> keys;
        const int count = static_cast<int>(rng.Below(10));
        for (int n = 1; n <= count; ++n) {
            if (rng.Chance(10))
                continue; // a gap: the list ends before it
            std::string value, loaded;
            const size_t kind = rng.Below(100);
            if (kind < 8) {
                value = "None"; // the end marker
            } else if (kind < 14) {
                value = RandomCase(rng, "none");
                if (value == "None")
                    value = "NONE";
                loaded = folders ? value + "\\" : value;
            } else if (kind < 20) {
                value.clear(); // an empty entry stays in the list
            } else if (kind < 45) {
                std::tie(value, loaded) = Existing(rng, world, folders);
            } else {
                value = MissingPath(rng);
                loaded = folders ? AsFolder(Limited(value)) : Limited(value);
            }
            keys[n] = value == "None" ? value : loaded;
            lines.push_back(std::to_string(n) + "=" + value);
        }
        if (rng.Chance(20))
            lines.push_back("0" + std::to_string(count + 1) + "=Q:\\decoy"); // "01" is not key 1
        for (size_t i = lines.size(); i > 1; --i)
            std::swap(lines[i - 1], lines[rng.Below(i)]); // order in the file does not matter
        std::string text = "[" + RandomCase(rng, folders ? "SourceDir" : "SourceFile") + "]" + eol;
        for (const auto& line : lines)
            text += line + eol;
        sections.push_back(text);
        auto& list = folders ? expected.dirs : expected.files;
        for (int n = 1; keys.count(n) && keys[n] != "None"; ++n)
            list.push_back(keys[n]);
    }

    if (rng.Chance(40))
        sections.push_back("[Other]" + eol + "1=Q:\\elsewhere" + eol + "SaveMin=7" + eol);
    for (size_t i = sections.size(); i > 1; --i)
        std::swap(sections[i - 1], sections[rng.Below(i)]);
    std::string file;
    for (const auto& s : sections)
        file += s + (rng.Chance(30) ? eol : "");
    return file;
}

// A damaged file: a well-formed one cut, spliced and sprinkled with bytes no editor would leave.
std::string DamagedFile(Random& rng, const std::string& world) {
    Expected ignored;
    std::string text = CleanFile(rng, world, ignored);
    static const Lines kInserts =
        Split("\0|\r|\n\r|\r\r\n|[|[Config|]|=|==|[SourceDir]\n1=None\n|[Config]\r\nSaveMin=2000\r\n|"
              "[sourcefile]\n1=\n2=\n|\x81\x98\xFF\xFE|\"|'|;|\x1A|IdentifComp=..\\..\\x\n|"
              "TargetDir=\\\\server\\share\n|\t\v\f"s,
              '|');
    const size_t edits = rng.Below(12);
    for (size_t e = 0; e < edits; ++e) {
        const size_t at = text.empty() ? 0 : rng.Below(text.size() + 1);
        switch (rng.Below(5)) {
        case 0:
            text.insert(at, rng.Pick(kInserts));
            break;
        case 1: {
            std::string junk;
            for (size_t i = rng.Below(64); i > 0; --i)
                junk += static_cast<char>(rng.Next());
            text.insert(at, junk);
            break;
        }
        case 2:
            text.erase(at, rng.Below(40));
            break;
        case 3:
            text.insert(at, std::string(rng.Chance(50) ? 5000 : kValueLimit + rng.Below(3), 'v'));
            break;
        default: {
            // A section or a key repeated.
            const size_t from = rng.Below(text.size() + 1);
            text.insert(at, text.substr(from, rng.Below(200)));
            break;
        }
        }
    }
    if (rng.Chance(10)) {
        static const std::vector<std::string> kMarks = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
        text.insert(0, rng.Pick(kMarks));
    }
    return text;
}

// One pair of quotation marks encloses it: the platform reads the value without them.
bool Quoted(const std::string& value) {
    return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
           value.back() == value.front();
}

std::string Read(const std::string& ini, const char* section, const std::string& key) {
    return IniFile(ini).ReadString(section, key, kNoKey);
}

// Blanks and control characters at either end, or one enclosing pair of quotation marks: the
// platform would read such a value written back as something else.
bool ReadsBackAsWritten(const std::string& value) {
    if (value.empty())
        return true;
    const auto edge = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    if (edge(value.front()) || edge(value.back()))
        return false;
    return !Quoted(value) && value.size() <= kValueLimit;
}

// What holds for any file, whatever it contained; `present`: the Config keys the file had.
void CheckInvariants(const std::string& ini, const BackupSettings& s, const std::set<std::string>& present) {
    // Every Config value within its bounds, and written back (a later one only where the file had
    // it): a copy of the file on disk, read afresh, holds them.
    const std::string copy = ini + ".copy";
    ASSERT_TRUE(::CopyFileA(ini.c_str(), copy.c_str(), FALSE));
    const auto loaded = Loaded(s);
    for (const ExpectedConfig& row : kExpectedConfig) {
        const std::string value = loaded.at(row.key), back = Read(copy, "Config", row.key);
        if (row.number) {
            EXPECT_GE(std::stoll(value), row.loadMin) << row.key;
            EXPECT_LE(std::stoll(value), std::min<int64_t>(row.loadMax, INT32_MAX)) << row.key;
        } else {
            EXPECT_TRUE(!FolderRow(row) || EndsAsFolder(value)) << row.key << ": " << value;
            EXPECT_LE(value.size(), kValueLimit + (FolderRow(row) ? 1 : 0)) << row.key;
        }
        if (!row.writtenWhenMissing && !present.count(row.key)) {
            EXPECT_EQ(back, kNoKey) << row.key << " written to a file that lacked it";
        } else {
            EXPECT_NE(back, kNoKey) << row.key << " not written back";
            if (row.number || ReadsBackAsWritten(value)) {
                EXPECT_EQ(back, value) << row.key;
            }
        }
    }
    ::DeleteFileA(copy.c_str());

    // Each list holds the keys 1, 2, ... up to the first missing one or the first "None", each
    // taken as the platform reads it (existing paths in their stored form).
    for (const bool folders : {true, false}) {
        const char* section = folders ? "SourceDir" : "SourceFile";
        const auto& list = folders ? s.SourceDirs : s.SourceFiles;
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string raw = Read(ini, section, std::to_string(i + 1));
            ASSERT_NE(raw, kNoKey) << section << " entry " << i + 1 << " loaded without its key";
            ASSERT_NE(raw, "None") << section << " entry " << i + 1 << " loaded past the end marker";
            EXPECT_TRUE(!folders || EndsAsFolder(list[i])) << list[i];
            if (!(folders ? IsFolder(raw) : IsFile(raw))) {
                EXPECT_EQ(list[i], folders ? AsFolder(raw) : raw);
            }
        }
        const std::string after = Read(ini, section, std::to_string(list.size() + 1));
        EXPECT_TRUE(after == kNoKey || after == "None")
            << section << " stopped at key " << list.size() + 1 << " which holds \"" << after << "\"";
    }
}

// What the rows load from a well-formed file: a number as the settings file reads it (the platform
// drops one pair of enclosing quotation marks) brought into the row's bounds, text cut at the read
// limit, a folder as the settings file keeps it; the row's default where the key is missing.
std::map<std::string, std::string> ExpectedValues(const std::map<std::string, std::string>& config) {
    std::map<std::string, std::string> out;
    for (const ExpectedConfig& row : kExpectedConfig) {
        const auto it = config.find(row.key);
        std::string value = it == config.end() ? std::string() : Limited(it->second);
        if (!row.number) {
            out[row.key] = it == config.end() ? row.defaultText : FolderRow(row) ? AsFolder(value) : value;
            continue;
        }
        if (Quoted(value))
            value = value.substr(1, value.size() - 2);
        out[row.key] = std::to_string(
            std::clamp(IniNumber(value).value_or(row.defaultNumber), row.loadMin, row.loadMax));
    }
    return out;
}

class GeneratedSettings : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = FreshFolder('T', "hostile_settings");
        m_world = FreshFolder('T', "hostile_world");
        for (const std::string& file : kFiles)
            WriteFile(m_world + file, "x");
    }
    void TearDown() override {
        if (!HasFailure())
            RemoveTree(m_dir);
    }

    // Loads `text` as a settings file and checks what holds for any file; returns the file's path
    // (kept after a failure).
    std::string Load(uint64_t seed, const std::string& text, BackupSettings& s) {
        const std::string ini = m_dir + "case_" + std::to_string(seed) + ".ini";
        WriteFile(ini, text);
        std::set<std::string> present;
        for (const ExpectedConfig& row : kExpectedConfig)
            if (Read(ini, "Config", row.key) != kNoKey)
                present.insert(row.key);
        s.SourceDirs = {"stale"};
        s.SourceFiles = {"stale"};
        EXPECT_NO_THROW(LoadSettings(s, ini));
        CheckInvariants(ini, s, present);
        return ini;
    }

    std::string m_dir, m_world;
};

TEST_F(GeneratedSettings, WellFormedFilesLoadExactlyAndReachAFixedPoint) {
    for (int i = 0; i < kCleanCases && !HasFailure(); ++i) {
        const uint64_t seed = kBaseSeed + static_cast<uint64_t>(i);
        SCOPED_TRACE("well-formed case, seed " + std::to_string(seed));
        Random rng(seed);
        Expected expected;
        const std::string text = CleanFile(rng, m_world, expected);
        BackupSettings s, again;
        const std::string ini = Load(seed, text, s);
        EXPECT_EQ(Loaded(s), ExpectedValues(expected.config));
        EXPECT_EQ(s.SourceDirs, expected.dirs);
        EXPECT_EQ(s.SourceFiles, expected.files);
        // Loading what was written back changes nothing more.
        LoadSettings(again, ini);
        EXPECT_EQ(Loaded(again), Loaded(s));
        EXPECT_EQ(again.SourceDirs, s.SourceDirs);
        EXPECT_EQ(again.SourceFiles, s.SourceFiles);
    }
}

TEST_F(GeneratedSettings, DamagedFilesLoadIntoUsableValues) {
    for (int i = 0; i < kDamagedCases && !HasFailure(); ++i) {
        const uint64_t seed = kBaseSeed + 1000000 + static_cast<uint64_t>(i);
        SCOPED_TRACE("damaged case, seed " + std::to_string(seed));
        Random rng(seed);
        BackupSettings s;
        Load(seed, DamagedFile(rng, m_world), s);
    }
}

// Files that are nothing but bytes: empty, one byte of each value, random binary of many sizes.
TEST_F(GeneratedSettings, BinaryFilesGiveTheDefaultsOrUsableValues) {
    std::vector<std::string> files = {std::string(),
                                      std::string(1, '\0'),
                                      std::string(4096, '\0'),
                                      std::string(70000, '\xFF'),
                                      "\xFF\xFE",
                                      std::string("\xFF\xFE[\0C\0o\0n\0f\0i\0g\0]\0", 18)};
    for (int b = 1; b < 256; b += 7)
        files.push_back(std::string(1, static_cast<char>(b)));
    Random rng(kBaseSeed + 2000000);
    for (int i = 0; i < 40; ++i) {
        std::string junk;
        for (size_t n = rng.Below(i < 20 ? 300 : 20000); n > 0; --n)
            junk += static_cast<char>(rng.Next());
        files.push_back(junk);
    }
    for (size_t i = 0; i < files.size() && !HasFailure(); ++i) {
        SCOPED_TRACE("binary file " + std::to_string(i) + " of " + std::to_string(files[i].size()) +
                     " bytes");
        BackupSettings s;
        Load(3000000 + i, files[i], s);
    }
}

// The generated files hold the rows of kExpectedConfig: the program's table must have no other row,
// and each of its rows must have the expected key, default, bounds and write-back.
TEST(GeneratedSettingsRows, TheProgramsConfigRowsAreTheExpectedOnes) {
    const auto rows = ConfigSettings();
    ASSERT_EQ(rows.size(), std::size(kExpectedConfig));
    for (size_t i = 0; i < rows.size(); ++i) {
        const ConfigSetting& row = rows[i];
        const ExpectedConfig& want = kExpectedConfig[i];
        SCOPED_TRACE(row.key);
        EXPECT_STREQ(row.key, want.key);
        EXPECT_EQ(std::tuple(row.place, row.kind == ConfigKind::Number, int64_t{row.defaultNumber},
                             row.loadMin, row.loadMax, row.fieldMin, row.fieldMax, row.writtenWhenMissing),
                  std::tuple(want.place, want.number, want.defaultNumber, want.loadMin, want.loadMax,
                             want.fieldMin, want.fieldMax, want.writtenWhenMissing));
        if (!want.number) {
            EXPECT_EQ(row.kind == ConfigKind::Folder, FolderRow(want));
            EXPECT_EQ(std::string(row.defaultText) + (row.kind == ConfigKind::Folder ? "\\" : ""),
                      want.defaultText);
        }
    }
}

} // namespace
