// Backup passes on real files: the free-space floor and a full drive, read-only mirror entries,
// duplicate and overlapping sources, folder attributes, stale trees cleared over several passes,
// and copies or deletions that fail.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>

#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "engine_helpers.h"
#include "test_drives.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

const std::string kStamp = "06.12.26 18:20:13";
const std::string kSmallVolumeMissing =
    "R: is not the small tmpfs volume (no R:\\.tmpfs marker; mounting was refused on this machine), "
    "so a drive with exactly 0 bytes free cannot be set up";

// The block a pass writes around the given lines.
std::vector<std::string> Framed(std::vector<std::string> middle) {
    middle.insert(middle.begin(), "Start " + kStamp);
    middle.push_back("Stop " + kStamp);
    middle.push_back("NextStart 06.12.26 19:20:13");
    middle.push_back("");
    return middle;
}

std::vector<std::string> WithTag(const std::vector<std::string>& lines, const std::string& tag) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (l.rfind(tag, 0) == 0)
            out.push_back(l);
    return out;
}

// Names (with "\" after folders) of everything below `folder`, as the file system lists them.
std::vector<std::string> ListTree(const std::string& folder) {
    std::vector<std::string> out;
    SearchFolder(folder + "*.*", [&](const DirEntry& e) {
        if (e.Name == "." || e.Name == "..")
            return true;
        if (e.Attr & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(e.Name + "\\");
            for (const auto& inner : ListTree(folder + e.Name + "\\"))
                out.push_back(e.Name + "\\" + inner);
        } else {
            out.push_back(e.Name);
        }
        return true;
    });
    return Sorted(out);
}

// Holds a file open with no sharing, so that no one else can read or delete it.
class Lock {
public:
    explicit Lock(const std::string& path)
        : m_h(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~Lock() { Release(); }
    bool Held() const { return m_h != INVALID_HANDLE_VALUE; }
    void Release() {
        if (Held())
            CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_h;
};

struct MirrorPass : EngineFixture {
    // A path as Delete lines name it: relative to BackupRoot.
    static std::string Rel(const std::string& path) { return path.substr(3); }
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
    const std::string earlier = JournalText();
    ASSERT_EQ(WithTag(SplitCrLf(earlier), "New    ").size(), 5u);

    // The user removes two entries (stale from now on) and adds ten files of 1,000,000 bytes: the
    // budget is set to hold six or seven of them.
    DeleteFileA((src + "stale.txt").c_str());
    test::RemoveTree(src + "Старое");
    for (int i = 0; i < 10; ++i)
        WriteFile(src + "big\\f" + std::to_string(i) + ".bin",
                  std::string(1000000, static_cast<char>('0' + i)));
    WriteFile(single, "single, changed");
    SYSTEMTIME past{2020, 1, 3, 1, 12, 0, 0, 0};
    FILETIME pastTime{};
    ASSERT_TRUE(SystemTimeToFileTime(&past, &pastTime));
    ASSERT_TRUE(SetWriteTime(single, pastTime)); // changed for the file stage too
    const int64_t freeBefore = DriveFree(target);
    settings.LowDriveSpaceMb = freeBefore / 1000000 - 6;
    ASSERT_GT(settings.LowDriveSpaceMb, 0);
    Run();

    const auto block = Block();
    ASSERT_GE(block.size(), 5u);
    const auto frame = Framed({});
    EXPECT_EQ(block[block.size() - 4], "DiskFull " + kStamp);
    EXPECT_EQ(std::vector<std::string>(block.end() - 3, block.end()),
              std::vector<std::string>(frame.end() - 3, frame.end()));
    EXPECT_TRUE(WithTag(block, "Delete ").empty());
    EXPECT_TRUE(WithTag(block, "Failed ").empty());
    // Only New lines before DiskFull: the folder and the files copied, each copy complete.
    const auto news = WithTag(block, "New    ");
    EXPECT_EQ(news.size() + 5, block.size());
    EXPECT_EQ(news.front(), "New    " + Mirror(src + "big"));
    const auto copied = ListTree(Mirror(src + "big\\"));
    EXPECT_GE(copied.size(), 1u);
    EXPECT_LT(copied.size(), 10u);
    EXPECT_EQ(news.size(), copied.size() + 1);
    for (const auto& file : copied) {
        ASSERT_EQ(file.size(), 6u) << file; // f<digit>.bin and nothing else: no partial or temporary file
        EXPECT_EQ(ReadFile(Mirror(src + "big\\" + file)), std::string(1000000, file[1])) << file;
    }
    if (small) {
        // Measured at every entry once the budget ran low: the last copy may reach past the floor
        // by at most its own size, and the pass stopped because the floor was reached.
        const int64_t freeAfter = DriveFree(target);
        const int64_t floor = settings.LowDriveSpaceMb * 1000000;
        EXPECT_GE(freeAfter, floor - 1100000);
        EXPECT_LT(freeAfter, floor);
    }
    // Nothing deleted, the rest of the mirror as it was, the file stage not reached.
    EXPECT_EQ(ReadFile(Mirror(src + "kept.txt")), "kept");
    EXPECT_EQ(ReadFile(Mirror(src + "stale.txt")), "stale");
    EXPECT_EQ(ReadFile(Mirror(src + "Старое\\old.txt")), "old");
    EXPECT_EQ(ReadFile(Mirror(single)), "single");
    // The journal keeps its earlier block and has the new one after it.
    const std::string now = JournalText();
    EXPECT_EQ(now.substr(0, earlier.size()), earlier);
    EXPECT_EQ(SplitCrLf(now).size(), SplitCrLf(earlier).size() + block.size());
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
    const std::string earlier = JournalText();
    // A save file left by an interrupted save holds 64 KiB, given back when the journal is next
    // saved; the rest of the drive is filled to the last byte.
    ASSERT_EQ(WriteFiller(root + "journal.tmp", 65536), 65536);
    WriteFiller(target + "filler.bin", -1);
    ASSERT_EQ(DriveFree(target), 0);

    // A floor of 1 leaves a budget of -1,000,000: the pass returns before anything.
    const size_t displayCalls = display.calls.size();
    settings.LowDriveSpaceMb = 1;
    Run();
    EXPECT_EQ(JournalText(), earlier);
    EXPECT_EQ(schedule.calls, 1);
    EXPECT_EQ(display.calls.size(), displayCalls);

    // A floor of 0 leaves exactly 0: the pass runs, and 0 after the file stage is DiskFull.
    settings.LowDriveSpaceMb = 0;
    Run();
    EXPECT_EQ(schedule.calls, 2);
    ASSERT_GT(display.calls.size(), displayCalls);
    EXPECT_EQ(display.calls[displayCalls], "busy");
    EXPECT_EQ(Block(), Framed({"DiskFull " + kStamp}));
    EXPECT_EQ(JournalText().substr(0, earlier.size()), earlier);
    EXPECT_EQ(ReadFile(Mirror(src + "stale.txt")), "stale");
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a");
    EXPECT_FALSE(IsFile(root + "journal.tmp"));
}

TEST_F(MirrorPass, CopiesThatFailOnAFullDriveLeaveNoDamagedFile) {
    if (!SmallVolumeMounted())
        GTEST_SKIP() << kSmallVolumeMissing;
    UseTarget('R');
    WriteFile(src + "doc.txt", "version 1");
    settings.SourceDirs = {src};
    settings.LowDriveSpaceMb = 0;
    Run();
    const DosDateTime firstStamp = FileStamp(Mirror(src + "doc.txt"));

    // Both files are larger than the 256 KiB left on the drive.
    WriteFile(src + "doc.txt", std::string(1000000, 'd'));
    WriteFile(src + "new.bin", std::string(1000000, 'n'));
    WriteFiller(target + "filler.bin", DriveFree(target) - 262144);
    Run();
    const auto block = Block();
    EXPECT_EQ(Sorted(WithTag(block, "Failed ")),
              Sorted({"Failed " + Mirror(src + "doc.txt"), "Failed " + Mirror(src + "new.bin")}));
    EXPECT_TRUE(WithTag(block, "New    ").empty());
    EXPECT_TRUE(WithTag(block, "Update ").empty());
    // The previous copy is whole, the new file has no partial copy, nothing else was left behind.
    EXPECT_EQ(ReadFile(Mirror(src + "doc.txt")), "version 1");
    EXPECT_EQ(FileStamp(Mirror(src + "doc.txt")), firstStamp);
    EXPECT_EQ(ListTree(Mirror(src)), std::vector<std::string>{"doc.txt"});

    // With room again the next pass finds both files still to be copied.
    DeleteFileA((target + "filler.bin").c_str());
    Run();
    EXPECT_EQ(Sorted(Middle(Block())),
              Sorted({"New    " + Mirror(src + "new.bin"), "Update " + Mirror(src + "doc.txt")}));
    EXPECT_EQ(ReadFile(Mirror(src + "doc.txt")), std::string(1000000, 'd'));
    EXPECT_EQ(ReadFile(Mirror(src + "new.bin")), std::string(1000000, 'n'));
}

TEST_F(MirrorPass, LockedSourceAndLockedStaleFileAreReportedAsFailed) {
    WriteFile(src + "a.txt", "one");
    WriteFile(src + "gone.txt", "g");
    settings.SourceDirs = {src};
    Run();
    WriteFile(src + "a.txt", "two, longer");
    DeleteFileA((src + "gone.txt").c_str());
    {
        Lock source(src + "a.txt"), stale(Mirror(src + "gone.txt"));
        ASSERT_TRUE(source.Held());
        ASSERT_TRUE(stale.Held());
        Run();
    }
    EXPECT_EQ(Middle(Block()), (std::vector<std::string>{"Failed " + Mirror(src + "a.txt"),
                                                         "Failed " + Rel(src + "gone.txt")}));
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "one");
    EXPECT_EQ(ReadFile(Mirror(src + "gone.txt")), "g");
    Run();
    EXPECT_EQ(Middle(Block()), (std::vector<std::string>{"Update " + Mirror(src + "a.txt"),
                                                         "Delete " + Rel(src + "gone.txt")}));
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "two, longer");
    EXPECT_FALSE(IsFile(Mirror(src + "gone.txt")));
}

// ---- New files written long before the pass ----
// Such files go straight to their mirror names (no earlier copy to keep); the stamps below lie
// years before the pass's clock, files written by the tests themselves lie after it.

namespace {

void SetOldStamp(const std::string& path, int minutes = 0) {
    SYSTEMTIME st{2020, 5, 5, 1, 10, 0, 0, 0};
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    ULARGE_INTEGER v{{ft.dwLowDateTime, ft.dwHighDateTime}};
    v.QuadPart += static_cast<uint64_t>(minutes) * 60 * 10000000ull;
    ASSERT_TRUE(SetWriteTime(path, FILETIME{v.LowPart, v.HighPart}));
}

// The entries at the top of the mirror folder besides the journal.
std::vector<std::string> TopBesidesJournal(const std::string& root) {
    std::vector<std::string> out;
    SearchFolder(root + "*.*", [&](const DirEntry& e) {
        if (e.Name != "." && e.Name != ".." && e.Name != "journal.txt" && e.Name != kPassLockName)
            out.push_back(e.Name);
        return true;
    });
    return out;
}

} // namespace

TEST_F(MirrorPass, LongUnchangedNewFilesAreCopiedWholeWithTimeAndAttributes) {
    const std::vector<std::pair<std::string, DWORD>> files = {
        {"старый отчёт.txt", 0},
        {"Папка\\только чтение.doc", FILE_ATTRIBUTE_READONLY},
        {"Папка\\скрытый.sys", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
        {"Папка\\Вложенная\\пустой.dat", FILE_ATTRIBUTE_ARCHIVE},
        {"large.bin", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
    };
    std::vector<std::string> expected;
    int minute = 0;
    for (const auto& [rel, attr] : files) {
        const std::string path = src + rel;
        WriteFile(path, rel == "large.bin"                        ? std::string(700000, 'L')
                        : rel.find("пустой") != std::string::npos ? ""
                                                                  : rel);
        SetOldStamp(path, minute += 3);
        if (attr)
            WriteAttributes(path, static_cast<int32_t>(attr));
        expected.push_back("New    " + Mirror(path));
    }
    for (const char* folder : {"Папка", "Папка\\Вложенная"})
        expected.push_back("New    " + Mirror(src + folder));
    settings.SourceDirs = {src};
    Run();
    EXPECT_EQ(Sorted(Middle(Block())), Sorted(expected));
    for (const auto& [rel, attr] : files) {
        SCOPED_TRACE(rel);
        EXPECT_EQ(ReadFile(Mirror(src + rel)), ReadFile(src + rel));
        EXPECT_EQ(FileStamp(Mirror(src + rel)), FileStamp(src + rel));
        EXPECT_EQ(ReadAttributes(Mirror(src + rel)), ReadAttributes(src + rel));
    }
    EXPECT_EQ(TopBesidesJournal(root), std::vector<std::string>{src.substr(3, src.find('\\', 3) - 3)});
    Run();
    EXPECT_EQ(Block(), Framed({}));
}

TEST_F(MirrorPass, FailedCopiesOfLongUnchangedNewFilesLeaveNothingUnderTheirNames) {
    if (!SmallVolumeMounted())
        GTEST_SKIP() << kSmallVolumeMissing;
    UseTarget('R');
    WriteFile(src + "first.txt", "first");
    settings.SourceDirs = {src};
    settings.LowDriveSpaceMb = 0;
    Run();

    // Larger than the room left: the copy fails part-way. It is read-only, as the cut copy is then
    // too, and Wine refuses to delete a read-only file even to root.
    WriteFile(src + "big.bin", std::string(1000000, 'b'));
    SetOldStamp(src + "big.bin");
    WriteAttributes(src + "big.bin", FILE_ATTRIBUTE_READONLY);
    // Held open without sharing: the copy cannot even start. Its folder is new to the mirror.
    WriteFile(src + "Новая\\locked.txt", "locked");
    SetOldStamp(src + "Новая\\locked.txt");
    WriteFiller(target + "filler.bin", DriveFree(target) - 262144);
    {
        Lock lock(src + "Новая\\locked.txt");
        ASSERT_TRUE(lock.Held());
        Run();
    }
    EXPECT_EQ(Sorted(Middle(Block())),
              Sorted({"Failed " + Mirror(src + "big.bin"), "New    " + Mirror(src + "Новая"),
                      "Failed " + Mirror(src + "Новая\\locked.txt")}));
    EXPECT_EQ(ListTree(Mirror(src)), Sorted({"first.txt", "Новая\\"}));
    EXPECT_EQ(ReadFile(Mirror(src + "first.txt")), "first");
    EXPECT_EQ(TopBesidesJournal(root).size(), 1u) << "a copy was left at the top of the mirror folder";

    DeleteFileA((target + "filler.bin").c_str());
    Run();
    EXPECT_EQ(Sorted(Middle(Block())),
              Sorted({"New    " + Mirror(src + "big.bin"), "New    " + Mirror(src + "Новая\\locked.txt")}));
    EXPECT_EQ(ReadFile(Mirror(src + "big.bin")), std::string(1000000, 'b'));
    EXPECT_EQ(ReadAttributes(Mirror(src + "big.bin")), ReadAttributes(src + "big.bin"));
    EXPECT_EQ(ReadFile(Mirror(src + "Новая\\locked.txt")), "locked");
}

TEST_F(MirrorPass, ACopyCutShortIsReplacedByTheNextPass) {
    // What a pass ended part-way through a copy leaves: the first part of the file, stamped with
    // the time it was written; or, had the end come between the last write and the stamp, the
    // whole file with that time. A shorter file with the source's own stamp is replaced as well.
    WriteFile(src + "cut.bin", std::string(300000, 'c'));
    WriteFile(src + "whole.bin", std::string(300000, 'w'));
    WriteFile(src + "short.bin", std::string(300000, 's'));
    for (const char* f : {"cut.bin", "whole.bin", "short.bin"})
        SetOldStamp(src + f);
    settings.SourceDirs = {src};
    Run();
    WriteFile(Mirror(src + "cut.bin"), std::string(65536, 'c'));
    WriteFile(Mirror(src + "whole.bin"), std::string(300000, 'w'));
    WriteFile(Mirror(src + "short.bin"), std::string(65536, 's'));
    ASSERT_TRUE(CopyWriteTime(src + "short.bin", Mirror(src + "short.bin")));
    Run();
    EXPECT_EQ(Sorted(Middle(Block())),
              Sorted({"Update " + Mirror(src + "cut.bin"), "Update " + Mirror(src + "whole.bin"),
                      "Update " + Mirror(src + "short.bin")}));
    EXPECT_EQ(ReadFile(Mirror(src + "cut.bin")), std::string(300000, 'c'));
    EXPECT_EQ(ReadFile(Mirror(src + "short.bin")), std::string(300000, 's'));
    EXPECT_EQ(FileStamp(Mirror(src + "whole.bin")), FileStamp(src + "whole.bin"));
}

// ---- Read-only entries of the mirror ----

TEST_F(MirrorPass, ReadOnlyMirrorEntriesAreUpdatedAndDeleted) {
    // Wine lets root overwrite a read-only file but never delete one: the deletions below happen
    // only because the pass clears the attributes first.
    WriteFile(src + "ro.txt", "old");
    WriteFile(src + "flip.txt", "flip");
    WriteFile(src + "gone.txt", "gone");
    WriteFile(src + "Gone\\inner.txt", "inner");
    for (const char* f : {"ro.txt", "flip.txt", "gone.txt", "Gone\\inner.txt"})
        WriteAttributes(src + f, FILE_ATTRIBUTE_READONLY);
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
    test::RemoveTree(src + "Gone");
    Run();
    EXPECT_EQ(Sorted(Middle(Block())),
              Sorted({"Update " + Mirror(src + "ro.txt"), "Update " + Mirror(src + "flip.txt"),
                      "Delete " + Rel(src + "gone.txt"), "Delete " + Rel(src + "Gone\\inner.txt")}));
    EXPECT_EQ(ReadFile(Mirror(src + "ro.txt")), "new content");
    EXPECT_EQ(ReadAttributes(Mirror(src + "ro.txt")), ReadAttributes(src + "ro.txt"));
    EXPECT_EQ(ReadAttributes(Mirror(src + "flip.txt")), ReadAttributes(src + "flip.txt"));
    EXPECT_EQ(ReadAttributes(Mirror(src + "flip.txt")) & FILE_ATTRIBUTE_READONLY, 0);
    EXPECT_FALSE(IsFile(Mirror(src + "gone.txt")));
    EXPECT_FALSE(IsFile(Mirror(src + "Gone\\inner.txt")));
    EXPECT_TRUE(IsFolder(Mirror(src + "Gone"))); // visited before its content, not empty then
    // The read-only journal was replaced with both blocks.
    EXPECT_EQ(WithTag(SplitCrLf(JournalText()), "Start ").size(), 2u);

    Run();
    EXPECT_EQ(Middle(Block()), std::vector<std::string>{"Delete " + Rel(src + "Gone")});
    EXPECT_FALSE(IsFolder(Mirror(src + "Gone")));
    Run();
    EXPECT_EQ(Block(), Framed({}));
}

// ---- Duplicate and overlapping sources ----

TEST_F(MirrorPass, AFolderListedTwiceIsMirroredOnce) {
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "sub\\b.txt", "b");
    // The second entry lacks its trailing separator, as the settings dialog adds folders.
    settings.SourceDirs = {src, src.substr(0, src.size() - 1)};
    const std::vector<std::string> all = {"New    " + Mirror(src + "a.txt"), "New    " + Mirror(src + "sub"),
                                          "New    " + Mirror(src + "sub\\b.txt")};
    Run();
    EXPECT_EQ(Sorted(Middle(Block())), Sorted(all));
    Run();
    EXPECT_EQ(Middle(Block()), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(Mirror(src + "sub\\b.txt")), "b");
    EXPECT_EQ(ListTree(Mirror(src)), (std::vector<std::string>{"a.txt", "sub\\", "sub\\b.txt"}));
}

TEST_F(MirrorPass, TheSameFolderOnASecondDriveIsRefusedAndTheFirstKeepsItsMirror) {
    const std::string other = FreshFolder('U', name);
    ASSERT_EQ(other.substr(3), src.substr(3));
    WriteFile(src + "x.txt", "from drive S");
    WriteFile(other + "x.txt", "from U");
    WriteFile(other + "Sub\\y.txt", "from U");
    // The whole folder and a folder inside it: both would write into the first one's mirror.
    settings.SourceDirs = {src, other, other + "Sub"};
    Run();
    const std::vector<std::string> refused = {"Failed " + other, "Failed " + other + "Sub"};
    EXPECT_EQ(Middle(Block()),
              (std::vector<std::string>{"New    " + Mirror(src + "x.txt"), refused[0], refused[1]}));
    Run();
    EXPECT_EQ(Middle(Block()), refused);
    EXPECT_EQ(ReadFile(Mirror(src + "x.txt")), "from drive S");
    EXPECT_FALSE(IsFolder(Mirror(src + "Sub")));
    // Listed the other way round, a folder inside keeps the mirror and the covering one is refused;
    // a file of the refused drive that the first one's mirror holds stays as it was.
    settings.SourceDirs = {other + "Sub", src};
    Run();
    EXPECT_EQ(Middle(Block()),
              (std::vector<std::string>{"New    " + Mirror(other + "Sub\\y.txt"), "Failed " + src}));
    EXPECT_EQ(ReadFile(Mirror(src + "x.txt")), "from drive S");
    test::RemoveTree(other);
}

TEST_F(MirrorPass, ASecondDriveRefusedWhileItsFilesAreLockedLeavesTheFirstSourcesCopies) {
    // Both files are long unchanged and new to the mirror; the second source cannot even be read.
    // It is refused before anything of it is tried, so the first source's copies stand.
    const std::string other = FreshFolder('U', name);
    for (const std::string& rel : {std::string("x.txt"), std::string("Общая\\y.txt")}) {
        WriteFile(src + rel, "from drive S: " + rel);
        WriteFile(other + rel, "from U: " + rel);
        SetOldStamp(src + rel);
        SetOldStamp(other + rel, 7);
    }
    settings.SourceDirs = {src, other};
    {
        Lock x(other + "x.txt"), y(other + "Общая\\y.txt");
        ASSERT_TRUE(x.Held() && y.Held());
        Run();
    }
    EXPECT_EQ(Sorted(Middle(Block())),
              Sorted({"New    " + Mirror(src + "x.txt"), "New    " + Mirror(src + "Общая"),
                      "New    " + Mirror(src + "Общая\\y.txt"), "Failed " + other}));
    EXPECT_EQ(ReadFile(Mirror(src + "x.txt")), "from drive S: x.txt");
    EXPECT_EQ(ReadFile(Mirror(src + "Общая\\y.txt")), "from drive S: Общая\\y.txt");
    test::RemoveTree(other);
}

TEST_F(MirrorPass, AFolderAndItsSubfolderBothListedAreMirroredOnce) {
    WriteFile(src + "top.txt", "t");
    WriteFile(src + "sub\\in.txt", "i");
    const std::string inner = "New    " + Mirror(src + "sub\\in.txt");
    settings.SourceDirs = {src, src + "sub\\"};
    Run();
    EXPECT_EQ(Sorted(Middle(Block())),
              Sorted({"New    " + Mirror(src + "top.txt"), "New    " + Mirror(src + "sub"), inner}));
    Run();
    EXPECT_EQ(Middle(Block()), std::vector<std::string>{});
    // In the other order the subfolder gives its turn to the folder that holds it.
    settings.SourceDirs = {src + "sub\\", src};
    WriteFile(src + "sub\\in.txt", "changed");
    Run();
    EXPECT_EQ(Middle(Block()), std::vector<std::string>{"Update " + Mirror(src + "sub\\in.txt")});
    Run();
    EXPECT_EQ(Middle(Block()), std::vector<std::string>{});
    EXPECT_EQ(ListTree(Mirror(src)), (std::vector<std::string>{"sub\\", "sub\\in.txt", "top.txt"}));
    EXPECT_EQ(ReadFile(Mirror(src + "sub\\in.txt")), "changed");
}

TEST_F(MirrorPass, AListedFileInsideAListedFolderIsMirroredOnce) {
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "b.txt", "b");
    settings.SourceDirs = {src};
    settings.SourceFiles = {src + "a.txt", src + "a.txt"};
    Run();
    EXPECT_EQ(Sorted(Middle(Block())),
              Sorted({"New    " + Mirror(src + "a.txt"), "New    " + Mirror(src + "b.txt")}));
    Run();
    EXPECT_EQ(Middle(Block()), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a");
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
    SYSTEMTIME past{2020, 1, 3, 1, 12, 0, 0, 0};
    FILETIME pastTime{};
    ASSERT_TRUE(SystemTimeToFileTime(&past, &pastTime));
    ASSERT_TRUE(SetWriteTime(src + "Other", pastTime));
    Run();
    EXPECT_EQ(Sorted(Middle(Block())),
              Sorted({"Update " + Mirror(src + "Dir"), "New    " + Mirror(src + "Other\\second.txt")}));
    EXPECT_EQ(ReadAttributes(Mirror(src + "Dir")), ReadAttributes(src + "Dir"));
    EXPECT_EQ(ReadFile(mirrorData), "XXXX");
    Run();
    EXPECT_EQ(Block(), Framed({}));

    // And back to plain.
    WriteAttributes(src + "Dir", 0);
    ASSERT_EQ(ReadAttributes(src + "Dir"), FILE_ATTRIBUTE_DIRECTORY);
    Run();
    EXPECT_EQ(Middle(Block()), std::vector<std::string>{"Update " + Mirror(src + "Dir")});
    EXPECT_EQ(ReadAttributes(Mirror(src + "Dir")), ReadAttributes(src + "Dir"));
    EXPECT_EQ(ReadAttributes(Mirror(src + "Dir")) & FILE_ATTRIBUTE_HIDDEN, 0);
    EXPECT_EQ(ReadFile(mirrorData), "XXXX");
}

// ---- Removed content over several passes ----

TEST_F(MirrorPass, RemovedNestedFoldersClearOneLevelPerPass) {
    WriteFile(src + "keep.txt", "k");
    WriteFile(src + "A\\a.txt", "a");
    WriteFile(src + "A\\B\\b.txt", "b");
    WriteFile(src + "A\\B\\C\\c.txt", "c");
    settings.SourceDirs = {src};
    Run();
    ASSERT_TRUE(IsFile(Mirror(src + "A\\B\\C\\c.txt")));
    test::RemoveTree(src + "A");
    // Depth 3 (A, B, C): the files go at once, then one folder per pass, innermost first.
    const std::vector<std::vector<std::string>> expected = {{"Delete " + Rel(src + "A\\a.txt"),
                                                             "Delete " + Rel(src + "A\\B\\b.txt"),
                                                             "Delete " + Rel(src + "A\\B\\C\\c.txt")},
                                                            {"Delete " + Rel(src + "A\\B\\C")},
                                                            {"Delete " + Rel(src + "A\\B")},
                                                            {"Delete " + Rel(src + "A")},
                                                            {}};
    for (size_t pass = 0; pass < expected.size(); ++pass) {
        Run();
        EXPECT_EQ(Block(), Framed(expected[pass])) << "pass " << pass + 1 << " after the removal";
    }
    EXPECT_EQ(ListTree(Mirror(src)), std::vector<std::string>{"keep.txt"});

    // A source taken out of the settings goes the same way, its own folder last.
    settings.SourceDirs.clear();
    const std::string top = Rel(src.substr(0, src.size() - 1));
    const std::vector<std::vector<std::string>> removal = {
        {"Delete " + Rel(src + "keep.txt")}, {"Delete " + top}, {}};
    for (size_t pass = 0; pass < removal.size(); ++pass) {
        Run();
        EXPECT_EQ(Block(), Framed(removal[pass])) << "pass " << pass + 1 << " without the source";
    }
    EXPECT_FALSE(IsFolder(Mirror(src)));
    EXPECT_TRUE(IsFile(root + "journal.txt"));
}
