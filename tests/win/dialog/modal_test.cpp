// pmConfigClick and its modal wait: values taken back however the dialog closes, the file rewritten
// even without a change, a failed save reaching the caller, other windows disabled while timers and
// hidden windows go on, the quit message passed on, "Настройки" and "Выход" while it is open.
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

// The dialog opened on settings other than the defaults.
class ModalTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        settings.SaveMin = 30;
        settings.IdentifComp = "Бухгалтерия";
        settings.TargetDir = "F:\\Arch\\";
        settings.LowDriveSpaceMb = 12;
        settings.SourceDirs = {"C:\\A", "C:\\B"};
        settings.SourceFiles = {"C:\\f.txt"};
    }
};

} // namespace

TEST_F(ModalTest, ClosingWithoutAChangeStillRewritesTheSettingsFile) {
    // A file as an earlier program or a hand edit left it: keys with a gap, a hex number; the settings
    // as loading gave them (the list up to the gap).
    WriteFile(ini,
              "[Config]\r\nSaveMin=0x1E\r\nIdentifComp=Old\r\nTargetDir=F:\\Arch\\\r\nLowDriveSpaceMb=12\r\n"
              "[SourceDir]\r\n1=C:\\A\r\n2=C:\\B\r\n4=C:\\D\r\n[SourceFile]\r\n1=C:\\f.txt\r\n");
    RunPage(0, [] {});
    EXPECT_EQ(std::tuple(IniRead(ini, "Config", "SaveMin"), IniRead(ini, "Config", "IdentifComp"),
                         IniRead(ini, "Config", "TargetDir"), IniRead(ini, "Config", "LowDriveSpaceMb")),
              std::tuple("30", "Бухгалтерия", "F:\\Arch\\", "12"));
    EXPECT_EQ(IniList(ini, "SourceDir"), (Lines{"C:\\A", "C:\\B"}));
    EXPECT_EQ(IniRead(ini, "SourceDir", "4"), "<missing>");
    EXPECT_EQ(IniList(ini, "SourceFile"), (Lines{"C:\\f.txt"}));
}

TEST_F(ModalTest, ValuesAreTakenBackAsTheyStandHoweverTheDialogIsClosed) {
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
        RunPageClosedBySteps(2, [&](Script& s) {
            s.Then([&] {
                TypeOver(Item(C::Edit1), name); // blanks kept: no trimming
                TypeOver(Item(C::RxSpinEdit1), std::to_string(100 + n));
                TypeOver(Item(C::RxSpinEdit2), "-" + std::to_string(n));
                close();
            });
        });
        EXPECT_EQ(std::tuple(settings.IdentifComp, settings.SaveMin, settings.LowDriveSpaceMb,
                             settings.TargetDir, IniRead(ini, "Config", "SaveMin"),
                             IniRead(ini, "Config", "LowDriveSpaceMb")),
                  std::tuple(name, 100 + n, int64_t{-n}, std::string("F:\\Arch\\"), std::to_string(100 + n),
                             "-" + std::to_string(n)))
            << n;
    }
}

TEST_F(ModalTest, OpeningFillsEveryFieldAndTheReadOnlyFolderFieldCannotBeChangedNorBrowsed) {
    RunPage(2, [&](Script& s) {
        s.Then([&] {
             EXPECT_EQ(ListEntries(Item(C::ListBoxDir)), (Lines{"C:\\A", "C:\\B"}));
             EXPECT_EQ(ListEntries(Item(C::ListBoxFile)), (Lines{"C:\\f.txt"}));
             EXPECT_EQ(TextOf(Item(C::Edit1)), "Бухгалтерия");
             EXPECT_EQ(TextOf(Item(C::RxSpinEdit1)), "30");
             EXPECT_EQ(TextOf(Item(C::RxSpinEdit2)), "12");
             HWND target = Item(C::DirectoryEdit1);
             EXPECT_EQ(TextOf(target), "F:\\Arch\\");
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

TEST_F(ModalTest, ASaveThatFailsReachesTheCallerWithTheValuesAlreadyTakenBack) {
    const std::string goodIni = ini;
    ini = folder + "no such folder\\vestrand.ini";
    try {
        RunPage(2, [&] { TypeOver(Item(C::RxSpinEdit1), "77"); });
        ADD_FAILURE() << "the save did not fail";
    } catch (const VestrandError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + ini);
    }
    EXPECT_FALSE(form.IsOpen());
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
    EXPECT_EQ(settings.SaveMin, 77);
    ini = goodIni;
    RunPage(0, [&] { EXPECT_EQ(TextOf(Item(C::RxSpinEdit1)), "77"); }); // it opens again as usual
}

TEST_F(ModalTest, TheModalWaitDisablesVisibleWindowsAndKeepsDispatchingTheProgramsMessages) {
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

TEST_F(ModalTest, AQuitMessageEndsTheWaitAndIsPassedOnAfterTheSave) {
    RunPageClosedBySteps(0, [](Script& s) { s.Then([] { ::PostQuitMessage(7); }); });
    EXPECT_EQ(IniRead(ini, "Config", "SaveMin"), "30");
    MSG msg{};
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(ModalTest, ChoosingSettingsAgainWhileOpenOnlyBringsTheDialogToTheFront) {
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

TEST_F(ModalTest, ExitWhileAPickerIsOpenCancelsItAndStillSaves) {
    RunPageClosedBySteps(0, [&](Script& s) {
        s.Then([&] { Browse(C::DirectoryEdit3, "C:\\"); })
            .WaitFor(FindPicker, "the folder browser")
            .Then([&] { form.CloseDialog(); });
    });
    EXPECT_EQ(FindPicker(), nullptr);
    EXPECT_EQ(TextOf(Item(C::DirectoryEdit3)), "C:\\"); // cancelled: unchanged
    EXPECT_EQ(IniList(ini, "SourceDir"), (Lines{"C:\\A", "C:\\B"}));
}
