// The order and the equality of the backup index, checked against the locale's comparison
// (CompareStringA, user default locale, ignoring case) on names with Cyrillic and Latin letters
// in both cases, digits, blanks, '-', '\'', '_', '.' and "\" separators; and the agreement of the
// locale's sort keys with that comparison.
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <set>

#include "engine/backup_index_win.h"

using namespace vestrand;

namespace {

// The reference: -1, 0 or 1.
int Compare(const std::string& a, const std::string& b) {
    const int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                                 static_cast<int>(b.size()));
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
    const int r = SortKey(a).compare(SortKey(b));  // bytes compared as unsigned
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

std::string Upper(std::string s) {
    CharUpperBuffA(s.data(), static_cast<DWORD>(s.size()));
    return s;
}
std::string Lower(std::string s) {
    CharLowerBuffA(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

// Names as the mirror holds them: one to three components joined by "\", with case variants of
// some of them and a set of names that differ only in punctuation.
std::vector<std::string> Corpus(size_t count, unsigned seed) {
    std::string letters = "abcdexyzABCDEXYZ0123456789 -'_.";
    for (int c = 0xC0; c <= 0xFF; ++c)  // А..я
        letters += static_cast<char>(c);
    letters += "\xA8\xB8";  // Ё ё
    std::mt19937 random(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    std::vector<std::string> names = {"ab",        "a\xAD" "b", "a-b",       "a'b",       "a_b",        "a.b",    "a b",
                                      "a\\b",      "AB",        "Ab",        "a--b",       "a-",     "-a",
                                      "Data",      "Data\\Sub", "Data\\Sub\\a.txt",        "Data-Sub", "Data.Sub",
                                      "Data_Sub",  "DataSub",   "data\\sub", "DATA\\SUB\\A.TXT", "Ёлка", "ёлка",
                                      "Елка",      "елка",      "файл.txt",  "ФАЙЛ.TXT",   "Файл 1", "Файл-1",
                                      "Файл_1",    "Файл'1",    "файл1",     "10",         "9",      "0",
                                      "Z",         "я",         "Я",         "z\\я",       "Я\\z"};
    while (names.size() < count) {
        std::string name;
        const size_t parts = 1 + pick(3);
        for (size_t p = 0; p < parts; ++p) {
            if (p)
                name += '\\';
            const size_t len = 1 + pick(8);
            for (size_t i = 0; i < len; ++i)
                name += letters[pick(letters.size())];
        }
        names.push_back(name);
        switch (pick(6)) {
            case 0:
                names.push_back(Upper(name));
                break;
            case 1:
                names.push_back(Lower(name));
                break;
            default:
                break;
        }
    }
    return names;
}

}  // namespace

TEST(IndexOrder, OrderAndEqualityFollowTheLocaleComparison) {
    const auto names = Corpus(1500, 20261206);
    BackupIndex index;
    for (size_t i = 0; i < names.size(); ++i)
        index.Add(names[i], TFileParam{static_cast<int32_t>(i), 0, 0});
    index.Sort();
    std::vector<std::pair<std::string, TFileParam>> items;
    index.ForEach([&](const std::string& rel, const TFileParam& p) { items.emplace_back(rel, p); });

    // Strictly ascending: sorted, and no two items equal.
    for (size_t i = 1; i < items.size(); ++i)
        ASSERT_EQ(Compare(items[i - 1].first, items[i].first), -1)
            << "\"" << items[i - 1].first << "\" before \"" << items[i].first << "\"";

    // Each group of equal names is one item, spelled as its first name, carrying its last name's
    // parameters.
    std::set<std::string> firsts;
    for (size_t i = 0; i < names.size(); ++i) {
        size_t first = i, last = i;
        for (size_t j = 0; j < names.size(); ++j)
            if (Compare(names[i], names[j]) == 0) {
                first = std::min(first, j);
                last = std::max(last, j);
            }
        if (first == i)
            firsts.insert(names[i]);
        const TFileParam* p = index.Find(names[i]);
        ASSERT_NE(p, nullptr) << names[i];
        EXPECT_EQ(p->Time, static_cast<int32_t>(last)) << names[i];
        const TFileParam* q = index.Find(Upper(names[i]));
        ASSERT_NE(q, nullptr) << Upper(names[i]);
        EXPECT_EQ(q, p);
        EXPECT_EQ(index.Find(Lower(names[i])), p);
    }
    EXPECT_EQ(items.size(), firsts.size());
    EXPECT_EQ(index.Count(), firsts.size());
    for (const auto& item : items)
        EXPECT_EQ(firsts.count(item.first), 1u) << item.first;

    // Names not in the corpus are not found.
    int probed = 0;
    for (const auto& name : {std::string("Data\\Sub\\b.txt"), std::string("a--"), std::string("Ёлки"),
                             std::string("ab\\"), std::string("Data\\Su"), std::string("z\\я\\")}) {
        bool present = false;
        for (const auto& n : names)
            present = present || Compare(n, name) == 0;
        if (present)
            continue;
        ++probed;
        EXPECT_EQ(index.Find(name), nullptr) << name;
    }
    EXPECT_GE(probed, 4);

    // Removal by any spelling of a name takes exactly that item out.
    const size_t before = index.Count();
    index.Remove("ФАЙЛ.txt");
    EXPECT_EQ(index.Find("файл.txt"), nullptr);
    EXPECT_NE(index.Find("Файл 1"), nullptr);
    EXPECT_EQ(index.Count(), before - 1);
}

TEST(IndexOrder, RemoveTreeTakesAFolderAndEverythingBelowItWhereverItSorts) {
    // '-' and '\'' weigh apart from letters, so "Data-x" may sort between "Data" and its content.
    BackupIndex index;
    for (const char* rel : {"Data", "Data\\a.txt", "Data-x", "Data'y", "Data\\Sub", "Data\\Sub\\z.txt", "DATA\\b.txt",
                            "Datab", "Dat", "Other\\Data\\c.txt"})
        index.Add(rel, TFileParam{});
    index.Sort();
    index.RemoveTree("data");
    std::vector<std::string> left;
    index.ForEach([&](const std::string& rel, const TFileParam&) { left.push_back(rel); });
    EXPECT_EQ(std::set<std::string>(left.begin(), left.end()),
              (std::set<std::string>{"Data-x", "Data'y", "Datab", "Dat", "Other\\Data\\c.txt"}));
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
    EXPECT_EQ(Compare("ab", "a\xAD" "b"), 0);
    EXPECT_EQ(KeyCompare("ab", "a\xAD" "b"), 0);

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
    EXPECT_GT(equalPairs, 100);  // the corpus does test equality
}
