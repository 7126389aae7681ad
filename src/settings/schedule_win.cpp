#include "settings/schedule_win.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "runtime/handles_win.h"
#include "runtime/platform_win.h"

namespace vestrand {
DateTime ReachAhead(int32_t saveMin) {
    return (std::max<double>(saveMin, 1440) + 1) * kMinute;
}

bool IsBeyondReach(DateTime nextRun, DateTime now, int32_t saveMin) {
    return !(nextRun <= now + ReachAhead(saveMin)); // NaN included
}

DateTime NextRunAfter(DateTime nextRun, DateTime now, int32_t saveMin) {
    if (IsBeyondReach(nextRun, now, saveMin) || now - 5 * kMinute > nextRun)
        return now + 2 * kMinute;
    if (now + 1 * kMinute >= nextRun)
        return now + saveMin * kMinute;
    return nextRun;
}

Schedule::Schedule(const BackupSettings& settings, IBackupDisplay& display, IClock& clock,
                   std::string registryKey)
    : m_settings(settings), m_display(display), m_clock(clock), m_registryKey(std::move(registryKey)) {}

DateTime NextRunAfterStop(DateTime nextRun, DateTime now, int32_t saveMin) {
    if (IsBeyondReach(nextRun, now, saveMin) || now - 5 * kMinute > nextRun)
        return now + saveMin * kMinute;
    return NextRunAfter(nextRun, now, saveMin);
}

void Schedule::ScheduleNext() {
    Show(NextRunAfter(m_nextRun, m_clock.Now(), m_settings.SaveMin));
}

void Schedule::ScheduleNextAfterStop() {
    Show(NextRunAfterStop(m_nextRun, m_clock.Now(), m_settings.SaveMin));
}

void Schedule::Show(DateTime nextRun) {
    m_nextRun = nextRun;
    const std::string text = FormatTimeStamp(m_nextRun, TimeSeparator());
    m_display.SetNextTimeText(text);
    m_display.SetTrayHint(kNextRunHintPrefix + text);
    Store();
}

namespace {

void StoreMoment(const std::string& registryKey, const char* name, DateTime moment) {
    const RegKey key = OpenOrCreateKey(HKEY_CURRENT_USER, registryKey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!key)
        return;
    static_assert(sizeof(DateTime) == 8);
    ::RegSetValueExA(key.Get(), name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&moment), sizeof moment);
}

// The stored moment; false when the key cannot be opened. A value of another form reads as 0.
bool ReadMoment(const std::string& registryKey, const char* name, DateTime& stored) {
    const RegKey key = OpenOrCreateKey(HKEY_CURRENT_USER, registryKey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!key)
        return false;
    BYTE data[16] = {};
    DWORD type = 0;
    DWORD size = sizeof data;
    const LONG rc = ::RegQueryValueExA(key.Get(), name, nullptr, &type, data, &size);
    stored = 0;
    if (rc == ERROR_SUCCESS && type == REG_BINARY && size == sizeof(DateTime))
        std::memcpy(&stored, data, sizeof(DateTime));
    return true;
}

} // namespace

DateTime ReadLastComplete(const std::string& registryKey, DateTime now) {
    DateTime stored = 0;
    if (!ReadMoment(registryKey, kLastCompleteValue, stored) || !IsPlausibleDateTime(stored) || stored > now)
        return 0;
    return stored;
}

void StoreLastComplete(const std::string& registryKey, DateTime moment) {
    StoreMoment(registryKey, kLastCompleteValue, moment);
}

void Schedule::Store() const {
    StoreMoment(m_registryKey, kScheduleValue, m_nextRun);
}

void Schedule::Restore() {
    DateTime stored = 0;
    if (!ReadMoment(m_registryKey, kScheduleValue, stored))
        return;
    m_nextRun = IsPlausibleDateTime(stored) ? stored : m_clock.Now() - 1.0;
}

bool Schedule::IsDue() const {
    return m_clock.Now() > m_nextRun;
}

bool Schedule::IsBeyondReach() const {
    return vestrand::IsBeyondReach(m_nextRun, m_clock.Now(), m_settings.SaveMin);
}

} // namespace vestrand
