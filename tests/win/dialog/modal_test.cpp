// pmConfigClick and its modal wait: the values taken back however the dialog is closed, the settings
// file rewritten even without a change, a failed save reaching the caller, the program's other
// windows kept disabled while its timers and hidden windows go on, the quit message passed on, and
// what "Настройки" and "Выход" do while the dialog is open.
#include "dialog_helpers.h"

#include "runtime/error.h"

using namespace vestrand;
using namespace vestrand::test;
using C = DialogControl;

namespace {

using Strings = std::vector<std::string>;

// A plain top-level window of the test, shown or hidden, counting its timer ticks and posted messages.
class TestWindow {
public:
    explicit TestWindow(bool visible) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "VestrandDialogTestWindow";
        ::RegisterClassA(&wc);
        m_hwnd =
            ::CreateWindowExA(0, wc.lpszClassName, "test", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0),
                              0, 0, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
        ::SetWindowLongPtrA(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TestWindow() { ::DestroyWindow(m_hwnd); }
    HWND Handle() const { return m_hwnd; }
    int ticks = 0;
    int posted = 0;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (self && msg == WM_TIMER)
            ++self->ticks;
        if (self && msg == WM_APP)
            ++self->posted;
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    HWND m_hwnd;
};

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
    Strings dirs, files;
    std::string name, target, period, floor;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            dirs = ListEntries(Item(C::ListBoxDir));
            files = ListEntries(Item(C::ListBoxFile));
            name = TextOf(Item(C::Edit1));
            target = TextOf(Item(C::DirectoryEdit1));
            period = TextOf(Item(C::RxSpinEdit1));
            floor = TextOf(Item(C::RxSpinEdit2));
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(dirs, (Strings{"C:\\A", "C:\\B"}));
    EXPECT_EQ(files, (Strings{"C:\\f.txt"}));
    EXPECT_EQ(name, "Бухгалтерия");
    EXPECT_EQ(target, "F:\\Arch\\");
    EXPECT_EQ(period, "30");
    EXPECT_EQ(floor, "12");
}

TEST_F(DialogTest, ClosingWithoutAChangeStillRewritesTheSettingsFile) {
    // A file as an earlier program or a hand edit left it: keys with a gap, a hex number.
    WriteFile(ini,
              "[Config]\r\nSaveMin=0x1E\r\nIdentifComp=Old\r\nTargetDir=F:\\Arch\\\r\nLowDriveSpaceMb=12\r\n"
              "[SourceDir]\r\n1=C:\\A\r\n2=C:\\B\r\n4=C:\\D\r\n[SourceFile]\r\n1=C:\\f.txt\r\n");
    FillSettings(settings); // as loading gave them: the list up to the gap
    Script s(form);
    s.WhenOpen().CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(IniRead(ini, "Config", "SaveMin"), "30");
    EXPECT_EQ(IniRead(ini, "Config", "IdentifComp"), "Бухгалтерия");
    EXPECT_EQ(IniRead(ini, "Config", "TargetDir"), "F:\\Arch\\");
    EXPECT_EQ(IniRead(ini, "Config", "LowDriveSpaceMb"), "12");
    EXPECT_EQ(IniList(ini, "SourceDir"), (Strings{"C:\\A", "C:\\B"}));
    EXPECT_EQ(IniRead(ini, "SourceDir", "4"), "<missing>");
    EXPECT_EQ(IniList(ini, "SourceFile"), (Strings{"C:\\f.txt"}));
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
            SelectAll(Item(C::Edit1));
            TypeText(Item(C::Edit1), name); // blanks kept: no trimming
            SelectAll(Item(C::RxSpinEdit1));
            TypeText(Item(C::RxSpinEdit1), std::to_string(100 + n));
            SelectAll(Item(C::RxSpinEdit2));
            TypeText(Item(C::RxSpinEdit2), "-" + std::to_string(n));
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
    std::string afterTyping, afterPaste, afterCut;
    bool pickerSeen = false;
    Script s(form);
    s.WhenOpen()
        .Then([&] { ClickTab(Item(C::PageControl), 2); })
        .Then([&] {
            HWND target = Item(C::DirectoryEdit1);
            SelectAll(target);
            TypeText(target, "X:\\typed");
            afterTyping = TextOf(target);
            ::SendMessageA(target, WM_CUT, 0, 0);
            afterCut = TextOf(target);
            ::SendMessageA(target, WM_PASTE, 0, 0);
            afterPaste = TextOf(target);
            PostClickAt(form.ButtonOf(C::DirectoryEdit1), 3, 3);
            ::PostMessageA(target, WM_SYSKEYDOWN, VK_DOWN, 1 | (1 << 29));
        })
        .Pause(300)
        .Then([&] { pickerSeen = FindPicker() != nullptr; })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(afterTyping, "F:\\Arch\\");
    EXPECT_EQ(afterCut, "F:\\Arch\\");
    EXPECT_EQ(afterPaste, "F:\\Arch\\");
    EXPECT_FALSE(pickerSeen);
    EXPECT_EQ(settings.TargetDir, "F:\\Arch\\");
}

TEST_F(DialogTest, ASaveThatFailsReachesTheCallerWithTheValuesAlreadyTakenBack) {
    FillSettings(settings);
    const std::string badIni = folder + "no such folder\\vestrand.ini";
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            ClickTab(Item(C::PageControl), 2);
            SelectAll(Item(C::RxSpinEdit1));
            TypeText(Item(C::RxSpinEdit1), "77");
        })
        .CloseByTitleBar();
    s.Start();
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

    // The dialog opens again as usual afterwards.
    Script again(form);
    std::string period;
    again.WhenOpen().Then([&] { period = TextOf(Item(C::RxSpinEdit1)); }).CloseByTitleBar();
    RunDialog(form, settings, ini, again);
    EXPECT_EQ(period, "77");
}

TEST_F(DialogTest, TheModalWaitDisablesVisibleWindowsAndKeepsDispatchingTheProgramsMessages) {
    TestWindow mainWindow(true);  // a shown window of the program
    TestWindow trayWindow(false); // a hidden one, as the tray icon's message window
    ::SetTimer(trayWindow.Handle(), 1, 20, nullptr);
    bool mainDisabled = false, trayEnabled = false, dialogEnabled = false;
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            mainDisabled = !::IsWindowEnabled(mainWindow.Handle());
            trayEnabled = ::IsWindowEnabled(trayWindow.Handle()) != FALSE;
            dialogEnabled = ::IsWindowEnabled(form.Handle()) != FALSE;
            ::PostMessageA(trayWindow.Handle(), WM_APP, 0, 0);
        })
        .WaitFor([&] { return trayWindow.ticks >= 3 && trayWindow.posted == 1; },
                 "the timer and the posted message")
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    ::KillTimer(trayWindow.Handle(), 1);
    EXPECT_TRUE(mainDisabled);
    EXPECT_TRUE(trayEnabled);
    EXPECT_TRUE(dialogEnabled);
    EXPECT_TRUE(::IsWindowEnabled(mainWindow.Handle())); // enabled again after the close
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
    Strings listAfter;
    std::string fieldAfter;
    HWND activeAfter = nullptr;
    TestWindow elsewhere(true);
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            TypeText(Item(C::DirectoryEdit3), "half typed");
            form.pmConfigClick(other, otherIni); // returns at once
            form.BringToFront();
            listAfter = ListEntries(Item(C::ListBoxDir));
            fieldAfter = TextOf(Item(C::DirectoryEdit3));
            activeAfter = ::GetActiveWindow();
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    EXPECT_EQ(listAfter, (Strings{"C:\\A", "C:\\B"}));
    EXPECT_EQ(fieldAfter, "half typed");
    EXPECT_EQ(activeAfter, form.Handle());
    EXPECT_EQ(::GetFileAttributesA(otherIni.c_str()), INVALID_FILE_ATTRIBUTES); // nothing saved for it
    EXPECT_EQ(other.SaveMin, 999);
    // While closed, bringing to the front and closing do nothing.
    form.BringToFront();
    form.CloseDialog();
    EXPECT_FALSE(::IsWindowVisible(form.Handle()));
}

TEST_F(DialogTest, ExitWhileAPickerIsOpenCancelsItAndStillSaves) {
    FillSettings(settings);
    bool pickerGone = false;
    std::string fieldAfter = "?";
    Script s(form);
    s.WhenOpen()
        .Then([&] {
            TypeText(Item(C::DirectoryEdit3), "C:\\");
            PostClickAt(form.ButtonOf(C::DirectoryEdit3), 3, 3);
        })
        .WaitFor([] { return FindPicker() != nullptr; }, "the folder browser")
        .Then([&] { form.CloseDialog(); });
    RunDialog(form, settings, ini, s);
    pickerGone = FindPicker() == nullptr;
    fieldAfter = TextOf(Item(C::DirectoryEdit3));
    EXPECT_TRUE(pickerGone);
    EXPECT_EQ(fieldAfter, "C:\\"); // cancelled: unchanged
    EXPECT_EQ(IniList(ini, "SourceDir"), (Strings{"C:\\A", "C:\\B"}));
}
