// The period and free-space fields: what opening shows, range on focus change, typed and stepped
// negatives, empty text, the key filter, the diagonal spin button and its auto-repeat.
#include "dialog_helpers.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace vestrand;
using namespace vestrand::test;
using C = DialogControl;

namespace {

// Replaces the text of `field` by typing `text` over all of it (an empty text: Backspace).
void TypeInto(HWND field, const std::string& text) {
    SelectAll(field);
    if (text.empty())
        ::SendMessageA(field, WM_CHAR, VK_BACK, 1);
    else
        TypeText(field, text);
}

void PressHalf(HWND button, bool upper) {
    RECT rc{};
    ::GetClientRect(button, &rc);
    const int x = upper ? 2 : rc.right - 3, y = upper ? 2 : rc.bottom - 3;
    ::SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
}

void ClickHalf(HWND button, bool upper) {
    PressHalf(button, upper);
    ::SendMessageA(button, WM_LBUTTONUP, 0, 0);
}

} // namespace

TEST_F(DialogTest, TypedPeriodIsStoredAsTypedWhenClosedAtOnceAndRangedWhenTheFocusMoves) {
    std::string shownAfterTyping;
    Script s(form);
    s.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            TypeInto(Item(C::RxSpinEdit1), "3");
            shownAfterTyping = TextOf(Item(C::RxSpinEdit1));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(shownAfterTyping, "3");
    EXPECT_EQ(settings.SaveMin, 3);
    EXPECT_EQ(IniRead(ini, "Config", "SaveMin"), "3");

    std::string shownAfterFocus3, shownAfterFocus2000, shownAfterTab;
    Script t(form);
    t.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            TypeInto(Item(C::RxSpinEdit1), "3");
            ::SetFocus(Item(C::Edit1));
            shownAfterFocus3 = TextOf(Item(C::RxSpinEdit1));
            TypeInto(Item(C::RxSpinEdit1), "2000");
            ::SetFocus(Item(C::RxSpinEdit2));
            shownAfterFocus2000 = TextOf(Item(C::RxSpinEdit1));
            TypeInto(Item(C::RxSpinEdit1), "0");
            PostKey(VK_TAB); // the keyboard's way to the next field
        })
        .Then([&] { shownAfterTab = TextOf(Item(C::RxSpinEdit1)); })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, t);
    EXPECT_EQ(shownAfterFocus3, "5");
    EXPECT_EQ(shownAfterFocus2000, "1440");
    EXPECT_EQ(shownAfterTab, "5");
    EXPECT_EQ(settings.SaveMin, 5);
    EXPECT_EQ(IniRead(ini, "Config", "SaveMin"), "5");
}

TEST_F(DialogTest, StoredPeriodOutsideTheRangeOpensRangedAndIsStoredSoWithoutChange) {
    for (const auto& [stored, shown] :
         std::vector<std::pair<int32_t, std::string>>{{3, "5"}, {5000, "1440"}, {-1, "5"}}) {
        settings.SaveMin = stored;
        settings.LowDriveSpaceMb = -40; // no range on the free-space field
        std::string period, floor;
        Script s(form);
        s.WhenOpen()
            .Then([&] {
                period = TextOf(Item(C::RxSpinEdit1));
                floor = TextOf(Item(C::RxSpinEdit2));
            })
            .CloseByTitleBar();
        RunDialog(form, settings, ini, s);
        EXPECT_EQ(period, shown) << stored;
        EXPECT_EQ(floor, "-40");
        EXPECT_EQ(IniRead(ini, "Config", "SaveMin"), shown);
        EXPECT_EQ(settings.LowDriveSpaceMb, -40);
        EXPECT_EQ(IniRead(ini, "Config", "LowDriveSpaceMb"), "-40");
    }
}

TEST_F(DialogTest, FreeSpaceTakesNegativesByTypingAndTheDownKeyAndAnEmptyFieldStoresZero) {
    settings.LowDriveSpaceMb = 1;
    std::string afterDown;
    Script s(form);
    s.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            HWND floor = Item(C::RxSpinEdit2);
            ::SetFocus(floor);
            for (int i = 0; i < 3; ++i)
                PressKey(floor, VK_DOWN);
            afterDown = TextOf(floor);
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(afterDown, "-2");
    EXPECT_EQ(settings.LowDriveSpaceMb, -2);
    EXPECT_EQ(IniRead(ini, "Config", "LowDriveSpaceMb"), "-2");

    Script t(form);
    t.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            TypeInto(Item(C::RxSpinEdit2), "-7");
            ::SetFocus(Item(C::Edit1));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, t);
    EXPECT_EQ(settings.LowDriveSpaceMb, -7);
    EXPECT_EQ(IniRead(ini, "Config", "LowDriveSpaceMb"), "-7");

    std::string emptied = "?";
    Script u(form);
    u.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            TypeInto(Item(C::RxSpinEdit2), "");
            TypeInto(Item(C::RxSpinEdit1), "");
            ::SetFocus(Item(C::Edit1));
            emptied = TextOf(Item(C::RxSpinEdit2));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, u);
    EXPECT_EQ(emptied, "");
    EXPECT_EQ(settings.LowDriveSpaceMb, 0);
    EXPECT_EQ(IniRead(ini, "Config", "LowDriveSpaceMb"), "0");
    EXPECT_EQ(settings.SaveMin, 5); // an empty period reads as its MinValue
}

TEST_F(DialogTest, TheHeldVersionDaysFieldKeepsItsRangeAndIsSaved) {
    settings.KeepVersionsDays = 7;
    std::string shown, clamped, empty;
    Script s(form);
    s.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            shown = TextOf(Item(ConfigFieldControl(4)));
            TypeInto(Item(ConfigFieldControl(4)), "5000");
            ::SetFocus(Item(C::Edit1)); // leaving the field brings it into its range
            clamped = TextOf(Item(ConfigFieldControl(4)));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(shown, "7");
    EXPECT_EQ(clamped, "3650");
    EXPECT_EQ(settings.KeepVersionsDays, 3650);
    EXPECT_EQ(IniRead(ini, "Config", "KeepVersionsDays"), "3650");

    Script t(form);
    t.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            TypeInto(Item(ConfigFieldControl(4)), "");
            ::SetFocus(Item(C::Edit1));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, t);
    EXPECT_EQ(settings.KeepVersionsDays, 0); // an empty field reads as its minimum
    EXPECT_EQ(IniRead(ini, "Config", "KeepVersionsDays"), "0");
}

TEST_F(DialogTest, UpAndDownKeysStepByOneInsideTheRange) {
    settings.SaveMin = 1439;
    std::vector<std::string> seen;
    Script s(form);
    s.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            HWND period = Item(C::RxSpinEdit1);
            ::SetFocus(period);
            PressKey(period, VK_UP);
            seen.push_back(TextOf(period));
            PressKey(period, VK_UP);
            seen.push_back(TextOf(period));
            TypeInto(period, "6");
            PressKey(period, VK_DOWN);
            seen.push_back(TextOf(period));
            PressKey(period, VK_DOWN);
            seen.push_back(TextOf(period));
            TypeInto(period, "3"); // a step reads, steps and sets: the range applies
            PressKey(period, VK_UP);
            seen.push_back(TextOf(period));
            // Not a number (only a paste could put it there): read as MinValue.
            ::SendMessageA(period, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("junk"));
            PressKey(period, VK_UP);
            seen.push_back(TextOf(period));
            // Without a range a step stops at the ends of the 32-bit numbers the text is read in.
            HWND floor = Item(C::RxSpinEdit2);
            TypeInto(floor, "2147483647");
            PressKey(floor, VK_UP);
            seen.push_back(TextOf(floor));
            TypeInto(floor, "-2147483648");
            PressKey(floor, VK_DOWN);
            seen.push_back(TextOf(floor));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"1440", "1440", "5", "5", "5", "6", "2147483647", "-2147483648"}));
    EXPECT_EQ(settings.SaveMin, 6);
    EXPECT_EQ(settings.LowDriveSpaceMb, INT32_MIN);
}

TEST_F(DialogTest, OnlyDigitsSignsAndControlKeysAreTypedPastedTextIsNot) {
    std::string typed, pasted, afterEnterEsc;
    bool stillOpenAfterEnterEsc = false;
    Script s(form);
    s.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            HWND floor = Item(C::RxSpinEdit2);
            TypeInto(floor, "1a2 .,x-+\xC0"
                            "3e");
            ::SendMessageA(floor, WM_CHAR, VK_BACK, 1); // a control key: deletes the 3 typed last
            typed = TextOf(floor);
            // Pasting goes past the filter.
            if (::OpenClipboard(form.Handle())) {
                ::EmptyClipboard();
                const char text[] = "7 apples";
                HGLOBAL mem = ::GlobalAlloc(GMEM_MOVEABLE, sizeof text);
                std::memcpy(::GlobalLock(mem), text, sizeof text);
                ::GlobalUnlock(mem);
                ::SetClipboardData(CF_TEXT, mem);
                ::CloseClipboard();
            }
            SelectAll(floor);
            ::SendMessageA(floor, WM_PASTE, 0, 0);
            pasted = TextOf(floor);
            // Enter and Esc do not close the dialog.
            PostKey(VK_RETURN);
            ::PostMessageA(floor, WM_CHAR, '\r', 1);
            PostKey(VK_ESCAPE);
            ::PostMessageA(floor, WM_CHAR, 0x1B, 1);
        })
        .Pause(100)
        .Then([&] {
            stillOpenAfterEnterEsc = form.IsOpen();
            afterEnterEsc = TextOf(Item(C::RxSpinEdit2));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(typed, "12-+");
    EXPECT_EQ(pasted, "7 apples");
    EXPECT_TRUE(stillOpenAfterEnterEsc);
    EXPECT_EQ(afterEnterEsc, "7 apples");
    EXPECT_EQ(settings.LowDriveSpaceMb, 0); // not an integer: MinValue
}

TEST_F(DialogTest, SpinHalvesStepUpAndDownAndTakeTheFocusFirst) {
    settings.LowDriveSpaceMb = 0;
    std::vector<std::string> floorSeen;
    std::string periodAfterPress;
    bool focusMoved = false;
    Script s(form);
    s.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            HWND floor = Item(C::RxSpinEdit2), button = form.ButtonOf(C::RxSpinEdit2);
            // The period holds a typed 3 and has the focus; pressing the other field's button moves
            // the focus, so the period's range applies.
            TypeInto(Item(C::RxSpinEdit1), "3");
            ClickHalf(button, true);
            focusMoved = ::GetFocus() == floor;
            periodAfterPress = TextOf(Item(C::RxSpinEdit1));
            floorSeen.push_back(TextOf(floor));
            ClickHalf(button, false);
            floorSeen.push_back(TextOf(floor));
            ClickHalf(button, false);
            floorSeen.push_back(TextOf(floor));
            // Close to the diagonal on either side.
            RECT rc{};
            ::GetClientRect(button, &rc);
            const int cx = rc.right / 2, cy = rc.bottom / 2;
            ::SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cx - 2, cy - 2));
            ::SendMessageA(button, WM_LBUTTONUP, 0, 0);
            floorSeen.push_back(TextOf(floor));
            ::SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cx + 2, cy + 2));
            ::SendMessageA(button, WM_LBUTTONUP, 0, 0);
            floorSeen.push_back(TextOf(floor));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_TRUE(focusMoved);
    EXPECT_EQ(periodAfterPress, "5");
    EXPECT_EQ(floorSeen, (std::vector<std::string>{"1", "0", "-1", "0", "-1"}));
    EXPECT_EQ(settings.LowDriveSpaceMb, -1);
    EXPECT_EQ(settings.SaveMin, 5);
}

TEST_F(DialogTest, HeldSpinHalfRepeatsAfter400MsThenEvery100MsAndStopsWhenReleased) {
    settings.LowDriveSpaceMb = 0;
    DWORD pressed = 0, firstRepeat = 0, thirdRepeat = 0;
    std::string atPress, afterRelease, afterPause, offHalf, afterOffPause;
    HWND floor = nullptr, button = nullptr;
    auto value = [&] { return std::atoi(TextOf(floor).c_str()); };
    Script s(form);
    s.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            floor = Item(C::RxSpinEdit2);
            button = form.ButtonOf(C::RxSpinEdit2);
            pressed = ::GetTickCount();
            PressHalf(button, true); // held: no button-up yet
            atPress = TextOf(floor);
        })
        .WaitFor(
            [&] {
                if (value() < 2)
                    return false;
                firstRepeat = ::GetTickCount();
                return true;
            },
            "the first repeat")
        .WaitFor(
            [&] {
                if (value() < 4)
                    return false;
                thirdRepeat = ::GetTickCount();
                return true;
            },
            "the third repeat")
        .Then([&] {
            ::SendMessageA(button, WM_LBUTTONUP, 0, 0);
            afterRelease = TextOf(floor);
        })
        .Pause(300)
        .Then([&] {
            afterPause = TextOf(floor);
            // Held again, then the pointer moves onto the other half: no steps while it is there.
            PressHalf(button, false);
        })
        .WaitFor([&] { return value() <= std::atoi(afterPause.c_str()) - 2; }, "a repeat down")
        .Then([&] {
            ::SendMessageA(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(1, 1));
            offHalf = TextOf(floor);
        })
        .Pause(300)
        .Then([&] {
            afterOffPause = TextOf(floor);
            ::SendMessageA(button, WM_LBUTTONUP, 0, 0);
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(atPress, "1"); // the press itself steps once, at once
    // Lower bounds only: the steps are never early, however busy the machine.
    EXPECT_GE(firstRepeat - pressed, 400u);
    EXPECT_GE(thirdRepeat - pressed, 400u + 2 * 100u);
    EXPECT_EQ(afterPause, afterRelease);
    EXPECT_EQ(afterOffPause, offHalf);
    EXPECT_EQ(settings.LowDriveSpaceMb, std::atoi(afterOffPause.c_str()));
}
