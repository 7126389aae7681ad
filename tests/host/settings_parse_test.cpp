// Integers of the settings file, the table of its [Config] settings, and the command line's
// arguments and switch.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "settings/command_line.h"
#include "settings/config_table.h"
#include "settings/ini_int.h"

using namespace vestrand;

TEST(IniInteger, DecimalWithBlanksAndSign) {
    EXPECT_EQ(ParseIniInt("60", -1), 60);
    EXPECT_EQ(ParseIniInt("   12", -1), 12);
    EXPECT_EQ(ParseIniInt("+7", -1), 7);
    EXPECT_EQ(ParseIniInt("-0", -1), 0);
    EXPECT_EQ(ParseIniInt("-7", 0), -7);
    EXPECT_EQ(ParseIniInt("2147483647", 0), 2147483647);
    EXPECT_EQ(ParseIniInt("-2147483648", 0), INT32_MIN);
    EXPECT_EQ(ParseIniInt("007", 0), 7);
}

TEST(IniInteger, HexadecimalForms) {
    EXPECT_EQ(ParseIniInt("0x1E", 0), 30);
    EXPECT_EQ(ParseIniInt("0X1e", 0), 30);
    EXPECT_EQ(ParseIniInt("$1F", 0), 31);
    EXPECT_EQ(ParseIniInt("x10", 0), 16);
    EXPECT_EQ(ParseIniInt("X10", 0), 16);
    EXPECT_EQ(ParseIniInt("  $A", 0), 10);
    EXPECT_EQ(ParseIniInt("$FFFFFFFF", 0), -1);
    EXPECT_EQ(ParseIniInt("0xFFFFFFFF", 0), -1);
    EXPECT_EQ(ParseIniInt("$80000000", 0), INT32_MIN);
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
        if (row.fieldMin != row.fieldMax) {
            EXPECT_LE(row.loadMin, row.fieldMin) << row.key;
            EXPECT_LE(row.fieldMax, row.loadMax) << row.key;
        }
        BackupSettings s;
        row.setNumber(s, row.loadMax == INT64_MAX ? INT32_MAX : row.loadMax);
        EXPECT_EQ(row.number(s), row.loadMax == INT64_MAX ? INT32_MAX : row.loadMax) << row.key;
        EXPECT_EQ(ClampLoaded(row, row.loadMin - 1), row.loadMin) << row.key;
    }
    std::sort(places.begin(), places.end());
    for (size_t i = 0; i < places.size(); ++i)
        EXPECT_EQ(places[i], static_cast<int>(i));
}

TEST(CommandLine, SplitsOnBlanksAndControlCharacters) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine("prog.exe  start\tx"), (V{"prog.exe", "start", "x"}));
    EXPECT_EQ(SplitCommandLine("  a\x01\x1f"
                               "b "),
              (V{"a", "b"}));
    EXPECT_EQ(SplitCommandLine(""), V{});
    EXPECT_EQ(SplitCommandLine("   "), V{});
}

TEST(CommandLine, QuotesGroupAndAreDropped) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\v.exe\" CONFIG"),
              (V{"C:\\Program Files\\v.exe", "CONFIG"}));
    EXPECT_EQ(SplitCommandLine("a\"b c\"d e"), (V{"ab cd", "e"}));
    EXPECT_EQ(SplitCommandLine("p \"\" START"), (V{"p", "START"})); // an empty pair is skipped
    EXPECT_EQ(SplitCommandLine("p \"\"\"\"x"), (V{"p", "x"}));
    EXPECT_EQ(SplitCommandLine("p \"open end"), (V{"p", "open end"}));
    EXPECT_EQ(SplitCommandLine("p a\\\"b\""), (V{"p", "a\\b"})); // no escape characters
}

TEST(CommandLine, SwitchIsTheFirstArgumentUpperCased) {
    EXPECT_EQ(CommandSwitch("v.exe start"), "START");
    EXPECT_EQ(CommandSwitch("v.exe Start"), "START");
    EXPECT_EQ(CommandSwitch("v.exe CONFIG START"), "CONFIG");
    EXPECT_EQ(CommandSwitch("v.exe"), "");
    EXPECT_EQ(CommandSwitch("\"C:\\a b\\v.exe\" \"install\""), "INSTALL");
    // Only a..z change: Cyrillic and other bytes stay as they are.
    EXPECT_EQ(CommandSwitch("v.exe st\xe0rt"), "ST\xe0RT");
    EXPECT_EQ(StartModeOf(CommandSwitch("v.exe start")), StartMode::Start);
    EXPECT_EQ(StartModeOf(CommandSwitch("v.exe Config")), StartMode::Config);
    EXPECT_EQ(StartModeOf(CommandSwitch("v.exe install")), StartMode::Install);
    EXPECT_EQ(StartModeOf(CommandSwitch("v.exe START1")), StartMode::Resident);
    EXPECT_EQ(StartModeOf(""), StartMode::Resident);
}
