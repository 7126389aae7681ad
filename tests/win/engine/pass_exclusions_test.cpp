// What the user excludes, through the pass on real files: left out without a line, never entered,
// and what the mirror holds of it kept as it is.
#include <gtest/gtest.h>

#include "engine/fileops_win.h"
#include "expected_config.h"
#include "file_lock.h"
#include "mirror_fixture.h"

using namespace vestrand;
using namespace vestrand::test;

using ExclusionFixture = MirrorFixture;

TEST_F(ExclusionFixture, TheDefaultsLeaveOutWhatNoBackupWantsWithoutALine) {
    WriteFile(src + "pagefile.sys", "swap");
    WriteFile(src + "Docs\\report.docx", "report");
    WriteFile(src + "Docs\\~$report.docx", "owner");
    WriteFile(src + "$Recycle.Bin\\S-1\\old.txt", "binned");
    const FileLock open(src + "Docs\\~$report.docx"); // as Office holds it
    settings.Exclude = kExpectedExclusions;
    const PassResult result = RunWithFiles({});
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(Sorted(Body()), Sorted({New(src + "Docs"), New(src + "Docs\\report.docx")}));
    EXPECT_EQ(NamesIn(Mirror(src)), (Lines{"Docs"}));
}

TEST_F(ExclusionFixture, WhatTheMirrorHoldsOfAnExcludedEntryStaysUntilItsSourceIsGone) {
    RunWithFiles({{"logs\\x.log", "x1"}, {"logs\\y.log", "y"}, {"z.log", "z"}, {"a.txt", "a1"}});
    const auto logs = SnapshotTree(Mirror(src + "logs"));
    // A mistyped "*" deletes nothing and copies nothing.
    WriteFile(src + "a.txt", "a2, longer");
    settings.Exclude = {"*"};
    Run();
    EXPECT_EQ(Block(), Framed({}));
    // The excluded folder is neither entered nor emptied; an excluded file whose source is gone is
    // deleted as ever; the excluded x.log keeps its old copy.
    WriteFile(src + "logs\\x.log", "x2, longer");
    ASSERT_TRUE(DeleteFileA((src + "logs\\y.log").c_str()));
    ASSERT_TRUE(DeleteFileA((src + "z.log").c_str()));
    settings.Exclude = {" logs\\ ", "*.log"};
    Run();
    EXPECT_EQ(Body(), (Lines{Update(src + "a.txt"), Delete(src + "z.log")}));
    EXPECT_EQ(SnapshotTree(Mirror(src + "logs")), logs); // x.log's old copy, y.log still there
    // Taken out of the list, the folder is mirrored again.
    settings.Exclude.clear();
    Run();
    EXPECT_EQ(Body(), (Lines{Update(src + "logs\\x.log"), Delete(src + "logs\\y.log")}));
}

TEST_F(ExclusionFixture, AListedFolderAndAListedFileInsideAnExcludedFolderAreStillBackedUp) {
    WriteFile(src + "Temp\\Keep\\k.txt", "k");
    WriteFile(src + "Temp\\Keep\\gone.txt", "g");
    WriteFile(src + "Temp\\list.txt", "l");
    WriteFile(src + "Temp\\other.txt", "o");
    settings.Exclude = {"Temp\\"};
    settings.SourceFiles = {src + "Temp\\list.txt"};
    settings.SourceDirs = {src, src + "Temp\\Keep\\"};
    Run();
    EXPECT_EQ(Sorted(Body()), Sorted({New(src + "Temp\\Keep\\k.txt"), New(src + "Temp\\Keep\\gone.txt"),
                                      New(src + "Temp\\list.txt")}));
    // Their mirror copies stay theirs: compared as ever, not kept away by the exclusion.
    ASSERT_TRUE(DeleteFileA((src + "Temp\\Keep\\gone.txt").c_str()));
    Run();
    EXPECT_EQ(Body(), (Lines{Delete(src + "Temp\\Keep\\gone.txt")}));
    EXPECT_FALSE(IsFile(Mirror(src + "Temp\\other.txt")));
}
