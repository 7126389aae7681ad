// Which listed sources a pass mirrors, on paths alone.
#include <gtest/gtest.h>

#include <cwctype>

#include "engine/source_plan.h"

using namespace vestrand;

namespace {

bool SameAscii(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
            return false;
    return true;
}

SourceSpot Spot(const std::string& written, const std::string& form, bool folder) {
    SourceSpot spot;
    spot.written = written;
    spot.form = spot.longForm = std::wstring(form.begin(), form.end());
    spot.folder = folder;
    return spot;
}
SourceSpot Folder(const std::string& path) {
    return Spot(path, path, true);
}
SourceSpot File(const std::string& path) {
    return Spot(path, path, false);
}

std::vector<SourceRole> Roles(std::vector<SourceSpot> spots) {
    PlanSources(spots, L"F:\\Arch\\Test\\", L"F:\\Arch\\Test\\", SameAscii);
    std::vector<SourceRole> out;
    for (const auto& s : spots)
        out.push_back(s.role);
    return out;
}

constexpr auto M = SourceRole::Mirror, C = SourceRole::Covered, I = SourceRole::InsideMirror,
               O = SourceRole::Overlaps, S = SourceRole::Skip;

} // namespace

TEST(SourcePlan, SourcesInsideTheMirrorFolderAreTheirOwnNotAMirrorsAndPrefixesAreNotInside) {
    std::vector<SourceSpot> spots = {Folder("F:\\Arch\\Test\\Inside\\"),
                                     File("f:\\arch\\test\\keep.txt"),
                                     Folder("F:\\Arch\\TestMore\\"),
                                     Folder("F:\\Arch\\Test\\"),
                                     Folder(""),
                                     Spot("data\\", "", true)};
    PlanSources(spots, L"F:\\Arch\\Test\\", L"F:\\Arch\\Test\\", SameAscii);
    EXPECT_EQ(spots[0].role, I);
    EXPECT_EQ(spots[0].ownRel, L"Inside\\");
    EXPECT_EQ(spots[1].role, I);
    EXPECT_EQ(spots[1].ownRel, L"keep.txt");
    EXPECT_EQ(spots[2].role, M);
    EXPECT_EQ(spots[3].role, I); // the mirror folder itself: everything in it is left alone
    EXPECT_EQ(spots[3].ownRel, L"");
    EXPECT_EQ(spots[4].role, S);                        // an empty entry lists nothing
    EXPECT_EQ(spots[5].role, SourceRole::NotDriveForm); // nothing can be mapped from it
}

TEST(SourcePlan, EachEntryIsMirroredOnceByTheFolderThatCoversIt) {
    // Nested either way round, twice, in other letter case, and a file a listed folder holds.
    EXPECT_EQ(Roles({Folder("S:\\photos\\"), Folder("S:\\photos\\2025\\")}), (std::vector<SourceRole>{M, C}));
    EXPECT_EQ(Roles({Folder("S:\\photos\\2025\\"), Folder("S:\\photos\\")}), (std::vector<SourceRole>{C, M}));
    EXPECT_EQ(Roles({Folder("S:\\photos\\"), Folder("s:\\PHOTOS\\"), File("S:\\photos\\a.jpg")}),
              (std::vector<SourceRole>{M, C, C}));
    EXPECT_EQ(Roles({File("S:\\a.txt"), File("S:\\A.TXT"), File("S:\\a.txt2")}),
              (std::vector<SourceRole>{M, C, M}));
    // A name that merely starts like a listed folder is not inside it.
    EXPECT_EQ(Roles({Folder("S:\\photos\\"), Folder("S:\\photos2\\"), File("S:\\photos.txt")}),
              (std::vector<SourceRole>{M, M, M}));
}

TEST(SourcePlan, TheLaterOfTwoDrivesWritingTheSameMirrorPathsIsRefused) {
    EXPECT_EQ(Roles({Folder("C:\\Data\\"), Folder("D:\\Data\\"), Folder("D:\\Data\\Sub\\"),
                     File("E:\\Data\\x.txt")}),
              (std::vector<SourceRole>{M, O, O, O}));
    EXPECT_EQ(Roles({Folder("D:\\Data\\Sub\\"), Folder("C:\\Data\\"), Folder("C:\\Other\\")}),
              (std::vector<SourceRole>{M, O, M}));
    // A drive root writes straight under the mirror folder: it meets every other drive's paths.
    EXPECT_EQ(Roles({Folder("V:\\"), Folder("S:\\x\\"), File("V:\\y.txt")}),
              (std::vector<SourceRole>{M, O, C}));
    // A file and a folder of one name on two drives would change the entry's kind on every pass.
    EXPECT_EQ(Roles({Folder("C:\\Data\\"), File("D:\\Data")}), (std::vector<SourceRole>{M, O}));
    // A covered folder does not refuse anything: only sources that are mirrored count.
    EXPECT_EQ(Roles({Folder("C:\\Data\\Sub\\"), Folder("C:\\Data\\"), Folder("D:\\Data\\Other\\")}),
              (std::vector<SourceRole>{C, M, O}));
    EXPECT_EQ(Roles({Folder("C:\\Data\\Sub\\"), Folder("D:\\Data\\"), Folder("D:\\Data\\Other\\")}),
              (std::vector<SourceRole>{M, O, M}));
}
