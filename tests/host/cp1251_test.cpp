// Code page 1251 and the journal's form of the characters it cannot hold.
#include <gtest/gtest.h>

#include "runtime/cp1251.h"

using namespace vestrand;

TEST(Cp1251, EveryByteComesBackAndTheJournalKeepsTheNamesTheCodePageHolds) {
    for (int b = 0x20; b < 0x100; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::wstring wide = WidenCp1251(byte);
        ASSERT_EQ(wide.size(), 1u);
        unsigned char back = 0;
        ASSERT_TRUE(Cp1251Byte(wide[0], back)) << b;
        EXPECT_EQ(back, b);
        EXPECT_EQ(JournalText(wide), byte) << b;
    }
    EXPECT_EQ(WidenCp1251("\xC0\xFF\xA8\xB8\xB9\xAD"), L"\u0410\u044F\u0401\u0451\u2116\u00AD");
}

TEST(Cp1251, WhatTheCodePageCannotHoldIsWrittenAsItsCodePoint) {
    EXPECT_EQ(JournalText(L"M\u00FCller.txt"), "M<U+00FC>ller.txt");
    EXPECT_EQ(JournalText(L"e\u0301.txt"), "e<U+0301>.txt"); // decomposed: the combining mark alone
    EXPECT_EQ(JournalText(L"\u65E5\u672C.txt"), "<U+65E5><U+672C>.txt");
    EXPECT_EQ(JournalText(L"stra\u00DFe"), "stra<U+00DF>e");
    // Beyond the basic plane: one code point from its two surrogates.
    EXPECT_EQ(JournalText(L"photo \xD83D\xDE00.txt"), "photo <U+1F600>.txt");
    // A surrogate without its partner is written as it is, never dropped.
    EXPECT_EQ(JournalText(std::wstring(L"a") + static_cast<wchar_t>(0xD83D) + L"b"), "a<U+D83D>b");
    // No name can break or forge a journal line.
    EXPECT_EQ(JournalText(L"evil\nDelete fake"), "evil<U+000A>Delete fake");
    EXPECT_EQ(JournalText(L"a\rb\tc"), "a<U+000D>b<U+0009>c");
}

// A journal's path reads back as the name it was written from; what JournalText cannot have
// written stays text.
TEST(Cp1251, JournalTextReadsBackAsTheNameItWasWrittenFrom) {
    const std::wstring names[] = {L"M\u00FCller \u0416.txt", L"\u65E5\u672C",
                                  L"photo \xD83D\xDE00.txt", std::wstring(L"a") + wchar_t(0xD83D) + L"b",
                                  L"evil\nDelete fake",      L"a<b>"};
    for (const auto& name : names)
        EXPECT_EQ(PathOfJournalText(JournalText(name)), name) << JournalText(name);
    for (const char* text : {"<U+12>", "<u+00fc>", "<U+110000>", "<U+0000FC>", "<U+00FC", "<U+>"})
        EXPECT_EQ(PathOfJournalText(text), WidenCp1251(text)) << text;
}
