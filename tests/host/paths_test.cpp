#include <gtest/gtest.h>

#include "engine/paths.h"

using namespace vestrand;

TEST(NormalizeDir, Rules) {
    EXPECT_EQ(NormalizeDir(""), "");
    EXPECT_EQ(NormalizeDir("F:\\Arch"), "F:\\Arch\\");
    EXPECT_EQ(NormalizeDir("F:\\"), "F:\\");
    EXPECT_EQ(NormalizeDir("F:"), "F:");
    EXPECT_EQ(NormalizeDir("d"), "d:\\");
    EXPECT_EQ(NormalizeDir("Z"), "Z:\\");
    EXPECT_EQ(NormalizeDir("1"), "1\\");
    EXPECT_EQ(NormalizeDir("\xC4"), "\xC4\\"); // a Cyrillic letter is not a drive letter
}

TEST(FileDirOf, Rules) {
    EXPECT_EQ(FileDirOf("F:\\Arch\\Test\\Data\\a.txt"), "F:\\Arch\\Test\\Data");
    EXPECT_EQ(FileDirOf("F:\\a.txt"), "F:\\");
    EXPECT_EQ(FileDirOf("F:a.txt"), "F:");
    EXPECT_EQ(FileDirOf("a.txt"), "");
    EXPECT_EQ(FileDirOf("\\\\srv\\share"), "\\\\srv");
    EXPECT_EQ(FileDirOf("\\a"), "\\");
    EXPECT_EQ(FileDirOf("F:\\Arch\\\\a"), "F:\\Arch\\\\");
}
