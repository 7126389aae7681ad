// What a backup pass needs from its caller: the main window's display and the schedule.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/datetime.h"

namespace vestrand {

// The display operations of the main window that the pass and the schedule use.
class IBackupDisplay {
public:
    virtual ~IBackupDisplay() = default;
    virtual void SetBusyCursor(bool busy) = 0;
    virtual void SetTrayHint(const std::string& hint) = 0;
    virtual void SetNextTimeText(const std::string& text) = 0;
    virtual void SetGaugeMax(int32_t value) = 0;
    virtual void SetGaugeMin(int32_t value) = 0;
    virtual void SetGaugeProgress(int32_t value) = 0;
};

// A display that shows nothing, for passes run without a window.
class NullDisplay final : public IBackupDisplay {
public:
    void SetBusyCursor(bool) override {}
    void SetTrayHint(const std::string&) override {}
    void SetNextTimeText(const std::string&) override {}
    void SetGaugeMax(int32_t) override {}
    void SetGaugeMin(int32_t) override {}
    void SetGaugeProgress(int32_t) override {}
};

// The schedule as the pass sees it: computes, stores and shows the next run.
class ISchedule {
public:
    virtual ~ISchedule() = default;
    virtual void ScheduleNext() = 0;
    virtual DateTime NextRunTime() const = 0;
};

} // namespace vestrand
