// The period and free-space fields: what opening shows, range on focus change, typed and stepped
// negatives, empty text, the key filter, the diagonal spin button and its auto-repeat held down.
#include "dialog_runner.h"

#include <cstdint>
#include <cstdlib>

using namespace vestrand;
using namespace vestrand::test;
using C = DialogControl;

TEST_F(DialogTest, TypedPeriodAndDaysAreStoredAsTypedWhenClosedAtOnceAndRangedWhenTheFocusMoves) {
    RunPage(2, [&] {
        TypeOver(Item(C::RxSpinEdit1), "3");
        EXPECT_EQ(TextOf(Item(C::RxSpinEdit1)), "3");
    });
    EXPECT_EQ(settings.SaveMin, 3);
    EXPECT_EQ(IniRead(ini, "Config", "SaveMin"), "3");

    settings.KeepVersionsDays = 7; // the held version days keep their range too
    const HWND days = Item(ConfigFieldControl(4));
    RunPage(2, [&](Script& s) {
        s.Then([&] {
             EXPECT_EQ(TextOf(days), "7");
             TypeOver(days, "5000");
             ::SetFocus(Item(C::Edit1));
             EXPECT_EQ(TextOf(days), "3650");
             TypeOver(Item(C::RxSpinEdit1), "3");
             ::SetFocus(Item(C::Edit1));
             EXPECT_EQ(TextOf(Item(C::RxSpinEdit1)), "5");
             TypeOver(Item(C::RxSpinEdit1), "2000");
             ::SetFocus(Item(C::RxSpinEdit2));
             EXPECT_EQ(TextOf(Item(C::RxSpinEdit1)), "1440");
             TypeOver(Item(C::RxSpinEdit1), "0");
             PostKey(VK_TAB); // the keyboard's way to the next field
         }).Then([&] { EXPECT_EQ(TextOf(Item(C::RxSpinEdit1)), "5"); });
    });
    EXPECT_EQ(settings.SaveMin, 5);
    EXPECT_EQ(IniRead(ini, "Config", "SaveMin"), "5");
    EXPECT_EQ(settings.KeepVersionsDays, 3650);
    EXPECT_EQ(IniRead(ini, "Config", "KeepVersionsDays"), "3650");
}

TEST_F(DialogTest, StoredPeriodOutsideTheRangeOpensRangedAndIsStoredSoWithoutChange) {
    for (const auto& [stored, shown] :
         std::vector<std::pair<int32_t, std::string>>{{3, "5"}, {5000, "1440"}, {-1, "5"}}) {
        settings.SaveMin = stored;
        settings.LowDriveSpaceMb = -40; // no range on the free-space field
        RunPage(0, [&] {
            EXPECT_EQ(TextOf(Item(C::RxSpinEdit1)), shown) << stored;
            EXPECT_EQ(TextOf(Item(C::RxSpinEdit2)), "-40");
        });
        EXPECT_EQ(IniRead(ini, "Config", "SaveMin"), shown);
        EXPECT_EQ(settings.LowDriveSpaceMb, -40);
        EXPECT_EQ(IniRead(ini, "Config", "LowDriveSpaceMb"), "-40");
    }
}

TEST_F(DialogTest, FreeSpaceTakesTypedNegativesAndEmptiedFieldsReadAsTheirMinimum) {
    RunPage(2, [&] {
        TypeOver(Item(C::RxSpinEdit2), "-7");
        ::SetFocus(Item(C::Edit1));
    });
    EXPECT_EQ(settings.LowDriveSpaceMb, -7);
    EXPECT_EQ(IniRead(ini, "Config", "LowDriveSpaceMb"), "-7");

    settings.KeepVersionsDays = 7;
    RunPage(2, [&] { // each field emptied: read as its MinValue
        for (C c : {C::RxSpinEdit2, C::RxSpinEdit1, ConfigFieldControl(4)})
            TypeOver(Item(c), "");
        ::SetFocus(Item(C::Edit1));
        EXPECT_EQ(TextOf(Item(C::RxSpinEdit2)), ""); // no range: nothing to bring it into
    });
    EXPECT_EQ(settings.LowDriveSpaceMb, 0);
    EXPECT_EQ(IniRead(ini, "Config", "LowDriveSpaceMb"), "0");
    EXPECT_EQ(settings.SaveMin, 5);
    EXPECT_EQ(settings.KeepVersionsDays, 0);
    EXPECT_EQ(IniRead(ini, "Config", "KeepVersionsDays"), "0");
}

TEST_F(DialogTest, UpAndDownKeysStepByOneInsideTheRangeAndBelowZeroWithout) {
    settings.SaveMin = 1439;
    Lines seen;
    RunPage(2, [&] {
        HWND period = Item(C::RxSpinEdit1), floor = Item(C::RxSpinEdit2);
        auto step = [&](HWND field, const char* text, UINT vk) {
            if (text)
                TypeOver(field, text);
            PressKey(field, vk);
            seen.push_back(TextOf(field));
        };
        ::SetFocus(period);
        step(period, nullptr, VK_UP);
        step(period, nullptr, VK_UP);
        step(period, "6", VK_DOWN);
        step(period, nullptr, VK_DOWN);
        step(period, "3", VK_UP); // a step reads, steps and sets: the range applies
        // Not a number (only a paste could put it there): read as MinValue.
        ::SendMessageA(period, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("junk"));
        step(period, nullptr, VK_UP);
        // Without a range the Down key goes below 0, and a step stops at the ends of the 32-bit
        // numbers the text is read in.
        step(floor, "1", VK_DOWN);
        step(floor, nullptr, VK_DOWN);
        step(floor, nullptr, VK_DOWN);
        step(floor, "2147483647", VK_UP);
        step(floor, "-2147483648", VK_DOWN);
    });
    EXPECT_EQ(seen,
              (Lines{"1440", "1440", "5", "5", "5", "6", "0", "-1", "-2", "2147483647", "-2147483648"}));
    EXPECT_EQ(settings.SaveMin, 6);
    EXPECT_EQ(settings.LowDriveSpaceMb, INT32_MIN);
    EXPECT_EQ(IniRead(ini, "Config", "LowDriveSpaceMb"), "-2147483648");
}

TEST_F(DialogTest, OnlyDigitsSignsAndControlKeysAreTypedPastedTextIsNot) {
    RunPage(2, [&](Script& s) {
        s.Then([&] {
             ::SetWindowTextA(Item(C::Edit1), "7 apples"); // to the clipboard by another field's Copy
             ::SendMessageA(Item(C::Edit1), EM_SETSEL, 0, -1);
             ::SendMessageA(Item(C::Edit1), WM_COPY, 0, 0);
             HWND floor = Item(C::RxSpinEdit2);
             TypeOver(floor, "1a2 .,x-+\xC0"
                             "3e");
             ::SendMessageA(floor, WM_CHAR, VK_BACK, 1); // a control key: deletes the 3 typed last
             EXPECT_EQ(TextOf(floor), "12-+");
             ::SendMessageA(floor, EM_SETSEL, 0, -1);
             ::SendMessageA(floor, WM_PASTE, 0, 0); // pasting goes past the filter
             EXPECT_EQ(TextOf(floor), "7 apples");
             // Enter and Esc do not close the dialog.
             PostKey(VK_RETURN);
             ::PostMessageA(floor, WM_CHAR, '\r', 1);
             PostKey(VK_ESCAPE);
             ::PostMessageA(floor, WM_CHAR, 0x1B, 1);
         })
            .Pause(100)
            .Then([&] {
                EXPECT_TRUE(form.IsOpen());
                EXPECT_EQ(TextOf(Item(C::RxSpinEdit2)), "7 apples");
            });
    });
    EXPECT_EQ(settings.LowDriveSpaceMb, 0); // not an integer: MinValue
}

TEST_F(DialogTest, SpinHalvesStepUpAndDownAndTakeTheFocusFirst) {
    settings.LowDriveSpaceMb = 0;
    Lines seen;
    RunPage(2, [&] {
        HWND floor = Item(C::RxSpinEdit2), button = form.ButtonOf(C::RxSpinEdit2);
        RECT rc{};
        ::GetClientRect(button, &rc);
        const int cx = rc.right / 2, cy = rc.bottom / 2;
        auto click = [&](int x, int y) {
            ::SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
            ::SendMessageA(button, WM_LBUTTONUP, 0, 0);
            seen.push_back(TextOf(floor));
        };
        // The period holds a typed 3 and has the focus; pressing the other field's button moves the
        // focus, so the period's range applies.
        TypeOver(Item(C::RxSpinEdit1), "3");
        click(2, 2);
        EXPECT_EQ(::GetFocus(), floor);
        EXPECT_EQ(TextOf(Item(C::RxSpinEdit1)), "5");
        click(rc.right - 3, rc.bottom - 3);
        click(rc.right - 3, rc.bottom - 3);
        click(cx - 2, cy - 2); // close to the diagonal on either side
        click(cx + 2, cy + 2);
    });
    EXPECT_EQ(seen, (Lines{"1", "0", "-1", "0", "-1"}));
    EXPECT_EQ(settings.LowDriveSpaceMb, -1);
    EXPECT_EQ(settings.SaveMin, 5);
}

// The schedule itself (400 ms, then every 100 ms, no bursts) is the host's SpinAutoRepeat test; here
// the field's button is shown to run it: not before the delay, not after the release, not off the
// pressed half.
TEST_F(DialogTest, HeldSpinHalfRepeatsAfterItsDelayAndStopsWhenReleasedOrLeft) {
    settings.LowDriveSpaceMb = 0;
    DWORD pressed = 0, firstRepeat = 0;
    std::string afterRelease, offHalf;
    HWND floor = Item(C::RxSpinEdit2), button = form.ButtonOf(C::RxSpinEdit2);
    RECT rc{};
    ::GetClientRect(button, &rc);
    auto value = [&] { return std::atoi(TextOf(floor).c_str()); };
    RunPage(2, [&](Script& s) {
        s.Then([&] {
             pressed = ::GetTickCount();
             ::SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2)); // the upper half held
             EXPECT_EQ(TextOf(floor), "1"); // the press itself steps once, at once
         })
            .WaitFor(
                [&] {
                    firstRepeat = ::GetTickCount(); // kept from the tick that sees the repeat
                    return value() >= 2;
                },
                "the first repeat")
            .Then([&] {
                ::SendMessageA(button, WM_LBUTTONUP, 0, 0);
                afterRelease = TextOf(floor);
            })
            .Pause(300)
            .Then([&] {
                EXPECT_EQ(TextOf(floor), afterRelease);
                // The lower half held, then the pointer moves onto the other half.
                ::SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rc.right - 3, rc.bottom - 3));
            })
            .WaitFor([&] { return value() <= std::atoi(afterRelease.c_str()) - 2; }, "a repeat down")
            .Then([&] {
                ::SendMessageA(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(1, 1));
                offHalf = TextOf(floor);
            })
            .Pause(300)
            .Then([&] {
                EXPECT_EQ(TextOf(floor), offHalf);
                ::SendMessageA(button, WM_LBUTTONUP, 0, 0);
            });
    });
    EXPECT_GE(firstRepeat - pressed, 400u); // a lower bound only: never early, however busy the machine
    EXPECT_EQ(settings.LowDriveSpaceMb, std::atoi(offHalf.c_str()));
}
