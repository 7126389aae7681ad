// The one rule by which comparing tells that a mirror entry is no longer its source entry.
#include <gtest/gtest.h>

#include "engine/compare_rule.h"

using namespace vestrand;

TEST(CompareRule, AFileDiffersByTimeSizeOrAttributesAFolderByAttributesAlone) {
    const EntryStamp mirror{1000, 10, 0x20};
    struct Case {
        EntryStamp source;
        bool file, folder; // updated as a file, as a folder
    };
    const Case cases[] = {
        {{1000, 10, 0x20}, false, false}, // the same
        {{1000, 11, 0x20}, true, false},  // the size alone
        {{1002, 10, 0x20}, true, false},  // the time alone
        {{1000, 10, 0x21}, true, true},   // the attributes alone
        {{998, 9, 0x20}, true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NeedsUpdate(mirror, c.source, false), c.file) << c.source.time << " " << c.source.size;
        EXPECT_EQ(NeedsUpdate(mirror, c.source, true), c.folder) << c.source.time << " " << c.source.size;
    }
}
