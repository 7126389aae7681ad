// Network shares that do not answer: before a pass as the backup folder, before and during a pass
// as a source.
#include <windows.h>

#include "engine/fileops_win.h"
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
    EXPECT_EQ(GetFileAttributesA("\\\\nas\\backup"), INVALID_FILE_ATTRIBUTES); // nothing made in its place
    backup.Back();
    const std::string shared = data.FreshFolder(name);
    WriteFile(shared + "s.txt", "s");
    settings.SourceDirs = {src, shared};
    Run();
    ASSERT_EQ(ReadFile(Mirror(shared + "s.txt")), "s");
    for (const bool during : {false, true}) {
        display.onStage = [&](PassStage stage) {
            if (during && stage == PassStage::MirrorIndexed)
                data.Vanish();
        };
        if (!during) {
            ASSERT_TRUE(data.Vanish());
        }
        EXPECT_EQ(ExitCodeOf(Run()), kExitClean) << during;
        EXPECT_EQ(Body(), Lines{}) << during;
        EXPECT_EQ(ReadFile(Mirror(shared + "s.txt")), "s") << during;
        data.Back();
    }
}
