#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "runtime/datetime.h"
#include "runtime/error.h"

using namespace vestrand;

TEST(DateTime, EpochKnownDaysAndTheStampPatternWithItsSeparator) {
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({1900, 1, 1, 0, 0, 0, 0}), 2.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 12, 0, 0, 0}), 36526.5);
    const DateTime t = EncodeDateTime({2026, 12, 6, 18, 20, 13, 0});
    const CivilTime c = DecodeDateTime(t);
    EXPECT_EQ((std::array{c.year, c.month, c.day, c.hour, c.minute, c.second}),
              (std::array{2026, 12, 6, 18, 20, 13}));
    EXPECT_EQ(FormatTimeStamp(t, ':'), "06.12.26 18:20:13");
    EXPECT_EQ(FormatTimeStamp(t, '.'), "06.12.26 18.20.13");
    EXPECT_EQ(FormatTimeStamp(0.0, ':'), "30.12.99 00:00:00");
    EXPECT_EQ(FormatYyMmDd(t), "261206");
    // Minute arithmetic across midnight and a leap day.
    EXPECT_EQ(FormatTimeStamp(EncodeDateTime({2028, 2, 28, 23, 59, 0, 0}) + 2 * kMinute, ':'),
              "29.02.28 00:01:00");
    // A hair below a whole second is shown rounded, never truncated to :59 of the minute before.
    EXPECT_EQ(FormatTimeStamp(EncodeDateTime({2026, 1, 1, 10, 0, 0, 0}) - 1e-10, ':'), "01.01.26 10:00:00");
}

TEST(ErrorText, PlaceholderAndFullStopRule) {
    EXPECT_EQ(FormatErrorText(kErrCannotOpenFile, "F:\\a.txt"), "Cannot open file F:\\a.txt");
    // A full stop is added after a last character above '.' (Cyrillic included), not after '-'.
    const char* boxTexts[][2] = {{"Stream write error", "Stream write error."}, {"Done.", "Done."},
                                 {"ends with dash-", "ends with dash-"},        {"path F:\\", "path F:\\."},
                                 {"\xEF\xF3\xF2\xFC", "\xEF\xF3\xF2\xFC."},     {"", ""}};
    for (const auto& [text, shown] : boxTexts)
        EXPECT_EQ(ErrorBoxText(text), shown) << text;
    EXPECT_THROW(RaiseError(kErrStreamRead), VestrandError);
}

TEST(DateTime, PackedSearchStamp) {
    // Date 2026-12-06: (46 << 9) | (12 << 5) | 6; time 18:20:13: (18 << 11) | (20 << 5) | 6.
    EXPECT_EQ(PackDosStamp(EncodeDateTime({2026, 12, 6, 18, 20, 13, 0})), 0x5D869286u);
    EXPECT_EQ(PackDosStamp(EncodeDateTime({2026, 12, 6, 18, 20, 12, 999})), 0x5D869286u);
    EXPECT_EQ(PackDosStamp(EncodeDateTime({2026, 12, 6, 18, 20, 11, 999})), 0x5D869285u);
    EXPECT_EQ(PackDosStamp(EncodeDateTime({1980, 1, 1, 0, 0, 0, 0})), 0x00210000u);
    EXPECT_EQ(PackDosStamp(EncodeDateTime({1979, 12, 31, 23, 59, 59, 0})), 0u);
    EXPECT_EQ(PackDosStamp(EncodeDateTime({2108, 1, 1, 0, 0, 0, 0})), UINT32_MAX);
    EXPECT_EQ(PackDosStamp(EncodeDateTime({2107, 12, 31, 23, 59, 58, 0})), 0xFF9FBF7Du);
    // Packed values keep the order of the moments, past the year whose packed value needs bit 31.
    DateTime t = EncodeDateTime({1985, 3, 1, 0, 0, 0, 0});
    uint32_t previous = PackDosStamp(t);
    for (int step = 0; step < 4000; ++step) {
        t += 9.37 + step % 7 * kSecond;
        const uint32_t packed = PackDosStamp(t);
        ASSERT_LT(previous, packed) << FormatTimeStamp(t, ':');
        previous = packed;
    }
}

TEST(DateTime, PlausibleMomentsLieInTheYears1900To9999) {
    const DateTime lastSecond = EncodeDateTime({9999, 12, 31, 23, 59, 59, 0});
    EXPECT_EQ(FormatTimeStamp(lastSecond, ':'), "31.12.99 23:59:59");
    // 1 January 1900, 00:00 is the first; 30 December 1899 is day 0.
    for (const DateTime t : {EncodeDateTime({2026, 12, 8, 10, 0, 0, 0}), 2.0, lastSecond})
        EXPECT_TRUE(IsPlausibleDateTime(t)) << t;
    for (const DateTime t : {2.0 - kSecond, 0.0, -1.0, EncodeDateTime({10000, 1, 1, 0, 0, 0, 0}), 1e300,
                             -1e300, double(INFINITY), double(-INFINITY), double(NAN), double(-NAN)})
        EXPECT_FALSE(IsPlausibleDateTime(t)) << t;
}

TEST(VersionStamp, NamesTheMomentOfAPassAndReadsOnlyItsOwnForm) {
    const DateTime t = EncodeDateTime(CivilTime{2026, 12, 6, 18, 20, 13, 0});
    EXPECT_EQ(FormatVersionStamp(t), "2026-12-06 182013");
    DateTime back = 0;
    ASSERT_TRUE(ParseVersionStamp("2026-12-06 182013", back));
    EXPECT_NEAR(back, t, kSecond / 10);
    for (const char* other :
         {"2026-12-06 18201", "2026-12-06 1820133", "2026-12-06_182013", "2026-13-06 182013",
          "2026-02-31 120000", "2026-12-06 246000", "abcd-12-06 182013", "", "old versions"})
        EXPECT_FALSE(ParseVersionStamp(other, back)) << other;
}
