// vestrand.exe RESTORE as a process of its own: files back from the backup its passes made.
#include <gtest/gtest.h>

#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "engine/journal.h"
#include "file_lock.h"
#include "program_runner.h"
#include "runtime/handles_win.h"
#include "runtime/platform_win.h"
#include "tree_snapshot.h"
#include "ui_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

// A folder with the program and a settings file that mirrors src\ into arch\PC\, versions on.
std::string Install(const std::string& name) {
    const std::string root = FreshFolder('T', name);
    const std::string self = ExecutablePath();
    const std::string built = self.substr(0, self.find_last_of('\\') + 1) + "bin\\vestrand.exe";
    EXPECT_TRUE(::CopyFileA(built.c_str(), (root + "vestrand.exe").c_str(), FALSE)) << built;
    WriteFile(root + "vestrand.ini",
              SettingsText(root, "IdentifComp=PC\r\nLowDriveSpaceMb=5\r\nKeepVersionsDays=30\r\n"));
    return root;
}

// Moves the Start and Stop lines of the journal's first block an hour back, as if that pass had run
// an hour before the next: gives the moment after it as the command line writes it.
std::string FirstPassAnHourBack(const std::string& root) {
    const std::string path = root + "arch\\PC\\journal.txt";
    Lines lines = SplitCrLf(ReadFile(path));
    DateTime stop = 0;
    for (auto& line : lines) {
        const bool start = line.rfind("Start ", 0) == 0, end = line.rfind("Stop ", 0) == 0;
        DateTime at = 0;
        if (!start && !end)
            continue;
        const std::string stamp = line.substr(start ? 6 : 5);
        EXPECT_TRUE(ParseJournalStamp(stamp, at)) << line;
        line = (start ? "Start " : "Stop ") + FormatTimeStamp(at - 1.0 / 24, stamp[11]);
        if (end) {
            stop = at - 1.0 / 24;
            break;
        }
    }
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    WriteFile(path, text);
    const CivilTime t = DecodeDateTime(stop);
    char moment[32];
    std::snprintf(moment, sizeof moment, "\"%04d-%02d-%02d %02d:%02d\"", t.year, t.month, t.day, t.hour,
                  t.minute);
    return moment;
}

std::vector<std::string> BesideCopies(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& name : NamesIn(folder))
        if (name.find(" (восстановлено ") != std::string::npos)
            out.push_back(name);
    return out;
}

} // namespace

TEST(RestoreProgram, FilesComeBackFromAnOlderMomentBesideWhatDiffersAndWhatIsTheSameIsLeftAlone) {
    const std::string root = Install("restore_program");
    const std::string src = root + "src\\";
    WriteFile(src + "a.txt", "alpha");
    SetStamp(src + "a.txt", 100);
    WriteFile(src + "d\\x.txt", "x one");
    WriteFile(src + "d\\e\\y.txt", "y one");
    ASSERT_EQ(RunToEnd(root, "START"), 0u);
    const std::string before = FirstPassAnHourBack(root);
    WriteFile(src + "a.txt", "alpha, second");
    SetStamp(src + "a.txt", 200);
    RemoveTree(src + "d");
    for (int pass = 0; pass < 3; ++pass) // the emptied folders go one level a pass
        ASSERT_EQ(RunToEnd(root, "START"), 0u);
    ASSERT_FALSE(IsFolder(root + "arch\\PC\\" + MirrorRel(root) + "src\\d"));

    // A different file at the original path stays; the restored copy goes beside it.
    EXPECT_EQ(RunToEnd(root, "RESTORE \"" + src + "a.txt\" " + before), 1u);
    EXPECT_EQ(ReadFile(src + "a.txt"), "alpha, second");
    const auto beside = BesideCopies(src);
    ASSERT_EQ(beside.size(), 1u);
    EXPECT_EQ(beside[0].rfind("a (восстановлено ", 0), 0u) << beside[0];
    EXPECT_EQ(beside[0].substr(beside[0].size() - 5), ").txt") << beside[0];
    EXPECT_EQ(ReadFile(src + beside[0]), "alpha");
    // The folder deleted since comes back with its files, their times as the backup holds them.
    WriteFile(root + "stamp.txt", "");
    SetStamp(root + "stamp.txt", 100);
    EXPECT_EQ(RunToEnd(root, "RESTORE \"" + src + "d\" " + before), 0u);
    EXPECT_EQ(ReadFile(src + "d\\x.txt"), "x one");
    EXPECT_EQ(ReadFile(src + "d\\e\\y.txt"), "y one");
    EXPECT_EQ(RunToEnd(root, "RESTORE \"" + src + "a.txt\" " + before + " \"" + root + "out\""), 0u);
    EXPECT_EQ(ReadFile(root + "out\\a.txt"), "alpha");
    EXPECT_EQ(WriteTimeW(WidenU(root + "out\\a.txt")), WriteTimeW(WidenU(root + "stamp.txt")));
    // What is the same at its place is left as it is: nothing goes beside it, and that is success.
    const auto snapshot = SnapshotTree(src);
    EXPECT_EQ(RunToEnd(root, "RESTORE \"" + src + "d\" " + before), 0u);
    EXPECT_EQ(SnapshotTree(src), snapshot);
    // Without a moment: the mirror as it is now, which holds the second a.txt, the same as the source.
    EXPECT_EQ(RunToEnd(root, "RESTORE \"" + src + "a.txt\""), 0u);
    EXPECT_EQ(BesideCopies(src).size(), 1u);
}

TEST(RestoreProgram, NothingUnderThePathAtThatMomentOrAPassAtWorkEndsWithTwo) {
    const std::string root = Install("restore_program_two");
    const std::string src = root + "src\\";
    WriteFile(src + "a.txt", "alpha");
    ASSERT_EQ(RunToEnd(root, "START"), 0u);
    const std::string first = FirstPassAnHourBack(root);
    WriteFile(src + "b.txt", "beta");
    ASSERT_EQ(RunToEnd(root, "START"), 0u);
    RemoveTree(src);
    EXPECT_EQ(RunToEnd(root, "RESTORE \"" + src + "b.txt\" " + first), 2u); // made by the later pass
    EXPECT_EQ(RunToEnd(root, "RESTORE \"" + src + "none.txt\""), 2u);
    EXPECT_EQ(RunToEnd(root, "RESTORE \"" + root + "elsewhere\\a.txt\""), 2u);
    EXPECT_EQ(RunToEnd(root, "RESTORE \"" + src + "a.txt\" \"2001-01-01 10:00\""), 2u);
    {
        FileLock pass(root + "arch\\PC\\" + kPassLockName);
        ASSERT_TRUE(pass.Held());
        EXPECT_EQ(RunToEnd(root, "RESTORE \"" + src + "a.txt\""), 2u);
        EXPECT_FALSE(IsFile(src + "a.txt"));
    }
    EXPECT_EQ(RunToEnd(root, "RESTORE \"" + src + "b.txt\""), 0u);
    EXPECT_EQ(ReadFile(src + "b.txt"), "beta");
    EXPECT_EQ(RunToEnd(root, "RESTORE"), 3u);
    EXPECT_EQ(RunToEnd(root, "RESTORE \"" + src + "a.txt\" 2026-13-01 10:00 out more"), 3u);
}
