// The fakes of the program's interfaces shared by every test group: a clock the test sets, a
// schedule that counts its calls and tells the next run the test sets, and a display that records
// what the pass and the schedule show.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/pass_host.h"
#include "runtime/datetime.h"

namespace vestrand::test {

class FakeClock : public IClock {
public:
    FakeClock() = default;
    explicit FakeClock(DateTime at) : now(at) {}
    DateTime now = EncodeDateTime(CivilTime{2026, 12, 8, 10, 0, 0, 0});
    DateTime Now() override { return now; }
};

class FakeSchedule : public ISchedule {
public:
    FakeSchedule() = default;
    explicit FakeSchedule(DateTime at) : next(at) {}
    int calls = 0;
    int afterStop = 0; // of the calls, those after a stopped pass
    DateTime next = 0;
    void ScheduleNext() override { ++calls; }
    void ScheduleNextAfterStop() override {
        ++calls;
        ++afterStop;
    }
    DateTime NextRunTime() const override { return next; }
};

inline int32_t StageNumber(PassStage stage) {
    return std::max(static_cast<int32_t>(stage), 1); // MirrorIndexed and Compared: 1
}

class FakeDisplay final : public IBackupDisplay {
public:
    std::vector<bool> cursor; // every SetBusyCursor, in order
    std::string nextTime, hint;
    int hintCalls = 0;
    int32_t gaugeMin = 0, gaugeMax = 0;
    std::vector<int32_t> progress;
    std::vector<std::string>
        calls; // every call in order: "busy", "normal", "hint ...", "max 3", "pos 1", ...
    // Called at every gauge step.
    std::function<void(int32_t)> onProgress;
    // Every stage the pass reached, in order, and a hook called at each: the moment between two
    // stages of a pass. StageNumber counts them as the stages of work: 1 once the mirror is walked
    // (comparing and the directory stage follow), 2 after the directory stage, 3 after the file
    // stage, 4 after the deletion stage.
    std::vector<PassStage> stages;
    std::function<void(PassStage)> onStage;
    void StageReached(PassStage stage) override {
        stages.push_back(stage);
        if (onStage)
            onStage(stage);
    }
    void SetBusyCursor(bool busy) override {
        cursor.push_back(busy);
        calls.push_back(busy ? "busy" : "normal");
    }
    void SetTrayHint(const std::string& h) override {
        hint = h;
        ++hintCalls;
        calls.push_back("hint " + h);
    }
    void SetNextTimeText(const std::string& t) override {
        nextTime = t;
        calls.push_back("next " + t);
    }
    void SetGaugeMax(int32_t value) override {
        gaugeMax = value;
        calls.push_back("max " + std::to_string(value));
    }
    void SetGaugeMin(int32_t value) override {
        gaugeMin = value;
        calls.push_back("min " + std::to_string(value));
    }
    void SetGaugeProgress(int32_t value) override {
        progress.push_back(value);
        calls.push_back("pos " + std::to_string(value));
        if (onProgress)
            onProgress(value);
    }
};

} // namespace vestrand::test
