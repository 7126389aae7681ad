// Settings values of the wrong form: targets without a drive letter, network and relative paths,
// paths through "..", unsafe computer names, and sources that contain the target.
#include <windows.h>

#include "engine/fileops_win.h"
#include "mirror_fixture.h"
#include "tree_snapshot.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

struct HostileFixture : MirrorFixture {
    std::string cwd, savedCwd;
    void SetUp() override {
        MirrorFixture::SetUp();
        char buf[MAX_PATH * 2] = {};
        GetCurrentDirectoryA(sizeof buf, buf);
        savedCwd = buf;
        // Relative paths resolve against a folder of the test's own.
        cwd = FreshFolder('S', "hostile_cwd");
        RemoveTree("S:\\Arch");
        RemoveTree("S:\\Target");
        SetCurrentDirectoryA(cwd.c_str());
        WriteFile(src + "a.txt", "a");
        settings.SourceDirs = {src};
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedCwd.c_str());
        RemoveTree("S:\\Arch");
        RemoveTree("S:\\Target");
    }
    // The current folder's tree and the names at the root of its drive.
    std::pair<std::map<std::string, std::string>, Lines> AroundCwd() const {
        return {Contents(SnapshotTree(cwd)), NamesIn("S:\\")};
    }
    // A pass that must do nothing: no stage, no schedule, no journal, the backup folder as it
    // was, and nothing created around the current folder.
    void ExpectRefused(const std::string& what) {
        const auto cwdBefore = AroundCwd();
        const auto targetBefore = Contents(SnapshotTree(target));
        display.progress.clear();
        schedule.calls = 0;
        Run();
        EXPECT_EQ(display.progress, std::vector<int32_t>{}) << what << ": a stage ran";
        EXPECT_EQ(schedule.calls, 0) << what;
        EXPECT_EQ(Contents(SnapshotTree(target)), targetBefore) << what << ": the backup folder changed";
        EXPECT_EQ(AroundCwd(), cwdBefore) << what << ": something was created around the current folder";
    }
};

} // namespace

// A TargetDir without a drive letter or a share (a share written with "/" or as an extended-length
// path included), or on a share that does not answer, is refused before step 1 creates anything
// on the current drive or in the current folder, also a relative one whose folder exists there
// (it would have its free space measured on the drive named by its first letter).
TEST_F(HostileFixture, TargetWithoutDriveLetterOrOnTheNetworkIsRefused) {
    for (const char* bad : {"\\\\server\\share\\", "//server/share/", "\\\\?\\UNC\\server\\share\\",
                            "Target\\", "..\\Target\\", "\\Arch\\", ""}) {
        settings.TargetDir = bad;
        ExpectRefused(std::string("TargetDir \"") + bad + "\"");
    }
    MakeFolder(cwd + "Target");
    settings.TargetDir = "Target\\";
    ExpectRefused("TargetDir \"Target\\\" with the folder present");
    EXPECT_FALSE(IsFile(cwd + "Target\\Test\\journal.txt"));
    EXPECT_FALSE(IsFolder("S:\\Arch"));
    EXPECT_FALSE(IsFolder("S:\\Target"));
    EXPECT_FALSE(IsFolder(cwd + "Test"));
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
    EXPECT_EQ(Block(), Framed({}));
}

// ---- A source that contains the target, written in another form ----

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
    EXPECT_EQ(ReadFile(Mirror(outer + "data.txt")), "d");
    EXPECT_FALSE(IsFolder(Mirror(upper + "Архив\\Test")));
    EXPECT_EQ(WithPrefix(Body(), "New    "), Lines{});
    RemoveTree(outer);
}

// T:\box\x\..\ inside the source T:\box\: the mirror folder is recognised by its full form, so the
// pass does not mirror its own mirror; step 1 creates only the folders the path names (no "x").
TEST_F(HostileFixture, SourceContainingTheTargetThroughDotDotIsNotMirroredIntoItself) {
    const std::string box = FreshFolder('T', "box_dotdot");
    WriteFile(box + "data.txt", "d");
    settings.TargetDir = box + "x\\..\\";
    settings.SourceDirs = {box};
    Run();
    EXPECT_EQ(ReadFile(box + "Test\\box_dotdot\\data.txt"), "d");
    EXPECT_FALSE(IsFolder(box + "Test\\box_dotdot\\Test")) << "the mirror holds a copy of itself";
    EXPECT_FALSE(IsFolder(box + "x")) << "step 1 created a folder the path only passes through";
    RemoveTree(box);
}

// A source written with its short (8.3) name contains the target written with the long name: both
// are compared in their long full form. The source's entries are still mapped by the name as written.
TEST_F(HostileFixture, SourceContainingTheTargetByItsShortNameIsNotMirroredIntoItself) {
    const std::string outer = FreshFolder('T', "Длинное имя папки");
    char shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(outer.c_str(), shortName, MAX_PATH), 0u);
    settings.TargetDir = outer;
    settings.SourceDirs = {shortName};
    WriteFile(outer + "data.txt", "d");
    root = outer + "Test\\";
    Run();
    EXPECT_EQ(ReadFile(Mirror(std::string(shortName) + "data.txt")), "d");
    EXPECT_FALSE(IsFolder(Mirror(std::string(shortName) + "Test"))) << "the mirror holds a copy of itself";
    RemoveTree(outer);
}

// ---- Sources written in other forms ----

// A source folder or file written with ".." or with "/" separators is mapped by its full form,
// so its mirror is found again by the next pass and neither copied nor deleted again.
TEST_F(HostileFixture, SourceThroughDotDotOrSlashesKeepsItsMirror) {
    const Lines files = {"y\\f.txt", "z\\f.txt", "z\\g.txt"};
    for (const auto& rel : files)
        WriteFile(src + rel, rel);
    MakeFolder(src + "x");
    settings.SourceDirs = {src + "x\\..\\y\\"};
    settings.SourceFiles = {src + "x\\..\\z\\f.txt", src + "z/g.txt"};
    for (int pass = 0; pass < 3; ++pass) {
        Run();
        for (const auto& rel : files)
            EXPECT_EQ(ReadFile(Mirror(src + rel)), rel) << "pass " << pass;
        const Lines body = Body();
        EXPECT_EQ(WithPrefix(body, "Delete "), Lines{}) << "pass " << pass;
        EXPECT_EQ(WithPrefix(body, "New    ").size(), pass == 0 ? 3u : 0u) << "pass " << pass;
    }
    EXPECT_FALSE(IsFolder(Mirror(src + "x"))) << "the path's \"x\\..\" was mirrored";
}

// A source folder or file without a drive letter ("data\") would be searched relative to the
// current folder and mapped by dropping three characters of "data\f.txt": it is skipped, and
// said so.
TEST_F(HostileFixture, SourceWithoutDriveLetterIsRefused) {
    WriteFile(cwd + "data\\f.txt", "relative");
    settings.SourceDirs = {"data\\"};
    settings.SourceFiles = {"data\\f.txt"};
    Run();
    for (const auto& [rel, entry] : SnapshotTree(root, Snap::FilesOnly))
        EXPECT_TRUE(rel == "journal.txt" || rel == kPassLockName || rel == kOwnerName)
            << rel << ": something of the source was mirrored";
    EXPECT_EQ(Body(), (Lines{FailedLine("data\\"), FailedLine("data\\f.txt")}));
}

// "T:" alone stays a valid TargetDir: the backup folder is "T:Test\", the computer's folder in
// the drive's current folder, as written. The pass runs there and finds its mirror again.
TEST_F(HostileFixture, DriveLetterAloneAsTargetMirrorsIntoTheDrivesCurrentFolder) {
    const std::string here = FreshFolder('T', "drive_current");
    ASSERT_TRUE(SetCurrentDirectoryA(here.c_str())); // T:'s current folder
    settings.TargetDir = "T:";
    root = here + "Test\\";
    Run();
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a");
    EXPECT_EQ(Body(), Lines{NewLine("T:Test\\" + MirrorRel(src) + "a.txt")});
    Run();
    EXPECT_EQ(Block(), Framed({}));
    SetCurrentDirectoryA(cwd.c_str());
    RemoveTree(here);
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
    RemoveTree(outer);
}
