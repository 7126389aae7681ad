// Backup passes on real files: the free-space floor and a full drive, read-only mirror entries,
// duplicate and overlapping sources, folder attributes, stale trees cleared over several passes,
// and copies or deletions that fail.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <tuple>

#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "file_lock.h"
#include "mirror_fixture.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

const char* const kSmallVolumeMissing = "R: is not the small tmpfs volume (no R:\\.tmpfs marker), so a "
                                        "drive with exactly 0 bytes free cannot be set up";
using Files = std::map<std::string, std::string>; // relative path -> content; folders end in "\"

struct MirrorPass : MirrorFixture {
    // What the mirror of a source folder holds.
    Files Mirrored(const std::string& folder) const { return Contents(SnapshotTree(Mirror(folder))); }
    // The top of the mirror folder: the pass's own three files and the test's source folder, nothing
    // left over from a copy.
    Lines Top() const { return Sorted({"journal.txt", kPassLockName, kOwnerName, name}); }
};

} // namespace

// ---- The free-space floor and a drive that is really full ----

TEST_F(MirrorPass, FloorReachedPartWayWritesDiskFullAndKeepsTheMirrorAndJournal) {
    // On the small volume R: the copies really fill the drive down to the floor; where it is not
    // mounted, the same floor, set just under the free space of T:, stops the copying.
    const bool small = SmallVolumeMounted();
    UseTarget(small ? 'R' : 'T');
    WriteFile(src + "kept.txt", "kept");
    WriteFile(src + "stale.txt", "stale");
    WriteFile(src + "Старое\\old.txt", "old");
    // The single file lies outside the listed folder, so that only the file stage copies it.
    const std::string single = FreshFolder('S', name + "_single") + "single.txt";
    settings.SourceDirs = {src};
    settings.SourceFiles = {single};
    WriteFile(single, "single");
    settings.LowDriveSpaceMb = 1;
    Run();
    const std::string earlier = Journal();
    ASSERT_EQ(Sorted(Body()), Sorted({New(src + "kept.txt"), New(src + "stale.txt"), New(src + "Старое"),
                                      New(src + "Старое\\old.txt"), New(single)}));

    // The user removes two entries (stale from now on) and adds ten files of 1,000,000 bytes: the
    // budget is set to hold six or seven of them.
    DeleteFileA((src + "stale.txt").c_str());
    RemoveTree(src + "Старое");
    for (int i = 0; i < 10; ++i)
        WriteFile(src + "big\\f" + std::to_string(i) + ".bin",
                  std::string(1000000, static_cast<char>('0' + i)));
    WriteFile(single, "single, changed");
    SetStamp(single, 2 * 86400); // changed for the file stage too
    settings.LowDriveSpaceMb = DriveFree(target) / 1000000 - 6;
    ASSERT_GT(settings.LowDriveSpaceMb, 0);
    Run();

    // Only New lines before DiskFull: the folder and the files copied, each copy complete.
    const auto copied = SnapshotTree(Mirror(src + "big\\"));
    EXPECT_GE(copied.size(), 1u);
    EXPECT_LT(copied.size(), 10u);
    Lines expected = {New(src + "big")};
    for (const auto& [file, entry] : copied) {
        ASSERT_EQ(file.size(), 6u) << file; // f<digit>.bin and nothing else: no partial or temporary file
        EXPECT_EQ(entry.content, std::string(1000000, file[1])) << file;
        expected.push_back(New(src + "big\\" + file));
    }
    expected.push_back("DiskFull " + kStamp);
    EXPECT_EQ(Block(), Framed(expected));
    if (small) {
        // Measured before every file once the budget ran low: the pass never took the drive below
        // the floor, and stopped because the next file would have.
        const int64_t freeAfter = DriveFree(target), floor = settings.LowDriveSpaceMb * 1000000;
        EXPECT_GE(freeAfter, floor);
        EXPECT_LT(freeAfter, floor + 1100000);
    }
    // Nothing deleted, the rest of the mirror as it was, the file stage not reached.
    EXPECT_EQ(ReadFile(Mirror(src + "kept.txt")), "kept");
    EXPECT_EQ(ReadFile(Mirror(src + "stale.txt")), "stale");
    EXPECT_EQ(ReadFile(Mirror(src + "Старое\\old.txt")), "old");
    EXPECT_EQ(ReadFile(Mirror(single)), "single");
    // The journal keeps its earlier block and has the new one after it.
    EXPECT_EQ(Journal().substr(0, earlier.size()), earlier);
    EXPECT_EQ(JournalLines().size(), SplitCrLf(earlier).size() + Block().size());
    EXPECT_EQ(schedule.calls, 2);
    EXPECT_EQ(display.calls.back(), "normal");
}

TEST_F(MirrorPass, BudgetOfExactlyZeroAtTheStartRunsThePassAndWritesDiskFull) {
    if (!SmallVolumeMounted())
        GTEST_SKIP() << kSmallVolumeMissing;
    UseTarget('R');
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "stale.txt", "stale");
    settings.SourceDirs = {src};
    settings.LowDriveSpaceMb = 0;
    Run();
    DeleteFileA((src + "stale.txt").c_str());
    const std::string earlier = Journal();
    // A save file left by an interrupted save holds 64 KiB, given back when the journal is next
    // saved; the rest of the drive is filled to the last byte.
    ASSERT_EQ(WriteFiller(root + "journal.tmp", 65536), 65536);
    WriteFiller(target + "filler.bin", -1);
    ASSERT_EQ(DriveFree(target), 0);

    // A floor of 1 leaves a budget of -1,000,000: once it has compared, the pass returns before
    // any change, without a block, and gives the pointer back.
    settings.LowDriveSpaceMb = 1;
    EXPECT_EQ(Run().refusal, PassRefusal::LowSpace);
    EXPECT_EQ(Journal(), earlier);
    EXPECT_EQ(schedule.calls, 1);
    EXPECT_EQ(display.calls.back(), "normal");
    const size_t displayCalls = display.calls.size();

    // A floor of 0 leaves exactly 0: the pass runs, and 0 after the file stage is DiskFull.
    settings.LowDriveSpaceMb = 0;
    Run();
    EXPECT_EQ(schedule.calls, 2);
    ASSERT_GT(display.calls.size(), displayCalls);
    EXPECT_EQ(display.calls[displayCalls], "busy");
    EXPECT_EQ(Block(), Framed({"DiskFull " + kStamp}));
    EXPECT_EQ(Journal().substr(0, earlier.size()), earlier);
    EXPECT_EQ(Mirrored(src), (Files{{"a.txt", "a"}, {"stale.txt", "stale"}}));
    EXPECT_FALSE(IsFile(root + "journal.tmp"));
}

TEST_F(MirrorPass, CopiesThatFailOnAFullDriveLeaveNothingDamagedOrUnderTheirNames) {
    if (!SmallVolumeMounted())
        GTEST_SKIP() << kSmallVolumeMissing;
    UseTarget('R');
    WriteFile(src + "doc.txt", "version 1");
    settings.SourceDirs = {src};
    settings.LowDriveSpaceMb = 0;
    Run();
    const DosDateTime firstStamp = FileStamp(Mirror(src + "doc.txt"));

    // Larger than the 256 KiB left on the drive, each copy fails part-way: an update, a new file,
    // and a new file long unchanged, which goes straight to its mirror name. That one is read-only,
    // as the cut copy is then too, and Wine refuses to delete a read-only file even to root.
    WriteFile(src + "doc.txt", std::string(1000000, 'd'));
    WriteFile(src + "new.bin", std::string(1000000, 'n'));
    WriteFile(src + "big.bin", std::string(1000000, 'b'));
    SetStamp(src + "big.bin", 0);
    WriteAttributes(src + "big.bin", FILE_ATTRIBUTE_READONLY);
    // Long unchanged and held open without sharing: the copy cannot even start. Its folder is new.
    WriteFile(src + "Новая\\locked.txt", "locked");
    SetStamp(src + "Новая\\locked.txt", 0);
    // Another program fills the drive once the pass has measured it: the pass sees room enough
    // and starts the copies.
    display.onStage = [&](PassStage stage) {
        if (stage == PassStage::Compared)
            WriteFiller(target + "filler.bin", DriveFree(target) - 262144);
    };
    {
        FileLock lock(src + "Новая\\locked.txt");
        ASSERT_TRUE(lock.Held());
        Run();
    }
    EXPECT_EQ(Sorted(Body()),
              Sorted({FailedCopy(src + "doc.txt"), FailedCopy(src + "new.bin"), FailedCopy(src + "big.bin"),
                      New(src + "Новая"), FailedCopy(src + "Новая\\locked.txt")}));
    // The previous copy is whole, the new files have no partial copy, nothing else was left behind.
    EXPECT_EQ(Mirrored(src), (Files{{"doc.txt", "version 1"}, {"Новая\\", ""}}));
    EXPECT_EQ(FileStamp(Mirror(src + "doc.txt")), firstStamp);
    EXPECT_EQ(NamesIn(root), Top()) << "a copy was left at the top of the mirror folder";

    // With room again the next pass finds them all still to be copied.
    display.onStage = nullptr;
    DeleteFileA((target + "filler.bin").c_str());
    Run();
    EXPECT_EQ(Sorted(Body()), Sorted({Update(src + "doc.txt"), New(src + "new.bin"), New(src + "big.bin"),
                                      New(src + "Новая\\locked.txt")}));
    EXPECT_EQ(SnapshotTree(Mirror(src), Snap::FilesOnly), SnapshotTree(src, Snap::FilesOnly));
}

TEST_F(MirrorPass, LockedSourceAndLockedStaleFileAreReportedAsFailed) {
    WriteFile(src + "a.txt", "one");
    WriteFile(src + "gone.txt", "g");
    settings.SourceDirs = {src};
    Run();
    WriteFile(src + "a.txt", "two, longer");
    DeleteFileA((src + "gone.txt").c_str());
    {
        FileLock source(src + "a.txt"), stale(Mirror(src + "gone.txt"));
        ASSERT_TRUE(source.Held() && stale.Held());
        Run();
    }
    EXPECT_EQ(Body(), (Lines{FailedCopy(src + "a.txt"), FailedDelete(src + "gone.txt")}));
    EXPECT_EQ(Mirrored(src), (Files{{"a.txt", "one"}, {"gone.txt", "g"}}));
    Run();
    EXPECT_EQ(Body(), (Lines{Update(src + "a.txt"), Delete(src + "gone.txt")}));
    EXPECT_EQ(Mirrored(src), (Files{{"a.txt", "two, longer"}}));
}

// ---- New files written long before the pass ----
// Such files go straight to their mirror names (no earlier copy to keep); the stamps below lie
// years before the pass's clock, files written by the tests themselves lie after it.

TEST_F(MirrorPass, LongUnchangedNewFilesAreCopiedWholeWithTimeAndAttributes) {
    const std::vector<std::tuple<std::string, DWORD, std::string>> files = {
        {"старый отчёт.txt", 0, "report"},
        {"Папка\\только чтение.doc", FILE_ATTRIBUTE_READONLY, "read-only"},
        {"Папка\\скрытый.sys", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, "hidden"},
        {"Папка\\Вложенная\\пустой.dat", FILE_ATTRIBUTE_ARCHIVE, ""},
        {"large.bin", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, std::string(700000, 'L')},
    };
    Lines expected = {New(src + "Папка"), New(src + "Папка\\Вложенная")};
    int minute = 0;
    for (const auto& [rel, attr, content] : files) {
        const std::string path = src + rel;
        WriteFile(path, content);
        SetStamp(path, (minute += 3) * 60);
        if (attr)
            WriteAttributes(path, static_cast<int32_t>(attr));
        expected.push_back(New(path));
    }
    settings.SourceDirs = {src};
    Run();
    EXPECT_EQ(Sorted(Body()), Sorted(expected));
    // Content, write time and attributes of every file.
    EXPECT_EQ(SnapshotTree(Mirror(src), Snap::FilesOnly), SnapshotTree(src, Snap::FilesOnly));
    EXPECT_EQ(NamesIn(root), Top());
    Run();
    EXPECT_EQ(Block(), Framed({}));
}

TEST_F(MirrorPass, ACopyCutShortIsReplacedByTheNextPass) {
    // What a pass ended part-way through a copy leaves: the first part of the file, stamped with
    // the time it was written; or, had the end come between the last write and the stamp, the
    // whole file with that time. A shorter file with the source's own stamp is replaced as well.
    for (const char* f : {"cut.bin", "whole.bin", "short.bin"}) {
        WriteFile(src + f, std::string(300000, f[0]));
        SetStamp(src + f, 0);
    }
    settings.SourceDirs = {src};
    Run();
    WriteFile(Mirror(src + "cut.bin"), std::string(65536, 'c'));
    WriteFile(Mirror(src + "whole.bin"), std::string(300000, 'w'));
    WriteFile(Mirror(src + "short.bin"), std::string(65536, 's'));
    ASSERT_TRUE(CopyWriteTime(src + "short.bin", Mirror(src + "short.bin")));
    Run();
    EXPECT_EQ(Sorted(Body()),
              Sorted({Update(src + "cut.bin"), Update(src + "whole.bin"), Update(src + "short.bin")}));
    EXPECT_EQ(SnapshotTree(Mirror(src)), SnapshotTree(src));
}

// ---- Read-only entries of the mirror ----

TEST_F(MirrorPass, ReadOnlyMirrorEntriesAreUpdatedAndDeleted) {
    // Wine lets root overwrite a read-only file but never delete one: the deletions below happen
    // only because the pass clears the attributes first.
    for (const char* f : {"ro.txt", "flip.txt", "gone.txt", "Gone\\inner.txt"}) {
        WriteFile(src + f, f);
        WriteAttributes(src + f, FILE_ATTRIBUTE_READONLY);
    }
    settings.SourceDirs = {src};
    Run();
    ASSERT_NE(ReadAttributes(Mirror(src + "gone.txt")) & FILE_ATTRIBUTE_READONLY, 0);
    ASSERT_FALSE(DeleteFileA(Mirror(src + "gone.txt").c_str())); // what the pass has to get past
    // The mirror's stale folder is hidden as well (a folder's read-only bit is not kept by Wine).
    WriteAttributes(Mirror(src + "Gone"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    WriteAttributes(root + "journal.txt", FILE_ATTRIBUTE_READONLY);

    WriteAttributes(src + "ro.txt", 0);
    WriteFile(src + "ro.txt", "new content");
    WriteAttributes(src + "ro.txt", FILE_ATTRIBUTE_READONLY);
    WriteAttributes(src + "flip.txt", FILE_ATTRIBUTE_ARCHIVE);
    WriteAttributes(src + "gone.txt", 0);
    DeleteFileA((src + "gone.txt").c_str());
    RemoveTree(src + "Gone");
    Run();
    EXPECT_EQ(Sorted(Body()), Sorted({Update(src + "ro.txt"), Update(src + "flip.txt"),
                                      Delete(src + "gone.txt"), Delete(src + "Gone\\inner.txt")}));
    // ro.txt with its new content, flip.txt no longer read-only, gone.txt and Gone\\inner.txt gone.
    EXPECT_EQ(SnapshotTree(Mirror(src), Snap::FilesOnly), SnapshotTree(src, Snap::FilesOnly));
    EXPECT_TRUE(IsFolder(Mirror(src + "Gone"))); // visited before its content, not empty then
    // The read-only journal was replaced with both blocks.
    EXPECT_EQ(WithPrefix(JournalLines(), "Start ").size(), 2u);

    Run();
    EXPECT_EQ(Body(), Lines{Delete(src + "Gone")});
    EXPECT_FALSE(IsFolder(Mirror(src + "Gone")));
    Run();
    EXPECT_EQ(Block(), Framed({}));
}

// ---- Duplicate and overlapping sources ----

TEST_F(MirrorPass, AnEntryListedTwiceOrInsideAListedFolderIsMirroredOnce) {
    WriteFile(src + "a.txt", "a");
    // Twice (the second without its trailing separator, as the settings dialog adds folders), a
    // subfolder after and before the folder that holds it, a file of a listed folder twice.
    const std::vector<std::pair<Lines, Lines>> listings = {{{src, src.substr(0, src.size() - 1)}, {}},
                                                           {{src, src + "sub\\"}, {}},
                                                           {{src + "sub\\", src}, {}},
                                                           {{src}, {src + "a.txt", src + "a.txt"}}};
    for (size_t i = 0; i < listings.size(); ++i) {
        SCOPED_TRACE(i);
        UseTarget('T');
        std::tie(settings.SourceDirs, settings.SourceFiles) = listings[i];
        WriteFile(src + "sub\\b.txt", "b");
        Run();
        EXPECT_EQ(Sorted(Body()), Sorted({New(src + "a.txt"), New(src + "sub"), New(src + "sub\\b.txt")}));
        WriteFile(src + "sub\\b.txt", "changed");
        Run();
        EXPECT_EQ(Body(), Lines{Update(src + "sub\\b.txt")});
        Run();
        EXPECT_EQ(Body(), Lines{});
        EXPECT_EQ(Mirrored(src), (Files{{"a.txt", "a"}, {"sub\\", ""}, {"sub\\b.txt", "changed"}}));
    }
}

TEST_F(MirrorPass, TheSameFolderOnASecondDriveIsRefusedBeforeAnythingOfItIsTried) {
    // Both drives hold x.txt and Общая\y.txt, long unchanged and new to the mirror, and the second
    // drive's cannot even be read: it is refused before anything of it is tried, so the first
    // source's copies stand.
    const std::string other = FreshFolder('U', name);
    ASSERT_EQ(MirrorRel(other), MirrorRel(src));
    for (const std::string rel : {"x.txt", "Общая\\y.txt"}) {
        WriteFile(src + rel, "from drive S: " + rel);
        WriteFile(other + rel, "from U: " + rel);
        SetStamp(src + rel, 0);
        SetStamp(other + rel, 7 * 60);
    }
    WriteFile(other + "Sub\\y.txt", "from U");
    // The whole folder and a folder inside it: both would write into the first one's mirror.
    settings.SourceDirs = {src, other, other + "Sub"};
    const Lines refused = {FailedLine(other), FailedLine(other + "Sub")};
    {
        FileLock x(other + "x.txt"), y(other + "Общая\\y.txt");
        ASSERT_TRUE(x.Held() && y.Held());
        Run();
    }
    EXPECT_EQ(Body(), (Lines{New(src + "x.txt"), New(src + "Общая"), New(src + "Общая\\y.txt"), refused[0],
                             refused[1]}));
    Run();
    EXPECT_EQ(Body(), refused);
    const Files first = {
        {"x.txt", "from drive S: x.txt"}, {"Общая\\", ""}, {"Общая\\y.txt", "from drive S: Общая\\y.txt"}};
    EXPECT_EQ(Mirrored(src), first);
    // Listed the other way round, a folder inside keeps the mirror and the covering one is refused;
    // what the refused drive's mirror holds stays as it was.
    settings.SourceDirs = {other + "Sub", src};
    Run();
    EXPECT_EQ(Body(), (Lines{New(other + "Sub\\y.txt"), FailedLine(src)}));
    Files both = first;
    both.insert({{"Sub\\", ""}, {"Sub\\y.txt", "from U"}});
    EXPECT_EQ(Mirrored(src), both);
    RemoveTree(other);
}

// ---- Folder attributes ----

TEST_F(MirrorPass, FolderAttributeChangeUpdatesOnlyTheFolder) {
    WriteFile(src + "Dir\\data.txt", "data");
    WriteFile(src + "Other\\first.txt", "1");
    settings.SourceDirs = {src};
    Run();
    // The mirror copy inside gets other content of the same size and time: it still counts as
    // current, and would be overwritten if the folder's update copied its content.
    const std::string mirrorData = Mirror(src + "Dir\\data.txt");
    WriteFile(mirrorData, "XXXX");
    ASSERT_TRUE(CopyWriteTime(src + "Dir\\data.txt", mirrorData));

    WriteAttributes(src + "Dir", FILE_ATTRIBUTE_HIDDEN);
    ASSERT_NE(ReadAttributes(src + "Dir") & FILE_ATTRIBUTE_HIDDEN, 0);
    // Other changes its time only: a new file, and a write time years back.
    WriteFile(src + "Other\\second.txt", "2");
    SetStamp(src + "Other", 2 * 86400);
    Run();
    EXPECT_EQ(Sorted(Body()), Sorted({Update(src + "Dir"), New(src + "Other\\second.txt")}));
    EXPECT_EQ(ReadAttributes(Mirror(src + "Dir")), ReadAttributes(src + "Dir"));
    EXPECT_EQ(ReadFile(mirrorData), "XXXX");
    Run();
    EXPECT_EQ(Block(), Framed({}));

    // And back to plain.
    WriteAttributes(src + "Dir", 0);
    ASSERT_EQ(ReadAttributes(src + "Dir"), FILE_ATTRIBUTE_DIRECTORY);
    Run();
    EXPECT_EQ(Body(), Lines{Update(src + "Dir")});
    EXPECT_EQ(ReadAttributes(Mirror(src + "Dir")), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(ReadFile(mirrorData), "XXXX");
}

// ---- Removed content over several passes ----

TEST_F(MirrorPass, ChangedFilesAreUpdatedAndRemovedFoldersClearOneLevelPerPass) {
    WriteFile(src + "keep.txt", "one");
    WriteFile(src + "A\\a.txt", "a");
    WriteFile(src + "A\\B\\b.txt", "b");
    WriteFile(src + "A\\B\\C\\c.txt", "c");
    settings.SourceDirs = {src};
    Run();
    ASSERT_TRUE(IsFile(Mirror(src + "A\\B\\C\\c.txt")));
    WriteFile(src + "keep.txt", "two, longer");
    RemoveTree(src + "A");
    // Depth 3 (A, B, C): the files go at once, then one folder per pass, innermost first; the
    // journal is never among the deleted.
    const std::vector<Lines> expected = {{Update(src + "keep.txt"), Delete(src + "A\\a.txt"),
                                          Delete(src + "A\\B\\b.txt"), Delete(src + "A\\B\\C\\c.txt")},
                                         {Delete(src + "A\\B\\C")},
                                         {Delete(src + "A\\B")},
                                         {Delete(src + "A")},
                                         {}};
    for (size_t pass = 0; pass < expected.size(); ++pass) {
        Run();
        EXPECT_EQ(Block(), Framed(expected[pass])) << "pass " << pass + 1 << " after the removal";
    }
    EXPECT_EQ(Mirrored(src), (Files{{"keep.txt", "two, longer"}}));

    // A source taken out of the settings goes the same way, its own folder last.
    settings.SourceDirs.clear();
    const std::vector<Lines> removal = {
        {Delete(src + "keep.txt")}, {Delete(src.substr(0, src.size() - 1))}, {}};
    for (size_t pass = 0; pass < removal.size(); ++pass) {
        Run();
        EXPECT_EQ(Block(), Framed(removal[pass])) << "pass " << pass + 1 << " without the source";
    }
    EXPECT_FALSE(IsFolder(Mirror(src)));
    EXPECT_TRUE(IsFile(root + "journal.txt"));
}
