#include <gtest/gtest.h>

#include <climits>
#include <set>

#include "ui/dialog_rules.h"

using namespace vestrand;

TEST(SpinRange, AppliesOnlyWhenTheBoundsDiffer) {
    EXPECT_EQ(ApplySpinRange(3, 5, 1440), 5);
    EXPECT_EQ(ApplySpinRange(2000, 5, 1440), 1440);
    EXPECT_EQ(ApplySpinRange(5, 5, 1440), 5);
    EXPECT_EQ(ApplySpinRange(1440, 5, 1440), 1440);
    EXPECT_EQ(ApplySpinRange(77, 5, 1440), 77);
    // Equal bounds: no range at all, negative and huge values stay.
    EXPECT_FALSE(SpinHasRange(0, 0));
    EXPECT_EQ(ApplySpinRange(-7, 0, 0), -7);
    EXPECT_EQ(ApplySpinRange(5000000000LL, 0, 0), 5000000000LL);
    EXPECT_EQ(ApplySpinRange(-1, 7, 7), -1);
}

TEST(SpinRange, TextIsReadByTheSettingsFileRulesWithMinValueForNonNumbers) {
    EXPECT_EQ(ReadSpinValue("3", 5), 3); // reading applies no range
    EXPECT_EQ(ReadSpinValue("-7", 0), -7);
    EXPECT_EQ(ReadSpinValue("+8", 0), 8);
    EXPECT_EQ(ReadSpinValue("  12", 0), 12);
    EXPECT_EQ(ReadSpinValue("0x1E", 0), 30);
    EXPECT_EQ(ReadSpinValue("$FFFFFFFF", 0), -1);
    EXPECT_EQ(ReadSpinValue("-2147483648", 0), INT32_MIN);
    EXPECT_EQ(ReadSpinValue("", 5), 5);
    EXPECT_EQ(ReadSpinValue("", 0), 0);
    EXPECT_EQ(ReadSpinValue("abc", 5), 5);
    EXPECT_EQ(ReadSpinValue("12 ", 5), 5);
    EXPECT_EQ(ReadSpinValue("2147483648", 5), 5);
    EXPECT_EQ(ReadSpinValue("-", 0), 0);
    EXPECT_EQ(ReadSpinValue("1-2", 5), 5);
}

TEST(SpinKeys, DigitsSignsAndControlKeysOnly) {
    for (unsigned char ch : {'0', '5', '9', '+', '-', '\b', '\x03', '\x16', '\x18', '\x01', '\x7F'})
        EXPECT_TRUE(IsSpinCharAccepted(ch)) << int(ch);
    for (unsigned char ch : {'a', 'e', 'x', ' ', '.', ',', '$', '/', ':', '\xC0', '\xFF', '\xB9'})
        EXPECT_FALSE(IsSpinCharAccepted(ch)) << int(ch);
}

TEST(SpinHitTest, DividedByTheDiagonalFromLowerLeftToUpperRight) {
    // Square button: pixel centres x + y < 15 lie above the line, x + y >= 15 on or below it.
    EXPECT_EQ(SpinHitTest(0, 0, 16, 16), SpinHalf::Up);
    EXPECT_EQ(SpinHitTest(7, 7, 16, 16), SpinHalf::Up);
    EXPECT_EQ(SpinHitTest(8, 7, 16, 16), SpinHalf::Down);
    EXPECT_EQ(SpinHitTest(7, 8, 16, 16), SpinHalf::Down);
    EXPECT_EQ(SpinHitTest(15, 15, 16, 16), SpinHalf::Down);
    EXPECT_EQ(SpinHitTest(14, 0, 16, 16), SpinHalf::Up);
    EXPECT_EQ(SpinHitTest(15, 0, 16, 16), SpinHalf::Down); // the corner pixel the diagonal crosses
    // The field's own button, 15 x 17: the upper-right and lower-left corners fall to either side.
    EXPECT_EQ(SpinHitTest(14, 0, 15, 17), SpinHalf::Up);
    EXPECT_EQ(SpinHitTest(0, 16, 15, 17), SpinHalf::Down);
    EXPECT_EQ(SpinHitTest(3, 3, 15, 17), SpinHalf::Up);
    EXPECT_EQ(SpinHitTest(11, 13, 15, 17), SpinHalf::Down);
    // Outside.
    EXPECT_EQ(SpinHitTest(-1, 0, 15, 17), SpinHalf::None);
    EXPECT_EQ(SpinHitTest(0, -1, 15, 17), SpinHalf::None);
    EXPECT_EQ(SpinHitTest(15, 5, 15, 17), SpinHalf::None);
    EXPECT_EQ(SpinHitTest(5, 17, 15, 17), SpinHalf::None);
    EXPECT_EQ(SpinHitTest(0, 0, 0, 0), SpinHalf::None);
}

TEST(SpinHitTest, HalvesAreMonotonicAndMirrorEachOther) {
    for (int w : {9, 15, 16, 40}) {
        for (int h : {9, 17, 21}) {
            int up = 0, down = 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const SpinHalf half = SpinHitTest(x, y, w, h);
                    ASSERT_NE(half, SpinHalf::None);
                    (half == SpinHalf::Up ? up : down)++;
                    if (half == SpinHalf::Down) {
                        if (x + 1 < w) {
                            EXPECT_EQ(SpinHitTest(x + 1, y, w, h), SpinHalf::Down) << w << "x" << h;
                        }
                        if (y + 1 < h) {
                            EXPECT_EQ(SpinHitTest(x, y + 1, w, h), SpinHalf::Down) << w << "x" << h;
                        }
                    }
                    // The point mirrored through the centre lies in the other half, unless on the line.
                    const SpinHalf mirrored = SpinHitTest(w - 1 - x, h - 1 - y, w, h);
                    if (half == SpinHalf::Up) {
                        EXPECT_EQ(mirrored, SpinHalf::Down);
                    }
                }
            }
            EXPECT_LE(up, down);
            EXPECT_GE(up, (w * h) / 2 - (w + h));
        }
    }
}

TEST(SpinAutoRepeat, FirstRepeatAfter400ThenEvery100WithoutBursts) {
    SpinAutoRepeat r;
    EXPECT_FALSE(r.Check(0, true)); // not pressed
    r.Press(1000);
    EXPECT_TRUE(r.Pressed());
    EXPECT_EQ(r.MsUntilDue(1000), 400u);
    EXPECT_FALSE(r.Check(1100, true));
    EXPECT_FALSE(r.Check(1399, true));
    EXPECT_EQ(r.MsUntilDue(1399), 1u);
    EXPECT_TRUE(r.Check(1400, true));
    EXPECT_EQ(r.MsUntilDue(1400), 100u);
    EXPECT_FALSE(r.Check(1499, true));
    EXPECT_TRUE(r.Check(1500, true));
    // A check that comes late (the loop was busy) gives one step, and the next is an interval on.
    EXPECT_TRUE(r.Check(1900, true));
    EXPECT_FALSE(r.Check(1950, true));
    EXPECT_TRUE(r.Check(2000, true));
    // Off the pressed half nothing steps, but the schedule goes on.
    EXPECT_FALSE(r.Check(2100, false));
    EXPECT_FALSE(r.Check(2150, true));
    EXPECT_TRUE(r.Check(2200, true));
    r.Release();
    EXPECT_FALSE(r.Pressed());
    EXPECT_FALSE(r.Check(5000, true));
    EXPECT_EQ(r.MsUntilDue(5000), 0u);
}

TEST(SpinAutoRepeat, SurvivesTheWrapOfTheTickCounter) {
    SpinAutoRepeat r;
    const uint32_t press = 0xFFFFFF00u;
    r.Press(press);
    EXPECT_FALSE(r.Check(press + 399, true));
    EXPECT_EQ(r.MsUntilDue(press + 200), 200u);
    EXPECT_TRUE(r.Check(press + 400, true)); // 0x00000090
    EXPECT_FALSE(r.Check(press + 450, true));
    EXPECT_TRUE(r.Check(press + 500, true));
    // A new press starts over with the long delay.
    r.Press(10);
    EXPECT_FALSE(r.Check(110, true));
    EXPECT_TRUE(r.Check(410, true));
}

TEST(FolderBrowse, StartFolderRules) {
    const std::set<std::string> existing = {"C:\\Data", "D:\\Last", "\\"};
    auto exists = [&](const std::string& p) { return existing.count(p) > 0; };
    EXPECT_EQ(FolderBrowseStart("C:\\Data", "D:\\Last", exists), "C:\\Data");
    EXPECT_EQ(FolderBrowseStart("C:\\Gone", "D:\\Last", exists), "\\"); // not the remembered one
    EXPECT_EQ(FolderBrowseStart("", "D:\\Last", exists), "D:\\Last");
    EXPECT_EQ(FolderBrowseStart("", "D:\\Removed", exists), "\\");
    EXPECT_EQ(FolderBrowseStart("", "", exists), "\\");
    EXPECT_EQ(FolderBrowseStart("", "", [](const std::string&) { return false; }), "\\");
}

TEST(FolderBrowse, ChosenFolderWithoutTrailingSeparatorExceptADriveRoot) {
    EXPECT_EQ(FolderChoiceText("C:\\Data"), "C:\\Data");
    EXPECT_EQ(FolderChoiceText("C:\\Data\\"), "C:\\Data");
    EXPECT_EQ(FolderChoiceText("C:\\My Data\\Sub\\"), "C:\\My Data\\Sub");
    EXPECT_EQ(FolderChoiceText("D:\\"), "D:\\");
    EXPECT_EQ(FolderChoiceText("\\\\srv\\share\\"), "\\\\srv\\share");
    EXPECT_EQ(FolderChoiceText("\\"), "\\");
}

TEST(FileDialogStart, FirstWordWithQuotes) {
    EXPECT_EQ(FirstWord("C:\\a.txt"), "C:\\a.txt");
    EXPECT_EQ(FirstWord("C:\\My Docs\\a.txt"), "C:\\My");
    EXPECT_EQ(FirstWord("   lead tail"), "lead");
    EXPECT_EQ(FirstWord("\"C:\\My Docs\\a.txt\" tail"), "C:\\My Docs\\a.txt");
    EXPECT_EQ(FirstWord("ab\"c d\"e f"), "abc de");
    EXPECT_EQ(FirstWord("\"open to the end"), "open to the end");
    EXPECT_EQ(FirstWord("\"\" x"), "");
    EXPECT_EQ(FirstWord(""), "");
    EXPECT_EQ(FirstWord("   "), "");
}

TEST(FileDialogStart, TextOfAnExistingFileIsTakenWhole) {
    const std::string spaced = "C:\\My Docs\\a b.txt";
    EXPECT_EQ(FileFieldStartText(spaced, [&](const std::string& p) { return p == spaced; }), spaced);
    EXPECT_EQ(FileFieldStartText(spaced, [](const std::string&) { return false; }), "C:\\My");
    EXPECT_EQ(FileFieldStartText("", [](const std::string&) { return true; }), "");
}

TEST(FileDialogStart, ValidNamesAndFolderPart) {
    EXPECT_TRUE(IsValidFileName("C:\\My Docs\\a b.txt"));
    EXPECT_TRUE(IsValidFileName("C:\\Data\\"));
    EXPECT_TRUE(IsValidFileName("a"));
    EXPECT_FALSE(IsValidFileName(""));
    for (const char* bad : {"a<b", "a>b", "a\"b", "a[b", "a]b", "a|b"})
        EXPECT_FALSE(IsValidFileName(bad)) << bad;
    EXPECT_EQ(FileFolderPart("C:\\Data\\a.txt"), "C:\\Data\\");
    EXPECT_EQ(FileFolderPart("C:a.txt"), "C:");
    EXPECT_EQ(FileFolderPart("C:\\"), "C:\\");
    EXPECT_EQ(FileFolderPart("a.txt"), "");
}

TEST(FileDialogStart, ValidTextSetsNameAndExistingFolderOtherwiseThePreviousOpeningStays) {
    const FileDialogState previous{"X:\\old\\", "X:\\old\\f.txt"};
    auto folderExists = [](const std::string& p) { return p == "T:\\dir\\" || p == "C:"; };

    FileDialogState s = previous;
    PrepareFileDialog(s, "", folderExists); // the usual case: the field is empty
    EXPECT_EQ(s.initialDir, previous.initialDir);
    EXPECT_EQ(s.fileName, previous.fileName);
    PrepareFileDialog(s, "bad|name", folderExists);
    EXPECT_EQ(s.fileName, previous.fileName);

    s = previous;
    PrepareFileDialog(s, "T:\\dir\\a b.txt", folderExists);
    EXPECT_EQ(s.initialDir, "T:\\dir\\");
    EXPECT_EQ(s.fileName, "T:\\dir\\a b.txt");

    s = previous;
    PrepareFileDialog(s, "T:\\gone\\a.txt", folderExists);
    EXPECT_EQ(s.initialDir, previous.initialDir);
    EXPECT_EQ(s.fileName, "T:\\gone\\a.txt");

    s = previous;
    PrepareFileDialog(s, "T:\\dir\\", folderExists);
    EXPECT_EQ(s.initialDir, "T:\\dir\\");
    EXPECT_EQ(s.fileName, "");

    s = previous;
    PrepareFileDialog(s, "C:", folderExists);
    EXPECT_EQ(s.initialDir, "C:");
    EXPECT_EQ(s.fileName, "");

    s = previous;
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
        ASSERT_EQ(order.size(), page == 2 ? 6u : 5u); // the page «Прочее» has five fields
        EXPECT_EQ(order.front(), C::PageControl);
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
    EXPECT_EQ(DialogTabOrder(0)[1], C::ListBoxDir);
    EXPECT_EQ(DialogTabOrder(1)[4], C::FilenameEdit1);
    EXPECT_EQ(DialogTabOrder(2)[3], C::RxSpinEdit1);
    EXPECT_EQ(DialogTabOrder(2)[5], ConfigFieldControl(4));
    EXPECT_EQ(NextTabStop(DialogTabOrder(0), C::PageControl, true), C::DirectoryEdit3);
    // A control of another page is not a stop: forwards gives the first, backwards the last.
    EXPECT_EQ(NextTabStop(DialogTabOrder(0), C::Edit1, false), C::PageControl);
    EXPECT_EQ(NextTabStop(DialogTabOrder(0), C::Edit1, true), C::DirectoryEdit3);
    EXPECT_EQ(NextPage(0, false), 1);
    EXPECT_EQ(NextPage(2, false), 0);
    EXPECT_EQ(NextPage(0, true), 2);
    EXPECT_EQ(NextPage(1, true), 0);
}
