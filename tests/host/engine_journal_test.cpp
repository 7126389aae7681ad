#include <gtest/gtest.h>

#include "engine/journal.h"

using namespace vestrand;
using Lines = std::vector<std::string>;

// CR LF, CR and LF each end a line, LF CR two with an empty one between; a final break adds no
// empty line, an unended line counts, and NUL bytes stay in their lines.
TEST(JournalLines, EveryBreakKindEndsALineAndJoinEndsEveryLineWithCrLf) {
    const std::string nuls("a\0b\r\nc\0\r\n\0", 10);
    const std::pair<std::string, Lines> cases[] = {
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r\n", {"a"}},
        {"a\r\n\r\n", {"a", ""}},
        {"last", {"last"}},
        {"", {}},
        {nuls, {std::string("a\0b", 3), std::string("c\0", 2), std::string("\0", 1)}}};
    for (const auto& [text, lines] : cases)
        EXPECT_EQ(SplitJournalLines(text), lines) << text;
    EXPECT_EQ(JoinJournalLines(SplitJournalLines(nuls)), nuls + "\r\n");
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
