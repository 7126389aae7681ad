#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <vector>

#include "engine/fileops_win.h"
#include "runtime/error.h"
#include "file_lock.h"
#include "tree_snapshot.h"
#include "test_drives.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {
DirEntry FindOne(const std::string& path) {
    DirEntry found;
    SearchFolder(path, [&](const DirEntry& e) {
        found = e;
        return false;
    });
    return found;
}
} // namespace

TEST(FileOps, FolderAndFileQueries) {
    const std::string dir = FreshFolder('T', "ops_query");
    WriteFile(dir + "a.txt", "abc");
    EXPECT_TRUE(IsFolder(dir));
    EXPECT_TRUE(IsFolder(dir + "."));
    EXPECT_FALSE(IsFile(dir.substr(0, dir.size() - 1)));
    EXPECT_TRUE(IsFile(dir + "a.txt"));
    EXPECT_FALSE(IsFolder(dir + "a.txt"));
    EXPECT_FALSE(IsFile(dir + "missing.txt"));
    EXPECT_EQ(FileStamp(dir + "missing.txt"), -1);
    EXPECT_EQ(FileStamp(dir.substr(0, dir.size() - 1)), -1);
    EXPECT_EQ(FileStamp(dir + "a.txt"), FindOne(dir + "a.txt").Time);
    EXPECT_NE(FileStamp(dir + "a.txt"), 0);
    EXPECT_EQ(ReadAttributes(dir + "missing.txt"), -1);
    WriteAttributes(dir + "a.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(ReadAttributes(dir + "a.txt") & ~FILE_ATTRIBUTE_ARCHIVE,
              FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    WriteAttributes(dir + "a.txt", 0);
    EXPECT_EQ(ReadAttributes(dir + "a.txt") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0);
    EXPECT_TRUE(DeleteFileA((dir + "a.txt").c_str()));
}

TEST(FileOps, CreateDirChainMakesEveryLevelAndToleratesExisting) {
    const std::string dir = FreshFolder('T', "ops_chain");
    CreateDirChain(dir + "a\\b\\c");
    EXPECT_TRUE(IsFolder(dir + "a\\b\\c"));
    CreateDirChain(dir + "a\\b\\c\\");
    CreateDirChain(dir + "a\\b\\c");
    EXPECT_TRUE(IsFolder(dir + "a\\b\\c"));
    EXPECT_TRUE(RemoveFolder(dir + "a\\b\\c"));
    EXPECT_FALSE(RemoveFolder(dir + "a")); // not empty
    EXPECT_TRUE(MakeFolder(dir + "x"));
    EXPECT_FALSE(MakeFolder(dir + "x"));
    CreateDirChain("Q:\\nodrive\\x"); // a missing drive: nothing happens, nothing raised
    EXPECT_FALSE(IsFolder("Q:\\nodrive\\x"));
}

TEST(FileOps, CanonicalPathGivesTheStoredCaseAndLongNames) {
    const std::string dir = FreshFolder('T', "ops_Canon");
    WriteFile(dir + "Program Files Long\\MyApp Data.txt", "x");
    const std::string longPath = dir + "Program Files Long\\MyApp Data.txt";
    char shortBuf[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(longPath.c_str(), shortBuf, MAX_PATH), 0u);
    const std::string shortPath = shortBuf;
    ASSERT_NE(shortPath, longPath);
    EXPECT_EQ(CanonicalPath(shortPath), longPath);
    EXPECT_EQ(CanonicalPath("T:\\OPS_CANON\\PROGRAM FILES LONG\\MYAPP DATA.TXT"), longPath);
    EXPECT_EQ(CanonicalPath("t:\\ops_canon\\program files long\\"), "t:\\ops_Canon\\Program Files Long\\");
}

TEST(FileOps, DriveFree) {
    EXPECT_GT(DriveFree("T:\\whatever"), 0);
    for (const char* none : {"Q:\\", "", "\\\\server\\share\\"})
        EXPECT_EQ(DriveFree(none), -1) << none;
}

TEST(FileOps, SearchListsDotsHiddenAndClosesOnThrow) {
    const std::string dir = FreshFolder('T', "ops_search");
    WriteFile(dir + "h.txt", "1");
    WriteAttributes(dir + "h.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeFolder(dir + "sub");
    std::vector<std::string> names;
    EXPECT_TRUE(SearchFolder(dir + "*.*", [&](const DirEntry& e) {
        names.push_back(e.Name + ((e.Attr & FILE_ATTRIBUTE_DIRECTORY) ? "/" : ""));
        return true;
    }));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"../", "./", "h.txt", "sub/"}));
    EXPECT_FALSE(SearchFolder(dir + "nothing\\*.*", [](const DirEntry&) { return true; }));
    // A search left by an exception is closed: the folder can then be removed.
    EXPECT_THROW(
        SearchFolder(dir + "sub\\*.*", [](const DirEntry&) -> bool { throw std::runtime_error("x"); }),
        std::runtime_error);
    EXPECT_TRUE(RemoveFolder(dir + "sub"));
}

TEST(FileOps, CopyFileOverCarriesTimeAndAttributes) {
    const std::string dir = FreshFolder('T', "ops_copy");
    WriteFile(dir + "src.txt", "new content");
    WriteFile(dir + "dst.txt", "old");
    SetStamp(dir + "src.txt", 0); // a time well in the past
    WriteAttributes(dir + "src.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_TRUE(CopyFileOver(dir + "src.txt", dir + "dst.txt"));
    const DirEntry s = FindOne(dir + "src.txt"), d = FindOne(dir + "dst.txt");
    EXPECT_EQ(d.Time, s.Time);
    EXPECT_EQ(d.Attr, s.Attr);
    EXPECT_EQ(d.Size, 11);
    EXPECT_EQ(ReadFile(dir + "dst.txt"), "new content");
}

// Blocks are whole whatever a copy reads first; renamed as it ends, a copy never takes a name in use.
TEST(FileOps, CopyInBlocksGivesWholeBlocksAndItsRenameReplacesNothing) {
    const std::string dir = FreshFolder('T', "ops_blocks");
    const struct {
        size_t bytes;
        bool taken; // something stands under the name the copy is renamed to
        std::vector<int64_t> blocks;
        BlockCopy outcome;
    } cases[] = {{5, false, {5}, BlockCopy::Done},
                 {3 << 19, false, {1 << 20, 1 << 19}, BlockCopy::Done},
                 {5, true, {5}, BlockCopy::Failed}};
    for (const auto& c : cases) {
        const std::string content(c.bytes, 's');
        WriteFile(dir + "src.bin", content);
        SetStamp(dir + "src.bin", 0);
        DeleteFileA((dir + "dst.bin").c_str());
        if (c.taken)
            WriteFile(dir + "dst.bin", "mine");
        std::vector<int64_t> blocks;
        const BlockCopy outcome = CopyFileInBlocks(
            WidenAnsi(dir + "src.bin"), WidenAnsi(dir + "dst.tmp"), 1 << 20,
            [&](int64_t bytes) {
                blocks.push_back(bytes);
                return true;
            },
            WidenAnsi(dir + "dst.bin"));
        EXPECT_EQ(outcome, c.outcome) << c.bytes;
        EXPECT_EQ(blocks, c.blocks) << c.bytes;
        EXPECT_FALSE(IsFile(dir + "dst.tmp")) << c.bytes;
        EXPECT_EQ(ReadFile(dir + "dst.bin"), c.taken ? "mine" : content) << c.bytes;
        if (!c.taken)
            EXPECT_EQ(FileStamp(dir + "dst.bin"), FileStamp(dir + "src.bin")) << c.bytes;
    }
}

TEST(FileOps, MoveFileWithFallbackMovesOrCopiesOver) {
    using Files = std::map<std::string, std::string>;
    const std::string dir = FreshFolder('T', "ops_move");
    WriteFile(dir + "a.txt", "A");
    MoveFileWithFallback(dir + "a.txt", dir + "b.txt");
    EXPECT_EQ(Contents(SnapshotTree(dir)), (Files{{"b.txt", "A"}}));
    // Onto an existing file: copied over it (blocks, time kept), source removed.
    std::string big(20000, 'z');
    big[8191] = 'q';
    WriteFile(dir + "c.txt", big);
    WriteAttributes(dir + "c.txt", FILE_ATTRIBUTE_READONLY);
    const DosDateTime stamp = FileStamp(dir + "c.txt");
    MoveFileWithFallback(dir + "c.txt", dir + "b.txt");
    EXPECT_EQ(Contents(SnapshotTree(dir)), (Files{{"b.txt", big}}));
    EXPECT_EQ(FileStamp(dir + "b.txt"), stamp);
    EXPECT_EQ(ReadAttributes(dir + "b.txt") & FILE_ATTRIBUTE_READONLY, 0);
    // A missing source: nothing happens.
    EXPECT_NO_THROW(MoveFileWithFallback(dir + "none.txt", dir + "b.txt"));
    // Into an existing folder that already holds the name: MoveFileA onto the folder fails (it
    // exists), the copy lands in the folder.
    WriteFile(dir + "into\\d.txt", "old");
    WriteFile(dir + "d.txt", "D");
    MoveFileWithFallback(dir + "d.txt", dir + "into");
    EXPECT_EQ(Contents(SnapshotTree(dir)), (Files{{"b.txt", big}, {"into\\", ""}, {"into\\d.txt", "D"}}));
}

TEST(FileOps, MoveFileWithFallbackRaisesCopyErrors) {
    const std::string dir = FreshFolder('T', "ops_moveerr");
    WriteFile(dir + "src.txt", "S");
    WriteFile(dir + "dst.txt", "D");
    const auto errorOf = [&](const std::string& to) -> std::string {
        try {
            MoveFileWithFallback(dir + "src.txt", to);
        } catch (const VestrandError& e) {
            return e.what();
        }
        return "no error";
    };
    // The destination folder already holds a folder of the source's name: the copy cannot be created.
    MakeFolder(dir + "into");
    MakeFolder(dir + "into\\src.txt");
    EXPECT_EQ(errorOf(dir + "into"), "Cannot create file " + dir + "into\\src.txt");
    EXPECT_EQ(ReadFile(dir + "src.txt"), "S"); // the source stays when the copy fails
    FileLock lock(dir + "src.txt");
    ASSERT_TRUE(lock.Held());
    EXPECT_EQ(errorOf(dir + "dst.txt"), "Cannot open file " + dir + "src.txt");
}
