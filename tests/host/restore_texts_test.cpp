// What the restore window writes of sizes, file times and the time a restore still needs.
#include <gtest/gtest.h>

#include "ui/restore_texts.h"

using namespace vestrand;

TEST(RestoreTexts, SizesTimesAndTheTimeLeftReadAsTheUserExpects) {
    const std::pair<std::string, std::string> cases[] = {
        {SizeText(1536), "1,5 Кб"},
        {SizeText(int64_t(3) << 40), "3,0 Тб"},
        {DosStampText(PackDosStamp(EncodeDateTime(CivilTime{2026, 12, 6, 18, 20, 14, 0})), ':'),
         "06.12.26 18:20"},
        {TimeLeftText(1, 1000, 10), ""}, // under a hundredth done: the rate says too little yet
        {TimeLeftText(50, 100, 10), "осталось 11 с"},
        {TimeLeftText(10, 100, 30), "осталось около 5 мин"},
    };
    for (const auto& [got, want] : cases)
        EXPECT_EQ(got, want);
}
