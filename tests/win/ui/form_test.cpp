// The main window in this process: creation, the first paint, the tray and its menu, the gauge,
// minimising and calling back, passes from the button and the timer, and errors.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>

#include "engine/backup_pass_win.h"
#include "engine/backup_settings.h"
#include "engine/fileops_win.h"
#include "runtime/platform_win.h"
#include "settings/schedule_win.h"
#include "settings/settings_file_win.h"
#include "ui/config_form_win.h"
#include "ui/form_vestrand_win.h"
#include "ui/single_agent_win.h"
#include "ui/tray_rules.h"
#include "file_lock.h"
#include "screen_pixels.h"
#include "ui_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

constexpr const char* kTestKey = "software\\Oskenvar\\VestrandUiTests\\";

struct FormTest : ::testing::Test {
    // A fresh folder of the test's name with a settings file whose mirror lies beside it.
    void SetUp() override {
        root = FreshFolder('T', ::testing::UnitTest::GetInstance()->current_test_info()->name());
        source = root + "src\\";
        ini = root + "vestrand.ini";
        WriteFile(source + "a.txt", "alpha");
        WriteFile(ini, SettingsText(root, Config("PC", 5)));
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "software\\Oskenvar\\VestrandUiTests");
        SetErrorHandler([this](const std::string& message) { errors.push_back(message); });
    }
    void TearDown() override {
        form.reset();
        PumpMessages(1);
        SetErrorHandler(nullptr);
        SetBusyCursorOverride(false);
    }

    // Held versions off: the balloons these tests expect are of passes that hold nothing (one that
    // removes held versions for space says so first).
    static std::string Config(const std::string& identif, int64_t lowMb) {
        return "SaveMin=30\r\nIdentifComp=" + identif + "\r\nLowDriveSpaceMb=" + std::to_string(lowMb) +
               "\r\nKeepVersionsDays=0\r\n";
    }
    TFormVestrand& Start(const std::string& commandLine) {
        StartOptions options;
        options.commandLine = commandLine;
        options.executablePath = root + "vestrand.exe";
        options.iniPath = ini;
        options.registryKey = kTestKey;
        options.clock = &clock;
        options.openFile = openFile;
        options.tempFolder = tempFolder;
        options.endMessageLoopOnClose = false;
        form = std::make_unique<TFormVestrand>(options);
        form->Create();
        return *form;
    }

    std::string MirrorOf(const std::string& name) const {
        return root + "arch\\PC\\" + MirrorRel(source) + name;
    }
    // A timer tick, and the pass it started run to its end.
    void Tick() {
        ::SendMessageA(form->Handle(), WM_TIMER, TFormVestrand::kTimerId, 0);
        form->WaitForPass();
    }
    // "Сейчас", and its pass run to its end; or only until it copies (past its Start line: a stop
    // before it leaves no block).
    void Go() {
        form->BtnGoClick();
        form->WaitForPass();
    }
    void GoUntilCopying() {
        form->BtnGoClick();
        for (const DWORD until = ::GetTickCount() + 10000;
             !IsFolder(MirrorOf("many")) && ::GetTickCount() < until;)
            PumpMessages(1);
    }
    // A pass long enough to be watched and stopped: a few thousand small files.
    void WriteManyFiles() {
        for (int i = 0; i < 3000; ++i)
            WriteFile(source + "many\\" + std::to_string(i) + ".txt", std::string(2000, 'm'));
    }

    bool ItemEnabled(int id = TFormVestrand::kPmConfig) {
        return !(::GetMenuState(form->Tray().BuildMenu().Get(), id, MF_BYCOMMAND) & MF_GRAYED);
    }

    std::string root, source, ini, tempFolder;
    OpenFileFn openFile;
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

} // namespace

TEST_F(FormTest, CreationLoadsSchedulesAndShowsTheNextRun) {
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
    double stored = 0;
    DWORD size = sizeof stored, type = 0;
    EXPECT_EQ(::RegGetValueA(HKEY_CURRENT_USER, kTestKey, "NextVestrand", RRF_RT_ANY, &type, &stored, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(stored, expected);

    const std::string text = FormatTimeStamp(expected, TimeSeparator());
    EXPECT_EQ(WindowText(f.NextTime()), text);
    EXPECT_EQ(f.Tray().Hint(), "Следующий полис: " + text);
    EXPECT_EQ(WindowText(f.Label1()), "Следующее копирование:");
    EXPECT_EQ(WindowText(f.LastCopy()), "Полной копии ещё не было");
    EXPECT_EQ(WindowText(f.BtnGo()), "Сейчас");
    EXPECT_TRUE(f.TimerEnabled());
    EXPECT_FALSE(f.AutoRunOnce());
    EXPECT_FALSE(ItemEnabled());
    EXPECT_TRUE(f.Tray().Shown());
}

TEST_F(FormTest, LayoutAndFrameOfTheWindow) {
    TFormVestrand& f = Start("vestrand.exe");
    RECT client;
    ::GetClientRect(f.Handle(), &client);
    EXPECT_EQ((std::array<LONG, 2>{client.right, client.bottom}), (std::array<LONG, 2>{302, 103}));
    // A system menu and a minimise box; neither a maximise box nor a sizing frame.
    const LONG frameStyles = WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
    EXPECT_EQ(::GetWindowLongA(f.Handle(), GWL_STYLE) & frameStyles, WS_SYSMENU | WS_MINIMIZEBOX);
    using Box = std::array<LONG, 4>; // left, top, width, height in the client area
    auto boxOf = [&](HWND child) {
        RECT rc;
        ::GetWindowRect(child, &rc);
        ::MapWindowPoints(nullptr, f.Handle(), reinterpret_cast<POINT*>(&rc), 2);
        return Box{rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
    };
    EXPECT_EQ(boxOf(f.BtnGo()), (Box{176, 72, 105, 25}));
    EXPECT_EQ(boxOf(f.Gauge().Handle()), (Box{8, 40, 281, 25}));
    EXPECT_EQ(boxOf(f.LastCopy()), (Box{16, 24, 270, 13})); // under the next run
    const Box label = boxOf(f.NextTime());
    EXPECT_EQ((std::array{label[0], label[1]}), (std::array<LONG, 2>{160, 8}));
    EXPECT_GT(label[2], 45); // widened to "dd.mm.yy hh:nn:ss"
    // The button is first in the tab order.
    EXPECT_EQ(::GetNextDlgTabItem(f.Handle(), nullptr, FALSE), f.BtnGo());
    // Centred on the screen.
    RECT frame;
    ::GetWindowRect(f.Handle(), &frame);
    EXPECT_NEAR((frame.left + frame.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
}

TEST_F(FormTest, FirstPaintHidesLaterPaintsDoNotAndMinimisingSendsToTheTray) {
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
    ASSERT_TRUE(::IsWindowVisible(f.Handle()));

    // Minimising sends it to the tray, a double click there brings it back.
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

// One command line of each start mode (how a command line gives its mode: the host tests).
TEST_F(FormTest, TheStartModeEnablesTheSettingsItemAndRunsOnce) {
    const struct {
        const char* commandLine;
        bool config, once;
    } modes[] = {{"\"C:\\Program Files\\v.exe\" config", true, false},
                 {"vestrand.exe start", false, true},
                 {"vestrand.exe Install", true, false},
                 {"vestrand.exe /config", false, false}};
    for (const auto& m : modes) {
        Start(m.commandLine);
        EXPECT_EQ(ItemEnabled(), m.config) << m.commandLine;
        EXPECT_EQ(form->AutoRunOnce(), m.once) << m.commandLine;
    }
}

// The autostart entry itself (one value, quoted, replaced): the settings tests.
TEST_F(FormTest, InstallWritesTheRunValueOfTheProgram) {
    Start("vestrand.exe INSTALL");
    char value[MAX_PATH] = {};
    DWORD size = sizeof value, type = 0;
    EXPECT_EQ(::RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                             "Vestrand", RRF_RT_ANY, &type, value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, "\"" + root + "vestrand.exe\"");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST_F(FormTest, TrayMenuHasOneBoldDefaultItem) {
    TFormVestrand& f = Start("vestrand.exe");
    const auto& items = f.Tray().MenuItems();
    std::vector<std::string> captions;
    for (const auto& item : items)
        captions.push_back(item.caption);
    EXPECT_EQ(captions, (std::vector<std::string>{"Управление", "Настройки", "Журнал", "Восстановить…",
                                                  "Остановить полис", "Разрешить изменения", "Выход"}));
    const MenuHandle menu = f.Tray().BuildMenu();
    EXPECT_EQ(::GetMenuItemCount(menu.Get()), 7);
    EXPECT_EQ(::GetMenuState(menu.Get(), TFormVestrand::kPmStop, MF_BYCOMMAND) & MF_GRAYED,
              static_cast<UINT>(MF_GRAYED)); // no pass runs
    EXPECT_EQ(::GetMenuDefaultItem(menu.Get(), FALSE, 0), static_cast<UINT>(TFormVestrand::kPmCenter));
    EXPECT_EQ(::GetMenuState(menu.Get(), TFormVestrand::kPmConfig, MF_BYCOMMAND) & MF_GRAYED,
              static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(DoubleClickItem(items), TFormVestrand::kPmCenter);
}

TEST_F(FormTest, HintChangesTakeEffectAndAreCutForTheTooltip) {
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
    TFormVestrand& f = Start("vestrand.exe");
    EXPECT_EQ(f.Gauge().MaxValue(), 100);
    clock.now += 3 * kMinute; // past the first run by a minute: SaveMin later
    ::SendMessageA(f.Handle(), WM_COMMAND, MAKEWPARAM(TFormVestrand::kBtnGoId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(f.BtnGo()));
    f.WaitForPass();
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(ReadFile(MirrorOf("a.txt")), "alpha");
    // Minimum, maximum, position and percentage: the pass ran over 0..100 to its end.
    const TGauge& g = f.Gauge();
    EXPECT_EQ((std::array{g.MinValue(), g.MaxValue(), g.Progress(), g.PercentDone()}),
              (std::array{0, 100, 100, 100}));
    EXPECT_EQ(f.GetSchedule().NextRunTime(), clock.now + 30 * kMinute);
    // A complete pass: its moment beside the next run, and under it in the window.
    EXPECT_EQ(ReadLastComplete(kTestKey, clock.now), clock.now);
    EXPECT_EQ(WindowText(f.LastCopy()),
              "Последняя полная копия: " + FormatTimeStamp(clock.now, TimeSeparator()).substr(0, 14));
    EXPECT_TRUE(f.TimerEnabled());
    EXPECT_FALSE(BusyCursorOverride());
}

TEST_F(FormTest, EveryGaugeStepReachesTheScreenWhileThePassRuns) {
    WriteFile(source + "b.txt", "bravo"); // three files of one size: a third of the work each
    WriteFile(source + "c.txt", "gamma");
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
    EXPECT_EQ(ReadFile(MirrorOf("b.txt")), "bravo");
    // 0 at the start and while comparing, a third for each file copied, 100 at the end.
    ASSERT_EQ(display.shots.size(), 6u);
    const int32_t percents[] = {0, 0, 33, 66, 100, 100};
    const int bars[] = {0, 0, 91, 183, 279, 279}; // of the 279-pixel inner width
    for (size_t i = 0; i < display.shots.size(); ++i) {
        const GaugeOnScreen::Shot& shot = display.shots[i];
        EXPECT_EQ(shot.percent, percents[i]) << "step " << i + 1;
        EXPECT_EQ(BlackRun(shot.painted, 2), bars[i]) << "step " << i + 1;
        EXPECT_EQ(BlackRun(shot.screen, 2), bars[i]) << "step " << i + 1 << " on the screen";
        EXPECT_EQ(shot.screen.Difference(shot.painted), "") << "step " << i + 1;
    }
}

TEST_F(FormTest, TheTimerRunsAPassOnlyAfterTheTimeAndReschedulesWhenTheClockIsSetBack) {
    TFormVestrand& f = Start("vestrand.exe");
    const DateTime due = f.GetSchedule().NextRunTime();
    clock.now = due;
    Tick();
    EXPECT_EQ(ReadFile(MirrorOf("a.txt")), "");
    clock.now = due + kSecond;
    Tick();
    EXPECT_EQ(ReadFile(MirrorOf("a.txt")), "alpha");

    // The clock set back three days puts the next run three days and half an hour ahead: beyond
    // reach, so the timer reschedules and runs the pass two minutes on.
    WriteFile(source + "a.txt", "alpha, second");
    clock.now -= 3.0;
    Tick();
    EXPECT_EQ(ReadFile(MirrorOf("a.txt")), "alpha");
    EXPECT_EQ(f.GetSchedule().NextRunTime(), clock.now + 2 * kMinute);
    EXPECT_EQ(f.Tray().Hint(),
              "Следующий полис: " + FormatTimeStamp(clock.now + 2 * kMinute, TimeSeparator()));
    clock.now += 2 * kMinute + kSecond;
    Tick();
    EXPECT_EQ(ReadFile(MirrorOf("a.txt")), "alpha, second");
}

TEST_F(FormTest, AFailedPassRestoresTheCursorAndReArmsTheTimer) {
    // A mirror of this program whose journal is a folder: the pass ends with an error.
    WriteFile(root + "arch\\PC\\" + kPassLockName, "");
    ASSERT_TRUE(::CreateDirectoryA((root + "arch\\PC\\journal.txt").c_str(), nullptr));
    TFormVestrand& f = Start("vestrand.exe");
    bool timerDuringBox = true, busyDuringBox = true;
    SetErrorHandler([&](const std::string& message) {
        errors.push_back(message);
        timerDuringBox = f.TimerEnabled();
        busyDuringBox = BusyCursorOverride();
        f.BtnGoClick(); // "Сейчас" while the box is open starts nothing
    });
    Go();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_FALSE(timerDuringBox);
    EXPECT_FALSE(busyDuringBox);
    EXPECT_TRUE(f.TimerEnabled());
    EXPECT_FALSE(BusyCursorOverride());
    EXPECT_FALSE(f.PassRunning());
    // The box has told the error; no complete pass ever, and one tried: the backup is overdue.
    ASSERT_EQ(f.Tray().Balloons().size(), 1u);
    EXPECT_EQ(f.Tray().Balloons()[0].text,
              "Полной копии ещё не было: " + errors[0] + "."); // as the box said it
}

TEST_F(FormTest, BalloonsTellFailuresOnceAndRefusalsOncePerReasonAndPath) {
    TFormVestrand& f = Start("vestrand.exe");
    const std::string mirror = root + "arch\\PC\\";
    // The settings file as the settings dialog's save would rewrite it, put in force at once.
    const auto settle = [&](const std::string& identif, int64_t lowMb,
                            const std::vector<std::string>& files) {
        WriteFile(ini, SettingsText(root, Config(identif, lowMb), files));
        LoadSettings(const_cast<BackupSettings&>(f.Settings()), ini);
    };
    const auto& balloons = f.Tray().Balloons();
    Go(); // a clean pass: nothing to tell
    EXPECT_TRUE(balloons.empty());

    // A source the pass refuses: told once, not again while the same paths fail.
    WriteFile(mirror + "mine.txt", "the user's");
    WriteFile(mirror + "mine2.txt", "the user's too");
    settle("PC", 5, {mirror + "mine.txt"});
    Go();
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].icon, BalloonIcon::Warning);
    EXPECT_EQ(balloons[0].title, "Страховой полис");
    EXPECT_EQ(balloons[0].text, "Не скопировано: 1. Подробности в журнале " + mirror + "journal.txt");
    Go();
    EXPECT_EQ(balloons.size(), 1u);
    // Another set of failing paths is told again.
    settle("PC", 5, {mirror + "mine.txt", mirror + "mine2.txt"});
    Go();
    ASSERT_EQ(balloons.size(), 2u);
    EXPECT_EQ(balloons[1].text.substr(0, 17), "Не скопировано: 2");

    // A pass that cannot run: told once over the retries of the timer, again for another reason.
    clock.now = f.GetSchedule().NextRunTime() + kMinute;
    const int64_t floorMb = DriveFree(root) / 1000000 + 1000;
    settle("PC", floorMb, {});
    for (int tick = 0; tick < 3; ++tick)
        Tick();
    ASSERT_EQ(balloons.size(), 3u);
    EXPECT_EQ(balloons[2].icon, BalloonIcon::Error);
    EXPECT_EQ(balloons[2].text.substr(0, 20 + root.size()), "Мало места на диске " + root);
    EXPECT_NE(balloons[2].text.find("Мб, нужно " + std::to_string(floorMb) + " Мб)"), std::string::npos)
        << balloons[2].text;
    EXPECT_TRUE(f.GetSchedule().IsDue()); // not run: retried at every tick
    // A folder that holds the user's files is not taken as the mirror.
    WriteFile(root + "arch\\Docs\\thesis.docx", "thesis");
    settle("Docs", 5, {});
    Tick();
    Tick();
    ASSERT_EQ(balloons.size(), 4u);
    EXPECT_EQ(balloons[3].text, "Папка копии содержит файлы, которые не являются копией, и не тронута: " +
                                    root + "arch\\Docs\\");
    EXPECT_EQ(ReadFile(root + "arch\\Docs\\thesis.docx"), "thesis");
    EXPECT_TRUE(errors.empty());
}

TEST_F(FormTest, ATimedPassMeetingAnotherPassWaitsSilentlyForTheNextTick) {
    TFormVestrand& f = Start("vestrand.exe");
    Go();
    const std::string journal = ReadFile(root + "arch\\PC\\journal.txt");
    WriteFile(source + "b.txt", "beta");
    clock.now = f.GetSchedule().NextRunTime() + kMinute;
    FileLock other(root + "arch\\PC\\" + kPassLockName); // a one-shot run of the program at work
    ASSERT_TRUE(other.Held());
    Tick();
    other.Release();
    EXPECT_TRUE(f.Tray().Balloons().empty());
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(ReadFile(root + "arch\\PC\\journal.txt"), journal);
    EXPECT_TRUE(f.GetSchedule().IsDue());
    Tick(); // the next tick runs it
    EXPECT_EQ(ReadFile(MirrorOf("b.txt")), "beta");
    EXPECT_FALSE(f.GetSchedule().IsDue());
}

// A pass that finds another at work is no try: an old backup does not warn for it.
TEST_F(FormTest, APassMeetingAnotherIsNoTryOfAnOldBackup) {
    StoreLastComplete(kTestKey, clock.now - 4.0);
    ::CreateDirectoryA((root + "arch").c_str(), nullptr);
    ::CreateDirectoryA((root + "arch\\PC").c_str(), nullptr);
    WriteFile(root + "arch\\PC\\" + kPassLockName, "");
    FileLock other(root + "arch\\PC\\" + kPassLockName);
    ASSERT_TRUE(other.Held());
    TFormVestrand& f = Start("vestrand.exe");
    clock.now += 3 * kMinute;
    Tick();
    EXPECT_TRUE(f.GetSchedule().IsDue()); // it met the lock
    EXPECT_FALSE(f.Overdue());
    EXPECT_TRUE(f.Tray().Balloons().empty());
}

TEST_F(FormTest, ARefusedSettingsWriteIsShownAndTheScheduleStillRuns) {
    ::SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_READONLY);
    // Held open without write sharing: refused even where the read-only bit is not enforced.
    FileLock hold(ini, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(hold.Held());
    TFormVestrand& f = Start("vestrand.exe");
    hold.Release();
    ::SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to write to " + ini);
    EXPECT_EQ(f.Settings().SourceDirs, std::vector<std::string>{source});
    EXPECT_TRUE(f.TimerEnabled());
    EXPECT_EQ(f.GetSchedule().NextRunTime(), clock.now + 2 * kMinute);
}

TEST_F(FormTest, BusyCursorShowsTheWorkingInBackgroundPointer) {
    TFormVestrand& f = Start("vestrand.exe");
    f.SetBusyCursor(true);
    EXPECT_TRUE(BusyCursorOverride());
    EXPECT_EQ(::GetCursor(), ::LoadCursorA(nullptr, IDC_APPSTARTING));
    ::SendMessageA(f.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(f.Handle()),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::GetCursor(), ::LoadCursorA(nullptr, IDC_APPSTARTING));
    f.SetBusyCursor(false);
    EXPECT_EQ(::GetCursor(), ::LoadCursorA(nullptr, IDC_ARROW));
}

TEST_F(FormTest, ExitAndCloseEndTheWindow) {
    TFormVestrand& f = Start("vestrand.exe");
    HWND hwnd = f.Handle();
    f.pmExitClick();
    PumpMessages();
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_FALSE(f.Tray().Shown());
    EXPECT_TRUE(f.Settings().SourceDirs.empty()); // released by FormClose
}

TEST_F(FormTest, ARegionalSettingsChangeRereadsTheTimeSeparator) {
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

TEST_F(FormTest, ExitWhileTheSettingsDialogIsOpenSavesItFirst) {
    TFormVestrand& f = Start("vestrand.exe CONFIG");
    // Something the dialog's save rewrites: the list section with a gap in its keys.
    WriteFile(ini, ReadFile(ini) + "[SourceFile]\r\n1=T:\\one.txt\r\n3=T:\\three.txt\r\n");
    HWND hwnd = f.Handle();
    static TFormVestrand* target; // "Выход" from the tray menu while the dialog is open
    target = &f;
    ::SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
        ::KillTimer(nullptr, id);
        target->pmExitClick();
    });
    f.pmConfigClick(); // returns once "Выход" has closed the dialog
    EXPECT_FALSE(f.ConfigForm().IsOpen());
    const std::string saved = ReadFile(ini);
    EXPECT_EQ(saved.find("3=T:\\three.txt"), std::string::npos) << saved;
    EXPECT_NE(saved.find("1=" + source), std::string::npos) << saved;
    PumpMessages();
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(FormTest, ThePassRunsBesideTheWindowWhichAnswersAndStopsIt) {
    WriteManyFiles();
    WriteFile(root + "arch\\PC\\journal.txt", ""); // a mirror of this program with a stale entry
    WriteFile(MirrorOf("stale.txt"), "stale");
    TFormVestrand& f = Start("vestrand.exe");
    const HICON idle = f.Tray().Icon();
    f.BtnGoClick();
    f.BtnGoClick(); // the second click of a double click on "Сейчас": no stop
    ASSERT_TRUE(f.PassRunning());
    EXPECT_EQ(WindowText(f.BtnGo()), "Остановить");
    EXPECT_TRUE(ItemEnabled(TFormVestrand::kPmStop));
    EXPECT_NE(f.Tray().Icon(), idle);
    // Another thread asks the window while this one dispatches: every question is answered.
    std::atomic<int> answered = 0, asked = 0;
    std::thread asker([&] {
        for (; asked < 5; ++asked, ::Sleep(100)) {
            DWORD_PTR result = 0;
            answered +=
                ::SendMessageTimeoutA(f.Handle(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0;
        }
    });
    while (asked < 5)
        PumpMessages(1); // as the program's loop does
    asker.join();
    EXPECT_EQ(answered, 5);
    EXPECT_TRUE(BusyCursorOverride());
    EXPECT_EQ(f.Tray().Hint().rfind("Создаю полис: ", 0), 0u) << f.Tray().Hint();
    ASSERT_TRUE(f.PassRunning()) << "the pass ended before it could be stopped";
    f.BtnGoClick();
    const DWORD stoppedAt = ::GetTickCount();
    f.WaitForPass();
    EXPECT_LT(::GetTickCount() - stoppedAt, 2000u);
    const Lines block = LastBlock(SplitCrLf(ReadFile(root + "arch\\PC\\journal.txt")));
    EXPECT_TRUE(HasLine(block, "Interrupted " + FormatTimeStamp(clock.now, TimeSeparator())));
    EXPECT_EQ(WithPrefix(block, "Delete "), Lines{});
    EXPECT_EQ(ReadFile(MirrorOf("stale.txt")), "stale");
    EXPECT_EQ(WindowText(f.BtnGo()), "Сейчас");
    EXPECT_FALSE(ItemEnabled(TFormVestrand::kPmStop));
    EXPECT_EQ(f.Tray().Icon(), idle);
    EXPECT_FALSE(BusyCursorOverride());
    EXPECT_TRUE(f.Tray().Balloons().empty()); // a stop tells nothing
}

// A stop at once after a start counts, but for the second click of a double click on "Сейчас";
// under START one before the pass has begun (here: before the first paint) leaves no block.
TEST_F(FormTest, AStopAtOnceAfterTheStartCountsUnlessItIsTheSecondClickOnSejchas) {
    using F = TFormVestrand;
    const std::string journal = root + "arch\\PC\\journal.txt", stale = MirrorOf("stale.txt");
    const struct {
        const char* commandLine;
        UINT start; // a click on "Сейчас" or a timer tick (which starts nothing under START)
        bool byMenu, stops;
    } rows[] = {{"vestrand.exe", BM_CLICK, false, false},
                {"vestrand.exe", WM_TIMER, false, true},
                {"vestrand.exe START", WM_TIMER, false, true},
                {"vestrand.exe START", WM_TIMER, true, true}};
    for (const auto& row : rows) {
        WriteFile(journal, ""); // a mirror of this program with a stale entry
        WriteFile(stale, "stale");
        // Changed files to copy first: a stop that lands a moment late still precedes the deletion.
        for (int i = 0; i < 400; ++i)
            WriteFile(source + "many\\" + std::to_string(i) + ".txt",
                      std::string(2000, char('a' + (&row - rows))));
        F& f = Start(row.commandLine);
        clock.now += 60 * kMinute; // the first run long past
        ::SendMessageA(row.start == BM_CLICK ? f.BtnGo() : f.Handle(), row.start, F::kTimerId, 0);
        row.byMenu ? f.pmStopClick() : (void)::SendMessageA(f.BtnGo(), BM_CLICK, 0, 0);
        f.ShowAtStart(); // under START the pass begins after the first paint
        PumpMessages();
        f.WaitForPass();
        EXPECT_EQ(ReadFile(stale), row.stops ? "stale" : "") << row.commandLine;
        EXPECT_TRUE(!f.AutoRunOnce() || (f.ExitCode() == 1 && ReadFile(journal).empty())) << row.commandLine;
    }
}

TEST_F(FormTest, SettingsSavedDuringAPassTakeEffectAtTheNext) {
    WriteManyFiles();
    TFormVestrand& f = Start("vestrand.exe");
    clock.now += 3 * kMinute; // the first run a minute past: the pass reschedules SaveMin on
    f.BtnGoClick();
    ASSERT_TRUE(f.PassRunning());
    WriteFile(ini, SettingsText(root, "SaveMin=45\r\nIdentifComp=PC2\r\nLowDriveSpaceMb=5\r\n"));
    LoadSettings(const_cast<BackupSettings&>(f.Settings()), ini); // as the dialog's save does
    f.WaitForPass();
    EXPECT_EQ(ReadFile(MirrorOf("a.txt")), "alpha"); // the pass kept the settings it started with
    EXPECT_FALSE(IsFolder(root + "arch\\PC2"));
    EXPECT_EQ(f.GetSchedule().NextRunTime(), clock.now + 45 * kMinute); // the SaveMin in force at its end
    Go();
    EXPECT_EQ(ReadFile(root + "arch\\PC2\\" + MirrorRel(source) + "a.txt"), "alpha");
}

TEST_F(FormTest, TheEndOfTheSessionAndExitStopThePassAndSaveItsJournal) {
    WriteManyFiles();
    TFormVestrand& f = Start("vestrand.exe");
    const std::string interrupted = "Interrupted " + FormatTimeStamp(clock.now, TimeSeparator());
    const auto lastBlock = [&] { return LastBlock(SplitCrLf(ReadFile(root + "arch\\PC\\journal.txt"))); };
    GoUntilCopying();
    EXPECT_EQ(::SendMessageA(f.Handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
    DWORD at = ::GetTickCount();
    ::SendMessageA(f.Handle(), WM_ENDSESSION, TRUE, 0);
    EXPECT_LT(::GetTickCount() - at, 5000u);
    EXPECT_FALSE(f.PassRunning());
    EXPECT_TRUE(HasLine(lastBlock(), interrupted));

    // "Выход" during a pass stops it and closes the window once the journal is saved.
    WriteFile(root + "arch\\PC\\journal.txt", "");
    RemoveTree(MirrorOf("many"));
    const HWND hwnd = f.Handle();
    GoUntilCopying();
    f.pmExitClick();
    at = ::GetTickCount();
    while (::IsWindow(hwnd) && ::GetTickCount() - at < 5000)
        PumpMessages(1);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_TRUE(HasLine(lastBlock(), interrupted));
}

TEST_F(FormTest, ASecondStartOfTheSameProgramShowsTheWindowAndCanEnableTheSettings) {
    TFormVestrand& f = Start("vestrand.exe");
    f.ShowAtStart();
    PumpMessages(); // hidden by its first paint
    EXPECT_FALSE(ItemEnabled());
    ::SendMessageA(f.Handle(), SingleAgent::ShowMessage(root + "VESTRAND.EXE"), 1, 0); // case ignored
    PumpMessages();
    EXPECT_TRUE(::IsWindowVisible(f.Handle()));
    EXPECT_TRUE(ItemEnabled());
    // Another executable's message is not this agent's.
    EXPECT_NE(SingleAgent::ShowMessage(root + "other.exe"), SingleAgent::ShowMessage(root + "vestrand.exe"));
}

// A pass the guard pauses: the tray's mark, the counts in the hint and a balloon, and «Разрешить
// изменения», which carries the plan out once.
TEST_F(FormTest, APausedPassWaitsForTheUserToAllowTheChanges) {
    for (int i = 0; i < 100; ++i)
        WriteFile(source + "d\\" + std::to_string(i) + ".txt", "d");
    TFormVestrand& f = Start("vestrand.exe");
    const HICON idle = f.Tray().Icon();
    Go();
    EXPECT_FALSE(ItemEnabled(TFormVestrand::kPmAllow));
    RemoveTree(source + "d");
    Go();
    EXPECT_TRUE(ItemEnabled(TFormVestrand::kPmAllow));
    EXPECT_NE(f.Tray().Icon(), idle);
    EXPECT_EQ(f.Tray().Hint(), "Копия приостановлена: 100 из 101 файлов (99 %)");
    EXPECT_EQ(WindowText(f.Label1()), f.Tray().Hint());
    ASSERT_FALSE(f.Tray().Balloons().empty());
    EXPECT_EQ(f.Tray().Balloons().back().text, PausedBalloonText({0, 100, 101}));
    EXPECT_EQ(ReadFile(MirrorOf("d\\7.txt")), "d");
    // Paused for more than WarnAfterDays days: overdue, with the pause as its reason.
    const DateTime completed = clock.now;
    clock.now += 3.0 + kMinute;
    Go();
    EXPECT_TRUE(f.Overdue());
    EXPECT_EQ(f.Tray().Hint(), "Нет полной копии 3 дн.: копия приостановлена");
    EXPECT_EQ(WindowText(f.Label1()),
              "Нет полной копии 3 дн.: Копия приостановлена: 100 из 101 файлов (99 %)");
    EXPECT_EQ(f.Tray().Balloons().back().text, WindowText(f.Label1()));
    EXPECT_EQ(ReadLastComplete(kTestKey, clock.now), completed);
    f.pmAllowClick();
    f.WaitForPass();
    EXPECT_FALSE(IsFile(MirrorOf("d\\7.txt")));
    EXPECT_FALSE(ItemEnabled(TFormVestrand::kPmAllow));
    EXPECT_EQ(f.Tray().Icon(), idle);
    EXPECT_FALSE(f.Overdue());
    EXPECT_EQ(WindowText(f.Label1()), "Следующее копирование:");
}

// The lines a label's text takes at the label's width, and the status label's box holding all of
// them: the line under it starts below it and the window still holds the button.
static int StatusLinesShown(TFormVestrand& f) {
    RECT box, under, button, client;
    ::GetClientRect(f.Label1(), &box);
    const std::string text = WindowText(f.Label1());
    HDC dc = ::GetDC(f.Label1());
    const HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(f.Label1(), WM_GETFONT, 0, 0)));
    RECT need{0, 0, box.right, 0};
    ::DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(f.Label1(), dc);
    EXPECT_LE(need.bottom, box.bottom) << text;
    EXPECT_EQ(::GetWindowLongA(f.Label1(), GWL_STYLE) & SS_TYPEMASK, SS_LEFT); // it wraps
    ::GetWindowRect(f.Label1(), &box);
    ::GetWindowRect(f.LastCopy(), &under);
    EXPECT_LE(box.bottom, under.top);
    ::GetWindowRect(f.BtnGo(), &button);
    ::MapWindowPoints(nullptr, f.Handle(), reinterpret_cast<POINT*>(&button), 2);
    ::GetClientRect(f.Handle(), &client);
    EXPECT_LE(button.bottom, client.bottom);
    return need.bottom / metrics.tmHeight;
}

// The backup grows old while its drive is missing: the first try after the start warns (the mark,
// the hint, the label and a balloon), the balloon comes again a day later and not sooner, a
// stopped pass changes nothing, and the first complete pass ends it.
TEST_F(FormTest, AMissingBackupDriveWarnsOnceADayThatTheBackupIsOverdue) {
    const DateTime before = clock.now - 4.0;
    StoreLastComplete(kTestKey, before);
    WriteFile(ini, "[Config]\r\nSaveMin=30\r\nIdentifComp=PC\r\nTargetDir=Q:\\arch\r\n[SourceDir]\r\n1=" +
                       source + "\r\n");
    TFormVestrand& f = Start("vestrand.exe");
    const HICON idle = f.Tray().Icon();
    const auto& balloons = f.Tray().Balloons();
    EXPECT_EQ(WindowText(f.LastCopy()),
              "Последняя полная копия: " + FormatTimeStamp(before, TimeSeparator()).substr(0, 14));
    EXPECT_FALSE(f.Overdue()); // nothing tried since the start
    const std::string why = "Папка копии недоступна: Q:\\arch\\PC\\";
    clock.now += 3 * kMinute;
    Tick();
    EXPECT_TRUE(f.Overdue());
    EXPECT_NE(f.Tray().Icon(), idle);
    EXPECT_EQ(f.Tray().Hint(), "Нет полной копии 4 дн.: нет диска копии");
    EXPECT_EQ(WindowText(f.Label1()), "Нет полной копии 4 дн.: " + why);
    EXPECT_GE(StatusLinesShown(f), 2); // at full length, on more lines than one
    ASSERT_EQ(balloons.size(), 1u);
    EXPECT_EQ(balloons[0].icon, BalloonIcon::Error);
    EXPECT_EQ(balloons[0].text, "Нет полной копии 4 дн.: " + why);
    // Retried at every tick: not told again within the day, told again once it has passed.
    const DateTime told = clock.now;
    for (const DateTime at : {told + kMinute, told + 1.0 - kMinute}) {
        clock.now = at;
        Tick();
    }
    EXPECT_EQ(balloons.size(), 1u);
    clock.now = told + 1.0;
    Tick();
    ASSERT_EQ(balloons.size(), 2u);
    EXPECT_EQ(balloons[1].text, "Нет полной копии 5 дн.: " + why);

    // The drive is back; a pass the user stops is no complete one.
    WriteFile(ini, SettingsText(root, Config("PC", 5)));
    LoadSettings(const_cast<BackupSettings&>(f.Settings()), ini);
    WriteManyFiles();
    GoUntilCopying();
    f.pmStopClick();
    f.WaitForPass();
    EXPECT_TRUE(f.Overdue());
    EXPECT_EQ(ReadLastComplete(kTestKey, clock.now), before);
    EXPECT_EQ(balloons.size(), 2u);
    Go();
    EXPECT_FALSE(f.Overdue());
    EXPECT_EQ(f.Tray().Icon(), idle);
    EXPECT_EQ(WindowText(f.Label1()), "Следующее копирование:");
    RECT client;
    ::GetClientRect(f.Handle(), &client);
    EXPECT_EQ(client.bottom, TFormVestrand::kClientHeight); // one line again
    EXPECT_EQ(ReadLastComplete(kTestKey, clock.now), clock.now);
    EXPECT_EQ(balloons.size(), 2u);
}

// «Журнал» opens a copy of the mirror folder's journal in the temporary folder, never the journal
// itself; without a journal to copy, a box says why.
TEST_F(FormTest, TheJournalItemOpensACopyOfTheJournal) {
    tempFolder = root + "temp\\";
    ASSERT_TRUE(::CreateDirectoryA(tempFolder.c_str(), nullptr));
    std::vector<std::string> opened;
    openFile = [&opened](const std::string& path) {
        opened.push_back(path);
        return true;
    };
    TFormVestrand& f = Start("vestrand.exe");
    EXPECT_TRUE(ItemEnabled(TFormVestrand::kPmJournal));
    const std::string journal = root + "arch\\PC\\journal.txt";
    f.pmJournalClick();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].substr(0, 19 + journal.size()), "Журнал недоступен: " + journal);
    EXPECT_TRUE(opened.empty());
    Go();
    f.pmJournalClick();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], tempFolder + "vestrand journal.txt");
    EXPECT_EQ(ReadFile(opened[0]), ReadFile(journal));
    // What the viewer makes of its copy stays there; the next opening copies the journal anew.
    WriteFile(opened[0], "edited");
    ::SetFileAttributesA(opened[0].c_str(), FILE_ATTRIBUTE_READONLY);
    Go();
    f.pmJournalClick();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(ReadFile(opened[1]), ReadFile(journal));
    EXPECT_NE(ReadFile(journal).find("Start "), std::string::npos);
    EXPECT_EQ(errors.size(), 1u);
}

// Without a stand-in, «Журнал» asks the shell: the system's viewer of text files (Wine's Notepad)
// opens the copy, whose name its caption shows.
TEST_F(FormTest, TheJournalItemOpensTheCopyInTheSystemsTextViewer) {
    tempFolder = root + "temp\\";
    ASSERT_TRUE(::CreateDirectoryA(tempFolder.c_str(), nullptr));
    // As on every Windows: ".txt" files are text documents (Wine's prefix leaves the type out).
    ASSERT_EQ(::RegSetValueA(HKEY_CLASSES_ROOT, ".txt", REG_SZ, "txtfile", 7), ERROR_SUCCESS);
    TFormVestrand& f = Start("vestrand.exe");
    Go();
    f.pmJournalClick();
    ASSERT_TRUE(errors.empty()) << errors[0];
    HWND viewer = nullptr;
    for (const DWORD until = ::GetTickCount() + 15000; !viewer && ::GetTickCount() < until; ::Sleep(100))
        viewer = ::FindWindowA("Notepad", nullptr);
    ASSERT_NE(viewer, nullptr) << "no text viewer was opened";
    EXPECT_NE(WindowText(viewer).find("vestrand journal"), std::string::npos) << WindowText(viewer);
    ::PostMessageA(viewer, WM_CLOSE, 0, 0);
}

// A file that another program keeps locked fails in every pass: after WarnAfterDays days a balloon
// names it, then once a day at most.
TEST_F(FormTest, AFileFailingForDaysIsNamedOnceADay) {
    WriteFile(source + "mail.pst", "mail");
    FileLock lock(source + "mail.pst");
    ASSERT_TRUE(lock.Held());
    TFormVestrand& f = Start("vestrand.exe");
    const auto& balloons = f.Tray().Balloons();
    Go();
    ASSERT_EQ(balloons.size(), 1u); // «Не скопировано: 1»
    const std::string named = "Не копируется 3 дн. и дольше: " + MirrorOf("mail.pst") +
                              ". Исключите файл в настройках или закройте программу, которая его держит.";
    const DateTime first = clock.now;
    for (const auto& [at, count] : {std::pair{first + 3.0 - kMinute, 1u},
                                    {first + 3.0, 2u},
                                    {first + 4.0 - kMinute, 2u},
                                    {first + 4.0, 3u}}) {
        clock.now = at;
        Go();
        ASSERT_EQ(balloons.size(), count) << at - first;
        EXPECT_EQ(balloons.back().text, count == 1u ? balloons[0].text : named) << at - first;
    }
    EXPECT_FALSE(f.Overdue()); // the passes were complete
}
