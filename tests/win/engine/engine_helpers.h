// Shared pieces of the engine tests: a fixed clock, a recording display and schedule, and a few
// file helpers for journals and for the small volume R:.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/backup_pass_win.h"
#include "engine/backup_settings.h"
#include "engine/pass_host.h"
#include "runtime/datetime.h"
#include "fakes.h"
#include "test_drives.h"

namespace vestrand::test {

inline DateTime FixedNow() {
    return EncodeDateTime(CivilTime{2026, 12, 6, 18, 20, 13, 0});
}

// The pass's clock: the fixed moment above unless a test moves it.
struct FixedClock final : FakeClock {
    FixedClock() : FakeClock(FixedNow()) {}
};

// The schedule of the pass: the next run an hour after the fixed moment.
struct RecordingSchedule final : FakeSchedule {
    RecordingSchedule() : FakeSchedule(FixedNow() + 60 * kMinute) {}
};

using RecordingDisplay = FakeDisplay;

// The lines of a block between its Start line and its Stop line.
inline std::vector<std::string> Middle(const std::vector<std::string>& block) {
    std::vector<std::string> out;
    for (size_t i = 1; i < block.size() && block[i].rfind("Stop ", 0) != 0; ++i)
        out.push_back(block[i]);
    return out;
}

// One test's source folder S:\<test>\ and mirror folder T:\<test>\Test\ (or on another drive), with
// the pass's settings, a fixed clock and recording fakes.
struct EngineFixture : ::testing::Test {
    std::string name, src, target, root;
    BackupSettings settings;
    FixedClock clock;
    RecordingSchedule schedule;
    RecordingDisplay display;

    void SetUp() override {
        name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        src = FreshFolder('S', name);
        UseTarget('T');
        settings.IdentifComp = "Test";
        settings.LowDriveSpaceMb = 5;
    }
    void TearDown() override {
        if (target[0] == 'R')
            RemoveTree(target); // the small volume is shared by every test of the run
    }
    void UseTarget(char drive) {
        target = FreshFolder(drive, name);
        settings.TargetDir = target;
        root = target + "Test\\";
    }
    PassResult Run() { return RunBackupPass(settings, false, display, schedule, clock); }
    std::string JournalText() const { return ReadFile(root + "journal.txt"); }
    std::vector<std::string> Block() const { return LastBlock(SplitCrLf(JournalText())); }
    // The mirror of a source path: BackupRoot + the path without its drive designator.
    std::string Mirror(const std::string& path) const { return root + path.substr(3); }
};

} // namespace vestrand::test
