#include "settings/pass_runner_win.h"

#include <exception>
#include <optional>

#include "engine/backup_pass_win.h"
#include "runtime/error.h"
#include "runtime/handles_win.h"
#include "runtime/window_win.h"

namespace vestrand {
namespace {

constexpr UINT kMsgReport = WM_APP + 1; // the pass's display state changed
constexpr UINT kMsgCall = WM_APP + 2;   // sent: run the std::function<void()> at lParam here
constexpr UINT kMsgEnded = WM_APP + 3;  // the pass of number wParam has ended
constexpr DWORD kReportGapMs = 250;     // at most four reports a second reach the window
constexpr const char* kBridgeClass = "VestrandPassBridge";

void KeepSystemAwake(bool awake) {
    ::SetThreadExecutionState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

} // namespace

// The pass's display and schedule on the pass's thread. Display changes are kept and reported to
// the runner's window at most every kReportGapMs; the schedule's calls are sent there and waited
// for, after what was kept has been shown, so that the display shows things in their order.
class PassRunner::Bridge final : public IBackupDisplay, public ISchedule {
public:
    Bridge(HWND window, IBackupDisplay& display, ISchedule& schedule)
        : m_window(window), m_display(display), m_schedule(schedule) {}

    void SetBusyCursor(bool busy) override {
        Change([&](State& s) { s.busy = busy; });
    }
    void SetTrayHint(const std::string& hint) override {
        Change([&](State& s) { s.hint = hint; });
    }
    void SetNextTimeText(const std::string&) override {} // the schedule shows it, on the window's thread
    void SetGaugeMax(int32_t value) override {
        Change([&](State& s) { s.max = value; });
    }
    void SetGaugeMin(int32_t value) override {
        Change([&](State& s) { s.min = value; });
    }
    void SetGaugeProgress(int32_t value) override {
        Change([&](State& s) { s.progress = value; });
    }

    void ScheduleNext() override {
        Call([this] { m_schedule.ScheduleNext(); });
    }
    void ScheduleNextAfterStop() override {
        Call([this] { m_schedule.ScheduleNextAfterStop(); });
    }
    DateTime NextRunTime() const override {
        DateTime next = 0;
        Call([&] { next = m_schedule.NextRunTime(); });
        return next;
    }

    // On the window's thread: shows what the pass changed since the last report.
    void Apply() {
        State s;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            s = std::exchange(m_pending, State{});
            m_posted = false;
        }
        if (s.busy)
            m_display.SetBusyCursor(*s.busy);
        if (s.hint)
            m_display.SetTrayHint(*s.hint);
        if (s.max)
            m_display.SetGaugeMax(*s.max);
        if (s.min)
            m_display.SetGaugeMin(*s.min);
        if (s.progress)
            m_display.SetGaugeProgress(*s.progress);
    }

    static void RunCall(LPARAM call) { (*reinterpret_cast<const std::function<void()>*>(call))(); }

private:
    struct State {
        std::optional<bool> busy;
        std::optional<std::string> hint;
        std::optional<int32_t> max, min, progress;
    };

    template <typename F> void Change(F change) {
        std::lock_guard<std::mutex> lock(m_mutex);
        change(m_pending);
        const DWORD now = ::GetTickCount();
        if (!m_posted && now - m_lastPost >= kReportGapMs) {
            m_posted = ::PostMessageA(m_window, kMsgReport, 0, 0) != 0;
            m_lastPost = now;
        }
    }

    // Runs `work` on the window's thread and waits for it; what was kept is shown first.
    void Call(const std::function<void()>& work) const {
        const std::function<void()> call = [&] {
            const_cast<Bridge*>(this)->Apply();
            work();
        };
        ::SendMessageA(m_window, kMsgCall, 0, reinterpret_cast<LPARAM>(&call));
    }

    HWND m_window;
    IBackupDisplay& m_display;
    ISchedule& m_schedule;
    std::mutex m_mutex;
    State m_pending;
    bool m_posted = false;
    DWORD m_lastPost = ::GetTickCount() - kReportGapMs;
};

PassRunner::PassRunner(ITimerSwitch& timer, IBackupDisplay& display, ISchedule& schedule, IClock& clock)
    : m_timer(timer), m_display(display), m_schedule(schedule), m_clock(clock), m_keepAwake(KeepSystemAwake),
      m_ended(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

PassRunner::~PassRunner() {
    m_onEnded = nullptr;
    m_errorsInBox = false;
    RequestStop();
    WaitForEnd();
    if (m_window)
        ::DestroyWindow(m_window);
}

void PassRunner::EnsureWindow() {
    if (m_window)
        return;
    static const ATOM registered = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = BridgeProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kBridgeClass;
        return ::RegisterClassExA(&wc);
    }();
    (void)registered;
    m_window = ::CreateWindowExA(0, kBridgeClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 ::GetModuleHandleA(nullptr), nullptr);
    if (!m_window)
        throw std::runtime_error("The pass cannot be started: no message window");
    ::SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT CALLBACK PassRunner::BridgeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* runner = reinterpret_cast<PassRunner*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!runner)
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    try {
        switch (msg) {
        case kMsgReport:
            if (runner->m_bridge)
                runner->m_bridge->Apply();
            return 0;
        case kMsgCall:
            Bridge::RunCall(lParam);
            return 0;
        case kMsgEnded:
            if (static_cast<unsigned>(wParam) == runner->m_passNumber)
                runner->Finish();
            return 0;
        default:
            break;
        }
    } catch (...) {
        HandleException(std::current_exception());
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

bool PassRunner::Start(const BackupSettings& settings, bool autoRunOnce, bool stopped, bool confirmed) {
    if (m_running)
        return false;
    EnsureWindow();
    m_running = true;
    m_timer.SetTimerEnabled(false);
    m_stop = stopped;
    m_error = nullptr;
    m_threadResult = PassResult{};
    ::ResetEvent(m_ended.Get());
    m_bridge = std::make_unique<Bridge>(m_window, m_display, m_schedule);
    m_startedAt = ::GetTickCount();
    ++m_passNumber;
    m_thread = std::thread(&PassRunner::PassThread, this, settings, autoRunOnce, confirmed, m_passNumber);
    return true;
}

void PassRunner::PassThread(BackupSettings settings, bool autoRunOnce, bool confirmed, unsigned number) {
    if (m_keepAwake)
        m_keepAwake(true);
    try {
        m_threadResult =
            RunBackupPass(settings, autoRunOnce, *m_bridge, *m_bridge, m_clock, &m_stop, confirmed);
    } catch (...) {
        m_error = std::current_exception(); // journal errors, bad_alloc: shown on the window's thread
    }
    if (m_keepAwake)
        m_keepAwake(false);
    ::SetEvent(m_ended.Get());
    ::PostMessageA(m_window, kMsgEnded, number, 0);
}

void PassRunner::RequestStop() {
    if (m_running)
        m_stop = true;
}

bool PassRunner::WaitForEnd(DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (m_thread.joinable()) {
        const DWORD spent = ::GetTickCount() - start;
        if (timeoutMs != INFINITE && spent >= timeoutMs)
            return false;
        HANDLE ended = m_ended.Get();
        const DWORD wait = ::MsgWaitForMultipleObjects(
            1, &ended, FALSE, timeoutMs == INFINITE ? INFINITE : timeoutMs - spent, QS_SENDMESSAGE);
        if (wait == WAIT_OBJECT_0) {
            Finish();
        } else if (wait == WAIT_OBJECT_0 + 1) {
            MSG msg; // answers the pass's sent calls; posted messages stay queued
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (wait == WAIT_FAILED) {
            break;
        }
    }
    return !m_thread.joinable();
}

bool PassRunner::Run(const BackupSettings& settings, bool autoRunOnce) {
    if (!Start(settings, autoRunOnce))
        return false;
    WaitForEnd();
    return !m_outcome.error && !m_outcome.result.interrupted;
}

void PassRunner::Finish() {
    if (!m_thread.joinable())
        return;
    m_thread.join();
    if (m_bridge)
        m_bridge->Apply();
    m_outcome = PassOutcome{};
    m_outcome.result = m_threadResult;
    if (m_error) {
        m_outcome.error = true;
        m_outcome.errorText = ErrorBoxText(ExceptionMessage(m_error));
        m_display.SetBusyCursor(false);
        // The error box is modal and keeps dispatching messages: the timer stays off and
        // m_running refuses a further pass until the user has closed it.
        if (m_errorsInBox)
            HandleException(m_error);
    }
    m_timer.SetTimerEnabled(true);
    m_running = false;
    if (m_onEnded)
        m_onEnded();
}

} // namespace vestrand
