#include <gtest/gtest.h>

#include "engine/journal.h"

using namespace vestrand;
using Lines = std::vector<std::string>;

TEST(JournalLines, EveryBreakKindEndsALine) {
    EXPECT_EQ(SplitJournalLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
}

TEST(JournalLines, LfThenCrEndsTwoLinesWithAnEmptyOneBetween) {
    EXPECT_EQ(SplitJournalLines("a\n\rb"), (Lines{"a", "", "b"}));
}

TEST(JournalLines, FinalBreakAddsNoEmptyLineAndAnUnendedLineCounts) {
    EXPECT_EQ(SplitJournalLines("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(SplitJournalLines("a\r\n\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(SplitJournalLines("last"), (Lines{"last"}));
    EXPECT_TRUE(SplitJournalLines("").empty());
}

TEST(JournalLines, NulBytesStayInTheirLines) {
    const std::string text("a\0b\r\nc\0\r\n\0", 10);
    const Lines lines = SplitJournalLines(text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::string("a\0b", 3));
    EXPECT_EQ(lines[1], std::string("c\0", 2));
    EXPECT_EQ(lines[2], std::string("\0", 1));
    EXPECT_EQ(JoinJournalLines(lines), text + "\r\n");
}

TEST(JournalLines, JoinEndsEveryLineWithCrLf) {
    EXPECT_EQ(JoinJournalLines({"Start x", "", "b"}), "Start x\r\n\r\nb\r\n");
    EXPECT_EQ(JoinJournalLines({}), "");
    EXPECT_EQ(JoinJournalLines(SplitJournalLines("a\rb\n")), "a\r\nb\r\n");
}

TEST(JournalArchive, NameIsTargetDirDateAndComputer) {
    const DateTime day = EncodeDateTime(CivilTime{2026, 12, 6, 18, 20, 13, 0});
    EXPECT_EQ(JournalArchiveName("F:\\Arch\\", day, "Test"), "F:\\Arch\\261206.Test");
    EXPECT_EQ(JournalArchiveName("T:\\", EncodeDateTime(CivilTime{2031, 1, 9, 0, 0, 0, 0}), "PC"),
              "T:\\310109.PC");
}
