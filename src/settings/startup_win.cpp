#include "settings/startup_win.h"

#include <windows.h>

#include <exception>

#include "engine/backup_pass_win.h"
#include "runtime/error.h"
#include "runtime/handles_win.h"
#include "runtime/window_win.h"

namespace vestrand {

void WriteAutostartEntry(const std::string& executablePath) {
    // The leading separator means "from the root"; the registry functions take the path without it.
    const char* path = kRunKey[0] == '\\' ? kRunKey + 1 : kRunKey;
    RegKey key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                          key.Put(), nullptr) != ERROR_SUCCESS)
        return;
    const std::string value = "\"" + executablePath + "\"";
    ::RegSetValueExA(key.Get(), kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
}

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

}  // namespace vestrand
