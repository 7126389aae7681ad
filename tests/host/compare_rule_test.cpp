// The one rule by which comparing tells that a mirror entry is no longer its source entry.
#include <gtest/gtest.h>

#include "engine/compare_rule.h"

#include <optional>

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

TEST(CompareRule, OneDecisionForEveryEntryWhateverTheMirrorHoldsUnderItsName) {
    const TFileParam file{1000, 10, 0x20}, folder{0, 0, 0x10}, fileLink{1000, 10, 0x420},
        folderLink{0, 0, 0x410};
    struct Case {
        std::optional<TFileParam> mirror;
        TFileParam source;
        bool refused;
        Act act;
    };
    const Case cases[] = {
        {std::nullopt, file, false, Act::Copy},
        {file, file, false, Act::Keep},
        {file, {1000, 11, 0x20}, false, Act::Update},
        {file, {1000, 10, 0x21}, false, Act::Update},
        {file, folder, false, Act::Replace},
        {folder, file, false, Act::Replace},
        {folder, folder, false, Act::Keep},
        {folder, {0, 0, 0x12}, false, Act::Update},
        {fileLink, file, false, Act::Replace},
        {folderLink, folder, false, Act::Replace},
        {file, file, true, Act::Refuse},
        {std::nullopt, folder, true, Act::Refuse},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecideAct(c.mirror ? &*c.mirror : nullptr, c.source, c.refused), c.act)
            << (c.mirror ? c.mirror->Attr : -1) << " -> " << c.source.Attr << " size " << c.source.Size;
}
