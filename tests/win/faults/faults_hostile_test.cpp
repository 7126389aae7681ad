// Settings values of the wrong form: targets without a drive letter, network and relative paths,
// paths through "..", unsafe computer names, and sources that contain the target.
#include <windows.h>

#include "faults_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

// Every folder and file below `root` (relative name, content; folders end in "\").
std::vector<std::pair<std::string, std::string>> Everything(const std::string& root,
                                                            const std::string& rel = "") {
    std::vector<std::pair<std::string, std::string>> out;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((root + rel + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.emplace_back(rel + name + "\\", "");
            for (auto& e : Everything(root, rel + name + "\\"))
                out.push_back(std::move(e));
        } else {
            out.emplace_back(rel + name, ReadFile(root + rel + name));
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}

struct HostileFixture : FaultFixture {
    std::string cwd, savedCwd;
    int stages = 0;
    void SetUp() override {
        FaultFixture::SetUp();
        char buf[MAX_PATH * 2] = {};
        GetCurrentDirectoryA(sizeof buf, buf);
        savedCwd = buf;
        // Relative paths resolve against a folder of the test's own.
        cwd = FreshFolder('S', "hostile_cwd");
        test::RemoveTree("S:\\Arch");
        test::RemoveTree("S:\\Target");
        SetCurrentDirectoryA(cwd.c_str());
        display.onStage = [this](int32_t) { ++stages; };
        WriteFile(src + "a.txt", "a");
        settings.SourceDirs = {src};
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedCwd.c_str());
        test::RemoveTree("S:\\Arch");
        test::RemoveTree("S:\\Target");
    }
    // The current folder's tree and the names at the root of its drive.
    std::vector<std::pair<std::string, std::string>> AroundCwd() {
        auto out = Everything(cwd);
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA("S:\\*", &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do
                out.emplace_back(std::string("S:\\") + fd.cFileName, "");
            while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        return out;
    }
    // A pass that must do nothing: no stage, no schedule, no journal, the backup folder as it
    // was; `strict` also wants nothing created around the current folder.
    void ExpectRefused(const std::string& what, bool strict = false) {
        const auto cwdBefore = AroundCwd(), tBefore = Everything(target);
        stages = 0;
        schedule.calls = 0;
        Run();
        EXPECT_EQ(stages, 0) << what;
        EXPECT_EQ(schedule.calls, 0) << what;
        EXPECT_TRUE(Everything(target) == tBefore) << what << ": the backup folder changed";
        for (const auto& [rel, content] : Everything(cwd)) {
            EXPECT_EQ(rel.find("journal.txt"), std::string::npos)
                << what << ": a journal was written in " << rel;
        }
        if (strict) {
            EXPECT_TRUE(AroundCwd() == cwdBefore)
                << what << ": a folder was created around the current folder";
        }
    }
};

} // namespace

TEST_F(HostileFixture, TargetWithoutDriveLetterOrOnTheNetworkIsRefused) {
    for (const char* bad : {"\\\\server\\share\\", "//server/share/", "\\\\?\\UNC\\server\\share\\",
                            "Target\\", "..\\Target\\", "\\Arch\\", ""}) {
        settings.TargetDir = bad;
        ExpectRefused(std::string("TargetDir \"") + bad + "\"");
    }
}

TEST_F(HostileFixture, UnsafeIdentifCompIsRefusedAndOtherComputersKeepTheirMirrors) {
    WriteFile(target + "Other\\keep.txt", "other computer");
    WriteFile(target + "261206.Other", "an archive");
    for (const char* bad : {"a\\b", "a/b", "..\\Other", "../Other", "Other\\..", "x:y", "C:", "*", "a?b",
                            "a\"b", "<x>", "a|b", "tab\there", "\x01", "", ".", ".."}) {
        settings.IdentifComp = bad;
        ExpectRefused(std::string("IdentifComp \"") + bad + "\"");
    }
}

TEST_F(HostileFixture, OddButAllowedIdentifCompTouchesNoOtherMirror) {
    WriteFile(target + "Other\\keep.txt", "other computer");
    WriteFile(target + "261206.Other", "an archive");
    for (const char* odd : {" ", "...", "Test.", "NUL", "CON", "Ёж ёж"}) {
        settings.IdentifComp = odd;
        Run();
        Run();
        EXPECT_EQ(ReadFile(target + "Other\\keep.txt"), "other computer") << odd;
        EXPECT_EQ(ReadFile(target + "261206.Other"), "an archive") << odd;
    }
}

TEST_F(HostileFixture, TargetThroughDotDotMirrorsIntoTheFolderItNames) {
    settings.TargetDir = target + "x\\..\\";
    Run();
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a");
    Run();
    const auto block = Block();
    EXPECT_EQ(block.size(), 4u); // unchanged: Start, Stop, NextStart, empty line
}

TEST_F(HostileFixture, SourceContainingTheTargetInOtherLetterCaseIsNotMirroredIntoItself) {
    const std::string outer = FreshFolder('T', "Внешняя папка");
    settings.TargetDir = outer + "Архив\\";
    root = settings.TargetDir + "Test\\";
    WriteFile(outer + "data.txt", "d");
    std::string upper = outer;
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    settings.SourceDirs = {upper};
    Run();
    Run();
    EXPECT_EQ(ReadFile(root + outer.substr(3) + "data.txt"), "d");
    EXPECT_FALSE(IsFolder(root + upper.substr(3) + "Архив\\Test"));
    EXPECT_EQ(CountPrefix(Block(), "New    "), 0);
    test::RemoveTree(outer);
}

// ---- Paths the engine does not yet handle soundly. Each test says what fails today. ----

// Fails today: BackupRoot is compared with the source's folders as plain text, so a TargetDir
// written with ".." (T:\box\x\..\) is not recognised inside the source T:\box\, and the pass
// mirrors its own mirror again and again, one level deeper each time, until the path length
// limit stops it. The comparison needs the full path form (GetFullPathNameA) of BackupRoot.
TEST_F(HostileFixture, DISABLED_SourceContainingTheTargetThroughDotDotIsNotMirroredIntoItself) {
    const std::string box = FreshFolder('T', "box_dotdot");
    WriteFile(box + "data.txt", "d");
    settings.TargetDir = box + "x\\..\\";
    settings.SourceDirs = {box};
    Run();
    EXPECT_EQ(ReadFile(box + "Test\\box_dotdot\\data.txt"), "d");
    EXPECT_FALSE(IsFolder(box + "Test\\box_dotdot\\Test")) << "the mirror holds a copy of itself";
    test::RemoveTree(box);
}

// Fails today: a source written with its short (8.3) name is not recognised as containing the
// target written with the long name, and the pass mirrors its own mirror. The comparison needs
// the long full form of both (GetLongPathNameA of GetFullPathNameA, or CanonicalPath).
TEST_F(HostileFixture, DISABLED_SourceContainingTheTargetByItsShortNameIsNotMirroredIntoItself) {
    const std::string outer = FreshFolder('T', "Длинное имя папки");
    char shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(outer.c_str(), shortName, MAX_PATH), 0u);
    settings.TargetDir = outer;
    settings.SourceDirs = {shortName};
    WriteFile(outer + "data.txt", "d");
    root = outer + "Test\\";
    Run();
    const std::string mirrored = root + std::string(shortName).substr(3);
    EXPECT_EQ(ReadFile(mirrored + "data.txt"), "d");
    EXPECT_FALSE(IsFolder(mirrored + "Test")) << "the mirror holds a copy of itself";
    test::RemoveTree(outer);
}

// Fails today: a source folder written with ".." (S:\...\x\..\y\) is mapped to mirror paths
// that contain "..", which the index (built from the mirror's real names) never finds. Every
// pass copies each file as New and then deletes the same mirror file as stale ("Delete ...\y\f"),
// so after every second pass the mirror holds nothing of the source. The source needs its full
// path form (GetFullPathNameA) before mapping, or must be refused.
TEST_F(HostileFixture, DISABLED_SourceThroughDotDotKeepsItsMirror) {
    WriteFile(src + "y\\f.txt", "f");
    MakeFolder(src + "x");
    settings.SourceDirs = {src + "x\\..\\y\\"};
    for (int pass = 0; pass < 3; ++pass) {
        Run();
        EXPECT_EQ(ReadFile(root + src.substr(3) + "y\\f.txt"), "f") << "pass " << pass;
        EXPECT_FALSE(HasLine(Block(), "Delete " + src.substr(3) + "y\\f.txt")) << "pass " << pass;
    }
    EXPECT_EQ(CountPrefix(Block(), "New    "), 0) << "an unchanged source is copied again";
}

// Fails today: a source folder without a drive letter ("data\") is searched relative to the
// current folder, and its entries are mapped by dropping three characters of "data\f.txt", so
// the mirror gets "a\f.txt". Such a source should be refused (skipped, like an empty entry).
TEST_F(HostileFixture, DISABLED_SourceWithoutDriveLetterIsRefused) {
    WriteFile(cwd + "data\\f.txt", "relative");
    settings.SourceDirs = {"data\\"};
    settings.SourceFiles = {"data\\f.txt"};
    Run();
    for (const auto& [rel, content] : FilesBelow(root)) {
        EXPECT_EQ(rel, "journal.txt") << "something of the source was mirrored";
    }
}

// Fails today: a relative TargetDir whose folder exists in the current folder ("Target\") passes
// step 1, and its free space is measured on the drive named by its first letter (T:), so the
// pass runs and writes its mirror and journal into the current folder, guarded by another
// drive's free space. A TargetDir that does not start with a letter, ":" and "\" should be
// refused like an unreachable one.
TEST_F(HostileFixture, DISABLED_RelativeTargetIsRefusedEvenWhenItsFolderExists) {
    MakeFolder(cwd + "Target");
    settings.TargetDir = "Target\\";
    ExpectRefused("TargetDir \"Target\\\" with the folder present", true);
    EXPECT_FALSE(IsFile(cwd + "Target\\Test\\journal.txt"));
}

// Fails today: a TargetDir that starts with "\" but has no drive letter ("\Arch\") is refused at
// step 2 (no free space can be measured), but step 1 has already created \Arch\Test on the
// current drive. The form should be refused before anything is created.
// The same holds for "..\Target\" (S:\Target\Test is created beside the current folder) and
// for an empty TargetDir, refused at step 2 as decided but only after step 1 created "Test" in
// the current folder.
TEST_F(HostileFixture, DISABLED_TargetWithoutDriveLetterCreatesNothing) {
    for (const char* bad : {"\\Arch\\", "..\\Target\\", ""}) {
        settings.TargetDir = bad;
        ExpectRefused(std::string("TargetDir \"") + bad + "\"", true);
    }
    EXPECT_FALSE(IsFolder("S:\\Arch"));
    EXPECT_FALSE(IsFolder("S:\\Target"));
    EXPECT_FALSE(IsFolder(cwd + "Test"));
}
