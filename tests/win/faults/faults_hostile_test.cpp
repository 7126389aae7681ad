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
        display.onProgress = [this](int32_t) { ++stages; };
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
                            "a\"b", "<x>", "a|b", "tab\there", "\x01", "", ".", "..",
                            // the file system drops blanks and full stops at the end of a name
                            "Other.", "Other ", "Other. .", "...", " ", "Test."}) {
        settings.IdentifComp = bad;
        ExpectRefused(std::string("IdentifComp \"") + bad + "\"");
    }
}

TEST_F(HostileFixture, OddButAllowedIdentifCompTouchesNoOtherMirror) {
    WriteFile(target + "Other\\keep.txt", "other computer");
    WriteFile(target + "261206.Other", "an archive");
    for (const char* odd : {" Other", ".Other", "NUL", "CON", "Ёж ёж"}) {
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

// ---- Paths written in other forms ----

// A TargetDir written with ".." (T:\box\x\..\) inside the source T:\box\: the mirror folder is
// recognised by its full form, so the pass does not mirror its own mirror; step 1 creates only
// the folders the path names (no "x").
TEST_F(HostileFixture, SourceContainingTheTargetThroughDotDotIsNotMirroredIntoItself) {
    const std::string box = FreshFolder('T', "box_dotdot");
    WriteFile(box + "data.txt", "d");
    settings.TargetDir = box + "x\\..\\";
    settings.SourceDirs = {box};
    Run();
    EXPECT_EQ(ReadFile(box + "Test\\box_dotdot\\data.txt"), "d");
    EXPECT_FALSE(IsFolder(box + "Test\\box_dotdot\\Test")) << "the mirror holds a copy of itself";
    EXPECT_FALSE(IsFolder(box + "x")) << "step 1 created a folder the path only passes through";
    test::RemoveTree(box);
}

// A source written with its short (8.3) name contains the target written with the long name: both
// are compared in their long full form, so the mirror is not mirrored. The source's entries are
// still mapped by the name as written.
TEST_F(HostileFixture, SourceContainingTheTargetByItsShortNameIsNotMirroredIntoItself) {
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

// A source folder written with ".." (S:\...\x\..\y\) is mapped by its full form, the folder it
// names, so its mirror is found again by the next pass and neither copied nor deleted again.
TEST_F(HostileFixture, SourceThroughDotDotKeepsItsMirror) {
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

// A source folder or file without a drive letter ("data\") would be searched relative to the
// current folder and mapped by dropping three characters of "data\f.txt": it is skipped, like an
// empty entry.
TEST_F(HostileFixture, SourceWithoutDriveLetterIsRefused) {
    WriteFile(cwd + "data\\f.txt", "relative");
    settings.SourceDirs = {"data\\"};
    settings.SourceFiles = {"data\\f.txt"};
    Run();
    for (const auto& [rel, content] : FilesBelow(root)) {
        EXPECT_TRUE(rel == "journal.txt" || rel == kPassLockName)
            << rel << ": something of the source was mirrored";
    }
    // Refused, and said so.
    const std::string journal = ReadFile(root + "journal.txt");
    EXPECT_NE(journal.find("\r\nFailed data\\\r\nFailed data\\f.txt\r\n"), std::string::npos) << journal;
}

// A relative TargetDir whose folder exists in the current folder ("Target\") would pass step 1 and
// have its free space measured on the drive named by its first letter (T:): it is refused like
// an unreachable one.
TEST_F(HostileFixture, RelativeTargetIsRefusedEvenWhenItsFolderExists) {
    MakeFolder(cwd + "Target");
    settings.TargetDir = "Target\\";
    ExpectRefused("TargetDir \"Target\\\" with the folder present", true);
    EXPECT_FALSE(IsFile(cwd + "Target\\Test\\journal.txt"));
}

// A TargetDir without a drive letter ("\Arch\", "..\Target\", empty) is refused before step 1
// creates anything on the current drive or in the current folder.
TEST_F(HostileFixture, TargetWithoutDriveLetterCreatesNothing) {
    for (const char* bad : {"\\Arch\\", "..\\Target\\", ""}) {
        settings.TargetDir = bad;
        ExpectRefused(std::string("TargetDir \"") + bad + "\"", true);
    }
    EXPECT_FALSE(IsFolder("S:\\Arch"));
    EXPECT_FALSE(IsFolder("S:\\Target"));
    EXPECT_FALSE(IsFolder(cwd + "Test"));
}

// A source file written with ".." or with "/" separators is mapped by the file it names, so the
// next pass finds its mirror copy current.
TEST_F(HostileFixture, SourceFileThroughDotDotOrSlashesKeepsItsMirror) {
    WriteFile(src + "y\\f.txt", "f");
    WriteFile(src + "y\\g.txt", "g");
    MakeFolder(src + "x");
    settings.SourceDirs.clear();
    std::string slashed = src + "y/g.txt";
    settings.SourceFiles = {src + "x\\..\\y\\f.txt", slashed};
    for (int pass = 0; pass < 3; ++pass) {
        Run();
        const auto block = Block();
        EXPECT_EQ(ReadFile(root + src.substr(3) + "y\\f.txt"), "f") << "pass " << pass;
        EXPECT_EQ(ReadFile(root + src.substr(3) + "y\\g.txt"), "g") << "pass " << pass;
        EXPECT_EQ(CountPrefix(block, "Delete "), 0) << "pass " << pass << ::testing::PrintToString(block);
        EXPECT_EQ(CountPrefix(block, "New    "), pass == 0 ? 2 : 0) << "pass " << pass;
    }
    EXPECT_FALSE(IsFolder(root + src.substr(3) + "x")) << "the path's \"x\\..\" was mirrored";
}

// "T:" alone stays a valid TargetDir: the backup folder is "T:Test\", the computer's folder in
// the drive's current folder, as written. The pass runs there and finds its mirror again.
TEST_F(HostileFixture, DriveLetterAloneAsTargetMirrorsIntoTheDrivesCurrentFolder) {
    const std::string here = FreshFolder('T', "drive_current");
    ASSERT_TRUE(SetCurrentDirectoryA(here.c_str())); // T:'s current folder
    settings.TargetDir = "T:";
    Run();
    EXPECT_EQ(ReadFile(here + "Test\\" + src.substr(3) + "a.txt"), "a");
    const auto lines = LastBlock(ReadFile(here + "Test\\journal.txt"));
    EXPECT_TRUE(HasLine(lines, "New    T:Test\\" + src.substr(3) + "a.txt"))
        << ::testing::PrintToString(lines);
    Run();
    EXPECT_EQ(LastBlock(ReadFile(here + "Test\\journal.txt")).size(), 4u);
    SetCurrentDirectoryA(cwd.c_str());
    test::RemoveTree(here);
}

// The two forms the pass works with: the full form maps a source (".." and "/" resolved, short
// names kept), the long full form recognises one folder however it is written.
TEST_F(HostileFixture, FullAndLongFormsOfOneFolderAgree) {
    const std::string outer = FreshFolder('T', "Длинное имя формы");
    ASSERT_TRUE(MakeFolder(outer + "sub"));
    char shortSub[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA((outer + "sub").c_str(), shortSub, MAX_PATH), 0u);
    ASSERT_NE(std::string(shortSub), outer + "sub") << "no short name to test with";
    EXPECT_EQ(FullPath(outer + "x\\..\\sub\\"), outer + "sub\\");
    EXPECT_EQ(FullPath(outer + "sub/./"), outer + "sub\\");
    EXPECT_EQ(FullPath(std::string(shortSub) + "\\"), std::string(shortSub) + "\\");
    EXPECT_EQ(LongFullPath(std::string(shortSub) + "\\..\\sub\\"), outer + "sub\\");
    EXPECT_EQ(LongFullPath(outer + "missing\\..\\absent\\"), outer + "absent\\"); // no such folder
    EXPECT_EQ(FullPath(""), "");
    test::RemoveTree(outer);
}
