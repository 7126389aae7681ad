// The one rule by which comparing tells that a mirror entry is no longer its source entry.
#include <gtest/gtest.h>

#include "engine/compare_rule.h"

using namespace vestrand;

TEST(CompareRule, AFileDiffersByTimeSizeOrAttributesAFolderByAttributesAlone) {
    // the source entry against a mirror entry {1000, 10, 0x20}: updated as a file, as a folder
    const std::tuple<TFileParam, bool, bool> cases[] = {{{1000, 10, 0x20}, false, false},
                                                        {{1000, 11, 0x20}, true, false},
                                                        {{1002, 10, 0x20}, true, false},
                                                        {{1000, 10, 0x21}, true, true}};
    for (const auto& [source, file, folder] : cases) {
        EXPECT_EQ(NeedsUpdate({1000, 10, 0x20}, source, false), file) << source.Time << " " << source.Size;
        EXPECT_EQ(NeedsUpdate({1000, 10, 0x20}, source, true), folder) << source.Time << " " << source.Size;
    }
}
