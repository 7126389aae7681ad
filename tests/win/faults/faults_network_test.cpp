// Network shares that do not answer: as the backup folder before a pass, as a source before and
// during one.
#include "engine/fileops_win.h"
#include "mirror_fixture.h"
#include "runtime/error.h"

using namespace vestrand;
using namespace vestrand::test;

TEST_F(ShareFixture, AShareThatDoesNotAnswerIsRefusedAsBackupFolderAndSkippedWithItsMirrorAsSource) {
    UseShareTarget();
    ASSERT_EQ(ExitCodeOf(RunWithFiles({{"a.txt", "a"}})), kExitClean);
    ASSERT_TRUE(backup.Vanish());
    const PassResult refused = Run();
    EXPECT_EQ(refused.refusal, PassRefusal::RootUnreachable);
    EXPECT_EQ(ExitCodeOf(refused), kExitNotRun);
    backup.Back();
    const std::string shared = FreshShareFolder("data", name);
    WriteFile(shared + "s.txt", "s");
    settings.SourceDirs = {src, shared};
    ASSERT_EQ(ExitCodeOf(Run()), kExitClean);
    for (const bool during : {false, true}) {
        display.onStage = [&](PassStage stage) {
            if (during && stage == PassStage::MirrorIndexed)
                data.Vanish();
        };
        EXPECT_TRUE(during || data.Vanish());
        EXPECT_EQ(ExitCodeOf(Run()), kExitClean) << during;
        EXPECT_EQ(Body(), Lines{}) << during;
        EXPECT_EQ(ReadFile(Mirror(shared + "s.txt")), "s") << during;
        data.Back();
    }
}

// The backup share goes away between two stages of a pass: the pass does not end as clean (it
// finds the folder gone, or cannot save its journal), nothing is lost, and the next pass with the
// share back repairs the mirror.
TEST_F(ShareFixture, ABackupShareVanishingPartWayLosesNothingAndTheNextPassRepairs) {
    UseShareTarget();
    RunWithFiles({{"keep.txt", "keep"}, {"change.txt", "old"}, {"gone.txt", "gone"}});
    for (int stage = 1; stage <= 3; ++stage) {
        SCOPED_TRACE("the share vanishes at gauge position " + std::to_string(stage));
        const std::string earlier = Journal(), added = src + "added " + std::to_string(stage) + ".txt";
        WriteFile(src + "change.txt", "new " + std::to_string(stage));
        SetStamp(src + "change.txt", 100 * stage);
        ASSERT_TRUE(DeleteFileA((src + "gone.txt").c_str()));
        WriteFile(added, "added");
        display.onStage = [&](PassStage reached) {
            if (StageNumber(reached) == stage) {
                EXPECT_TRUE(backup.Vanish());
            }
        };
        int code = kExitClean;
        try {
            code = ExitCodeOf(Run());
        } catch (const VestrandError&) {
            code = -1;
        }
        display.onStage = nullptr;
        backup.Back();
        EXPECT_NE(code, kExitClean);
        EXPECT_TRUE(Journal() == earlier);
        EXPECT_EQ(ReadFile(Mirror(src + "keep.txt")), "keep");
        EXPECT_EQ(ExitCodeOf(Run()), kExitClean);
        EXPECT_EQ(ReadFile(Mirror(src + "change.txt")), "new " + std::to_string(stage));
        EXPECT_EQ(ReadFile(Mirror(added)), "added");
        EXPECT_FALSE(IsFile(Mirror(src + "gone.txt")));
        EXPECT_EQ(ReadFile(Mirror(src + "keep.txt")), "keep");
        WriteFile(src + "gone.txt", "gone");
        Run();
    }
}
