// The pass runner used by the timer and the "Сейчас" button of the resident program.
#pragma once
#include <string>

#include "engine/backup_settings.h"
#include "engine/pass_host.h"
#include "engine/pass_result.h"
#include "runtime/datetime.h"

namespace vestrand {

// The 10-second timer as the schedule switches it.
class ITimerSwitch {
public:
    virtual ~ITimerSwitch() = default;
    virtual void SetTimerEnabled(bool enabled) = 0;
};

// How the last pass of a runner went.
struct PassOutcome {
    PassResult result;
    bool error = false;    // it ended with an error
    std::string errorText; // the error's text as the error box shows it
    int ExitCode() const { return error ? kExitError : ExitCodeOf(result); }
};

// Runs one pass with the timer off. A pass that ends with an error restores the normal cursor,
// shows the error through the application's error handler (or, for a one-shot run that nobody
// watches, only keeps it in the outcome), and only then switches the timer on again. Returns
// false when the pass ended with an error, or when a pass is already running (a click while the
// error box of an earlier one is open).
class PassRunner {
public:
    PassRunner(ITimerSwitch& timer, IBackupDisplay& display, ISchedule& schedule, IClock& clock)
        : m_timer(timer), m_display(display), m_schedule(schedule), m_clock(clock) {}
    bool Run(const BackupSettings& settings, bool autoRunOnce);
    bool Running() const { return m_running; }
    const PassOutcome& LastOutcome() const { return m_outcome; }
    void SetErrorsShownInBox(bool shown) { m_errorsInBox = shown; }

private:
    ITimerSwitch& m_timer;
    IBackupDisplay& m_display;
    ISchedule& m_schedule;
    IClock& m_clock;
    bool m_running = false;
    bool m_errorsInBox = true;
    PassOutcome m_outcome;
};

} // namespace vestrand
