#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <utility>
#include <vector>

#include "ui/dialog_rules.h"

using namespace vestrand;
using Numbers = std::vector<std::pair<int64_t, int64_t>>;
using TextNumbers = std::vector<std::pair<std::string, int64_t>>;

namespace {
// Cases given flat: an input, then what `rule` gives for it; the next input, and so on.
template <class Rule> void ExpectEach(Rule rule, std::initializer_list<std::string> flat) {
    ASSERT_EQ(flat.size() % 2, 0u);
    for (auto it = flat.begin(); it != flat.end(); it += 2)
        EXPECT_EQ(rule(it[0]), it[1]) << '"' << it[0] << '"';
}
} // namespace

TEST(SpinRange, AppliesOnlyWhenTheBoundsDiffer) {
    for (const auto& [value, shown] : Numbers{{3, 5}, {2000, 1440}, {5, 5}, {1440, 1440}, {77, 77}})
        EXPECT_EQ(ApplySpinRange(value, 5, 1440), shown) << value;
    // Equal bounds: no range at all, negative and huge values stay.
    EXPECT_FALSE(SpinHasRange(0, 0));
    for (const auto& [value, bound] : Numbers{{-7, 0}, {5000000000LL, 0}, {-1, 7}})
        EXPECT_EQ(ApplySpinRange(value, bound, bound), value) << value;
}

TEST(SpinRange, TextIsReadByTheSettingsFileRulesWithMinValueForNonNumbers) {
    EXPECT_EQ(ReadSpinValue("3", 5), 3); // reading applies no range
    for (const auto& [text, read] : TextNumbers{{"-7", -7},
                                                {"+8", 8},
                                                {"  12", 12},
                                                {"0x1E", 30},
                                                {"$FFFFFFFF", -1},
                                                {"-2147483648", INT32_MIN}})
        EXPECT_EQ(ReadSpinValue(text, 0), read) << text;
    for (const auto& [text, minValue] :
         TextNumbers{{"", 5}, {"", 0}, {"abc", 5}, {"12 ", 5}, {"2147483648", 5}, {"-", 0}, {"1-2", 5}})
        EXPECT_EQ(ReadSpinValue(text, minValue), minValue) << '"' << text << '"';
}

TEST(SpinKeys, DigitsSignsAndControlKeysOnly) {
    for (unsigned char ch : {'0', '5', '9', '+', '-', '\b', '\x03', '\x16', '\x18', '\x01', '\x7F'})
        EXPECT_TRUE(IsSpinCharAccepted(ch)) << int(ch);
    for (unsigned char ch : {'a', 'e', 'x', ' ', '.', ',', '$', '/', ':', '\xC0', '\xFF', '\xB9'})
        EXPECT_FALSE(IsSpinCharAccepted(ch)) << int(ch);
}

TEST(SpinHitTest, DividedByTheDiagonalFromLowerLeftToUpperRight) {
    auto expect = [](SpinHalf half, int w, int h, std::initializer_list<std::pair<int, int>> points) {
        for (const auto& [x, y] : points)
            EXPECT_EQ(SpinHitTest(x, y, w, h), half) << x << "," << y << " in " << w << "x" << h;
    };
    // Square: x + y < 15 above the line, on or below it otherwise; the diagonal crosses the corner (15, 0).
    expect(SpinHalf::Up, 16, 16, {{0, 0}, {7, 7}, {14, 0}});
    expect(SpinHalf::Down, 16, 16, {{8, 7}, {7, 8}, {15, 15}, {15, 0}});
    // The field's own button, 15 x 17: the upper-right and lower-left corners fall to either side.
    expect(SpinHalf::Up, 15, 17, {{14, 0}, {3, 3}});
    expect(SpinHalf::Down, 15, 17, {{0, 16}, {11, 13}});
    expect(SpinHalf::None, 15, 17, {{-1, 0}, {0, -1}, {15, 5}, {5, 17}}); // outside
    expect(SpinHalf::None, 0, 0, {{0, 0}});
}

TEST(SpinHitTest, HalvesAreMonotonicAndMirrorEachOther) {
    for (int w : {9, 15, 16, 40}) {
        for (int h : {9, 17, 21}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
            int ups = 0, downs = 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const SpinHalf half = SpinHitTest(x, y, w, h);
                    ASSERT_NE(half, SpinHalf::None);
                    (half == SpinHalf::Up ? ups : downs)++;
                    // Down stays down to the right and below; up mirrored through the centre is down.
                    const bool down = half == SpinHalf::Down;
                    EXPECT_TRUE(!down || x + 1 == w || SpinHitTest(x + 1, y, w, h) == SpinHalf::Down);
                    EXPECT_TRUE(!down || y + 1 == h || SpinHitTest(x, y + 1, w, h) == SpinHalf::Down);
                    EXPECT_TRUE(down || SpinHitTest(w - 1 - x, h - 1 - y, w, h) == SpinHalf::Down);
                }
            }
            EXPECT_LE(ups, downs);
            EXPECT_GE(ups, (w * h) / 2 - (w + h));
        }
    }
}

// Steps ('S', or '.' for none) and the milliseconds then left until the next one, after each check
// at `ticks` from a press at `press`; the pointer is off the pressed half at `off`.
std::pair<std::string, std::vector<uint32_t>>
Repeats(SpinAutoRepeat& r, uint32_t press, std::initializer_list<uint32_t> ticks, uint32_t off = 0) {
    std::pair<std::string, std::vector<uint32_t>> out;
    r.Press(press);
    for (const uint32_t t : ticks) {
        out.first += r.Check(press + t, t != off) ? 'S' : '.';
        out.second.push_back(r.MsUntilDue(press + t));
    }
    return out;
}

TEST(SpinAutoRepeat, FirstRepeatAfter400ThenEvery100WithoutBursts) {
    SpinAutoRepeat r;
    EXPECT_FALSE(r.Check(0, true)); // not pressed
    EXPECT_EQ(r.MsUntilDue(0), 0u);
    // A check that comes late (the loop was busy, at 900) gives one step, and the next is an interval
    // on; off the pressed half (at 1100) nothing steps, but the schedule goes on.
    EXPECT_EQ(Repeats(r, 1000, {0, 100, 399, 400, 499, 500, 900, 950, 1000, 1100, 1150, 1200}, 1100),
              (std::pair{std::string("...S.SS.S..S"),
                         std::vector<uint32_t>{400, 300, 1, 100, 1, 100, 100, 50, 100, 100, 50, 100}}));
    EXPECT_TRUE(r.Pressed());
    r.Release();
    EXPECT_FALSE(r.Pressed());
    EXPECT_FALSE(r.Check(5000, true));
    EXPECT_EQ(r.MsUntilDue(5000), 0u);
}

TEST(SpinAutoRepeat, SurvivesTheWrapOfTheTickCounter) {
    SpinAutoRepeat r;
    // 0xFFFFFF00 + 400 is 0x00000090.
    EXPECT_EQ(Repeats(r, 0xFFFFFF00u, {200, 399, 400, 450, 500}),
              (std::pair{std::string("..S.S"), std::vector<uint32_t>{200, 1, 100, 50, 100}}));
    // A new press starts over with the long delay.
    EXPECT_EQ(Repeats(r, 10, {100, 400}), (std::pair{std::string(".S"), std::vector<uint32_t>{300, 100}}));
}

TEST(FolderBrowse, StartFolderRules) {
    const std::set<std::string> existing = {"C:\\Data", "D:\\Last", "\\"};
    auto exists = [&](const std::string& p) { return existing.count(p) > 0; };
    // {text, remembered, start}: a folder typed that is gone gives the root, not the remembered one.
    const std::string cases[][3] = {{"C:\\Data", "D:\\Last", "C:\\Data"},
                                    {"C:\\Gone", "D:\\Last", "\\"},
                                    {"", "D:\\Last", "D:\\Last"},
                                    {"", "D:\\Removed", "\\"},
                                    {"", "", "\\"}};
    for (const auto& [text, remembered, start] : cases)
        EXPECT_EQ(FolderBrowseStart(text, remembered, exists), start) << text << " | " << remembered;
    EXPECT_EQ(FolderBrowseStart("", "", [](const std::string&) { return false; }), "\\");
}

TEST(FolderBrowse, ChosenFolderWithoutTrailingSeparatorExceptADriveRoot) {
    ExpectEach(FolderChoiceText,
               {"C:\\Data", "C:\\Data", "C:\\Data\\", "C:\\Data", "C:\\My Data\\Sub\\", "C:\\My Data\\Sub",
                "D:\\", "D:\\", "\\\\srv\\share\\", "\\\\srv\\share", "\\", "\\"});
}

TEST(FileDialogStart, FirstWordWithQuotes) {
    ExpectEach(FirstWord, {"C:\\a.txt", "C:\\a.txt", "C:\\My Docs\\a.txt", "C:\\My", "   lead tail", "lead",
                           "\"C:\\My Docs\\a.txt\" tail", "C:\\My Docs\\a.txt", "ab\"c d\"e f", "abc de",
                           "\"open to the end", "open to the end", "\"\" x", "", "", "", "   ", ""});
}

TEST(FileDialogStart, TextOfAnExistingFileIsTakenWhole) {
    const std::string spaced = "C:\\My Docs\\a b.txt";
    EXPECT_EQ(FileFieldStartText(spaced, [&](const std::string& p) { return p == spaced; }), spaced);
    EXPECT_EQ(FileFieldStartText(spaced, [](const std::string&) { return false; }), "C:\\My");
    EXPECT_EQ(FileFieldStartText("", [](const std::string&) { return true; }), "");
}

TEST(FileDialogStart, ValidNamesAndFolderPart) {
    for (const char* good : {"C:\\My Docs\\a b.txt", "C:\\Data\\", "a"})
        EXPECT_TRUE(IsValidFileName(good)) << good;
    for (const char* bad : {"", "a<b", "a>b", "a\"b", "a[b", "a]b", "a|b"})
        EXPECT_FALSE(IsValidFileName(bad)) << bad;
    ExpectEach(FileFolderPart,
               {"C:\\Data\\a.txt", "C:\\Data\\", "C:a.txt", "C:", "C:\\", "C:\\", "a.txt", ""});
}

TEST(FileDialogStart, ValidTextSetsNameAndExistingFolderOtherwiseThePreviousOpeningStays) {
    const FileDialogState previous{"X:\\old\\", "X:\\old\\f.txt"};
    auto folderExists = [](const std::string& p) { return p == "T:\\dir\\" || p == "C:"; };
    // {start text, start folder, file name}; an empty field is the usual case.
    const std::string cases[][3] = {{"", previous.initialDir, previous.fileName},
                                    {"bad|name", previous.initialDir, previous.fileName},
                                    {"T:\\dir\\a b.txt", "T:\\dir\\", "T:\\dir\\a b.txt"},
                                    {"T:\\gone\\a.txt", previous.initialDir, "T:\\gone\\a.txt"},
                                    {"T:\\dir\\", "T:\\dir\\", ""},
                                    {"C:", "C:", ""}};
    for (const auto& [text, dir, name] : cases) {
        FileDialogState s = previous;
        PrepareFileDialog(s, text, folderExists);
        EXPECT_EQ(s.initialDir, dir) << text;
        EXPECT_EQ(s.fileName, name) << text;
    }
    FileDialogState s = previous;
    PrepareFileDialog(s, "a.txt", [](const std::string&) { return true; });
    EXPECT_EQ(s.initialDir, previous.initialDir); // a bare name has no folder
    EXPECT_EQ(s.fileName, "a.txt");
    AcceptFileDialogChoice(s, "T:\\dir\\my file.txt");
    EXPECT_EQ(s.fileName, "T:\\dir\\my file.txt");
    EXPECT_EQ(s.initialDir, "T:\\dir\\");
}

TEST(DialogTabOrder, PageControlFirstThenThePageCycling) {
    using C = DialogControl;
    for (int page = 0; page < kPageCount; ++page) {
        const auto order = DialogTabOrder(page);
        // Forwards all the way round, and backwards undoes every step.
        C c = C::PageControl;
        std::set<C> seen;
        for (size_t i = 0; i < order.size(); ++i) {
            const C next = NextTabStop(order, c, false);
            EXPECT_EQ(NextTabStop(order, next, true), c);
            seen.insert(next);
            c = next;
        }
        EXPECT_EQ(c, C::PageControl);
        EXPECT_EQ(seen.size(), order.size());
    }
    EXPECT_EQ(DialogTabOrder(0),
              (std::vector<C>{C::PageControl, C::ListBoxDir, C::dAdd, C::dDelete, C::DirectoryEdit3}));
    EXPECT_EQ(DialogTabOrder(1),
              (std::vector<C>{C::PageControl, C::ListBoxFile, C::fAdd, C::fDelete, C::FilenameEdit1}));
    // The page «Прочее»: its seven fields by their place.
    EXPECT_EQ(DialogTabOrder(2),
              (std::vector<C>{C::PageControl, C::Edit1, C::DirectoryEdit1, C::RxSpinEdit1, C::RxSpinEdit2,
                              ConfigFieldControl(4), ConfigFieldControl(5), ConfigFieldControl(6)}));
    EXPECT_EQ(NextTabStop(DialogTabOrder(0), C::PageControl, true), C::DirectoryEdit3);
    // A control of another page is not a stop: forwards gives the first, backwards the last.
    EXPECT_EQ(NextTabStop(DialogTabOrder(0), C::Edit1, false), C::PageControl);
    EXPECT_EQ(NextTabStop(DialogTabOrder(0), C::Edit1, true), C::DirectoryEdit3);
    // Ctrl+Tab from 0 and 3, Ctrl+Shift+Tab from 0 and 1.
    EXPECT_EQ(
        (std::vector<int>{NextPage(0, false), NextPage(3, false), NextPage(0, true), NextPage(1, true)}),
        (std::vector<int>{1, 0, 3, 0}));
}
