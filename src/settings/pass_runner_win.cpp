#include "settings/pass_runner_win.h"

#include <windows.h>

#include <exception>

#include "engine/backup_pass_win.h"
#include "runtime/error.h"
#include "runtime/window_win.h"

namespace vestrand {

bool PassRunner::Run(const BackupSettings& settings, bool autoRunOnce) {
    if (m_running)
        return false;
    m_running = true;
    m_timer.SetTimerEnabled(false);
    bool completed = true;
    m_outcome = PassOutcome{};
    try {
        m_outcome.result = RunBackupPass(settings, autoRunOnce, m_display, m_schedule, m_clock);
    } catch (...) {
        completed = false;
        m_outcome.error = true;
        m_outcome.errorText = ErrorBoxText(ExceptionMessage(std::current_exception()));
        // The error box is modal and keeps dispatching messages: the timer stays off and
        // m_running refuses a second pass until the user has closed it.
        m_display.SetBusyCursor(false);
        if (m_errorsInBox)
            HandleException(std::current_exception());
    }
    m_timer.SetTimerEnabled(true);
    m_running = false;
    return completed;
}

} // namespace vestrand
