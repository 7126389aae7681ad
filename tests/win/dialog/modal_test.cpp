// pmConfigClick and its modal wait: the values taken back however the dialog is closed, the settings
// file rewritten even without a change, a failed save reaching the caller, the program's other
// windows kept disabled while its timers and hidden windows go on, the quit message passed on, and
// what "Настройки" and "Выход" do while the dialog is open.
#include "dialog_runner.h"

#include "runtime/error.h"

using namespace vestrand;
using namespace vestrand::test;
using C = DialogControl;

namespace {

// Plain top-level windows of the test, shown or hidden; Counting counts the timer ticks and the
// WM_APP messages dispatched to a window whose procedure it is made.
int g_ticks = 0, g_posted = 0;
LRESULT CALLBACK Counting(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_ticks += msg == WM_TIMER;
    g_posted += msg == WM_APP;
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}
HWND TestWindow(bool visible) {
    return ::CreateWindowExA(0, "STATIC", "test", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 0, 0, 200,
                             100, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
}

void FillSettings(BackupSettings& s) {
    s.SaveMin = 30;
    s.IdentifComp = "Бухгалтерия";
    s.TargetDir = "F:\\Arch\\";
    s.LowDriveSpaceMb = 12;
    s.SourceDirs = {"C:\\A", "C:\\B"};
    s.SourceFiles = {"C:\\f.txt"};
}

} // namespace

TEST_F(DialogTest, OpeningFillsEveryFieldFromTheSettings) {
    FillSettings(settings);
    RunPage(0, [&] {
        EXPECT_EQ(ListEntries(Item(C::ListBoxDir)), (Lines{"C:\\A", "C:\\B"}));
        EXPECT_EQ(ListEntries(Item(C::ListBoxFile)), (Lines{"C:\\f.txt"}));
        EXPECT_EQ(TextOf(Item(C::Edit1)), "Бухгалтерия");
        EXPECT_EQ(TextOf(Item(C::DirectoryEdit1)), "F:\\Arch\\");
        EXPECT_EQ(TextOf(Item(C::RxSpinEdit1)), "30");
        EXPECT_EQ(TextOf(Item(C::RxSpinEdit2)), "12");
    });
}

TEST_F(DialogTest, ClosingWithoutAChangeStillRewritesTheSettingsFile) {
    // A file as an earlier program or a hand edit left it: keys with a gap, a hex number.
    WriteFile(ini,
              "[Config]\r\nSaveMin=0x1E\r\nIdentifComp=Old\r\nTargetDir=F:\\Arch\\\r\nLowDriveSpaceMb=12\r\n"
              "[SourceDir]\r\n1=C:\\A\r\n2=C:\\B\r\n4=C:\\D\r\n[SourceFile]\r\n1=C:\\f.txt\r\n");
    FillSettings(settings); // as loading gave them: the list up to the gap
    RunPage(0, [] {});
    EXPECT_EQ(IniRead(ini, "Config", "SaveMin"), "30");
    EXPECT_EQ(IniRead(ini, "Config", "IdentifComp"), "Бухгалтерия");
    EXPECT_EQ(IniRead(ini, "Config", "TargetDir"), "F:\\Arch\\");
    EXPECT_EQ(IniRead(ini, "Config", "LowDriveSpaceMb"), "12");
    EXPECT_EQ(IniList(ini, "SourceDir"), (Lines{"C:\\A", "C:\\B"}));
    EXPECT_EQ(IniRead(ini, "SourceDir", "4"), "<missing>");
    EXPECT_EQ(IniList(ini, "SourceFile"), (Lines{"C:\\f.txt"}));
}

TEST_F(DialogTest, ValuesAreTakenBackAsTheyStandHoweverTheDialogIsClosed) {
    FillSettings(settings);
    // Title-bar close, Alt+F4 in a field, a plain close message, and the program's own CloseDialog.
    const std::vector<std::function<void()>> closers = {
        [&] { ::SendMessageA(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); },
        [&] {
            ::SetFocus(Item(C::Edit1));
            ::PostMessageA(Item(C::Edit1), WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
        },
        [&] { ::PostMessageA(form.Handle(), WM_CLOSE, 0, 0); },
        [&] { form.CloseDialog(); },
    };
    int n = 0;
    for (const auto& close : closers) {
        ++n;
        const std::string name = "  name " + std::to_string(n) + "  ";
        Script s(form);
        s.WhenOpen().Then([&] {
            ClickTab(Item(C::PageControl), 2);
            TypeOver(Item(C::Edit1), name); // blanks kept: no trimming
            TypeOver(Item(C::RxSpinEdit1), std::to_string(100 + n));
            TypeOver(Item(C::RxSpinEdit2), "-" + std::to_string(n));
            close();
        });
        RunDialog(form, settings, ini, s);
        EXPECT_EQ(settings.IdentifComp, name) << n;
        EXPECT_EQ(settings.SaveMin, 100 + n) << n;
        EXPECT_EQ(settings.LowDriveSpaceMb, -n) << n;
        EXPECT_EQ(settings.TargetDir, "F:\\Arch\\") << n;
        EXPECT_EQ(IniRead(ini, "Config", "SaveMin"), std::to_string(100 + n)) << n;
        EXPECT_EQ(IniRead(ini, "Config", "LowDriveSpaceMb"), "-" + std::to_string(n)) << n;
    }
}

TEST_F(DialogTest, TheReadOnlyFolderFieldCannotBeChangedAndItsButtonDoesNothing) {
    FillSettings(settings);
    RunPage(2, [&](Script& s) {
        s.Then([&] {
             HWND target = Item(C::DirectoryEdit1);
             TypeOver(target, "X:\\typed");
             EXPECT_EQ(TextOf(target), "F:\\Arch\\");
             ::SendMessageA(target, WM_CUT, 0, 0);
             EXPECT_EQ(TextOf(target), "F:\\Arch\\");
             ::SendMessageA(target, WM_PASTE, 0, 0);
             EXPECT_EQ(TextOf(target), "F:\\Arch\\");
             PostBrowseClick(C::DirectoryEdit1);
             ::PostMessageA(target, WM_SYSKEYDOWN, VK_DOWN, 1 | (1 << 29));
         })
            .Pause(300)
            .Then([&] { EXPECT_EQ(FindPicker(), nullptr); });
    });
    EXPECT_EQ(settings.TargetDir, "F:\\Arch\\");
}

TEST_F(DialogTest, ASaveThatFailsReachesTheCallerWithTheValuesAlreadyTakenBack) {
    FillSettings(settings);
    const std::string badIni = folder + "no such folder\\vestrand.ini";
    Script s(form);
    s.WhenOpen().Then([&] { ClickTab(Item(C::PageControl), 2); }).Then([&] {
        TypeOver(Item(C::RxSpinEdit1), "77");
    });
    s.CloseByTitleBar().Start();
    try {
        form.pmConfigClick(settings, badIni);
        ADD_FAILURE() << "the save did not fail";
    } catch (const VestrandError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + badIni);
    }
    EXPECT_TRUE(s.Done());
    EXPECT_FALSE(form.IsOpen());
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
    EXPECT_EQ(settings.SaveMin, 77);
    RunPage(0, [&] { EXPECT_EQ(TextOf(Item(C::RxSpinEdit1)), "77"); }); // it opens again as usual
}

TEST_F(DialogTest, TheModalWaitDisablesVisibleWindowsAndKeepsDispatchingTheProgramsMessages) {
    HWND mainWindow = TestWindow(true);  // a shown window of the program
    HWND trayWindow = TestWindow(false); // a hidden one, as the tray icon's message window
    ::SetWindowLongPtrA(trayWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Counting));
    ::SetTimer(trayWindow, 1, 20, nullptr);
    RunPage(0, [&](Script& s) {
        s.Then([&] {
             EXPECT_FALSE(::IsWindowEnabled(mainWindow));
             EXPECT_TRUE(::IsWindowEnabled(trayWindow));
             EXPECT_TRUE(::IsWindowEnabled(form.Handle()));
             ::PostMessageA(trayWindow, WM_APP, 0, 0);
         }).WaitFor([&] { return g_ticks >= 3 && g_posted == 1; }, "the timer and the posted message");
    });
    ::KillTimer(trayWindow, 1);
    EXPECT_TRUE(::IsWindowEnabled(mainWindow)); // enabled again after the close
    ::DestroyWindow(trayWindow);
    ::DestroyWindow(mainWindow);
}

TEST_F(DialogTest, AQuitMessageEndsTheWaitAndIsPassedOnAfterTheSave) {
    FillSettings(settings);
    Script s(form);
    s.WhenOpen().Then([&] { ::PostQuitMessage(7); });
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(IniRead(ini, "Config", "SaveMin"), "30");
    MSG msg{};
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(DialogTest, ChoosingSettingsAgainWhileOpenOnlyBringsTheDialogToTheFront) {
    FillSettings(settings);
    BackupSettings other;
    other.SourceDirs = {"X:\\other"};
    other.SaveMin = 999;
    const std::string otherIni = folder + "other.ini";
    HWND elsewhere = TestWindow(true);
    RunPage(0, [&] {
        TypeText(Item(C::DirectoryEdit3), "half typed");
        form.pmConfigClick(other, otherIni); // returns at once
        form.BringToFront();
        EXPECT_EQ(ListEntries(Item(C::ListBoxDir)), (Lines{"C:\\A", "C:\\B"}));
        EXPECT_EQ(TextOf(Item(C::DirectoryEdit3)), "half typed");
        EXPECT_EQ(::GetActiveWindow(), form.Handle());
    });
    ::DestroyWindow(elsewhere);
    EXPECT_EQ(::GetFileAttributesA(otherIni.c_str()), INVALID_FILE_ATTRIBUTES); // nothing saved for it
    EXPECT_EQ(other.SaveMin, 999);
    // While closed, bringing to the front and closing do nothing.
    form.BringToFront();
    form.CloseDialog();
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
}

TEST_F(DialogTest, ExitWhileAPickerIsOpenCancelsItAndStillSaves) {
    FillSettings(settings);
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            TypeText(Item(C::DirectoryEdit3), "C:\\");
            PostBrowseClick(C::DirectoryEdit3);
        })
        .WaitFor([] { return FindPicker() != nullptr; }, "the folder browser")
        .Then([&] { form.CloseDialog(); });
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(FindPicker(), nullptr);
    EXPECT_EQ(TextOf(Item(C::DirectoryEdit3)), "C:\\"); // cancelled: unchanged
    EXPECT_EQ(IniList(ini, "SourceDir"), (Lines{"C:\\A", "C:\\B"}));
}
