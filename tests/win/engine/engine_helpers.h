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

inline std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// The lines of a block between its Start line and its Stop line.
inline std::vector<std::string> Middle(const std::vector<std::string>& block) {
    std::vector<std::string> out;
    for (size_t i = 1; i < block.size() && block[i].rfind("Stop ", 0) != 0; ++i)
        out.push_back(block[i]);
    return out;
}

// The block of the last pass: from its "Start " line to the end.
inline std::vector<std::string> LastBlock(const std::vector<std::string>& lines) {
    for (size_t i = lines.size(); i-- > 0;)
        if (lines[i].rfind("Start ", 0) == 0)
            return std::vector<std::string>(lines.begin() + static_cast<long>(i), lines.end());
    return {};
}

// True when R: is the small tmpfs volume (the test runner leaves a marker file in its root).
inline bool SmallVolumeMounted() {
    return GetFileAttributesA("R:\\.tmpfs") != INVALID_FILE_ATTRIBUTES;
}

// Writes a file of `bytes` bytes, or with a negative count, as much as the drive takes. Returns the
// number of bytes written.
inline int64_t WriteFiller(const std::string& path, int64_t bytes) {
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    const std::string block(65536, 'f');
    int64_t written = 0;
    for (DWORD chunk : {65536u, 512u}) {
        for (;;) {
            DWORD want = chunk;
            if (bytes >= 0 && bytes - written < want)
                want = static_cast<DWORD>(bytes - written);
            if (want == 0)
                break;
            DWORD put = 0;
            const BOOL ok = ::WriteFile(h, block.data(), want, &put, nullptr);
            written += put;
            if (!ok || put < want)
                break;
        }
    }
    CloseHandle(h);
    return written;
}

// Sets the last-write time of a file or folder.
inline bool SetWriteTime(const std::string& path, const FILETIME& written) {
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const BOOL set = SetFileTime(h, nullptr, nullptr, &written);
    CloseHandle(h);
    return set != 0;
}

// Gives `to` the last-write time of `from`.
inline bool CopyWriteTime(const std::string& from, const std::string& to) {
    FILETIME created{}, accessed{}, written{};
    HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return false;
    const BOOL got = GetFileTime(in, &created, &accessed, &written);
    CloseHandle(in);
    return got && SetWriteTime(to, written);
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
