// The pass runner used by the timer and the "Сейчас" button of the resident program: a pass runs
// on a thread of its own while the window's thread goes on answering the user.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/backup_settings.h"
#include "engine/pass_host.h"
#include "engine/pass_result.h"
#include "runtime/datetime.h"
#include "runtime/handles_win.h"

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

// Keeps the system from sleeping for lack of input while a pass runs: called on the pass's thread
// with true at its start and false on every way out. By default SetThreadExecutionState.
using KeepAwakeFn = std::function<void(bool)>;

// Runs one pass at a time with the timer off, on its own thread, with a copy of the settings taken
// at its start. The pass never touches a window: what it shows goes to the display and schedule
// given here on the thread that started it (the window's), at most four times a second, and the
// schedule's calls are handed over there and waited for. Only that thread calls the runner.
// A pass that ends with an error restores the normal cursor and shows the error through the
// application's error handler (or, for a one-shot run that nobody watches, only keeps it in the
// outcome); only then is the timer switched on again and a further pass allowed.
class PassRunner {
public:
    PassRunner(ITimerSwitch& timer, IBackupDisplay& display, ISchedule& schedule, IClock& clock);
    ~PassRunner(); // stops a running pass and waits for its thread
    PassRunner(const PassRunner&) = delete;
    PassRunner& operator=(const PassRunner&) = delete;

    // Starts a pass; false when one is running (or the error box of the last one is open). A pass
    // `stopped` before it starts (the user stopped it while it was on its way) ends before its
    // Start line. A `confirmed` pass carries out its plan whatever it destroys (the user allowed it).
    bool Start(const BackupSettings& settings, bool autoRunOnce, bool stopped = false,
               bool confirmed = false);
    // Asks the running pass to stop at its next entry.
    void RequestStop();
    // Waits up to `timeoutMs` for the running pass to end, dispatching this thread's messages
    // meanwhile (so the schedule's calls of the pass are answered); true when none runs any more.
    bool WaitForEnd(DWORD timeoutMs = INFINITE);
    // Start and wait: true when the pass ran to its end without an error.
    bool Run(const BackupSettings& settings, bool autoRunOnce);

    bool Running() const { return m_running; }
    bool StopRequested() const { return m_stop.load(); }
    DWORD StartedAt() const { return m_startedAt; } // GetTickCount of the last start
    const PassOutcome& LastOutcome() const { return m_outcome; }
    void SetErrorsShownInBox(bool shown) { m_errorsInBox = shown; }
    // Called on the starting thread once a pass has ended and its outcome is known.
    void SetOnEnded(std::function<void()> onEnded) { m_onEnded = std::move(onEnded); }
    void SetKeepAwake(KeepAwakeFn keepAwake) { m_keepAwake = std::move(keepAwake); }

private:
    class Bridge;
    static LRESULT CALLBACK BridgeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void EnsureWindow();
    void PassThread(BackupSettings settings, bool autoRunOnce, bool confirmed, unsigned number);
    void Finish();

    ITimerSwitch& m_timer;
    IBackupDisplay& m_display;
    ISchedule& m_schedule;
    IClock& m_clock;
    HWND m_window = nullptr; // message-only: where the pass's reports arrive
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    bool m_running = false;
    bool m_errorsInBox = true;
    DWORD m_startedAt = 0;
    PassOutcome m_outcome;
    unsigned m_passNumber = 0;  // the end of an earlier pass is not taken for that of a later one
    PassResult m_threadResult;  // set by the pass thread before it signals its end
    std::exception_ptr m_error; // likewise
    std::function<void()> m_onEnded;
    KeepAwakeFn m_keepAwake;
    std::unique_ptr<Bridge> m_bridge;
    KernelHandle m_ended; // set by the pass thread as it ends
};

} // namespace vestrand
