// The runner behind the timer and the "Сейчас" button: the timer is off for the pass, and a pass
// that ends with an error restores the cursor and re-arms the timer only after the error was shown.
#include <gtest/gtest.h>

#include "engine/backup_pass_win.h"

#include "runtime/window_win.h"
#include "settings/schedule_win.h"
#include "settings/pass_runner_win.h"
#include "settings_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

class RecordingTimer final : public ITimerSwitch {
public:
    std::vector<bool> switches;
    bool Enabled() const { return !switches.empty() && switches.back(); }
    void SetTimerEnabled(bool enabled) override { switches.push_back(enabled); }
};

struct ErrorHandlerReset {
    ~ErrorHandlerReset() { SetErrorHandler(nullptr); }
};

BackupSettings SettingsFor(const std::string& target, const std::string& source) {
    BackupSettings s;
    s.TargetDir = target;
    s.IdentifComp = "PC";
    s.LowDriveSpaceMb = 5;
    s.SourceDirs = {source};
    return s;
}

} // namespace

TEST(PassRunner, ACompletedPassSwitchesTheTimerOffAndOn) {
    const std::string target = FreshFolder('T', "runner_ok_target");
    const std::string source = FreshFolder('T', "runner_ok_source");
    WriteFile(source + "a.txt", "a");
    const BackupSettings settings = SettingsFor(target, source);
    RecordingTimer timer;
    FakeDisplay display;
    FakeClock clock;
    Schedule schedule(settings, display, clock, "software\\Oskenvar\\VestrandTests\\");
    PassRunner runner(timer, display, schedule, clock);
    EXPECT_TRUE(runner.Run(settings, false));
    EXPECT_EQ(timer.switches, (std::vector<bool>{false, true}));
    EXPECT_EQ(display.cursor, (std::vector<bool>{true, false}));
    EXPECT_EQ(ReadFile(target + "PC\\runner_ok_source\\a.txt"), "a");
    EXPECT_EQ(schedule.NextRunTime(), clock.now + 2 * kMinute);
}

TEST(PassRunner, AFailedPassShowsTheErrorThenReArmsTheTimer) {
    const std::string target = FreshFolder('T', "runner_err_target");
    const std::string source = FreshFolder('T', "runner_err_source");
    // A folder where the journal should be: the journal cannot be opened and the pass ends there.
    ASSERT_TRUE(::CreateDirectoryA((target + "PC").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((target + "PC\\journal.txt").c_str(), nullptr));
    WriteFile(target + "PC\\" + kPassLockName, ""); // a mirror of this program all the same
    const BackupSettings settings = SettingsFor(target, source);
    RecordingTimer timer;
    FakeDisplay display;
    FakeClock clock;
    Schedule schedule(settings, display, clock, "software\\Oskenvar\\VestrandTests\\");
    PassRunner runner(timer, display, schedule, clock);

    ErrorHandlerReset reset;
    std::vector<std::string> shown;
    bool timerOnWhileShown = true, cursorBusyWhileShown = true, nestedRan = true;
    SetErrorHandler([&](const std::string& message) {
        shown.push_back(message);
        timerOnWhileShown = timer.Enabled();
        cursorBusyWhileShown = display.cursor.back();
        nestedRan = runner.Run(settings, false); // a click while the box is open
    });
    EXPECT_FALSE(runner.Run(settings, false));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("journal.txt"), std::string::npos) << shown[0];
    EXPECT_FALSE(timerOnWhileShown);
    EXPECT_FALSE(cursorBusyWhileShown);
    EXPECT_FALSE(nestedRan);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_FALSE(runner.Running());
}
