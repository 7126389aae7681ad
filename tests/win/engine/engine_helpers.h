// Shared pieces of the engine tests: a fixed clock, a recording display and schedule.
#pragma once
#include <string>
#include <vector>

#include "engine/backup_settings.h"
#include "engine/pass_host.h"
#include "runtime/datetime.h"

namespace vestrand::test {

inline DateTime FixedNow() { return EncodeDateTime(CivilTime{2026, 12, 6, 18, 20, 13, 0}); }

class FixedClock final : public IClock {
public:
    DateTime Now() override { return FixedNow(); }
};

class RecordingSchedule final : public ISchedule {
public:
    int calls = 0;
    void ScheduleNext() override { ++calls; }
    DateTime NextRunTime() const override { return FixedNow() + 60 * kMinute; }
};

class RecordingDisplay final : public IBackupDisplay {
public:
    std::vector<std::string> calls;
    void SetBusyCursor(bool busy) override { calls.push_back(busy ? "busy" : "normal"); }
    void SetTrayHint(const std::string& hint) override { calls.push_back("hint " + hint); }
    void SetNextTimeText(const std::string& text) override { calls.push_back("next " + text); }
    void SetGaugeMax(int32_t v) override { calls.push_back("max " + std::to_string(v)); }
    void SetGaugeMin(int32_t v) override { calls.push_back("min " + std::to_string(v)); }
    void SetGaugeProgress(int32_t v) override { calls.push_back("pos " + std::to_string(v)); }
};

}  // namespace vestrand::test
