// Integers of the settings file, the table of its [Config] settings, and the command line's
// arguments and switch.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "settings/command_line.h"
#include "settings/config_table.h"
#include "settings/ini_int.h"

using namespace vestrand;

TEST(IniInteger, DecimalWithBlanksAndSignAndHexadecimalForms) {
    const std::pair<const char*, int32_t> cases[] = {
        {"60", 60},   {"   12", 12}, {"+7", 7},   {"-0", 0},   {"007", 7},   {"0x1E", 30},
        {"0X1e", 30}, {"$1F", 31},   {"x10", 16}, {"X10", 16}, {"  $A", 10}, {"2147483647", 2147483647}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ParseIniInt(text, 42), value) << '"' << text << '"';
    EXPECT_EQ(ParseIniInt("-7", 0), -7);
    EXPECT_EQ(ParseIniInt("-2147483648", 0), INT32_MIN);
    EXPECT_EQ(ParseIniInt("$80000000", 0), INT32_MIN); // eight hexadecimal digits wrap round
    EXPECT_EQ(ParseIniInt("$FFFFFFFF", 0), -1);
    EXPECT_EQ(ParseIniInt("0xFFFFFFFF", 0), -1);
}

TEST(IniInteger, AnythingElseGivesTheDefault) {
    for (const char* text :
         {"",    " ",   "abc", "12 ", "1 2",        "99999999999", "2147483648", "-2147483649",
          "+",   "-",   "$",   "$G",  "$123456789", "0x",          "0x ",        "0xG1",
          "1.5", "--1", "+-1", "$-1", "12abc"})
        EXPECT_EQ(ParseIniInt(text, 42), 42) << '"' << text << '"';
    EXPECT_FALSE(TryParseIniInt("0x").has_value()); // two characters: read as decimal, and fails
}

// A further row must fit the others: the dialog makes one label and field per place (its controls'
// identifiers and tab order come from the place), and a number reads, clamps and shows within bounds.
TEST(ConfigTable, EveryPlaceOnceAndEveryNumberWithinItsBounds) {
    const auto rows = ConfigSettings();
    std::vector<int> places;
    for (const ConfigSetting& row : rows) {
        places.push_back(row.place);
        ASSERT_NE(row.label, nullptr) << row.key;
        if (row.kind != ConfigKind::Number) {
            EXPECT_TRUE(row.text && row.defaultText) << row.key;
            continue;
        }
        ASSERT_TRUE(row.number && row.setNumber) << row.key;
        EXPECT_LE(row.loadMin, row.defaultNumber) << row.key;
        EXPECT_LE(row.defaultNumber, row.loadMax) << row.key;
        EXPECT_TRUE(row.fieldMin == row.fieldMax ||
                    (row.loadMin <= row.fieldMin && row.fieldMax <= row.loadMax))
            << row.key; // a number field's range lies within the loaded bounds
        BackupSettings s;
        row.setNumber(s, row.loadMax == INT64_MAX ? INT32_MAX : row.loadMax);
        EXPECT_EQ(row.number(s), row.loadMax == INT64_MAX ? INT32_MAX : row.loadMax) << row.key;
        EXPECT_EQ(ClampLoaded(row, row.loadMin - 1), row.loadMin) << row.key;
    }
    std::sort(places.begin(), places.end());
    for (size_t i = 0; i < places.size(); ++i)
        EXPECT_EQ(places[i], static_cast<int>(i));
}

TEST(CommandLine, SplitsOnBlanksAndControlCharactersAndQuotesGroup) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine("prog.exe  start\tx"), (V{"prog.exe", "start", "x"}));
    EXPECT_EQ(SplitCommandLine("  a\x01\x1f"
                               "b "),
              (V{"a", "b"}));
    EXPECT_EQ(SplitCommandLine(""), V{});
    EXPECT_EQ(SplitCommandLine("   "), V{});
    // Quotes group and are dropped.
    EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\v.exe\" CONFIG"),
              (V{"C:\\Program Files\\v.exe", "CONFIG"}));
    EXPECT_EQ(SplitCommandLine("a\"b c\"d e"), (V{"ab cd", "e"}));
    EXPECT_EQ(SplitCommandLine("p \"\" START"), (V{"p", "START"})); // an empty pair is skipped
    EXPECT_EQ(SplitCommandLine("p \"\"\"\"x"), (V{"p", "x"}));
    EXPECT_EQ(SplitCommandLine("p \"open end"), (V{"p", "open end"}));
    EXPECT_EQ(SplitCommandLine("p a\\\"b\""), (V{"p", "a\\b"})); // no escape characters
}

TEST(CommandLine, SwitchIsTheFirstArgumentUpperCasedAndGivesTheStartMode) {
    // Only a..z change: Cyrillic and other bytes stay as they are.
    const std::pair<const char*, const char*> switches[] = {
        {"start", "START"}, {"Start", "START"},       {"START", "START"},         {"CONFIG START", "CONFIG"},
        {"", ""},           {"st\xe0rt", "ST\xe0RT"}, {"\"install\"", "INSTALL"}, {"/config", "/CONFIG"}};
    for (const auto& [arguments, upperCased] : switches)
        EXPECT_EQ(CommandSwitch(std::string("v.exe ") + arguments), upperCased) << arguments;
    EXPECT_EQ(CommandSwitch("\"C:\\a b\\v.exe\" \"install\""), "INSTALL");
    EXPECT_EQ(CommandSwitch("v.exe"), "");
    const std::pair<const char*, StartMode> modes[] = {{"v.exe start", StartMode::Start},
                                                       {"v.exe Config", StartMode::Config},
                                                       {"v.exe install", StartMode::Install},
                                                       {"v.exe START1", StartMode::Resident},
                                                       {"v.exe confirm", StartMode::Confirm},
                                                       {"v.exe /config", StartMode::Resident},
                                                       {"", StartMode::Resident}};
    for (const auto& [commandLine, mode] : modes)
        EXPECT_EQ(StartModeOf(CommandSwitch(commandLine)), mode) << commandLine;
}
