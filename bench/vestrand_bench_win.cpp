// vestrand_bench: the programs that bench/run-bench times under Wine. Every command prints its
// figures as key=value lines on standard output.
//
//   vestrand_bench generate ROOT ENTRIES [SEED]     make a source tree
//   vestrand_bench mutate ROOT PERMILLE SEED         change, remove and add that share of files
//   vestrand_bench walk DIR...                       bare FindFirstFileA/FindNextFileA walk
//   vestrand_bench copyloop SRC DST                  walk, CreateDirectoryA, CopyFileA per file
//   vestrand_bench pass SOURCE TARGETDIR IDENTIFCOMP [--calls|--profile]
//                                                    one backup pass, as the agent makes it
//   vestrand_bench index MIRROR [--trials]           the backup index alone (and two other designs)
//   vestrand_bench report RECORDS RESULTS.md         the table; exit status 1 when a target is missed
//   vestrand_bench noop                              nothing (the cost of starting a program)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "call_counter_win.h"
#include "engine/backup_index_win.h"
#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "engine/pass_host.h"
#include "heap_counter.h"
#include "report.h"
#include "runtime/platform_win.h"
#include "tree_win.h"

using namespace vestrand;
using namespace vestrand::bench;

namespace {

class Stopwatch {
public:
    Stopwatch() { QueryPerformanceCounter(&m_start); }
    double Seconds() const {
        LARGE_INTEGER now, freq;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&freq);
        return static_cast<double>(now.QuadPart - m_start.QuadPart) / static_cast<double>(freq.QuadPart);
    }

private:
    LARGE_INTEGER m_start;
};

void Put(const char* key, double value) { std::printf("%s=%.6f\n", key, value); }
void Put(const char* key, int64_t value) { std::printf("%s=%lld\n", key, static_cast<long long>(value)); }

void PutMemory() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc)) {
        Put("peak_ws", static_cast<int64_t>(pmc.PeakWorkingSetSize));
        Put("peak_pagefile", static_cast<int64_t>(pmc.PeakPagefileUsage));
    }
    Put("heap_peak", HeapPeakBytes());
}

std::string Folder(std::string path) { return NormalizeDir(path); }

// The schedule of a pass run without the program around it: the next run an hour away.
class BenchSchedule final : public ISchedule {
public:
    explicit BenchSchedule(IClock& clock) : m_clock(clock) {}
    void ScheduleNext() override { m_next = m_clock.Now() + 60 * kMinute; }
    DateTime NextRunTime() const override { return m_next; }

private:
    IClock& m_clock;
    DateTime m_next = 0;
};

int Generate(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const Stopwatch sw;
    const TreeStats s =
        GenerateTree(Folder(argv[2]), std::atoll(argv[3]), argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1);
    Put("seconds", sw.Seconds());
    Put("entries", s.Entries());
    Put("files", s.Files);
    Put("folders", s.Folders);
    Put("bytes", s.Bytes);
    Put("readonly", s.ReadOnly);
    Put("hidden", s.Hidden);
    Put("max_depth", static_cast<int64_t>(s.MaxDepth));
    Put("longest_path", static_cast<int64_t>(s.LongestPath));
    return 0;
}

int Mutate(int argc, char** argv) {
    if (argc < 5)
        return 2;
    const Stopwatch sw;
    const MutationStats m = MutateTree(Folder(argv[2]), std::atoi(argv[3]), std::strtoull(argv[4], nullptr, 10));
    Put("seconds", sw.Seconds());
    Put("changed", m.Changed);
    Put("added", m.Added);
    Put("removed", m.Removed);
    return 0;
}

int Walk(int argc, char** argv) {
    const Stopwatch sw;
    int64_t entries = 0;
    for (int i = 2; i < argc; ++i)
        entries += WalkTree(Folder(argv[i]));
    Put("seconds", sw.Seconds());
    Put("entries", entries);
    return 0;
}

int CopyLoop(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const Stopwatch sw;
    const int64_t files = CopyTreeLoop(Folder(argv[2]), Folder(argv[3]));
    Put("seconds", sw.Seconds());
    Put("files", files);
    return 0;
}

int Pass(int argc, char** argv) {
    if (argc < 5)
        return 2;
    const std::string mode = argc > 5 ? argv[5] : "";
    if (mode == "--calls" || mode == "--profile")
        InstallCallCounter(mode == "--profile");
    BackupSettings s;
    s.SourceDirs = {argv[2]};
    s.TargetDir = Folder(argv[3]);
    s.IdentifComp = argv[4];
    s.LowDriveSpaceMb = 5;
    SystemClock clock;
    BenchSchedule schedule(clock);
    NullDisplay display;
    ResetCallCounts();
    ResetHeapPeak();
    const Stopwatch sw;
    RunBackupPass(s, true, display, schedule, clock);
    const double seconds = sw.Seconds();
    Put("seconds", seconds);
    PutMemory();
    if (!mode.empty()) {
        for (const auto& c : CallCounts()) {
            std::printf("call.%s.count=%lld\n", c.Name.c_str(), static_cast<long long>(c.Calls));
            if (mode == "--profile")
                std::printf("call.%s.seconds=%.6f\n", c.Name.c_str(), c.Seconds);
        }
    }
    return 0;
}

void IndexWalk(BackupIndex& index, const std::string& root, const std::string& rel) {
    SearchFolder(root + rel + "*.*", [&](const DirEntry& e) {
        if (e.Name == "." || e.Name == "..")
            return true;
        index.Add(rel + e.Name, TFileParam{e.Time, e.Size, e.Attr});
        if (e.Attr & FILE_ATTRIBUTE_DIRECTORY)
            IndexWalk(index, root, rel + e.Name + "\\");
        return true;
    });
}

std::string SortKey(const std::string& text) {
    char buf[4096];
    const int n = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text.data(),
                               static_cast<int>(text.size()), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n - 1)) : std::string();
}

// Every entry below `root` as the index walk finds it, in the order found: the start of the
// index trials below.
struct WalkedItem {
    std::string Rel;
    TFileParam Param;
};

std::vector<WalkedItem> WalkIntoList(const std::string& root) {
    std::vector<WalkedItem> items;
    std::function<void(const std::string&)> walk = [&](const std::string& rel) {
        SearchFolder(root + rel + "*.*", [&](const DirEntry& e) {
            if (e.Name == "." || e.Name == "..")
                return true;
            items.push_back({rel + e.Name, TFileParam{e.Time, e.Size, e.Attr}});
            if (e.Attr & FILE_ATTRIBUTE_DIRECTORY)
                walk(rel + e.Name + "\\");
            return true;
        });
    };
    walk("");
    return items;
}

// The same index ordered and searched with CompareStringA itself, the comparison the sort keys
// stand for: what the index costs without them (the engine's way when the locale gives no key).
void ComparedIndex(const std::string& root) {
    const Stopwatch sw;
    std::vector<WalkedItem> items = WalkIntoList(root);
    const double built = sw.Seconds();
    std::vector<std::string> queries;  // in the order the walk found them, as the pass asks
    queries.reserve(items.size());
    for (const auto& item : items)
        queries.push_back(item.Rel);
    std::stable_sort(items.begin(), items.end(),
                     [](const WalkedItem& a, const WalkedItem& b) { return CompareIndexKeys(a.Rel, b.Rel) < 0; });
    const double sorted = sw.Seconds();
    int64_t hits = 0;
    for (const auto& rel : queries) {
        const auto it = std::lower_bound(items.begin(), items.end(), rel, [](const WalkedItem& a, const std::string& k) {
            return CompareIndexKeys(a.Rel, k) < 0;
        });
        hits += it != items.end() && CompareIndexKeys(it->Rel, rel) == 0;
    }
    const double total = sw.Seconds();
    Put("compared.build_seconds", built);
    Put("compared.sort_seconds", sorted - built);
    Put("compared.find_seconds", total - sorted);
    Put("compared.total_seconds", total);
    Put("compared.hits", hits);
}

// Bytes that compare equal ignoring case map to one class; bytes that the comparison ignores
// altogether map to 0 and are dropped. Derived from the locale's own sort keys, one per byte.
const std::array<unsigned char, 256>& FoldTable() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        const std::string ignored = SortKey("");
        std::vector<std::string> classes;
        for (int b = 1; b < 256; ++b) {
            const std::string key = SortKey(std::string(1, static_cast<char>(b)));
            if (key == ignored) {
                t[b] = 0;
                continue;
            }
            auto it = std::find(classes.begin(), classes.end(), key);
            if (it == classes.end()) {
                classes.push_back(key);
                it = classes.end() - 1;
            }
            t[b] = static_cast<unsigned char>(1 + (it - classes.begin()) % 255);
        }
        return t;
    }();
    return table;
}

uint64_t FoldedHash(const std::string& text) {
    const auto& fold = FoldTable();
    uint64_t h = 1469598103934665603ull;
    for (const char c : text) {
        const unsigned char f = fold[static_cast<unsigned char>(c)];
        if (f)
            h = (h ^ f) * 1099511628211ull;
    }
    return h;
}

// The same index found by a hash of the case-folded path: no ordering at all while the pass
// looks entries up (only what is left for the deletion stage would need sorting), and
// CompareStringA once per hit to confirm it: a trial of what the engine could do.
void HashedIndex(const std::string& root) {
    std::vector<std::pair<uint64_t, uint32_t>> byHash;
    const Stopwatch sw;
    std::vector<WalkedItem> items = WalkIntoList(root);
    byHash.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        byHash.emplace_back(FoldedHash(items[i].Rel), static_cast<uint32_t>(i));
    const double built = sw.Seconds();
    std::sort(byHash.begin(), byHash.end());
    const double sorted = sw.Seconds();
    int64_t hits = 0;
    for (const auto& item : items) {
        const std::string query = item.Rel;  // as the pass would make it from the source path
        const uint64_t h = FoldedHash(query);
        for (auto it = std::lower_bound(byHash.begin(), byHash.end(), std::make_pair(h, uint32_t{0}));
             it != byHash.end() && it->first == h; ++it) {
            if (CompareIndexKeys(items[it->second].Rel, query) == 0) {
                ++hits;
                break;
            }
        }
    }
    const double total = sw.Seconds();
    Put("hash.build_seconds", built);
    Put("hash.sort_seconds", sorted - built);
    Put("hash.find_seconds", total - sorted);
    Put("hash.total_seconds", total);
    Put("hash.hits", hits);
}

int Index(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const std::string root = Folder(argv[2]);
    const bool keys = argc > 3 && std::string(argv[3]) == "--trials";
    const Stopwatch walkWatch;
    const int64_t walked = WalkTree(root);
    Put("walk_seconds", walkWatch.Seconds());
    Put("entries", walked);

    int64_t count = 0, pathText = 0, keyText = 0, hits = 0, misordered = 0, live = 0, peak = 0;
    {
        const int64_t before = HeapLiveBytes();
        ResetHeapPeak();
        BackupIndex index;
        const Stopwatch sw;
        IndexWalk(index, root, "");
        const double built = sw.Seconds();
        index.Sort();
        const double sorted = sw.Seconds();
        live = HeapLiveBytes() - before;
        peak = HeapPeakBytes() - before;
        index.ForEach([&](const std::string& rel, const TFileParam&) {
            ++count;
            pathText += static_cast<int64_t>(rel.size()) + 1;
            // The sort key as the locale gives it (its length counts the terminating zero).
            keyText += LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, rel.data(),
                                    static_cast<int>(rel.size()), nullptr, 0);
        });
        const Stopwatch findWatch;
        index.ForEach([&](const std::string& rel, const TFileParam&) { hits += index.Find(rel) != nullptr; });
        const double found = findWatch.Seconds();
        Put("build_seconds", built);
        Put("sort_seconds", sorted - built);
        Put("find_seconds", found);
        Put("total_seconds", sorted + found);
        if (keys) {
            // The engine's order, checked against the comparison itself.
            std::string previous;
            bool first = true;
            index.ForEach([&](const std::string& rel, const TFileParam&) {
                misordered += !first && CompareIndexKeys(previous, rel) >= 0;
                previous = rel;
                first = false;
            });
        }
    }
    Put("indexed", count);
    Put("hits", hits);
    if (count > 0) {
        const auto perEntry = [count](int64_t bytes) { return static_cast<double>(bytes) / static_cast<double>(count); };
        // What the index holds beyond the text of its paths and of their sort keys: the heap bytes
        // it took (requested, not counting the heap's own bookkeeping), after the sort and at the
        // peak during the sort.
        Put("bytes_per_entry", perEntry(live - pathText - keyText));
        Put("bytes_beyond_text_per_entry", perEntry(live - pathText));
        Put("path_text_per_entry", perEntry(pathText));
        Put("sort_key_per_entry", perEntry(keyText));
        Put("peak_bytes_per_entry", perEntry(peak - pathText - keyText));
    }
    if (keys) {
        Put("misordered", misordered);
        ComparedIndex(root);
        HashedIndex(root);
    }
    PutMemory();
    return 0;
}

int Report(int argc, char** argv) {
    if (argc < 4)
        return 2;
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const Figures figures(ParseRecords(text.str()));
    const auto checks = CheckTargets(figures);
    const std::string report = FormatReport(figures, checks);
    std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
    out << report;
    std::fwrite(report.data(), 1, report.size(), stdout);
    return std::all_of(checks.begin(), checks.end(), [](const TargetCheck& c) { return c.Met; }) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const std::string command = argc > 1 ? argv[1] : "";
    int rc = 2;
    try {
        if (command == "generate")
            rc = Generate(argc, argv);
        else if (command == "mutate")
            rc = Mutate(argc, argv);
        else if (command == "walk")
            rc = Walk(argc, argv);
        else if (command == "copyloop")
            rc = CopyLoop(argc, argv);
        else if (command == "pass")
            rc = Pass(argc, argv);
        else if (command == "index")
            rc = Index(argc, argv);
        else if (command == "report")
            rc = Report(argc, argv);
        else if (command == "noop")
            rc = 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 3;
    }
    if (rc == 2)
        std::fprintf(stderr, "usage: see the head of vestrand_bench_win.cpp (command '%s')\n", command.c_str());
    std::fflush(stdout);
    return rc;
}
