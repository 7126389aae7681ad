// The runner behind the timer and the "Сейчас" button: the timer is off for the pass, and a pass
// that ends with an error restores the cursor and re-arms the timer only after the error was shown.
#include <gtest/gtest.h>

#include "engine/backup_pass_win.h"
#include "mirror_fixture.h"
#include "runtime/window_win.h"
#include "settings/pass_runner_win.h"
#include "settings/schedule_win.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

class RecordingTimer final : public ITimerSwitch {
public:
    std::vector<bool> switches;
    bool Enabled() const { return !switches.empty() && switches.back(); }
    void SetTimerEnabled(bool enabled) override { switches.push_back(enabled); }
};

// The pass of the shared fixture run by a runner with a real schedule.
struct PassRunnerTest : MirrorFixture {
    RecordingTimer timer;
    Schedule realSchedule{settings, display, clock, "software\\Oskenvar\\VestrandTests\\"};
    PassRunner runner{timer, display, realSchedule, clock};
    void SetUp() override {
        MirrorFixture::SetUp();
        settings.SourceDirs = {src};
    }
    void TearDown() override {
        SetErrorHandler(nullptr);
        MirrorFixture::TearDown();
    }
};

} // namespace

TEST_F(PassRunnerTest, ACompletedPassSwitchesTheTimerOffAndOnAndKeepsTheSystemAwakeOnItsOwnThread) {
    WriteFile(src + "a.txt", "a");
    std::vector<bool> awake;
    DWORD passThread = ::GetCurrentThreadId();
    runner.SetKeepAwake([&](bool on) {
        awake.push_back(on);
        passThread = ::GetCurrentThreadId();
    });
    EXPECT_TRUE(runner.Run(settings, false));
    EXPECT_EQ(awake, (std::vector<bool>{true, false}));
    EXPECT_NE(passThread, ::GetCurrentThreadId());
    EXPECT_EQ(timer.switches, (std::vector<bool>{false, true}));
    EXPECT_EQ(display.cursor, (std::vector<bool>{true, false}));
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a");
    EXPECT_EQ(realSchedule.NextRunTime(), clock.now + 2 * kMinute);
}

TEST_F(PassRunnerTest, AFailedPassShowsTheErrorThenReArmsTheTimer) {
    // A mirror of this program whose journal is a folder: the pass ends with an error.
    WriteFile(root + kPassLockName, "");
    ASSERT_TRUE(::CreateDirectoryA((root + "journal.txt").c_str(), nullptr));
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
