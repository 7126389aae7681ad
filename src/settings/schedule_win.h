// When the next pass runs: computed after loading and after every pass, shown through the
// display, and kept across restarts in the per-user registry.
#pragma once
#include <string>

#include "engine/backup_settings.h"
#include "engine/pass_host.h"
#include "runtime/datetime.h"

namespace vestrand {

inline constexpr const char* kScheduleKey = "software\\Oskenvar\\Vestrand\\";
inline constexpr const char* kScheduleValue = "NextVestrand";
inline constexpr const char* kLastCompleteValue = "LastVestrand";
inline constexpr const char* kNextRunHintPrefix = "Следующий полис: ";

// How far ahead of now a next run set by this program can lie: max(saveMin, 1440) + 1 minutes.
// A time further ahead (a clock set back, a damaged stored value) cannot have been set here.
DateTime ReachAhead(int32_t saveMin);
bool IsBeyondReach(DateTime nextRun, DateTime now, int32_t saveMin);

// The three-way rule: more than 5 minutes past gives now + 2 minutes; from 5 minutes past to
// 1 minute ahead gives now + saveMin minutes; further ahead stays. A time beyond reach (or NaN)
// counts as far in the past.
DateTime NextRunAfter(DateTime nextRun, DateTime now, int32_t saveMin);
// The same after a pass the user stopped: where the rule gives now + 2 minutes (a next run long
// past), now + saveMin minutes, so that the stopped pass does not come back at once.
DateTime NextRunAfterStop(DateTime nextRun, DateTime now, int32_t saveMin);

// The moment of the last complete pass, kept beside the next run in the same form. A value that is
// missing, of another form, no date of the years 1900 to 9999 or later than `now` reads as
// kNeverComplete (0).
DateTime ReadLastComplete(const std::string& registryKey, DateTime now);
void StoreLastComplete(const std::string& registryKey, DateTime moment);

class Schedule final : public ISchedule {
public:
    Schedule(const BackupSettings& settings, IBackupDisplay& display, IClock& clock,
             std::string registryKey = kScheduleKey);

    void ScheduleNext() override;
    void ScheduleNextAfterStop() override;
    DateTime NextRunTime() const override { return m_nextRun; }
    void SetNextRunTime(DateTime value) { m_nextRun = value; }

    // Reads the stored time: a failed read, or a value that is no date of the years 1900 to 9999,
    // gives now - 1 day; a key that cannot be opened leaves the time as it is (0 before the first
    // restore).
    void Restore();
    // The timer's test: strictly later than the next run.
    bool IsDue() const;
    // The next run lies further ahead than this program ever sets it (the clock was set back):
    // the timer then calls ScheduleNext, which replaces it.
    bool IsBeyondReach() const;

private:
    void Show(DateTime nextRun);
    void Store() const;

    const BackupSettings& m_settings;
    IBackupDisplay& m_display;
    IClock& m_clock;
    std::string m_registryKey;
    DateTime m_nextRun = 0;
};

} // namespace vestrand
