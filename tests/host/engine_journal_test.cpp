#include <gtest/gtest.h>

#include <array>

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

// A block written with the grammar's lines reads back as the pass it tells; stray and unknown
// lines belong to no block.
TEST(JournalGrammar, BlocksWrittenWithItsLinesReadBack) {
    const DateTime start = EncodeDateTime(CivilTime{2026, 12, 8, 14, 0, 0, 0}), end = start + 65 * kSecond;
    const std::string text = JoinJournalLines(
        {"Stray line", FormatJournalLine(JournalTag::Delete, "before any block"),
         StampLine(JournalTag::Start, start, ':'),
         FormatJournalLine(JournalTag::New, "F:\\Arch\\PC\\C\\a.txt"), "Unknown x",
         FormatJournalLine(JournalTag::Update, "F:\\Arch\\PC\\C\\b.txt"),
         FormatJournalLine(JournalTag::Delete, "C\\c"), FormatJournalLine(JournalTag::Failed, "C\\d"),
         StampLine(JournalTag::DiskFull, end, ':'), StampLine(JournalTag::Stop, end, ':'),
         OneShotCommandLine(), "", StampLine(JournalTag::Start, end, '.'),
         StampLine(JournalTag::Paused, end, '.'), StampLine(JournalTag::Stop, end, '.'),
         StampLine(JournalTag::NextStart, end, '.'), "", StampLine(JournalTag::Start, end, ':'),
         StampLine(JournalTag::Interrupted, end, ':')});
    EXPECT_EQ(FormatJournalLine(JournalTag::New, "x"), "New    x");
    EXPECT_EQ(OneShotCommandLine(), "Command \"Start\"");
    const auto blocks = ReadJournalBlocks(text);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_NEAR(blocks[0].start, start, 1e-9);
    EXPECT_NEAR(blocks[0].end, end, 1e-9);
    std::string entries;
    for (const auto& e : blocks[0].entries)
        entries += JournalTagText(e.tag) + e.text + "|";
    EXPECT_EQ(entries,
              "New    F:\\Arch\\PC\\C\\a.txt|Update F:\\Arch\\PC\\C\\b.txt|Delete C\\c|Failed C\\d|");
    const bool flags[3][3] = {{true, false, false}, {false, false, true}, {false, true, false}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ((std::array<bool, 3>{blocks[i].diskFull, blocks[i].interrupted, blocks[i].paused}),
                  (std::array<bool, 3>{flags[i][0], flags[i][1], flags[i][2]}))
            << i;
    EXPECT_NEAR(blocks[1].end, end, 1e-9); // the user's separator may be another
    EXPECT_EQ(blocks[2].end, 0.0);         // killed before its Stop line
}

TEST(JournalGrammar, StampsReadBackOnlyAsMomentsThatExist) {
    const std::pair<const char*, bool> rows[] = {
        {"08.12.26 14:00:05", true},  {"29.02.28 23:59:59", true},  {"08.12.26 14.00.05", true},
        {"29.02.27 10:00:00", false}, {"31.04.26 10:00:00", false}, {"08.12.26 24:00:00", false},
        {"08.13.26 10:00:00", false}, {"00.12.26 10:00:00", false}, {"08.12.26 14:00:0", false},
        {"08.12.26 14:00-05", false}, {"08.12.26 1400005", false},  {"8.12.26 14:00:05 ", false}};
    for (const auto& [text, valid] : rows) {
        DateTime value = -1;
        EXPECT_EQ(ParseJournalStamp(text, value), valid) << text;
        if (valid) {
            EXPECT_EQ(FormatTimeStamp(value, text[11]), text);
        }
    }
}
