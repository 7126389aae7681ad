// What a backup pass needs from its caller: the main window's display and the schedule.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/datetime.h"

namespace vestrand {

// The moments between the stages of a pass.
enum class PassStage {
    MirrorIndexed,   // the mirror folder has been walked into the index
    Compared,        // every source has been compared with it; nothing copied yet
    FoldersMirrored, // the listed folders have been mirrored
    FilesMirrored,   // the listed files too
    Deleted,         // the deletion stage is over (or was left out)
};

// The display operations of the main window that the pass and the schedule use: the pass's
// progress sink.
class IBackupDisplay {
public:
    virtual ~IBackupDisplay() = default;
    // Between two stages of the pass (nothing shows it; tests act there).
    virtual void StageReached(PassStage) {}
    virtual void SetBusyCursor(bool busy) = 0;
    virtual void SetTrayHint(const std::string& hint) = 0;
    virtual void SetNextTimeText(const std::string& text) = 0;
    virtual void SetGaugeMax(int32_t value) = 0;
    virtual void SetGaugeMin(int32_t value) = 0;
    virtual void SetGaugeProgress(int32_t value) = 0;
};

// A display that shows nothing, for passes run without a window (a caller may watch one operation).
class NullDisplay : public IBackupDisplay {
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
    // After a pass the user stopped: as ScheduleNext, but never so soon that the pass comes back
    // at once.
    virtual void ScheduleNextAfterStop() { ScheduleNext(); }
    virtual DateTime NextRunTime() const = 0;
};

} // namespace vestrand
