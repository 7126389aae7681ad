// What the user's exclusion patterns leave out of a listed folder's walk, on paths alone.
#include <gtest/gtest.h>

#include <vector>

#include "engine/exclusions.h"
#include "engine/source_plan.h"

using namespace vestrand;

namespace {

// Upper case of ASCII and of Cyrillic (ё included), as the file system folds them.
const wchar_t* Upper() {
    static const std::vector<wchar_t> table = [] {
        std::vector<wchar_t> t(65536);
        for (unsigned u = 0; u < t.size(); ++u)
            t[u] = static_cast<wchar_t>((u >= 'a' && u <= 'z') || (u >= 0x430 && u <= 0x44F) ? u - 0x20
                                        : u >= 0x450 && u <= 0x45F                           ? u - 0x50
                                                                                             : u);
        return t;
    }();
    return table.data();
}

struct Case {
    const wchar_t* pattern;
    const wchar_t* listed; // the listed folder's long full path
    const wchar_t* rel;    // where the walk found the entry
    const wchar_t* name;
    bool folder, excluded;
};

} // namespace

TEST(Exclusions, PatternsMatchNamesFoldersAndTheLastNamesOfThePath) {
    const Case cases[] = {
        // A name at any depth, letter case ignored; files and folders alike.
        {L"Thumbs.db", L"C:\\Users\\", L"me\\Pics\\", L"THUMBS.DB", false, true},
        {L"Thumbs.db", L"C:\\Users\\", L"", L"thumbs.db", true, true},
        {L"Thumbs.db", L"C:\\Users\\", L"", L"Thumbs.db2", false, false},
        {L"Отчёт*", L"D:\\", L"", L"ОТЧЁТ 2024.xls", false, true},
        // "*" any run within a name ("**" the same), "?" one character (a surrogate pair is one).
        {L"*.tmp", L"C:\\", L"a\\", L"x.TMP", false, true},
        {L"*.tmp", L"C:\\", L"a\\", L".tmp", false, true},
        {L"*.tmp", L"C:\\", L"a\\", L"x.tmp.txt", false, false},
        {L"**.log", L"C:\\", L"", L"a.b.log", false, true},
        {L"~$*", L"C:\\", L"Docs\\", L"~$report.docx", false, true},
        {L"~$*", L"C:\\", L"Docs\\", L"report~$", false, false},
        {L"?.txt", L"C:\\", L"", L"a.txt", false, true},
        {L"?.txt", L"C:\\", L"", L"ab.txt", false, false},
        {L"?.txt", L"C:\\", L"", L"\xD83D\xDE00.txt", false, true},
        // A lone surrogate half is one character of its own, never half of a pair.
        {L"?\xDE00", L"C:\\", L"", L"\xDE00\xDE00", false, true},
        {L"\xD83D*", L"C:\\", L"", L"\xD83D\xDE00", false, false},
        {L"*\xD83D*\xDE00", L"C:\\", L"", L"\xD83D\xD83D\xDE00", false, false},
        {L"a*b?c", L"C:\\", L"", L"a-b-b-bxc", false, true},
        {L"*.*", L"C:\\", L"", L"readme", false, false},
        {L"*.*", L"C:\\", L"", L".profile", false, true},
        {L"foo.", L"C:\\", L"", L"foo", false, false}, // a trailing "." is literal
        {L"foo.", L"C:\\", L"", L"foo.", false, true},
        // A trailing "\" (or "/") for folders only; blanks around a pattern dropped.
        {L" Temp\\ ", L"C:\\", L"x\\", L"temp", true, true},
        {L"Temp/", L"C:\\", L"x\\", L"Temp", false, false},
        // The last names of the path, whole names only, through the listed folder's own names.
        {L"AppData\\Local\\Temp\\", L"C:\\Users\\", L"me\\AppData\\Local\\", L"Temp", true, true},
        {L"AppData\\Local\\Temp\\", L"C:\\Users\\", L"me\\AppData\\Local\\", L"Temp2", true, false},
        {L"AppData\\Local\\Temp\\", L"C:\\Users\\", L"me\\XAppData\\Local\\", L"Temp", true, false},
        {L"AppData/Local/Temp/", L"C:\\Users\\me\\AppData\\", L"Local\\", L"Temp", true, true},
        {L"Local\\*.db", L"C:\\", L"u\\local\\", L"x.db", false, true},
        // A leading "\": from the top of each listed folder.
        {L"\\Build\\", L"D:\\Proj\\", L"", L"build", true, true},
        {L"\\Build\\", L"D:\\Proj\\", L"sub\\", L"Build", true, false},
        {L"\\sub\\*.o", L"D:\\Proj\\", L"sub\\", L"x.o", false, true},
        {L"\\sub\\*.o", L"D:\\Proj\\", L"a\\sub\\", L"x.o", false, false},
        // A drive: the whole long path from there.
        {L"D:\\Photos\\Private\\", L"D:\\", L"Photos\\", L"private", true, true},
        {L"d:/photos/private/", L"D:\\Photos\\", L"", L"Private", true, true},
        {L"D:\\Photos\\Private\\", L"E:\\", L"Photos\\", L"Private", true, false},
        {L"D:\\Photos\\Private\\", L"D:\\x\\", L"Photos\\", L"Private", true, false},
        {L"D:Photos\\", L"D:\\", L"", L"Photos", true, true},
        // What never means "everything": empty, separators only, a drive alone.
        {L"", L"C:\\", L"", L"a", false, false},
        {L"  ", L"C:\\", L"", L"a", false, false},
        {L"\\", L"C:\\", L"", L"a", true, false},
        {L"//", L"C:\\", L"", L"a", true, false},
        {L"D:", L"D:\\", L"", L"a", true, false},
        {L"D:\\", L"D:\\", L"", L"a", true, false},
    };
    for (const Case& c : cases) {
        const Exclusions rules({c.pattern}, Upper());
        EXPECT_EQ(rules.Excludes(c.listed, c.rel, c.name, c.folder), c.excluded)
            << "pattern '" << testing::PrintToString(std::wstring(c.pattern)) << "', "
            << testing::PrintToString(std::wstring(c.listed) + c.rel + c.name);
    }
    // Several patterns at once: each still holds (literal names share one lookup).
    const Exclusions rules({L"pagefile.sys", L"Temp\\", L"temp", L"*.bak", L"\\Out\\"}, Upper());
    EXPECT_TRUE(rules.Excludes(L"C:\\", L"", L"PAGEFILE.SYS", false));
    EXPECT_TRUE(rules.Excludes(L"C:\\", L"a\\", L"Temp", false)); // "temp" takes files too
    EXPECT_TRUE(rules.Excludes(L"C:\\", L"a\\", L"x.bak", false));
    EXPECT_TRUE(rules.Excludes(L"C:\\", L"", L"out", true));
    EXPECT_FALSE(rules.Excludes(L"C:\\", L"a\\", L"out", true));
    EXPECT_FALSE(Exclusions({L"", L"\\", L"C:"}, Upper()).Excludes(L"C:\\", L"", L"x", false));
}

TEST(Exclusions, AListedSourceInsideAnExcludedFolderIsMirroredOnItsOwn) {
    auto spot = [](const wchar_t* path, bool folder) {
        SourceSpot s;
        s.written = "x";
        s.form = s.longForm = path;
        s.folder = folder;
        return s;
    };
    std::vector<SourceSpot> spots{
        spot(L"C:\\Users\\me\\Temp\\Keep\\", true),    // inside the excluded Temp: its own
        spot(L"C:\\Users\\", true),                    // covers the folders inside it ...
        spot(L"C:\\Users\\me\\Docs\\", true),          // ... that its walk reaches
        spot(L"C:\\Users\\me\\Temp\\", true),          // excluded itself
        spot(L"C:\\Users\\me\\Temp\\list.txt", false), // a listed file in it
        spot(L"C:\\Users\\me\\Docs\\a.txt", false),
        spot(L"C:\\Users\\me\\~$open.docx", false), // a listed file the pattern names
    };
    const Exclusions rules({L"Temp\\", L"~$*"}, Upper());
    PlanSources(
        spots, L"F:\\Arch\\PC\\", L"F:\\Arch\\PC\\",
        [](const std::wstring& a, const std::wstring& b) { return a == b; }, &rules);
    std::vector<SourceRole> roles;
    for (const auto& s : spots)
        roles.push_back(s.role);
    constexpr auto M = SourceRole::Mirror, C = SourceRole::Covered;
    // "Keep" is covered by the listed Temp folder, which is mirrored on its own.
    EXPECT_EQ(roles, (std::vector<SourceRole>{C, M, C, M, C, C, M}));
}
