// Shared pieces of the fault tests: a fixture with fresh source and target folders, a pass run
// with a fixed clock, and readers for the mirror and the journal.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "../engine/engine_helpers.h"
#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "test_drives.h"

namespace vestrand::test {

// Lines of a journal file (CR LF separated; a last line without CR LF counts).
inline std::vector<std::string> JournalLines(const std::string& text) {
    return vestrand::test::SplitCrLf(text);
}

// The lines of the last block of a journal (from its last Start line on).
inline std::vector<std::string> LastBlock(const std::string& text) {
    const auto lines = JournalLines(text);
    size_t start = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind("Start ", 0) == 0)
            start = i;
    return std::vector<std::string>(lines.begin() + static_cast<long>(std::min(start, lines.size())),
                                    lines.end());
}

inline int CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const auto& l : lines)
        n += l.rfind(prefix, 0) == 0;
    return n;
}

// Every file below `root` (relative name, content), for before/after comparisons.
inline void ListFiles(const std::string& root, const std::string& rel,
                      std::vector<std::pair<std::string, std::string>>& out) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((root + rel + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(root, rel + name + "\\", out);
        else
            out.emplace_back(rel + name, ReadFile(root + rel + name));
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(out.begin(), out.end());
}
inline std::vector<std::pair<std::string, std::string>> FilesBelow(const std::string& root) {
    std::vector<std::pair<std::string, std::string>> out;
    ListFiles(root, "", out);
    return out;
}

struct FaultFixture : ::testing::Test {
    std::string src, target, root;
    BackupSettings settings;
    FixedClock clock;
    RecordingSchedule schedule;
    FakeDisplay display; // its onProgress: the moment between two stages

    // Sources on S:, the mirror on `targetDrive`.
    void Prepare(char targetDrive) {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        src = FreshFolder('S', name);
        target = FreshFolder(targetDrive, name);
        settings = BackupSettings{};
        settings.TargetDir = target;
        settings.IdentifComp = "Test";
        settings.LowDriveSpaceMb = 5;
        root = target + "Test\\";
    }
    void SetUp() override { Prepare('T'); }
    void Run() { RunBackupPass(settings, false, display, schedule, clock); }
    std::string Journal() { return ReadFile(root + "journal.txt"); }
    std::vector<std::string> Block() { return LastBlock(Journal()); }
    std::string Mirror(const std::string& path) { return root + path.substr(3); }
};

} // namespace vestrand::test
