// The order and the equality of the backup index, checked against the locale's comparison
// (CompareStringA, user default locale, ignoring case) on names with Cyrillic and Latin letters
// in both cases, digits, blanks, '-', '\'', '_', '.' and "\" separators; and the agreement of the
// locale's sort keys with that comparison.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <set>

#include "engine/backup_index_win.h"
#include "journal_kit.h"
#include "random.h"
#include "runtime/cp1251.h"

using namespace vestrand;
using vestrand::test::Split;

namespace {

// The reference: -1, 0 or 1.
int Compare(const std::string& a, const std::string& b) {
    const int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                                 b.data(), static_cast<int>(b.size()));
    EXPECT_NE(r, 0) << "CompareStringA failed";
    return r - CSTR_EQUAL;
}

std::string SortKey(const std::string& s) {
    const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
    const int n = LCMapStringA(LOCALE_USER_DEFAULT, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::string key(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        LCMapStringA(LOCALE_USER_DEFAULT, flags, s.data(), static_cast<int>(s.size()), key.data(), n);
    return key;
}

int KeyCompare(const std::string& a, const std::string& b) {
    const int r = SortKey(a).compare(SortKey(b)); // bytes compared as unsigned
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

std::string Cased(std::string s, bool upper) {
    (upper ? CharUpperBuffA : CharLowerBuffA)(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

// Names as the mirror holds them: one to three components joined by "\", with case variants of
// some of them and a set of names that differ only in punctuation.
std::vector<std::string> Corpus(size_t count, uint64_t seed) {
    std::string letters = "abcdexyzABCDEXYZ0123456789 -'_.";
    for (int c = 0xC0; c <= 0xFF; ++c) // А..я
        letters += static_cast<char>(c);
    letters += "\xA8\xB8"; // Ё ё
    test::Random random(seed);
    std::vector<std::string> names =
        Split("ab|a\255b|a-b|a'b|a_b|a.b|a b|a\\b|AB|Ab|a--b|a-|-a|Data|Data\\Sub|Data\\Sub\\a.txt|"
              "Data-Sub|Data.Sub|Data_Sub|DataSub|data\\sub|DATA\\SUB\\A.TXT|Ёлка|ёлка|Елка|елка|"
              "файл.txt|ФАЙЛ.TXT|Файл 1|Файл-1|Файл_1|Файл'1|файл1|10|9|0|Z|я|Я|z\\я|Я\\z",
              '|');
    while (names.size() < count) {
        std::string name;
        const size_t parts = 1 + random.Below(3);
        for (size_t p = 0; p < parts; ++p) {
            if (p)
                name += '\\';
            const size_t len = 1 + random.Below(8);
            for (size_t i = 0; i < len; ++i)
                name += letters[random.Below(letters.size())];
        }
        names.push_back(name);
        const uint32_t variant = random.Below(6);
        if (variant < 2)
            names.push_back(Cased(name, variant == 0));
    }
    return names;
}

std::wstring W(const std::string& ansi) {
    return WidenCp1251(ansi);
}

} // namespace

TEST(IndexOrder, OrderFollowsTheLocaleAndEqualityTheFileSystem) {
    auto names = Corpus(1500, 20261206);
    std::vector<std::wstring> wide;
    for (const auto& n : names)
        wide.push_back(W(n));
    // Names the locale takes as equal but the file system keeps apart.
    for (const wchar_t* n :
         {L"stra\u00DFe.txt", L"strasse.txt", L"soft\u00ADhyphen", L"softhyphen", L"M\u00FCller.txt",
          L"Muller.txt", L"\u00E9.txt", L"e\u0301.txt", L"\u65E5\u672C.txt", L"photo \xD83D\xDE00.txt"})
        wide.push_back(n);
    BackupIndex index;
    for (size_t i = 0; i < wide.size(); ++i)
        index.Add(wide[i], TFileParam{static_cast<int32_t>(i), 0, 0});
    std::vector<std::pair<std::wstring, TFileParam>> items;
    index.ForEach([&](const std::wstring& rel, const TFileParam& p) { items.emplace_back(rel, p); });

    // Folder by folder: a folder before its content, and the entries of one folder strictly
    // ascending in the index's order; where the locale tells two names apart, in its order
    // (CompareStringA on the code page's names: the journal of such a tree is unchanged).
    std::map<std::wstring, size_t> at, lastIn; // where each path is; the last entry of each folder
    for (size_t i = 0; i < items.size(); ++i)
        at[FileSystemKey(items[i].first)] = i;
    for (size_t i = 0; i < items.size(); ++i) {
        const std::wstring& rel = items[i].first;
        const std::wstring folder = FileSystemKey(rel.substr(0, rel.rfind(L'\\') + 1));
        if (!folder.empty() && at.count(folder.substr(0, folder.size() - 1))) {
            ASSERT_LT(at[folder.substr(0, folder.size() - 1)], i) << i; // a folder before its content
        }
        if (lastIn.count(folder)) {
            const std::wstring& before = items[lastIn[folder]].first;
            ASSERT_EQ(CompareIndexOrder(before, rel), -1) << i;
            ASSERT_LE(
                CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, before.c_str(), -1, rel.c_str(), -1),
                CSTR_EQUAL)
                << i;
        }
        lastIn[folder] = i;
    }
    for (size_t i = 1; i < names.size(); ++i) {
        const int ansi = Compare(names[i - 1], names[i]);
        if (ansi != 0 && !SameFileName(wide[i - 1], wide[i])) {
            EXPECT_EQ(CompareIndexOrder(wide[i - 1], wide[i]), ansi) << names[i - 1] << " / " << names[i];
        }
    }

    // Each group of names the file system takes as one is one item, carrying its last name's
    // parameters; any spelling in other letter case finds it.
    std::set<std::wstring> firsts;
    for (size_t i = 0; i < wide.size(); ++i) {
        size_t first = i, last = i;
        for (size_t j = 0; j < wide.size(); ++j)
            if (SameFileName(wide[i], wide[j])) {
                first = std::min(first, j);
                last = std::max(last, j);
            }
        if (first == i)
            firsts.insert(FileSystemKey(wide[i]));
        const TFileParam* p = index.Find(wide[i]);
        ASSERT_NE(p, nullptr) << i;
        EXPECT_EQ(p->Time, static_cast<int32_t>(last)) << i;
        if (i < names.size()) {
            EXPECT_EQ(index.Find(W(Cased(names[i], true))), p);
            EXPECT_EQ(index.Find(W(Cased(names[i], false))), p);
        }
    }
    EXPECT_EQ(items.size(), firsts.size());
    EXPECT_EQ(index.Count(), firsts.size());
    for (const auto& [a, b] : {std::pair<const wchar_t*, const wchar_t*>{L"STRA\u00DFE.TXT", L"STRASSE.TXT"},
                               {L"soft\u00ADhyphen", L"SOFTHYPHEN"},
                               {L"m\u00DCller.txt", L"muller.TXT"},
                               {L"\u00C9.TXT", L"E\u0301.TXT"}}) {
        // Two entries, each found by its own name in any letter case.
        ASSERT_TRUE(index.Find(a) && index.Find(b));
        EXPECT_NE(index.Find(a), index.Find(b));
    }

    // Names not in the corpus are not found.
    int probed = 0;
    for (const char* name : {"Data\\Sub\\b.txt", "a--", "Ёлки", "ab\\", "Data\\Su", "z\\я\\"}) {
        if (std::none_of(wide.begin(), wide.end(),
                         [&](const std::wstring& n) { return SameFileName(n, W(name)); })) {
            ++probed;
            EXPECT_EQ(index.Find(W(name)), nullptr) << name;
        }
    }
    EXPECT_GE(probed, 4);

    // Removal by any spelling of a name takes exactly that item out.
    const size_t before = index.Count();
    index.Remove(W("ФАЙЛ.txt"));
    EXPECT_EQ(index.Find(W("файл.txt")), nullptr);
    EXPECT_NE(index.Find(W("Файл 1")), nullptr);
    EXPECT_EQ(index.Count(), before - 1);
}

TEST(IndexOrder, RemoveTreeTakesAFolderAndEverythingBelowItWhereverItSorts) {
    // '-' and '\'' weigh apart from letters, so "Data-x" may sort between "Data" and its content.
    BackupIndex index;
    for (const char* rel : {"Data", "Data\\a.txt", "Data-x", "Data'y", "Data\\Sub", "Data\\Sub\\z.txt",
                            "DATA\\b.txt", "Datab", "Dat", "Other\\Data\\c.txt"})
        index.Add(W(rel), TFileParam{});
    index.RemoveTree(L"data");
    std::vector<std::wstring> left;
    index.ForEach([&](const std::wstring& rel, const TFileParam&) { left.push_back(rel); });
    EXPECT_EQ(std::set<std::wstring>(left.begin(), left.end()),
              (std::set<std::wstring>{L"Data-x", L"Data'y", L"Datab", L"Dat", L"Other\\Data\\c.txt"}));
    // A folder's content comes after it, and TakeTree hands it out in that order.
    BackupIndex tree;
    for (const char* rel : {"b\\c\\d.txt", "b", "b\\c", "a.txt", "b\\a.txt"})
        tree.Add(W(rel), TFileParam{});
    std::vector<std::wstring> taken;
    for (const auto& [rel, param] : tree.TakeTree(L"B"))
        taken.push_back(rel);
    EXPECT_EQ(taken, (std::vector<std::wstring>{L"b", L"b\\a.txt", L"b\\c", L"b\\c\\d.txt"}));
    EXPECT_EQ(tree.Count(), 1u);
}

// The file system's upper-case mapping is the one ordinal comparisons ignoring case use.
TEST(IndexOrder, FileSystemUpperAgreesWithCompareStringOrdinal) {
    int disagreements = 0;
    for (unsigned u = 1; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF)
            continue;
        const wchar_t c = static_cast<wchar_t>(u), up = FileSystemUpper(c);
        if (CompareStringOrdinal(&c, 1, &up, 1, TRUE) != CSTR_EQUAL && ++disagreements <= 10)
            ADD_FAILURE() << "unit " << u;
    }
    EXPECT_EQ(disagreements, 0);
    EXPECT_TRUE(SameFileName(L"\u0451\u043B\u043A\u0430", L"\u0401\u041B\u041A\u0410")); // ёлка / ЁЛКА
    EXPECT_FALSE(SameFileName(L"stra\u00DFe", L"strasse"));
    EXPECT_EQ(CompareStringOrdinal(L"stra\u00DFe", -1, L"strasse", -1, TRUE) == CSTR_EQUAL,
              SameFileName(L"stra\u00DFe", L"strasse"));
}

TEST(IndexOrder, SortKeysAgreeWithTheLocaleComparison) {
    // Every pair of single bytes, the soft hyphen (ignored by the comparison) included.
    int disagreements = 0;
    for (int x = 0; x < 256; ++x)
        for (int y = 0; y < 256; ++y) {
            const std::string a(1, static_cast<char>(x)), b(1, static_cast<char>(y));
            if (KeyCompare(a, b) != Compare(a, b) && ++disagreements <= 10)
                ADD_FAILURE() << "bytes " << x << " and " << y;
        }
    EXPECT_EQ(disagreements, 0);
    EXPECT_EQ(Compare("ab", "a\255b"), 0);
    EXPECT_EQ(KeyCompare("ab", "a\255b"), 0);

    // Every pair of the corpus, with case variants that must come out equal.
    const auto names = Corpus(1200, 7);
    std::vector<std::string> keys;
    keys.reserve(names.size());
    for (const auto& n : names) {
        keys.push_back(SortKey(n));
        ASSERT_FALSE(keys.back().empty()) << n;
    }
    disagreements = 0;
    int equalPairs = 0;
    for (size_t i = 0; i < names.size(); ++i)
        for (size_t j = i + 1; j < names.size(); ++j) {
            const int r = keys[i].compare(keys[j]);
            const int byKey = r < 0 ? -1 : r > 0 ? 1 : 0;
            const int byCompare = Compare(names[i], names[j]);
            equalPairs += byCompare == 0;
            if (byKey != byCompare && ++disagreements <= 10)
                ADD_FAILURE() << "\"" << names[i] << "\" and \"" << names[j] << "\": keys " << byKey
                              << ", CompareStringA " << byCompare;
        }
    EXPECT_EQ(disagreements, 0);
    EXPECT_GT(equalPairs, 100); // the corpus does test equality
}
