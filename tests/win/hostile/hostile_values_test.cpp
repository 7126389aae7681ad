// Backup passes with settings values of the wrong form, on real files: a backup folder without a
// drive letter (relative, rooted, on a network share), paths through "..", computer names that are
// not a plain folder name, and sources that contain the mirror. Each pass must either refuse at
// once or mirror exactly what the settings name, and never change anything outside the mirror
// folder: the sources, the journal archives, other computers' mirrors and the process's current
// folder are compared, byte for byte and attribute for attribute, before and after.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "../engine/engine_helpers.h"
#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "engine/journal.h"
#include "test_drives.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

// Everything below `folder`: relative path (folders with a trailing "\") -> attributes and content.
using Tree = std::map<std::string, std::string>;

void Collect(const std::string& folder, const std::string& rel, Tree& out) {
    SearchFolder(folder + rel + "*.*", [&](const DirEntry& e) {
        if (e.Name == "." || e.Name == "..")
            return true;
        const std::string attr = std::to_string(e.Attr & ~FILE_ATTRIBUTE_ARCHIVE) + " ";
        if (e.Attr & FILE_ATTRIBUTE_DIRECTORY) {
            out[rel + e.Name + "\\"] = attr;
            Collect(folder, rel + e.Name + "\\", out);
        } else {
            out[rel + e.Name] = attr + std::to_string(e.Time) + " " + ReadFile(folder + rel + e.Name);
        }
        return true;
    });
}

Tree Snapshot(const std::string& folder) {
    Tree t;
    Collect(folder, "", t);
    return t;
}

// The entries of `t` outside the folder `skip` (relative, ending in "\").
Tree Without(const Tree& t, const std::string& skip) {
    Tree out;
    for (const auto& [path, what] : t)
        if (path.compare(0, skip.size(), skip) != 0)
            out[path] = what;
    return out;
}

std::string Names(const Tree& t) {
    std::string out;
    for (const auto& [path, what] : t)
        out += "  " + path + "\n";
    return out;
}

std::vector<std::string> Tagged(const std::vector<std::string>& block, const std::string& tag) {
    std::vector<std::string> out;
    for (const auto& line : block)
        if (line.rfind(tag, 0) == 0)
            out.push_back(line);
    return out;
}

// The test's ground, T:\hv_<test name>\: sources, a backup folder with a journal archive and
// another computer's mirror, and a folder that is the process's current folder while the test runs.
class HostileValues : public ::testing::Test {
protected:
    void SetUp() override {
        base = FreshFolder('T', std::string("hv_") +
                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        src = base + "src\\";
        target = base + "target\\";
        cwd = base + "cwd\\";
        WriteFile(src + "a.txt", "alpha");
        WriteFile(src + "Подпапка\\b.txt", "beta");
        WriteFile(target + "261206.Test", "an archived journal");
        WriteFile(target + "Other\\keep.txt", "another computer's mirror");
        WriteFile(target + "Other\\journal.txt", "Start 05.12.26 10:00:00\r\n");
        ::CreateDirectoryA(cwd.c_str(), nullptr);
        ::CreateDirectoryA((cwd + "Trail").c_str(), nullptr);
        char previous[MAX_PATH] = {};
        ::GetCurrentDirectoryA(MAX_PATH, previous);
        m_previousDir = previous;
        ASSERT_TRUE(::SetCurrentDirectoryA(cwd.c_str()));
        settings.IdentifComp = "Test";
        settings.TargetDir = target;
        settings.LowDriveSpaceMb = 5;
        settings.SourceDirs = {src};
        before = Snapshot(base);
        driveBefore = TopLevel();
    }
    void TearDown() override {
        ::SetCurrentDirectoryA(m_previousDir.c_str());
        if (!HasFailure())
            RemoveTree(base); // a later test mirrors the whole drive
    }

    void Run() { RunBackupPass(settings, false, display, schedule, clock); }

    // The names in the root of T:, where a path without a drive letter would land.
    std::vector<std::string> TopLevel() {
        std::vector<std::string> names;
        SearchFolder("T:\\*.*", [&](const DirEntry& e) {
            names.push_back(e.Name);
            return true;
        });
        std::sort(names.begin(), names.end());
        return names;
    }

    // The pass refused: nothing on screen, no schedule, and not one entry changed anywhere.
    void ExpectRefusedUntouched(const std::string& what) {
        SCOPED_TRACE(what);
        EXPECT_TRUE(display.calls.empty());
        EXPECT_EQ(schedule.calls, 0);
        const Tree after = Snapshot(base);
        EXPECT_EQ(after, before) << "before:\n" << Names(before) << "after:\n" << Names(after);
        EXPECT_EQ(TopLevel(), driveBefore);
    }

    // Nothing changed outside the mirror folder `root` (below base).
    void ExpectOnlyMirrorChanged(const std::string& root) {
        const std::string rel = root.substr(base.size());
        const Tree after = Snapshot(base);
        EXPECT_EQ(Without(after, rel), Without(before, rel)) << "before:\n"
                                                             << Names(before) << "after:\n"
                                                             << Names(after);
        EXPECT_EQ(TopLevel(), driveBefore);
    }

    std::string base, src, target, cwd;
    BackupSettings settings;
    FixedClock clock;
    RecordingSchedule schedule;
    RecordingDisplay display;
    Tree before;
    std::vector<std::string> driveBefore;

private:
    std::string m_previousDir;
};

// ---- The backup folder in a form other than drive, colon, separator ----

TEST_F(HostileValues, RelativeBackupFolderIsRefusedAndCreatesNothingInTheCurrentFolder) {
    // "Trail\" exists in the current folder and begins with the letter of a drive that exists, so
    // the free space of that drive would be measured and the pass would run.
    for (const char* dir : {"backup\\", "Trail\\arch\\", "Trail", ".\\arch\\", "..\\arch\\", "arch"}) {
        settings.TargetDir = NormalizeDir(dir);
        Run();
        ExpectRefusedUntouched(std::string("TargetDir ") + dir);
    }
}

TEST_F(HostileValues, BackupFolderWithoutADriveIsRefused) {
    const std::string rooted = target.substr(2); // \hv_...\target\ on the current drive, T:
    for (const std::string& dir :
         {rooted, std::string("\\"), std::string("\\\\nosuchserver\\share\\"), std::string()}) {
        settings.TargetDir = dir;
        Run();
        ExpectRefusedUntouched("TargetDir " + dir);
    }
}

TEST_F(HostileValues, BackupFolderThroughDotDotMirrorsIntoTheFolderItNames) {
    settings.TargetDir = base + "elsewhere\\..\\target\\";
    Run();
    const std::string root = target + "Test\\";
    EXPECT_EQ(ReadFile(root + src.substr(3) + "a.txt"), "alpha");
    EXPECT_EQ(ReadFile(root + src.substr(3) + "Подпапка\\b.txt"), "beta");
    EXPECT_FALSE(IsFolder(base + "elsewhere"));
    ExpectOnlyMirrorChanged(root);
    // The next pass finds everything in place.
    Run();
    const auto block = LastBlock(SplitCrLf(ReadFile(root + "journal.txt")));
    EXPECT_TRUE(Tagged(block, "New").empty() && Tagged(block, "Update").empty() &&
                Tagged(block, "Delete").empty() && Tagged(block, "Failed").empty())
        << ::testing::PrintToString(block);
    ExpectOnlyMirrorChanged(root);
}

// ---- Sources through ".." ----

TEST_F(HostileValues, SourceFolderThroughDotDotStaysMirroredOverPasses) {
    settings.SourceDirs = {base + "elsewhere\\..\\src\\"};
    const std::string root = target + "Test\\";
    for (int pass = 1; pass <= 3; ++pass) {
        SCOPED_TRACE("pass " + std::to_string(pass));
        Run();
        EXPECT_EQ(ReadFile(root + src.substr(3) + "a.txt"), "alpha");
        EXPECT_EQ(ReadFile(root + src.substr(3) + "Подпапка\\b.txt"), "beta");
        const auto block = LastBlock(SplitCrLf(ReadFile(root + "journal.txt")));
        EXPECT_TRUE(Tagged(block, "Delete").empty()) << ::testing::PrintToString(block);
        if (pass > 1) {
            EXPECT_TRUE(Tagged(block, "New").empty()) << ::testing::PrintToString(block);
        }
        ExpectOnlyMirrorChanged(root);
    }
}

TEST_F(HostileValues, SourceFileThroughDotDotStaysMirroredOverPasses) {
    settings.SourceDirs.clear();
    settings.SourceFiles = {base + "elsewhere\\..\\src\\a.txt"};
    const std::string root = target + "Test\\";
    for (int pass = 1; pass <= 3; ++pass) {
        SCOPED_TRACE("pass " + std::to_string(pass));
        Run();
        EXPECT_EQ(ReadFile(root + src.substr(3) + "a.txt"), "alpha");
        const auto block = LastBlock(SplitCrLf(ReadFile(root + "journal.txt")));
        EXPECT_TRUE(Tagged(block, "Delete").empty()) << ::testing::PrintToString(block);
        if (pass > 1) {
            EXPECT_TRUE(Tagged(block, "New").empty()) << ::testing::PrintToString(block);
        }
        ExpectOnlyMirrorChanged(root);
    }
}

TEST_F(HostileValues, SourceClimbingAboveTheDriveRootNeverWritesOutsideTheMirror) {
    // Mapped as written, "T:\..\..\hv_...\src\" would give mirror paths that climb two levels
    // out of the mirror folder, into this test's own folder.
    settings.SourceDirs = {"T:\\..\\..\\" + src.substr(3)};
    settings.SourceFiles = {"T:\\..\\..\\" + src.substr(3) + "a.txt"};
    const std::string root = target + "Test\\";
    Run();
    Run();
    EXPECT_EQ(ReadFile(root + src.substr(3) + "a.txt"), "alpha");
    EXPECT_EQ(ReadFile(root + src.substr(3) + "Подпапка\\b.txt"), "beta");
    ExpectOnlyMirrorChanged(root);
}

// ---- This computer's name ----

TEST_F(HostileValues, ComputerNameWithSeparatorsOrWildcardsIsRefused) {
    for (const char* name : {"a\\b", "..\\Other", "Other\\..", "x/y", "/", "c:", "C:\\", "*", "Oth?r", "a\"b",
                             "<a>", "a|b", "a\tb", "..", ".", ""}) {
        settings.IdentifComp = name;
        Run();
        ExpectRefusedUntouched(std::string("IdentifComp ") + name);
    }
}

TEST_F(HostileValues, ComputerNameTheFileSystemWouldShortenNeverReachesAnotherMirror) {
    // The platform drops blanks and full stops at the end of a name: "Other." and "Other " name the
    // other computer's folder, and "..." or " " the backup folder itself.
    for (const char* name : {"Other.", "Other ", "Other. .", "...", " ", ". ", " .", "...."}) {
        SCOPED_TRACE(std::string("IdentifComp \"") + name + "\"");
        settings.IdentifComp = name;
        Run();
        EXPECT_EQ(ReadFile(target + "Other\\keep.txt"), "another computer's mirror");
        EXPECT_EQ(ReadFile(target + "Other\\journal.txt"), "Start 05.12.26 10:00:00\r\n");
        EXPECT_EQ(ReadFile(target + "261206.Test"), "an archived journal");
        const Tree after = Snapshot(base);
        EXPECT_EQ(Without(after, "target\\"), Without(before, "target\\"));
        for (const auto& [path, what] : Without(before, "target\\Test\\"))
            EXPECT_EQ(after.count(path), 1u) << path << " was deleted";
    }
}

// ---- Sources that contain the mirror folder ----

TEST_F(HostileValues, SourceContainingTheMirrorInAnotherFormIsNotMirroredIntoItself) {
    char shortBase[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameA(base.c_str(), shortBase, MAX_PATH), 0u);
    std::string upper = base;
    for (char& c : upper)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const std::string root = target + "Test\\";
    // The same folder typed as the user might: another letter case, the short name (mirrored
    // under that spelling), through "..", without the final separator.
    const std::vector<std::pair<std::string, std::string>> spellings = {
        {upper, base},
        {shortBase, shortBase},
        {base + "src\\..\\", base},
        {base.substr(0, base.size() - 1), base}};
    for (const auto& [source, spelled] : spellings) {
        SCOPED_TRACE("source " + source);
        settings.SourceDirs = {source};
        Run();
        Run();
        // Everything of the source is mirrored once, the mirror folder itself not at all.
        const std::string mirrored = root + spelled.substr(3);
        EXPECT_EQ(ReadFile(mirrored + "src\\a.txt"), "alpha");
        EXPECT_EQ(ReadFile(mirrored + "target\\Other\\keep.txt"), "another computer's mirror");
        EXPECT_FALSE(IsFolder(mirrored + "target\\Test")) << "the mirror was mirrored into itself";
        const auto block = LastBlock(SplitCrLf(ReadFile(root + "journal.txt")));
        EXPECT_TRUE(Tagged(block, "New").empty() && Tagged(block, "Delete").empty())
            << "the second pass changed the mirror: " << ::testing::PrintToString(block);
        ExpectOnlyMirrorChanged(root);
        RemoveTree(root);
    }
}

TEST_F(HostileValues, DriveRootAsSourceWithTheMirrorOnTheSameDriveTerminates) {
    // The whole of T: is mirrored, the backup folder among it: the mirror must not contain itself.
    settings.SourceDirs = {"T:\\"};
    settings.TargetDir = target;
    Run();
    const std::string root = target + "Test\\";
    EXPECT_EQ(ReadFile(root + src.substr(3) + "a.txt"), "alpha");
    EXPECT_FALSE(IsFolder(root + target.substr(3) + "Test"));
    // What other tests left on T: can make this journal large enough to be moved aside: then the
    // day's archive grows by it, its earlier text kept at its start.
    const std::string archive = JournalArchiveName(target, clock.Now(), "Test");
    const std::string archived = ReadFile(archive);
    EXPECT_EQ(archived.rfind("an archived journal", 0), 0u) << archive;
    const std::string rel = root.substr(base.size());
    Tree after = Without(Snapshot(base), rel);
    Tree expected = Without(before, rel);
    after.erase(archive.substr(base.size()));
    expected.erase(archive.substr(base.size()));
    EXPECT_EQ(after, expected);
    EXPECT_EQ(TopLevel(), driveBefore);
}

} // namespace
