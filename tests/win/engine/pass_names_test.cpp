// Every name the file system holds and every path length: names outside code page 1251, names the
// locale takes as equal but the file system keeps apart, names the ordinary path rules change or
// refuse, and mirror paths beyond 300 characters; with the journal's "<U+XXXX>" form.
#include <gtest/gtest.h>
#include <windows.h>

#include "engine/backup_pass_win.h"
#include "mirror_fixture.h"
#include "tree_snapshot.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

// In the journal's form. Each pair the locale (or a best-fitting code page) would take as one name
// is here side by side.
const Lines kNames =
    Split("R<U+00E9>sum<U+00E9>.txt|<U+00E9>.txt|e<U+0301>.txt|<U+65E5><U+672C><U+8A9E>.txt|"
          "<U+0395><U+03BB><U+03BB><U+03AC><U+03B4><U+03B1>\\<U+03B1>.txt|photo <U+1F600>.txt|"
          "M<U+00FC>ller.txt|Muller.txt|stra<U+00DF>e.txt|strasse.txt|soft\xADhyphen.txt|"
          "softhyphen.txt|Файл.txt|dot.|blank |CON|aux.txt",
          '|');

struct NamesFixture : MirrorFixture {
    void SetUp() override {
        MirrorFixture::SetUp();
        settings.SourceDirs = {src};
    }
    // Names such as "CON" open a device through an ordinary path: none is left on the test drives
    // for later tests that read whole drives.
    void TearDown() override {
        RemoveTree(src);
        RemoveTree(target);
        MirrorFixture::TearDown();
    }
};

} // namespace

TEST_F(NamesFixture, EveryNameIsMirroredUnderItsOwnNameAndJournaledInTheCodePage) {
    std::map<std::string, std::string> written;
    Lines expected = {New(src + "<U+0395><U+03BB><U+03BB><U+03AC><U+03B4><U+03B1>")}; // the folder
    for (size_t i = 0; i < kNames.size(); ++i) {
        WriteFileW(WidenU(src + kNames[i]), written[kNames[i]] = "content " + std::to_string(i));
        expected.push_back(New(src + kNames[i]));
    }
    SetFileAttributesW(ExtendedPath(src + kNames[3]).c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(ExtendedPath(src + kNames[5]).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_EQ(Contents(SnapshotTree(src, Snap::FilesOnly)), written); // every name a file of its own

    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    // Every file under its own name, with its content, write time and attributes.
    EXPECT_EQ(SnapshotTree(Mirror(src), Snap::FilesOnly), SnapshotTree(src, Snap::FilesOnly));
    EXPECT_EQ(Sorted(Body()), Sorted(expected));

    // Unchanged: nothing to copy, nothing stale, nothing failed.
    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    EXPECT_EQ(Body(), Lines{});

    // One of each look-alike pair changed, the other removed: each is told apart.
    WriteFileW(WidenU(src + kNames[6]), "changed, longer"); // Müller.txt
    DeleteFileW(ExtendedPath(src + kNames[9]).c_str());     // strasse.txt
    DeleteFileW(ExtendedPath(src + kNames[11]).c_str());    // softhyphen.txt
    Run();
    EXPECT_EQ(Sorted(Body()),
              Sorted({Update(src + kNames[6]), Delete(src + kNames[9]), Delete(src + kNames[11])}));
    // Muller.txt, straße.txt and the soft-hyphen name as they were.
    EXPECT_EQ(SnapshotTree(Mirror(src), Snap::FilesOnly), SnapshotTree(src, Snap::FilesOnly));
}

TEST_F(NamesFixture, PathsBeyondTheOrdinaryLimitAreMirroredAndHeld) {
    // The listed folder itself is longer than 260 characters, and its mirror paths pass 300.
    std::string listed = src;
    for (const char c : {'a', 'b', 'c', 'd', 'e'})
        listed += std::string(50, c) + "\\";
    ASSERT_GT(listed.size(), 260u);
    const std::string folder = listed + "deeper\\" + std::string(40, 'f'), file = folder + "\\file.txt";
    WriteFileW(WidenU(file), "deep");
    WriteFileW(WidenU(listed + "top.txt"), "top");
    settings.SourceDirs = {listed};
    settings.KeepVersionsDays = 7;
    ASSERT_GT(Mirror(file).size(), 300u);

    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    EXPECT_EQ(ReadFileW(WidenU(Mirror(file))), "deep");
    const uint64_t deepTime = WriteTimeW(WidenU(file));
    EXPECT_EQ(WriteTimeW(WidenU(Mirror(file))), deepTime);
    EXPECT_EQ(Sorted(Body()),
              Sorted({New(listed + "deeper"), New(folder), New(file), New(listed + "top.txt")}));
    Run();
    EXPECT_EQ(Body(), Lines{});
    // Changed and removed a day later: the earlier copies are held under that pass's stamp.
    WriteFileW(WidenU(file), "deep 2, longer");
    DeleteFileW(ExtendedPath(listed + "top.txt").c_str());
    clock.now = FixedNow() + 1.0;
    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    EXPECT_EQ(Body(), (Lines{Update(file), Delete(listed + "top.txt")}));
    const std::string held = root + "~versions\\2026-12-07 182013\\";
    EXPECT_EQ(ReadFileW(WidenU(held + MirrorRel(file))), "deep");
    EXPECT_EQ(WriteTimeW(WidenU(held + MirrorRel(file))), deepTime);
    EXPECT_EQ(ReadFileW(WidenU(held + MirrorRel(listed) + "top.txt")), "top");
    EXPECT_EQ(ReadFileW(WidenU(Mirror(file))), "deep 2, longer");
    // A single file listed by such a path is mirrored too.
    settings.SourceFiles = {file};
    Run();
    EXPECT_EQ(Body(), Lines{}); // covered by its folder
    settings.SourceDirs.clear();
    Run();
    EXPECT_EQ(ReadFileW(WidenU(Mirror(file))), "deep 2, longer");
}
