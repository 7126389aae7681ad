// One test's source folder S:\<test>\ and mirror folder T:\<test>\Test\ (or on another drive), the
// pass's settings, and the pass run through the shared fakes at a fixed moment. The journal is read
// back as lines and blocks, and the lines a pass should write are built from source paths.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/backup_pass_win.h"
#include "engine/backup_settings.h"
#include "engine/mirror_owner_win.h" // kOwnerName
#include "fakes.h"
#include "journal_kit.h"
#include "test_drives.h"

namespace vestrand::test {

// The moment every pass of these tests runs at, and the stamp its Start and Stop lines carry.
inline DateTime FixedNow() {
    return EncodeDateTime(CivilTime{2026, 12, 6, 18, 20, 13, 0});
}
inline const std::string kStamp = "06.12.26 18:20:13";
// The schedule's answer: the next run an hour later, as NextStart lines show it.
inline const std::string kNextStartLine = "NextStart 06.12.26 19:20:13";

struct MirrorFixture : ::testing::Test {
    std::string name, src, target, root;
    BackupSettings settings;
    FakeClock clock{FixedNow()};
    FakeSchedule schedule{FixedNow() + 60 * kMinute};
    FakeDisplay display; // its onStage: the moment between two stages of a pass

    void SetUp() override {
        name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        src = FreshFolder('S', name);
        UseTarget('T');
        settings.IdentifComp = "Test";
        settings.LowDriveSpaceMb = 5;
        // The lines and trees these tests compare are of passes that hold nothing; the tests of
        // held versions switch them on.
        settings.KeepVersionsDays = 0;
    }
    void TearDown() override {
        if (target[0] == 'R')
            RemoveTree(target); // the small volume is shared by every test of the run
    }
    // Puts the mirror on another drive (a fresh folder of the test's name there).
    void UseTarget(char drive) {
        target = FreshFolder(drive, name);
        settings.TargetDir = target;
        root = target + "Test\\";
    }
    PassResult Run() { return RunBackupPass(settings, false, display, schedule, clock); }
    // Writes files below the source folder (path below it, content), lists the folder and runs a pass.
    PassResult RunWithFiles(const std::vector<std::pair<std::string, std::string>>& files) {
        for (const auto& [rel, content] : files)
            WriteFile(src + rel, content);
        settings.SourceDirs = {src};
        return Run();
    }

    std::string Journal() const { return ReadFile(root + "journal.txt"); }
    Lines JournalLines() const { return SplitCrLf(Journal()); }
    Lines Block() const { return LastBlock(JournalLines()); }
    // The last block's lines between Start and Stop.
    Lines Body() const { return BlockBody(Block()); }

    // Where a source path lands in the mirror, and the lines a pass writes for it.
    std::string Mirror(const std::string& sourcePath) const { return root + MirrorRel(sourcePath); }
    std::string New(const std::string& sourcePath) const { return NewLine(Mirror(sourcePath)); }
    std::string Update(const std::string& sourcePath) const { return UpdateLine(Mirror(sourcePath)); }
    std::string Delete(const std::string& sourcePath) const { return DeleteLine(MirrorRel(sourcePath)); }
    std::string FailedCopy(const std::string& sourcePath) const { return FailedLine(Mirror(sourcePath)); }
    std::string FailedDelete(const std::string& sourcePath) const {
        return FailedLine(MirrorRel(sourcePath));
    }
    // The whole block of an unchanged pass around `body`.
    static Lines Framed(Lines body) {
        body.insert(body.begin(), "Start " + kStamp);
        body.push_back("Stop " + kStamp);
        body.push_back(kNextStartLine);
        body.push_back("");
        return body;
    }
};

// The same with the network shares \\nas\backup and \\nas\data at hand (skipped where they cannot be
// taken away); UseShareTarget() puts the mirror on \\nas\backup.
struct ShareFixture : MirrorFixture {
    VanishingDrive backup{"nas-backup", "\\\\nas\\backup\\"}, data{"nas-data", "\\\\nas\\data\\"};
    void SetUp() override {
        MirrorFixture::SetUp();
        if (!backup.Usable() || !data.Usable())
            GTEST_SKIP()
                << "the shares \\\\nas\\backup and \\\\nas\\data cannot be taken away here (not under Wine)";
    }
    static std::string FreshShareFolder(const std::string& share, const std::string& name) {
        RemoveTree("\\\\nas\\" + share + "\\" + name);
        CreateDirectoryA(("\\\\nas\\" + share + "\\" + name).c_str(), nullptr);
        return "\\\\nas\\" + share + "\\" + name + "\\";
    }
    void UseShareTarget() {
        settings.TargetDir = target = FreshShareFolder("backup", name);
        root = target + "Test\\";
    }
};

} // namespace vestrand::test
