// The main window in this process: creation, the first paint, the tray and its menu, the gauge,
// minimising and calling back, passes from the button and the timer, and errors.
#include <gtest/gtest.h>

#include "engine/backup_pass_win.h"
#include "engine/backup_settings.h"
#include "engine/fileops_win.h"
#include "runtime/platform_win.h"
#include "settings/schedule_win.h"
#include "settings/settings_file_win.h"
#include "ui/config_form_win.h"
#include "ui/form_vestrand_win.h"
#include "ui/tray_rules.h"
#include "screen_pixels.h"
#include "ui_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

constexpr const char* kTestKey = "software\\Oskenvar\\VestrandUiTests\\";

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "software\\Oskenvar\\VestrandUiTests");
        SetErrorHandler([this](const std::string& message) { errors.push_back(message); });
    }
    void TearDown() override {
        form.reset();
        PumpMessages(1);
        SetErrorHandler(nullptr);
        SetBusyCursorOverride(false);
    }

    // A fresh folder with a settings file whose mirror lies beside it.
    void MakeFolder(const std::string& name, const std::string& extraIni = "") {
        root = FreshFolder('T', name);
        source = root + "src\\";
        WriteFile(source + "a.txt", "alpha");
        ini = root + "vestrand.ini";
        WriteFile(ini, "[Config]\r\nSaveMin=30\r\nIdentifComp=PC\r\nTargetDir=" + root + "arch\r\n" +
                           "LowDriveSpaceMb=5\r\n[SourceDir]\r\n1=" + source + "\r\n" + extraIni);
    }

    TFormVestrand& Start(const std::string& commandLine) {
        StartOptions options;
        options.commandLine = commandLine;
        options.executablePath = root + "vestrand.exe";
        options.iniPath = ini;
        options.registryKey = kTestKey;
        options.clock = &clock;
        options.endMessageLoopOnClose = false;
        form = std::make_unique<TFormVestrand>(options);
        form->Create();
        return *form;
    }

    // Where the mirror keeps a file of the source folder: under the folder's path without its drive.
    std::string MirrorOf(const std::string& name) const {
        return root + "arch\\PC" + source.substr(2) + name;
    }

    bool ConfigEnabled() {
        for (const auto& item : form->Tray().MenuItems())
            if (item.id == TFormVestrand::kPmConfig)
                return item.enabled;
        return false;
    }

    std::string root, source, ini;
    FakeClock clock;
    std::vector<std::string> errors;
    std::unique_ptr<TFormVestrand> form;
};

// The main window as a pass's display that stops after every gauge step and reads the gauge from
// the screen before the pass goes on: what the user sees while the pass blocks the message loop.
class GaugeOnScreen final : public IBackupDisplay {
public:
    struct Shot {
        int32_t percent;
        Pixels screen, painted;
    };
    explicit GaugeOnScreen(TFormVestrand& form) : m_form(form) {}
    void SetBusyCursor(bool busy) override { m_form.SetBusyCursor(busy); }
    void SetTrayHint(const std::string& hint) override { m_form.SetTrayHint(hint); }
    void SetNextTimeText(const std::string& text) override { m_form.SetNextTimeText(text); }
    void SetGaugeMax(int32_t value) override { m_form.SetGaugeMax(value); }
    void SetGaugeMin(int32_t value) override { m_form.SetGaugeMin(value); }
    void SetGaugeProgress(int32_t value) override {
        // The screen as an idle loop leaves it: what was drawn so far is flushed, and Wine's
        // fallback (a paint that ends 50 ms or more after the loop was last idle flushes) does not
        // come into play, so the step has to reach the screen by itself.
        MSG msg;
        ::PeekMessageA(&msg, m_form.Handle(), WM_APP + 0x3FF1, WM_APP + 0x3FF1,
                       PM_NOREMOVE | PM_QS_POSTMESSAGE);
        m_form.SetGaugeProgress(value);
        const HWND gauge = m_form.Gauge().Handle();
        shots.push_back({m_form.Gauge().PercentDone(), GrabClient(gauge), PrintClient(gauge)});
    }
    std::vector<Shot> shots;

private:
    TFormVestrand& m_form;
};

// Black pixels in row `y` from the gauge's inner left edge.
int BlackRun(const Pixels& p, int y) {
    int n = 0;
    while (1 + n < p.width - 1 && p.At(1 + n, y) == RGB(0, 0, 0))
        ++n;
    return n;
}

} // namespace

TEST_F(FormTest, CreationLoadsSchedulesAndShowsTheNextRun) {
    MakeFolder("ui_create");
    TFormVestrand& f = Start("vestrand.exe");
    EXPECT_TRUE(errors.empty());
    ASSERT_NE(::FindWindowA("TFormVestrand", "Страховой полис"), nullptr);
    EXPECT_EQ(::FindWindowA("TFormVestrand", nullptr), f.Handle());
    EXPECT_FALSE(::IsWindowVisible(f.Handle())); // until the loop shows it

    // The settings file is corrected at once, the registry holds the first run.
    EXPECT_EQ(IniFile(ini).ReadString("Config", "TargetDir", ""), root + "arch\\");
    EXPECT_EQ(f.Settings().SourceDirs, std::vector<std::string>{source});
    const DateTime expected = clock.now + 2 * kMinute; // no stored time: a day ago, so 2 minutes on
    EXPECT_EQ(f.GetSchedule().NextRunTime(), expected);
    HKEY key;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    double stored = 0;
    DWORD size = sizeof stored, type = 0;
    EXPECT_EQ(
        ::RegQueryValueExA(key, "NextVestrand", nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size),
        ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(stored, expected);

    const std::string text = FormatTimeStamp(expected, TimeSeparator());
    EXPECT_EQ(WindowText(f.NextTime()), text);
    EXPECT_EQ(f.Tray().Hint(), "Следующий полис: " + text);
    EXPECT_EQ(WindowText(f.Label1()), "Следующее копирование:");
    EXPECT_EQ(WindowText(f.BtnGo()), "Сейчас");
    EXPECT_TRUE(f.TimerEnabled());
    EXPECT_FALSE(f.AutoRunOnce());
    EXPECT_FALSE(ConfigEnabled());
    EXPECT_TRUE(f.Tray().Shown());
}

TEST_F(FormTest, LayoutAndFrameOfTheWindow) {
    MakeFolder("ui_layout");
    TFormVestrand& f = Start("vestrand.exe");
    RECT client;
    ::GetClientRect(f.Handle(), &client);
    EXPECT_EQ(client.right, 302);
    EXPECT_EQ(client.bottom, 87);
    const LONG style = ::GetWindowLongA(f.Handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    auto placeOf = [&](HWND child) {
        RECT rc;
        ::GetWindowRect(child, &rc);
        ::MapWindowPoints(nullptr, f.Handle(), reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    };
    const RECT button = placeOf(f.BtnGo());
    EXPECT_EQ(button.left, 176);
    EXPECT_EQ(button.top, 56);
    EXPECT_EQ(button.right - button.left, 105);
    EXPECT_EQ(button.bottom - button.top, 25);
    const RECT gauge = placeOf(f.Gauge().Handle());
    EXPECT_EQ(gauge.left, 8);
    EXPECT_EQ(gauge.top, 24);
    EXPECT_EQ(gauge.right - gauge.left, 281);
    EXPECT_EQ(gauge.bottom - gauge.top, 25);
    const RECT label = placeOf(f.NextTime());
    EXPECT_EQ(label.left, 160);
    EXPECT_EQ(label.top, 8);
    EXPECT_GT(label.right - label.left, 45); // widened to "dd.mm.yy hh:nn:ss"
    // The button is first in the tab order.
    EXPECT_EQ(::GetNextDlgTabItem(f.Handle(), nullptr, FALSE), f.BtnGo());
    // Centred on the screen.
    RECT frame;
    ::GetWindowRect(f.Handle(), &frame);
    EXPECT_NEAR((frame.left + frame.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
}

TEST_F(FormTest, FirstPaintHidesAndLaterPaintsDoNot) {
    MakeFolder("ui_paint");
    TFormVestrand& f = Start("vestrand.exe");
    EXPECT_TRUE(f.FirstPaintPending());
    f.ShowAtStart();
    PumpMessages();
    EXPECT_FALSE(f.FirstPaintPending());
    EXPECT_FALSE(::IsWindowVisible(f.Handle()));
    EXPECT_FALSE(f.FormVisible());

    f.Tray().LeftDoubleClick(); // "Управление", the default item
    PumpMessages();
    EXPECT_TRUE(::IsWindowVisible(f.Handle()));
    ::RedrawWindow(f.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    PumpMessages();
    EXPECT_TRUE(::IsWindowVisible(f.Handle()));
}

TEST_F(FormTest, MinimiseSendsToTheTrayAndTheTrayBringsBack) {
    MakeFolder("ui_minimise");
    TFormVestrand& f = Start("vestrand.exe");
    f.ShowAtStart();
    PumpMessages();
    f.RxTrayDblClick();
    PumpMessages();
    ASSERT_TRUE(::IsWindowVisible(f.Handle()));

    ::SendMessageA(f.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    PumpMessages();
    EXPECT_TRUE(f.AppMinimized());
    EXPECT_FALSE(::IsWindowVisible(f.Handle())); // no taskbar button either
    EXPECT_TRUE(f.FormVisible());

    f.Tray().LeftDoubleClick();
    PumpMessages();
    EXPECT_FALSE(f.AppMinimized());
    EXPECT_TRUE(::IsWindowVisible(f.Handle()));
    EXPECT_FALSE(::IsIconic(f.Handle()));

    // Already shown: a double click only brings it to the front.
    f.Tray().LeftDoubleClick();
    PumpMessages();
    EXPECT_TRUE(::IsWindowVisible(f.Handle()));
    EXPECT_FALSE(::IsIconic(f.Handle()));
}

TEST_F(FormTest, SwitchesEnableTheSettingsItem) {
    MakeFolder("ui_switch");
    Start("vestrand.exe CONFIG START");
    EXPECT_TRUE(ConfigEnabled());
    EXPECT_FALSE(form->AutoRunOnce());
    Start("\"C:\\Program Files\\v.exe\" config");
    EXPECT_TRUE(ConfigEnabled());
    Start("vestrand.exe start");
    EXPECT_FALSE(ConfigEnabled());
    EXPECT_TRUE(form->AutoRunOnce());
    Start("vestrand.exe Install");
    EXPECT_TRUE(ConfigEnabled());
    Start("vestrand.exe /config");
    EXPECT_FALSE(ConfigEnabled());
}

TEST_F(FormTest, InstallWritesOneRunValue) {
    MakeFolder("ui_install");
    const char* run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    Start("vestrand.exe INSTALL");
    Start("vestrand.exe INSTALL");
    DWORD type = 0;
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, run, "Vestrand", &type), "\"" + root + "vestrand.exe\"");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(CountValuesNamed(HKEY_LOCAL_MACHINE, run, "Vestrand"), 1);
}

TEST_F(FormTest, TrayMenuHasOneBoldDefaultItem) {
    MakeFolder("ui_menu");
    TFormVestrand& f = Start("vestrand.exe");
    const auto& items = f.Tray().MenuItems();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].caption, "Управление");
    EXPECT_EQ(items[1].caption, "Настройки");
    EXPECT_EQ(items[2].caption, "Выход");
    const MenuHandle menu = f.Tray().BuildMenu();
    EXPECT_EQ(::GetMenuItemCount(menu.Get()), 3);
    EXPECT_EQ(::GetMenuDefaultItem(menu.Get(), FALSE, 0), static_cast<UINT>(TFormVestrand::kPmCenter));
    EXPECT_EQ(::GetMenuState(menu.Get(), TFormVestrand::kPmConfig, MF_BYCOMMAND) & MF_GRAYED,
              static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(DoubleClickItem(items), TFormVestrand::kPmCenter);
}

TEST_F(FormTest, HintChangesTakeEffectAndAreCutForTheTooltip) {
    MakeFolder("ui_hint");
    TFormVestrand& f = Start("vestrand.exe");
    const std::string longHint(80, 'x');
    f.SetTrayHint(longHint);
    EXPECT_EQ(f.Tray().Hint(), longHint);
    EXPECT_EQ(TrayTipText(f.Tray().Hint()).size(), 63u);
    // The shell's broadcast after a restart adds the icon again with the current hint.
    ::SendMessageA(f.Tray().Handle(), ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(f.Tray().Hint(), longHint);
    EXPECT_TRUE(f.Tray().Shown());
}

TEST_F(FormTest, APassFromTheButtonMovesTheGaugeAndReschedules) {
    MakeFolder("ui_pass");
    TFormVestrand& f = Start("vestrand.exe");
    EXPECT_EQ(f.Gauge().MaxValue(), 100);
    clock.now += 3 * kMinute; // past the first run by a minute: SaveMin later
    ::SendMessageA(f.Handle(), WM_COMMAND, MAKEWPARAM(TFormVestrand::kBtnGoId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(f.BtnGo()));
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(ReadFile(MirrorOf("a.txt")), "alpha");
    EXPECT_EQ(f.Gauge().MinValue(), 0);
    EXPECT_EQ(f.Gauge().MaxValue(), 3);
    EXPECT_EQ(f.Gauge().Progress(), 3); // position 4 brought down to the maximum
    EXPECT_EQ(f.Gauge().PercentDone(), 100);
    EXPECT_EQ(f.GetSchedule().NextRunTime(), clock.now + 30 * kMinute);
    EXPECT_TRUE(f.TimerEnabled());
    EXPECT_FALSE(BusyCursorOverride());
}

TEST_F(FormTest, EveryGaugeStepReachesTheScreenWhileThePassRuns) {
    MakeFolder("ui_gauge_screen");
    WriteFile(source + "b.txt", "beta");
    TFormVestrand& f = Start("vestrand.exe");
    f.ShowAtStart();
    PumpMessages(); // the first paint hides the window
    f.RxTrayDblClick();
    PumpMessages(); // shown, painted and idle: the screen holds the window as it is
    ASSERT_TRUE(::IsWindowVisible(f.Handle()));
    ASSERT_EQ(GrabClient(f.Gauge().Handle()).Difference(PrintClient(f.Gauge().Handle())), "")
        << "the gauge of the idle window is not what the screen shows";

    // A real pass, no messages dispatched until it has ended.
    GaugeOnScreen display(f);
    Schedule schedule(f.Settings(), display, clock, kTestKey);
    RunBackupPass(f.Settings(), false, display, schedule, clock);
    EXPECT_EQ(ReadFile(MirrorOf("b.txt")), "beta");
    ASSERT_EQ(display.shots.size(), 4u);
    const int32_t percents[] = {33, 66, 100, 100};
    const int bars[] = {91, 183, 279, 279}; // of the 279-pixel inner width
    for (size_t i = 0; i < display.shots.size(); ++i) {
        const GaugeOnScreen::Shot& shot = display.shots[i];
        EXPECT_EQ(shot.percent, percents[i]) << "step " << i + 1;
        EXPECT_EQ(BlackRun(shot.painted, 2), bars[i]) << "step " << i + 1;
        EXPECT_EQ(BlackRun(shot.screen, 2), bars[i]) << "step " << i + 1 << " on the screen";
        EXPECT_EQ(shot.screen.Difference(shot.painted), "") << "step " << i + 1;
    }
}

TEST_F(FormTest, TheTimerRunsAPassOnlyAfterTheTime) {
    MakeFolder("ui_timer");
    TFormVestrand& f = Start("vestrand.exe");
    const DateTime due = f.GetSchedule().NextRunTime();
    clock.now = due;
    ::SendMessageA(f.Handle(), WM_TIMER, TFormVestrand::kTimerId, 0);
    EXPECT_EQ(ReadFile(MirrorOf("a.txt")), "");
    clock.now = due + kSecond;
    ::SendMessageA(f.Handle(), WM_TIMER, TFormVestrand::kTimerId, 0);
    EXPECT_EQ(ReadFile(MirrorOf("a.txt")), "alpha");
}

TEST_F(FormTest, AfterTheClockIsSetBackTheTimerReschedulesAndRunsTheFirstPassTwoMinutesOn) {
    MakeFolder("ui_clock_back");
    TFormVestrand& f = Start("vestrand.exe");
    clock.now -= 3.0; // three days back: the next run lies three days and two minutes ahead
    ::SendMessageA(f.Handle(), WM_TIMER, TFormVestrand::kTimerId, 0);
    EXPECT_EQ(ReadFile(MirrorOf("a.txt")), "");
    EXPECT_EQ(f.GetSchedule().NextRunTime(), clock.now + 2 * kMinute);
    EXPECT_EQ(f.Tray().Hint(),
              "Следующий полис: " + FormatTimeStamp(clock.now + 2 * kMinute, TimeSeparator()));
    clock.now += 2 * kMinute + kSecond;
    ::SendMessageA(f.Handle(), WM_TIMER, TFormVestrand::kTimerId, 0);
    EXPECT_EQ(ReadFile(MirrorOf("a.txt")), "alpha");
}

TEST_F(FormTest, AFailedPassRestoresTheCursorAndReArmsTheTimer) {
    MakeFolder("ui_error");
    ASSERT_TRUE(::CreateDirectoryA((root + "arch").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((root + "arch\\PC").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((root + "arch\\PC\\journal.txt").c_str(), nullptr));
    WriteFile(root + "arch\\PC\\" + kPassLockName, ""); // a mirror of this program all the same
    TFormVestrand& f = Start("vestrand.exe");
    bool timerDuringBox = true, busyDuringBox = true;
    SetErrorHandler([&](const std::string& message) {
        errors.push_back(message);
        timerDuringBox = f.TimerEnabled();
        busyDuringBox = BusyCursorOverride();
        f.BtnGoClick(); // "Сейчас" while the box is open starts nothing
    });
    f.BtnGoClick();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_FALSE(timerDuringBox);
    EXPECT_FALSE(busyDuringBox);
    EXPECT_TRUE(f.TimerEnabled());
    EXPECT_FALSE(BusyCursorOverride());
    EXPECT_FALSE(f.PassRunning());
    EXPECT_TRUE(f.Tray().Balloons().empty()); // the box has told it
}

TEST_F(FormTest, BalloonsTellFailuresOnceAndRefusalsOncePerReasonAndPath) {
    MakeFolder("ui_balloons");
    TFormVestrand& f = Start("vestrand.exe");
    const std::string mirror = root + "arch\\PC\\";
    // The settings file as the settings dialog's save would rewrite it, put in force at once.
    const auto settle = [&](const std::string& identif, int64_t lowMb,
                            const std::vector<std::string>& files) {
        std::string text = "[Config]\r\nSaveMin=30\r\nIdentifComp=" + identif + "\r\nTargetDir=" + root +
                           "arch\r\nLowDriveSpaceMb=" + std::to_string(lowMb) +
                           "\r\n[SourceDir]\r\n1=" + source + "\r\n[SourceFile]\r\n";
        for (size_t i = 0; i < files.size(); ++i)
            text += std::to_string(i + 1) + "=" + files[i] + "\r\n";
        WriteFile(ini, text);
        LoadSettings(const_cast<BackupSettings&>(f.Settings()), ini);
    };
    const auto& balloons = f.Tray().Balloons();
    f.BtnGoClick(); // a clean pass: nothing to tell
    EXPECT_TRUE(balloons.empty());

    // A source the pass refuses: told once, not again while the same paths fail.
    WriteFile(mirror + "mine.txt", "the user's");
    WriteFile(mirror + "mine2.txt", "the user's too");
    settle("PC", 5, {mirror + "mine.txt"});
    f.BtnGoClick();
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].icon, BalloonIcon::Warning);
    EXPECT_EQ(balloons[0].title, "Страховой полис");
    EXPECT_EQ(balloons[0].text, "Не скопировано: 1. Подробности в журнале " + mirror + "journal.txt");
    f.BtnGoClick();
    EXPECT_EQ(balloons.size(), 1u);
    // Another set of failing paths is told again.
    settle("PC", 5, {mirror + "mine.txt", mirror + "mine2.txt"});
    f.BtnGoClick();
    ASSERT_EQ(balloons.size(), 2u);
    EXPECT_EQ(balloons[1].text.substr(0, 17), "Не скопировано: 2");

    // A pass that cannot run: told once over the retries of the timer, again for another reason.
    clock.now = f.GetSchedule().NextRunTime() + kMinute;
    const int64_t floorMb = DriveFree(root) / 1000000 + 1000;
    settle("PC", floorMb, {});
    for (int tick = 0; tick < 3; ++tick)
        ::SendMessageA(f.Handle(), WM_TIMER, TFormVestrand::kTimerId, 0);
    ASSERT_EQ(balloons.size(), 3u);
    EXPECT_EQ(balloons[2].icon, BalloonIcon::Error);
    EXPECT_EQ(balloons[2].text.substr(0, 20 + root.size()), "Мало места на диске " + root);
    EXPECT_NE(balloons[2].text.find("Мб, нужно " + std::to_string(floorMb) + " Мб)"), std::string::npos)
        << balloons[2].text;
    EXPECT_TRUE(f.GetSchedule().IsDue()); // not run: retried at every tick
    // A folder that holds the user's files is not taken as the mirror.
    WriteFile(root + "arch\\Docs\\thesis.docx", "thesis");
    settle("Docs", 5, {});
    ::SendMessageA(f.Handle(), WM_TIMER, TFormVestrand::kTimerId, 0);
    ::SendMessageA(f.Handle(), WM_TIMER, TFormVestrand::kTimerId, 0);
    ASSERT_EQ(balloons.size(), 4u);
    EXPECT_EQ(balloons[3].text, "Папка копии содержит файлы, которые не являются копией, и не тронута: " +
                                    root + "arch\\Docs\\");
    EXPECT_EQ(ReadFile(root + "arch\\Docs\\thesis.docx"), "thesis");
    EXPECT_TRUE(errors.empty());
}

TEST_F(FormTest, ATimedPassMeetingAnotherPassWaitsSilentlyForTheNextTick) {
    MakeFolder("ui_busy");
    TFormVestrand& f = Start("vestrand.exe");
    f.BtnGoClick();
    const std::string journal = ReadFile(root + "arch\\PC\\journal.txt");
    WriteFile(source + "b.txt", "beta");
    clock.now = f.GetSchedule().NextRunTime() + kMinute;
    {
        // A one-shot run of the program holds the mirror folder at this moment.
        HANDLE other = ::CreateFileA((root + "arch\\PC\\" + kPassLockName).c_str(), GENERIC_READ, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);
        ::SendMessageA(f.Handle(), WM_TIMER, TFormVestrand::kTimerId, 0);
        ::CloseHandle(other);
    }
    EXPECT_TRUE(f.Tray().Balloons().empty());
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(ReadFile(root + "arch\\PC\\journal.txt"), journal);
    EXPECT_TRUE(f.GetSchedule().IsDue());
    ::SendMessageA(f.Handle(), WM_TIMER, TFormVestrand::kTimerId, 0); // the next tick runs it
    EXPECT_EQ(ReadFile(MirrorOf("b.txt")), "beta");
    EXPECT_FALSE(f.GetSchedule().IsDue());
}

TEST_F(FormTest, ARefusedSettingsWriteIsShownAndTheScheduleStillRuns) {
    MakeFolder("ui_readonly");
    ::SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_READONLY);
    // Held open without write sharing: refused even where the read-only bit is not enforced.
    HANDLE hold =
        ::CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    TFormVestrand& f = Start("vestrand.exe");
    ::CloseHandle(hold);
    ::SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to write to " + ini);
    EXPECT_EQ(f.Settings().SourceDirs, std::vector<std::string>{source});
    EXPECT_TRUE(f.TimerEnabled());
    EXPECT_EQ(f.GetSchedule().NextRunTime(), clock.now + 2 * kMinute);
}

TEST_F(FormTest, BusyCursorShowsTheHourglass) {
    MakeFolder("ui_cursor");
    TFormVestrand& f = Start("vestrand.exe");
    f.SetBusyCursor(true);
    EXPECT_TRUE(BusyCursorOverride());
    EXPECT_EQ(::GetCursor(), ::LoadCursorA(nullptr, IDC_WAIT));
    ::SendMessageA(f.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(f.Handle()),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::GetCursor(), ::LoadCursorA(nullptr, IDC_WAIT));
    f.SetBusyCursor(false);
    EXPECT_EQ(::GetCursor(), ::LoadCursorA(nullptr, IDC_ARROW));
}

TEST_F(FormTest, ExitAndCloseEndTheWindow) {
    MakeFolder("ui_exit");
    TFormVestrand& f = Start("vestrand.exe");
    HWND hwnd = f.Handle();
    f.pmExitClick();
    PumpMessages();
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_FALSE(f.Tray().Shown());
    EXPECT_TRUE(f.Settings().SourceDirs.empty()); // released by FormClose
}

TEST_F(FormTest, ARegionalSettingsChangeRereadsTheTimeSeparator) {
    MakeFolder("ui_locale");
    TFormVestrand& f = Start("vestrand.exe");
    char before[8] = {};
    ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, before, sizeof before);
    ASSERT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, "."));
    ::SendMessageA(f.Handle(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("intl"));
    EXPECT_EQ(TimeSeparator(), '.');
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, before);
    ::SendMessageA(f.Handle(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("intl"));
    EXPECT_EQ(TimeSeparator(), before[0] ? before[0] : ':');
}

namespace {
TFormVestrand* g_exitTarget = nullptr;
void CALLBACK ExitFromTheMenu(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    g_exitTarget->pmExitClick();
}
} // namespace

TEST_F(FormTest, ExitWhileTheSettingsDialogIsOpenSavesItFirst) {
    MakeFolder("ui_exit_dialog");
    TFormVestrand& f = Start("vestrand.exe CONFIG");
    // Something the dialog's save rewrites: the list section with a gap in its keys.
    WriteFile(ini, ReadFile(ini) + "[SourceFile]\r\n1=T:\\one.txt\r\n3=T:\\three.txt\r\n");
    HWND hwnd = f.Handle();
    g_exitTarget = &f;
    ::SetTimer(nullptr, 0, 300, &ExitFromTheMenu);
    f.pmConfigClick(); // returns once "Выход" has closed the dialog
    EXPECT_FALSE(f.ConfigForm().IsOpen());
    const std::string saved = ReadFile(ini);
    EXPECT_EQ(saved.find("3=T:\\three.txt"), std::string::npos) << saved;
    EXPECT_NE(saved.find("1=" + source), std::string::npos) << saved;
    PumpMessages();
    EXPECT_FALSE(::IsWindow(hwnd));
}
