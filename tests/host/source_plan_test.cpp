// Which listed sources a pass mirrors, on paths alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

#include "engine/source_plan.h"

using namespace vestrand;

namespace {

using RoleList = std::vector<SourceRole>;

bool SameAscii(const std::wstring& a, const std::wstring& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
    });
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

// The roles of `spots` planned against the mirror folder F:\Arch\Test\, and what those inside it name.
std::pair<RoleList, std::vector<std::wstring>> Planned(std::vector<SourceSpot> spots) {
    PlanSources(spots, L"F:\\Arch\\Test\\", L"F:\\Arch\\Test\\", SameAscii);
    std::pair<RoleList, std::vector<std::wstring>> out;
    for (const auto& s : spots) {
        out.first.push_back(s.role);
        if (s.role == SourceRole::InsideMirror)
            out.second.push_back(s.ownRel);
    }
    return out;
}
RoleList Roles(std::vector<SourceSpot> spots) {
    return Planned(std::move(spots)).first;
}

constexpr auto M = SourceRole::Mirror, C = SourceRole::Covered, I = SourceRole::InsideMirror,
               O = SourceRole::Overlaps, S = SourceRole::Skip;

} // namespace

TEST(SourcePlan, SourcesInsideTheMirrorFolderAreTheirOwnNotAMirrorsAndPrefixesAreNotInside) {
    // The mirror folder itself: everything in it is left alone. An empty entry lists nothing, and
    // nothing can be mapped from a path without a drive.
    EXPECT_EQ(Planned({Folder("F:\\Arch\\Test\\Inside\\"), File("f:\\arch\\test\\keep.txt"),
                       Folder("F:\\Arch\\TestMore\\"), Folder("F:\\Arch\\Test\\"), Folder(""),
                       Spot("data\\", "", true)}),
              (std::pair{RoleList{I, I, M, I, S, SourceRole::Unmappable},
                         std::vector<std::wstring>{L"Inside\\", L"keep.txt", L""}}));
}

TEST(SourcePlan, EachEntryIsMirroredOnceByTheFolderThatCoversIt) {
    // Nested either way round, twice, in other letter case, and a file a listed folder holds.
    EXPECT_EQ(Roles({Folder("S:\\photos\\"), Folder("S:\\photos\\2025\\")}), (RoleList{M, C}));
    EXPECT_EQ(Roles({Folder("S:\\photos\\2025\\"), Folder("S:\\photos\\")}), (RoleList{C, M}));
    EXPECT_EQ(Roles({Folder("S:\\photos\\"), Folder("s:\\PHOTOS\\"), File("S:\\photos\\a.jpg")}),
              (RoleList{M, C, C}));
    EXPECT_EQ(Roles({File("S:\\a.txt"), File("S:\\A.TXT"), File("S:\\a.txt2")}), (RoleList{M, C, M}));
    // A name that merely starts like a listed folder is not inside it.
    EXPECT_EQ(Roles({Folder("S:\\photos\\"), Folder("S:\\photos2\\"), File("S:\\photos.txt")}),
              (RoleList{M, M, M}));
}

TEST(SourcePlan, TheLaterOfTwoDrivesWritingTheSameMirrorPathsIsRefused) {
    EXPECT_EQ(Roles({Folder("C:\\Data\\"), Folder("D:\\Data\\"), Folder("D:\\Data\\Sub\\"),
                     File("E:\\Data\\x.txt")}),
              (RoleList{M, O, O, O}));
    EXPECT_EQ(Roles({Folder("D:\\Data\\Sub\\"), Folder("C:\\Data\\"), Folder("C:\\Other\\")}),
              (RoleList{M, O, M}));
    // A drive root writes straight under the mirror folder: it meets every other drive's paths.
    EXPECT_EQ(Roles({Folder("V:\\"), Folder("S:\\x\\"), File("V:\\y.txt")}), (RoleList{M, O, C}));
    // A file and a folder of one name on two drives would change the entry's kind on every pass.
    EXPECT_EQ(Roles({Folder("C:\\Data\\"), File("D:\\Data")}), (RoleList{M, O}));
    // A covered folder does not refuse anything: only sources that are mirrored count.
    EXPECT_EQ(Roles({Folder("C:\\Data\\Sub\\"), Folder("C:\\Data\\"), Folder("D:\\Data\\Other\\")}),
              (RoleList{C, M, O}));
    EXPECT_EQ(Roles({Folder("C:\\Data\\Sub\\"), Folder("D:\\Data\\"), Folder("D:\\Data\\Other\\")}),
              (RoleList{M, O, M}));
}

TEST(SourcePlan, ASharesPathsAreMirroredUnderTheSharesNameAndMeetDrivePathsThere) {
    // \\nas\D\x and S:\D\x both write D\x; one share written twice covers, another share is apart.
    EXPECT_EQ(Roles({Folder("\\\\nas\\D\\x\\"), Folder("S:\\D\\x\\"), File("S:\\D\\x\\a.txt"),
                     Folder("\\\\NAS\\d\\x\\y\\"), Folder("\\\\nas\\E\\x\\")}),
              (RoleList{M, O, O, C, M}));
    // A share's root writes its name (D), which a share of that name on another server also writes.
    EXPECT_EQ(Roles({Folder("\\\\nas\\D\\x\\"), Folder("\\\\other\\D\\z\\"), Folder("\\\\nas\\D\\")}),
              (RoleList{M, M, O}));
    EXPECT_EQ(Roles({Folder("S:\\"), Folder("\\\\nas\\E\\")}), (RoleList{M, O}));
}
