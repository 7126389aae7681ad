// Network shares that do not answer: as the backup folder before a pass, as a source before and
// during one.
#include "mirror_fixture.h"

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
