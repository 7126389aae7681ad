// Every name the file system holds and every path length: names outside code page 1251, names the
// locale takes as equal but the file system keeps apart, names the ordinary path rules change or
// refuse, and mirror paths beyond 300 characters; with the journal's "<U+XXXX>" form.
#include <gtest/gtest.h>
#include <windows.h>

#include "engine/backup_pass_win.h"
#include "engine_helpers.h"
#include "runtime/cp1251.h"
#include "test_drives.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

struct Named {
    std::wstring rel;    // below the source folder
    std::string journal; // the same as the journal writes it
};

// Each pair the locale (or a best-fitting code page) would take as one name is here side by side.
const std::vector<Named> kNames = {
    {L"R\u00E9sum\u00E9.txt", "R<U+00E9>sum<U+00E9>.txt"},
    {L"\u00E9.txt", "<U+00E9>.txt"},
    {L"e\u0301.txt", "e<U+0301>.txt"},
    {L"\u65E5\u672C\u8A9E.txt", "<U+65E5><U+672C><U+8A9E>.txt"},
    {L"\u0395\u03BB\u03BB\u03AC\u03B4\u03B1\\\u03B1.txt",
     "<U+0395><U+03BB><U+03BB><U+03AC><U+03B4><U+03B1>\\<U+03B1>.txt"},
    {L"photo \xD83D\xDE00.txt", "photo <U+1F600>.txt"},
    {L"M\u00FCller.txt", "M<U+00FC>ller.txt"},
    {L"Muller.txt", "Muller.txt"},
    {L"stra\u00DFe.txt", "stra<U+00DF>e.txt"},
    {L"strasse.txt", "strasse.txt"},
    {L"soft\u00ADhyphen.txt", "soft\xADhyphen.txt"},
    {L"softhyphen.txt", "softhyphen.txt"},
    {L"\u0424\u0430\u0439\u043B.txt", "\xD4\xE0\xE9\xEB.txt"},
    {L"dot.", "dot."},
    {L"blank ", "blank "},
    {L"CON", "CON"},
    {L"aux.txt", "aux.txt"},
};

struct NamesFixture : EngineFixture {
    std::wstring wsrc, wroot;
    void SetUp() override {
        EngineFixture::SetUp();
        settings.SourceDirs = {src};
        wsrc = WidenCp1251(src);
        wroot = WidenCp1251(root);
    }
    // Names such as "CON" open a device through an ordinary path: none is left on the test drives
    // for later tests that read whole drives.
    void TearDown() override {
        RemoveTree(src);
        RemoveTree(target);
        EngineFixture::TearDown();
    }
    std::vector<std::string> Middle() const { return test::Middle(Block()); }
    std::wstring MirrorOf(const std::wstring& source) const { return wroot + source.substr(3); }
};

} // namespace

TEST_F(NamesFixture, EveryNameIsMirroredUnderItsOwnNameAndJournaledInTheCodePage) {
    for (size_t i = 0; i < kNames.size(); ++i)
        WriteFileW(wsrc + kNames[i].rel, "content " + std::to_string(i));
    SetFileAttributesW((L"\\\\?\\" + wsrc + kNames[3].rel).c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((L"\\\\?\\" + wsrc + kNames[5].rel).c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    for (const auto& n : kNames)
        ASSERT_EQ(ReadFileW(wsrc + n.rel).substr(0, 8), "content ") << vestrand::JournalText(n.rel);

    const PassResult first = Run();
    EXPECT_EQ(ExitCodeOf(first), kExitClean);
    const std::string mirrorText = root + src.substr(3);
    std::vector<std::string> expected;
    for (size_t i = 0; i < kNames.size(); ++i) {
        const std::wstring from = wsrc + kNames[i].rel, to = MirrorOf(from);
        EXPECT_EQ(ReadFileW(to), "content " + std::to_string(i)) << kNames[i].journal;
        EXPECT_EQ(WriteTimeW(to), WriteTimeW(from)) << kNames[i].journal;
        EXPECT_EQ(AttributesW(to), AttributesW(from)) << kNames[i].journal;
        expected.push_back("New    " + mirrorText + kNames[i].journal);
    }
    expected.push_back("New    " + mirrorText +
                       "<U+0395><U+03BB><U+03BB><U+03AC><U+03B4><U+03B1>"); // the folder
    EXPECT_EQ(Sorted(Middle()), Sorted(expected));

    // Unchanged: nothing to copy, nothing stale, nothing failed.
    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    EXPECT_EQ(Middle(), std::vector<std::string>{});

    // One of each look-alike pair changed, the other removed: each is told apart.
    WriteFileW(wsrc + kNames[6].rel, "changed, longer");       // Müller.txt
    DeleteFileW((L"\\\\?\\" + wsrc + kNames[9].rel).c_str());  // strasse.txt
    DeleteFileW((L"\\\\?\\" + wsrc + kNames[11].rel).c_str()); // softhyphen.txt
    Run();
    EXPECT_EQ(Sorted(Middle()), Sorted({"Update " + mirrorText + kNames[6].journal,
                                        "Delete " + src.substr(3) + kNames[9].journal,
                                        "Delete " + src.substr(3) + kNames[11].journal}));
    EXPECT_EQ(ReadFileW(MirrorOf(wsrc + kNames[6].rel)), "changed, longer");
    EXPECT_EQ(ReadFileW(MirrorOf(wsrc + kNames[7].rel)), "content 7");   // Muller.txt
    EXPECT_EQ(ReadFileW(MirrorOf(wsrc + kNames[8].rel)), "content 8");   // straße.txt
    EXPECT_EQ(ReadFileW(MirrorOf(wsrc + kNames[10].rel)), "content 10"); // the soft-hyphen name
    EXPECT_EQ(AttributesW(MirrorOf(wsrc + kNames[9].rel)), -1);
}

TEST_F(NamesFixture, PathsBeyondTheOrdinaryLimitAreMirrored) {
    // The listed folder itself is longer than 260 characters, and its mirror paths pass 300.
    std::string listed = src;
    for (const char c : {'a', 'b', 'c', 'd', 'e'})
        listed += std::string(50, c) + "\\";
    ASSERT_GT(listed.size(), 260u);
    const std::wstring wlisted = WidenCp1251(listed);
    WriteFileW(wlisted + L"deeper\\" + std::wstring(40, L'f') + L"\\file.txt", "deep");
    WriteFileW(wlisted + L"top.txt", "top");
    settings.SourceDirs = {listed};
    const std::wstring mirrored = MirrorOf(wlisted) + L"deeper\\" + std::wstring(40, L'f') + L"\\file.txt";
    ASSERT_GT(mirrored.size(), 300u);

    EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
    EXPECT_EQ(ReadFileW(mirrored), "deep");
    EXPECT_EQ(WriteTimeW(mirrored),
              WriteTimeW(wlisted + L"deeper\\" + std::wstring(40, L'f') + L"\\file.txt"));
    EXPECT_EQ(Middle().size(), 4u); // deeper, its folder, file.txt, top.txt
    Run();
    EXPECT_EQ(Middle(), std::vector<std::string>{});
    DeleteFileW((L"\\\\?\\" + wlisted + L"top.txt").c_str());
    Run();
    EXPECT_EQ(Middle(), std::vector<std::string>{"Delete " + listed.substr(3) + "top.txt"});
    // A single file listed by such a path is mirrored too.
    settings.SourceFiles = {listed + "deeper\\" + std::string(40, 'f') + "\\file.txt"};
    Run();
    EXPECT_EQ(Middle(), std::vector<std::string>{}); // covered by its folder
    settings.SourceDirs.clear();
    Run();
    EXPECT_EQ(ReadFileW(mirrored), "deep");
}
