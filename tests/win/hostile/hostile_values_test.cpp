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
#include <utility>
#include <vector>

#include "engine/fileops_win.h"
#include "mirror_fixture.h"
#include "tree_snapshot.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

// The entries of `tree` outside `folder`.
TreeSnapshot Outside(TreeSnapshot tree, const std::string& folder) {
    std::erase_if(tree, [&](const auto& entry) { return entry.first.rfind(folder, 0) == 0; });
    return tree;
}

// The source folder S:\<test>\ with two files, and T:\<test>\ with the mirror folder Test\ beside
// a journal archive, another computer's mirror and cwd\, the process's current folder while the
// test runs.
class HostileValues : public MirrorFixture {
protected:
    const std::map<std::string, std::string> kSources = {{"a.txt", "alpha"}, {"Подпапка\\b.txt", "beta"}};
    // Beside the mirror folder: a journal archive and another computer's mirror.
    const std::map<std::string, std::string> kOthers = {
        {"261206.Test", "an archived journal"},
        {"Other\\keep.txt", "another computer's mirror"},
        {"Other\\journal.txt", "Start 05.12.26 10:00:00\r\n"}};

    void SetUp() override {
        MirrorFixture::SetUp();
        for (const auto& [file, content] : kSources)
            WriteFile(src + file, content);
        for (const auto& [file, content] : kOthers)
            WriteFile(target + file, content);
        const std::string cwd = target + "cwd\\";
        ::CreateDirectoryA(cwd.c_str(), nullptr);
        ::CreateDirectoryA((cwd + "Trail").c_str(), nullptr);
        char previous[MAX_PATH] = {};
        ::GetCurrentDirectoryA(MAX_PATH, previous);
        m_previousDir = previous;
        ASSERT_TRUE(::SetCurrentDirectoryA(cwd.c_str()));
        settings.SourceDirs = {src};
        before = Ground();
        driveBefore = NamesIn("T:\\");
    }
    void TearDown() override {
        ::SetCurrentDirectoryA(m_previousDir.c_str());
        if (!HasFailure()) { // a later test mirrors the whole drive
            RemoveTree(src);
            RemoveTree(target);
        }
    }

    // Everything below the source folder and T:\<test>\ by full path: attributes (the archive bit
    // aside), write times and contents.
    TreeSnapshot Ground() const {
        TreeSnapshot all;
        for (const std::string& top : {src, target})
            for (auto [rel, entry] : SnapshotTree(top)) {
                entry.attributes &= ~FILE_ATTRIBUTE_ARCHIVE;
                all[top + rel] = entry;
            }
        return all;
    }

    void ExpectOnlyMirrorChanged() {
        EXPECT_EQ(Outside(Ground(), root), Outside(before, root));
        EXPECT_EQ(NamesIn("T:\\"), driveBefore);
    }

    // Both sources mirrored with their contents (or only those named).
    void ExpectMirrored(const Lines& names = {"a.txt", "Подпапка\\b.txt"}) {
        for (const auto& file : names)
            EXPECT_EQ(ReadFile(Mirror(src + file)), kSources.at(file)) << file;
    }

    TreeSnapshot before;
    Lines driveBefore; // the names in the root of T:, where a path without a drive letter would land

private:
    std::string m_previousDir;
};

// ---- Values refused at once ----

TEST_F(HostileValues, ValuesOfTheWrongFormAreRefusedAndChangeNothing) {
    // Backup folders without a drive: relative ones as the settings file gives them, with a separator
    // at the end ("Trail\" exists in the current folder and begins with the letter of a drive that
    // exists, so the free space of that drive would be measured and the pass would run), one rooted
    // on the current drive T:, the drive's root, a network share that does not answer, none.
    std::vector<std::pair<std::string BackupSettings::*, std::string>> values;
    for (const std::string& dir : Lines{"backup\\", "Trail\\arch\\", "Trail\\", ".\\arch\\", "..\\arch\\",
                                        "arch\\", target.substr(2), "\\", "\\\\nosuchserver\\share\\", ""})
        values.emplace_back(&BackupSettings::TargetDir, dir);
    // Computer names with separators or wildcards, or that name no folder of their own.
    for (const char* id : {"a\\b", "..\\Other", "Other\\..", "x/y", "/", "c:", "C:\\", "*", "Oth?r", "a\"b",
                           "<a>", "a|b", "a\tb", "..", ".", ""})
        values.emplace_back(&BackupSettings::IdentifComp, id);
    const BackupSettings good = settings;
    for (const auto& [field, value] : values) {
        settings = good;
        settings.*field = value;
        Run();
        // Refused: nothing on screen, no schedule, and not one entry changed anywhere.
        SCOPED_TRACE((field == &BackupSettings::TargetDir ? "TargetDir " : "IdentifComp ") + value);
        EXPECT_TRUE(display.calls.empty());
        EXPECT_EQ(schedule.calls, 0);
        EXPECT_EQ(Ground(), before);
        EXPECT_EQ(NamesIn("T:\\"), driveBefore);
    }
}

TEST_F(HostileValues, BackupFolderThroughDotDotMirrorsIntoTheFolderItNames) {
    settings.TargetDir = target + "elsewhere\\..\\";
    Run();
    ExpectMirrored();
    EXPECT_FALSE(IsFolder(target + "elsewhere"));
    ExpectOnlyMirrorChanged();
    // The next pass finds everything in place.
    Run();
    EXPECT_EQ(Block(), Framed({}));
    ExpectOnlyMirrorChanged();
}

// ---- Paths through ".." ----

TEST_F(HostileValues, SourceThroughDotDotStaysMirroredOverPasses) {
    struct Case {
        Lines dirs, files, mirrored;
    };
    for (const Case& c : {Case{{src + "elsewhere\\..\\"}, {}, {"a.txt", "Подпапка\\b.txt"}},
                          Case{{}, {src + "elsewhere\\..\\a.txt"}, {"a.txt"}}}) {
        settings.SourceDirs = c.dirs;
        settings.SourceFiles = c.files;
        for (int pass = 1; pass <= 3; ++pass) {
            SCOPED_TRACE((c.dirs.empty() ? c.files[0] : c.dirs[0]) + ", pass " + std::to_string(pass));
            Run();
            ExpectMirrored(c.mirrored);
            EXPECT_EQ(WithPrefix(Body(), "Delete"), Lines{});
            if (pass > 1) {
                EXPECT_EQ(WithPrefix(Body(), "New"), Lines{});
            }
            ExpectOnlyMirrorChanged();
        }
        RemoveTree(root);
    }
}

TEST_F(HostileValues, SourceClimbingAboveTheDriveRootNeverWritesOutsideTheMirror) {
    // Mapped as written, "S:\..\..\<test>\" would give mirror paths that climb two levels out of
    // the mirror folder T:\<test>\Test\, into T:\<test>\ itself.
    settings.SourceDirs = {"S:\\..\\..\\" + MirrorRel(src)};
    settings.SourceFiles = {"S:\\..\\..\\" + MirrorRel(src) + "a.txt"};
    Run();
    Run();
    ExpectMirrored();
    ExpectOnlyMirrorChanged();
}

// ---- This computer's name ----

TEST_F(HostileValues, ComputerNameTheFileSystemWouldShortenNeverReachesAnotherMirror) {
    // The platform drops blanks and full stops at the end of a name: "Other." and "Other " name the
    // other computer's folder, and "..." or " " the backup folder itself.
    for (const char* id : {"Other.", "Other ", "Other. .", "...", " ", ". ", " .", "...."}) {
        SCOPED_TRACE(std::string("IdentifComp \"") + id + "\"");
        settings.IdentifComp = id;
        Run();
        for (const auto& [file, content] : kOthers)
            EXPECT_EQ(ReadFile(target + file), content) << file;
        const TreeSnapshot after = Ground();
        EXPECT_EQ(Outside(after, target), Outside(before, target));
        for (const auto& [path, entry] : Outside(before, root))
            EXPECT_EQ(after.count(path), 1u) << path << " was deleted";
    }
}

// ---- Sources that contain the mirror folder ----

TEST_F(HostileValues, SourceContainingTheMirrorInAnotherFormIsNotMirroredIntoItself) {
    char shortTarget[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameA(target.c_str(), shortTarget, MAX_PATH), 0u);
    std::string upper = target;
    for (char& c : upper)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    // The same folder typed as the user might: another letter case, the short name (mirrored
    // under that spelling), through "..", without the final separator.
    const std::vector<std::pair<std::string, std::string>> spellings = {
        {upper, target},
        {shortTarget, shortTarget},
        {target + "Other\\..\\", target},
        {target.substr(0, target.size() - 1), target}};
    for (const auto& [source, spelled] : spellings) {
        SCOPED_TRACE("source " + source);
        settings.SourceDirs = {source};
        Run();
        Run();
        // Everything of the source is mirrored once, the mirror folder itself not at all.
        const std::string mirrored = root + MirrorRel(spelled);
        for (const auto& [file, content] : kOthers)
            EXPECT_EQ(ReadFile(mirrored + file), content) << file;
        EXPECT_FALSE(IsFolder(mirrored + "Test")) << "the mirror was mirrored into itself";
        EXPECT_EQ(WithPrefix(Body(), "New"), Lines{}) << "the second pass changed the mirror";
        EXPECT_EQ(WithPrefix(Body(), "Delete"), Lines{}) << "the second pass changed the mirror";
        ExpectOnlyMirrorChanged();
        RemoveTree(root);
    }
}

TEST_F(HostileValues, DriveRootAsSourceWithTheMirrorOnTheSameDriveTerminates) {
    // The whole of T: is mirrored, the backup folder among it: the mirror must not contain itself.
    settings.SourceDirs = {"T:\\"};
    Run();
    EXPECT_EQ(ReadFile(Mirror(target + "Other\\keep.txt")), "another computer's mirror");
    EXPECT_FALSE(IsFolder(Mirror(target + "Test")));
    // What other tests left on T: can make this journal large enough to be moved aside: then the
    // day's archive grows by it, its earlier text kept at its start.
    const std::string archive = target + "261206.Test";
    EXPECT_EQ(ReadFile(archive).rfind("an archived journal", 0), 0u);
    TreeSnapshot after = Outside(Ground(), root), expected = Outside(before, root);
    after.erase(archive);
    expected.erase(archive);
    EXPECT_EQ(after, expected);
    EXPECT_EQ(NamesIn("T:\\"), driveBefore);
}

} // namespace
