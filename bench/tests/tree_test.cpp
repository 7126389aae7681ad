// The benchmark's trees on real files: what the generator makes, what a mutation changes as the
// backup pass sees it, and that the bare copy and walk see the same tree.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "fakes.h"
#include "engine/backup_pass_win.h"
#include "runtime/platform_win.h"
#include "test_drives.h"
#include "tree_snapshot.h"
#include "tree_win.h"

using namespace vestrand;
using namespace vestrand::bench;
using namespace vestrand::test;

namespace {

struct Found {
    std::string Rel;
    int64_t Size;
    int32_t Attr;
};

std::vector<Found> Collect(const std::string& root) {
    std::vector<Found> out;
    test::WalkTree(root, [&](const std::wstring& rel, const WIN32_FIND_DATAW& f) {
        out.push_back(
            {NarrowU(rel), static_cast<int32_t>(f.nFileSizeLow), static_cast<int32_t>(f.dwFileAttributes)});
        return true;
    });
    return out;
}

void Pass(const std::string& src, const std::string& target) {
    SystemClock clock;
    FakeSchedule schedule;
    NullDisplay display;
    RunBackupPass(BenchSettings(src, target), true, display, schedule, clock);
}

} // namespace

TEST(BenchTree, GeneratedTreeHasTheAskedSizeAndTheMixOfAUserTree) {
    const std::string root = FreshFolder('S', "bench_gen") + "src\\";
    const TreeStats stats = GenerateTree(root, 2000, 1);
    EXPECT_EQ(stats.Entries(), 2000);
    const std::vector<Found> all = Collect(root);
    ASSERT_EQ(all.size(), 2000u);
    EXPECT_EQ(WalkTree(root), 2000);

    int64_t folders = 0, small = 0, large = 0, readOnly = 0, hidden = 0;
    bool blank = false, upperCyrillic = false, lowerCyrillic = false, latin = false;
    for (const auto& f : all) {
        const std::string name = f.Rel.substr(f.Rel.find_last_of('\\') + 1);
        blank = blank || name.find(' ') != std::string::npos;
        for (const char c : name) {
            const auto u = static_cast<unsigned char>(c);
            upperCyrillic = upperCyrillic || (u >= 0xC0 && u <= 0xDF);
            lowerCyrillic = lowerCyrillic || u >= 0xE0;
            latin = latin || (u >= 'a' && u <= 'z');
        }
        if (f.Attr & FILE_ATTRIBUTE_DIRECTORY) {
            ++folders;
            continue;
        }
        small += f.Size <= 2048;
        large += f.Size > 16384;
        readOnly += (f.Attr & FILE_ATTRIBUTE_READONLY) != 0;
        hidden += (f.Attr & FILE_ATTRIBUTE_HIDDEN) != 0;
    }
    const int64_t files = 2000 - folders;
    EXPECT_EQ(folders, stats.Folders);
    EXPECT_GT(folders, 10);             // about a hundred entries per folder at most
    EXPECT_GE(stats.MaxDepth, 3);       // more than a flat folder or two
    EXPECT_LT(stats.LongestPath, 200u); // room for the mirror's prefix within MAX_PATH
    EXPECT_GT(small * 100, files * 75); // mostly small files...
    EXPECT_GT(large, 0);                // ...with a tail of larger ones
    EXPECT_GT(readOnly, 0);
    EXPECT_GT(hidden, 0);
    EXPECT_TRUE(blank && upperCyrillic && lowerCyrillic && latin);
    RemoveTree(root);
}

TEST(BenchTree, TheSameSeedGivesTheSameTreeAndTheCopyLoopReproducesIt) {
    const std::string base = FreshFolder('S', "bench_seed");
    const std::string a = base + "a\\", b = base + "b\\", c = base + "c\\";
    GenerateTree(a, 400, 5);
    GenerateTree(b, 400, 5);
    GenerateTree(c, 400, 6);
    const TreeListing la = ListTree(a), lb = ListTree(b), lc = ListTree(c);
    EXPECT_EQ(la.Entries, 400);
    EXPECT_EQ(la.NameHash, lb.NameHash);
    EXPECT_EQ(la.Bytes, lb.Bytes);
    EXPECT_NE(la.NameHash, lc.NameHash);

    const std::string copy = FreshFolder('T', "bench_loop") + "a\\";
    const TreeStats stats = GenerateTree(FreshFolder('S', "bench_loop_src"), 0, 1); // an empty tree
    EXPECT_EQ(stats.Entries(), 0);
    const int64_t copied = CopyTreeLoop(a, copy);
    const TreeListing lcopy = ListTree(copy);
    EXPECT_EQ(lcopy.Entries, la.Entries);
    EXPECT_EQ(lcopy.Bytes, la.Bytes);
    EXPECT_EQ(lcopy.NameHash, la.NameHash);
    int64_t plain = 0;
    for (const auto& f : Collect(a))
        plain += (f.Attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
    EXPECT_EQ(copied, plain);
    RemoveTree(base);
    RemoveTree("T:\\bench_loop");
}

TEST(BenchTree, AMutationIsSeenByTheBackupPassAsThatManyUpdatesNewFilesAndDeletions) {
    const std::string src = FreshFolder('S', "bench_mut") + "src\\";
    const std::string target = FreshFolder('T', "bench_mut");
    GenerateTree(src, 900, 2);
    Pass(src, target);
    Pass(src, target); // settled: the next pass only deletes and rewrites the journal
    const std::string journal = target + "Bench\\journal.txt";
    const size_t before = SplitCrLf(ReadFile(journal)).size();

    int64_t fileCount = 0;
    for (const auto& f : Collect(src))
        fileCount += (f.Attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
    const MutationStats m = MutateTree(src, 30, 9);
    const int64_t count = fileCount * 30 / 1000;
    EXPECT_EQ(m.Changed + m.Removed, count / 3 * 2);
    EXPECT_EQ(m.Added, count - count / 3 * 2);
    EXPECT_GT(m.Changed, 0);
    EXPECT_GT(m.Removed, 0);
    EXPECT_EQ(WalkTree(src), 900 + m.Added - m.Removed);

    Pass(src, target);
    const Lines lines = SplitCrLf(ReadFile(journal));
    ASSERT_GT(lines.size(), before);
    const Lines fresh(lines.begin() + static_cast<long>(before), lines.end());
    // The journal is rewritten by every pass; whether its own Delete line appears is not the
    // mutation's doing.
    Lines deletes = WithPrefix(fresh, DeleteLine(""));
    std::erase(deletes, DeleteLine("journal.txt"));
    EXPECT_EQ(static_cast<int64_t>(WithPrefix(fresh, UpdateLine("")).size()), m.Changed);
    EXPECT_EQ(static_cast<int64_t>(WithPrefix(fresh, NewLine("")).size()), m.Added);
    EXPECT_EQ(static_cast<int64_t>(deletes.size()), m.Removed);
    RemoveTree(src);
    RemoveTree(target);
}
