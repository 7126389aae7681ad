// When a pass is worth a notice beyond the journal.
#include <gtest/gtest.h>

#include <tuple>

#include "ui/pass_notices.h"

using namespace vestrand;

namespace {

PassResult Ran(std::vector<std::string> failed = {}, bool diskFull = false) {
    PassResult r;
    std::tie(r.failed, r.diskFull) = std::tie(failed, diskFull);
    return r;
}
PassResult Refused(PassRefusal why, const std::string& path) {
    PassResult r;
    std::tie(r.refusal, r.path) = std::tie(why, path);
    return r;
}

} // namespace

TEST(PassNotices, FailuresAreToldWhenTheirSetChangesAndTheFloorEveryTime) {
    PassNotices n;
    EXPECT_FALSE(n.After(Ran()).Any());
    EXPECT_TRUE(n.After(Ran({"F:\\a", "F:\\b"})).failures);
    EXPECT_FALSE(n.After(Ran({"F:\\b", "F:\\a", "F:\\a"})).Any()); // the same paths in another order
    EXPECT_TRUE(n.After(Ran({"F:\\a"})).failures);
    EXPECT_FALSE(n.After(Ran()).Any());
    EXPECT_TRUE(n.After(Ran({"F:\\a"})).failures); // back after a clean pass: told again
    const NoticeDue full = n.After(Ran({"F:\\a"}, true));
    EXPECT_TRUE(full.diskFull);
    EXPECT_FALSE(full.failures);
    EXPECT_TRUE(n.After(Ran({"F:\\a"}, true)).diskFull);
}

TEST(PassNotices, VersionsGivenUpForSpaceAreToldWithTheirPass) {
    PassNotices n;
    PassResult r;
    r.versionsRemovedEarly = true;
    EXPECT_TRUE(n.After(r).versionsGiven);
    EXPECT_TRUE(n.After(r).Any()); // every pass that gives history away says so
    PassResult refused = Refused(PassRefusal::LowSpace, "F:\\");
    refused.versionsRemovedEarly = true; // all were given and there was still too little space
    EXPECT_TRUE(n.After(refused).versionsGiven);
    EXPECT_FALSE(n.After(Ran()).Any());
}

TEST(PassNotices, ARefusalIsToldOnceUntilItsReasonOrPathChangesOrAPassRuns) {
    PassNotices n;
    EXPECT_TRUE(n.After(Refused(PassRefusal::LowSpace, "F:\\")).refusal);
    EXPECT_FALSE(n.After(Refused(PassRefusal::LowSpace, "F:\\")).Any());
    EXPECT_FALSE(n.After(Refused(PassRefusal::Busy, "F:\\Arch\\PC\\")).Any()); // another pass at work
    EXPECT_FALSE(n.After(Refused(PassRefusal::LowSpace, "F:\\")).Any());
    EXPECT_TRUE(n.After(Refused(PassRefusal::LowSpace, "G:\\")).refusal);
    EXPECT_TRUE(n.After(Refused(PassRefusal::RootUnreachable, "G:\\")).refusal);
    EXPECT_FALSE(n.After(Ran()).Any());
    EXPECT_TRUE(n.After(Refused(PassRefusal::RootUnreachable, "G:\\")).refusal);
}

TEST(PassNotices, APausedPassIsToldFirstThenOnlyWhenItsCountsMoveByATenth) {
    const auto paused = [](int64_t deleted) {
        PassResult r;
        r.paused = true;
        r.damage = {0, deleted, 2000};
        return r;
    };
    PassNotices n;
    const bool told[] = {n.After(paused(500)).paused, n.After(paused(540)).paused,
                         n.After(paused(560)).paused, n.After(Ran()).paused, n.After(paused(560)).paused};
    EXPECT_EQ(std::vector<bool>(std::begin(told), std::end(told)),
              (std::vector<bool>{true, false, true, false, true}));
}
