// vestrand_bench: the programs that bench/run-bench times under Wine. Every command prints its
// figures as key=value lines on standard output.
//
//   vestrand_bench generate ROOT ENTRIES [SEED]     make a source tree
//   vestrand_bench mutate ROOT PERMILLE SEED         change, remove and add that share of files
//   vestrand_bench walk DIR...                       bare FindFirstFileW/FindNextFileW walk
//   vestrand_bench walk-both DIR1 DIR2               the same walk of both at once, on two threads
//   vestrand_bench walk-index-both SOURCE MIRROR     the same, the mirror walked into the backup
//                                                    index as a pass walks it: a pass less its
//                                                    comparing, planning and guard
//   vestrand_bench copyloop SRC DST                  walk, CreateDirectoryW, CopyFileW per file
//   vestrand_bench pass SOURCE TARGETDIR IDENTIFCOMP [--calls|--profile] [--keep-days N]
//                       [--stop-at PERCENT]          one backup pass, as the agent makes it (with
//                                                    held versions kept N days; stopped, as by the
//                                                    user, once its gauge reaches PERCENT)
//   vestrand_bench index MIRROR [--trials]           the backup index alone (and two other designs)
//   vestrand_bench match SOURCE                      the default exclusions matched against every
//                                                    entry of the tree, as a pass matches them
//   vestrand_bench restore SOURCE TARGETDIR IDENTIFCOMP DEST [--calls|--profile]
//                                                    the source's whole backup, as it is now,
//                                                    restored into the empty folder DEST
//   vestrand_bench history SOURCE TARGETDIR IDENTIFCOMP PASSES
//                                                    adds PASSES passes to the journal and the held
//                                                    versions of a mirror made by a pass, then times
//                                                    reading the history and showing folders of it
//   vestrand_bench report RECORDS RESULTS.md         the table; exit status 1 when a target is missed
//   vestrand_bench noop                              nothing (the cost of starting a program)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "call_counter_win.h"
#include "engine/backup_index_win.h"
#include "engine/backup_pass_win.h"
#include "engine/exclusions.h"
#include "engine/fileops_win.h"
#include "engine/journal.h"
#include "engine/pass_host.h"
#include "engine/pass_progress.h"
#include "engine/restore_rules.h"
#include "engine/restore_win.h"
#include "engine/held_versions_win.h"
#include "heap_counter.h"
#include "report.h"
#include "runtime/cp1251.h"
#include "runtime/platform_win.h"
#include "settings/settings_file_win.h" // kDefaultExclusions
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

void Put(const char* key, double value) {
    std::printf("%s=%.6f\n", key, value);
}
void Put(const char* key, int64_t value) {
    std::printf("%s=%lld\n", key, static_cast<long long>(value));
}

// The platform calls counted since the last reset ("--calls"), with their times ("--profile").
void PutCalls(const std::string& mode) {
    if (mode.empty())
        return;
    for (const auto& c : CallCounts()) {
        std::printf("call.%s.count=%lld\n", c.Name.c_str(), static_cast<long long>(c.Calls));
        if (mode == "--profile")
            std::printf("call.%s.seconds=%.6f\n", c.Name.c_str(), c.Seconds);
    }
}

void PutMemory() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc)) {
        Put("peak_ws", static_cast<int64_t>(pmc.PeakWorkingSetSize));
        Put("peak_pagefile", static_cast<int64_t>(pmc.PeakPagefileUsage));
    }
    Put("heap_peak", HeapPeakBytes());
}

std::string Folder(std::string path) {
    return NormalizeDir(path);
}

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
    const TreeStats s = GenerateTree(Folder(argv[2]), std::atoll(argv[3]),
                                     argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1);
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
    const MutationStats m =
        MutateTree(Folder(argv[2]), std::atoi(argv[3]), std::strtoull(argv[4], nullptr, 10));
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

// The floor of a pass that walks its source and its mirror at the same time.
int WalkBoth(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const Stopwatch sw;
    int64_t second = 0;
    std::thread other([&] { second = WalkTree(Folder(argv[3])); });
    const int64_t first = WalkTree(Folder(argv[2]));
    other.join();
    Put("seconds", sw.Seconds());
    Put("entries", first + second);
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

// A display that shows nothing but keeps the gauge's value for another thread to watch.
class GaugeDisplay final : public NullDisplay {
public:
    void SetGaugeProgress(int32_t value) override { m_gauge.store(value, std::memory_order_relaxed); }
    int32_t Gauge() const { return m_gauge.load(std::memory_order_relaxed); }
    // When the pass reached each of its stages, in seconds from the display's making (just before
    // the pass starts): where an unchanged pass spends its time.
    void StageReached(PassStage stage) override { m_reached.emplace_back(stage, m_since.Seconds()); }
    void PutStages() const {
        static const char* const kNames[] = {"indexed", "compared", "folders", "files", "deleted"};
        for (const auto& [stage, seconds] : m_reached)
            Put((std::string("stage.") + kNames[static_cast<int>(stage)]).c_str(), seconds);
    }

private:
    std::atomic<int32_t> m_gauge{0};
    Stopwatch m_since;
    std::vector<std::pair<PassStage, double>> m_reached;
};

// The user's stop: a thread that looks at the gauge about every millisecond and sets the stop flag
// once it reaches `percent`, so that the stop lands wherever the pass happens to be, inside a
// block of a large file as well as between entries.
class StopWatcher {
public:
    StopWatcher(const GaugeDisplay& display, int percent) : m_display(display), m_percent(percent) {
        m_thread = std::thread([this] { Watch(); });
    }
    ~StopWatcher() { Finish(); }
    // Ends the watching (the pass has returned); true when the stop was set before.
    bool Finish() {
        m_done.store(true);
        if (m_thread.joinable())
            m_thread.join();
        return m_stop.load();
    }
    const std::atomic<bool>* Flag() const { return &m_stop; }
    std::chrono::steady_clock::time_point SetAt() const { return m_setAt; }

private:
    void Watch() {
        while (!m_done.load()) {
            if (m_display.Gauge() >= m_percent) {
                m_setAt = std::chrono::steady_clock::now();
                m_stop.store(true);
                return;
            }
            Sleep(1);
        }
    }
    const GaugeDisplay& m_display;
    const int m_percent;
    std::atomic<bool> m_stop{false}, m_done{false};
    std::chrono::steady_clock::time_point m_setAt{};
    std::thread m_thread;
};

// Whether the last block a pass wrote says that it was stopped: an "Interrupted " line after the
// last "Start " line of its journal, or of the day's archive where the journal grew large enough to
// be moved there at the end of the pass.
bool LastBlockInterrupted(const std::string& journal, const std::string& archive) {
    std::ifstream in(journal, std::ios::binary);
    if (!in)
        in.open(archive, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    bool interrupted = false;
    for (const auto& line : SplitJournalLines(text.str())) {
        if (line.rfind("Start ", 0) == 0)
            interrupted = false;
        else if (line.rfind("Interrupted ", 0) == 0)
            interrupted = true;
    }
    return interrupted;
}

int Pass(int argc, char** argv) {
    if (argc < 5)
        return 2;
    BackupSettings s = BenchSettings(argv[2], Folder(argv[3]));
    s.IdentifComp = argv[4];
    std::string mode;
    int stopAt = -1;
    for (int i = 5; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--calls" || option == "--profile")
            mode = option;
        else if (option == "--keep-days" && i + 1 < argc)
            s.KeepVersionsDays = std::atoi(argv[++i]);
        else if (option == "--stop-at" && i + 1 < argc)
            stopAt = std::atoi(argv[++i]);
        else
            return 2;
    }
    if (stopAt > 100 || (stopAt < 0 && stopAt != -1))
        return 2;
    if (!mode.empty())
        InstallCallCounter(mode == "--profile");
    SystemClock clock;
    BenchSchedule schedule(clock);
    GaugeDisplay display;
    ResetCallCounts();
    ResetHeapPeak();
    std::optional<StopWatcher> watcher;
    if (stopAt >= 0)
        watcher.emplace(display, stopAt);
    const Stopwatch sw;
    const PassResult result =
        RunBackupPass(s, true, display, schedule, clock, watcher ? watcher->Flag() : nullptr);
    const double seconds = sw.Seconds();
    const auto returned = std::chrono::steady_clock::now();
    const bool stopSet = watcher && watcher->Finish();
    if (!result.Ran()) {
        // A pass that did not run would be timed as a very fast one.
        std::fprintf(stderr, "the pass did not run (reason %d, %s)\n", static_cast<int>(result.refusal),
                     result.path.c_str());
        return 3;
    }
    Put("seconds", seconds);
    Put("floor_measurements", static_cast<int64_t>(result.floorMeasurements));
    Put("floor_seconds", result.floorSeconds);
    display.PutStages();
    PutMemory();
    PutCalls(mode);
    if (watcher) {
        Put("gauge", static_cast<int64_t>(display.Gauge()));
        Put("block_bytes", static_cast<int64_t>(kCopyBlockBytes));
        if (!stopSet) {
            std::fprintf(stderr, "the pass ended before its gauge reached %d %%: no stop was made\n", stopAt);
            return 3;
        }
        Put("stop_seconds", std::chrono::duration<double>(returned - watcher->SetAt()).count());
        const std::string archive = JournalArchiveName(s.TargetDir, clock.Now(), s.IdentifComp);
        if (!result.interrupted || !LastBlockInterrupted(result.journalPath, archive)) {
            std::fprintf(stderr, "the pass was stopped but %s (journal %s)\n",
                         result.interrupted ? "its journal block has no Interrupted line"
                                            : "does not report itself interrupted",
                         result.journalPath.c_str());
            return 3;
        }
    }
    return 0;
}

void IndexWalk(BackupIndex& index, const std::wstring& root, const std::wstring& rel,
               BackupIndex::Node folder) {
    SearchFolder(root + rel + L"*", [&](const WideEntry& e) {
        if (e.Name == L"." || e.Name == L"..")
            return true;
        const BackupIndex::Node node = index.Add(folder, e.Name, TFileParam{e.Time, e.Size, e.Attr});
        if (e.Attr & FILE_ATTRIBUTE_DIRECTORY)
            IndexWalk(index, root, rel + e.Name + L"\\", node);
        return true;
    });
}

// What an unchanged pass does besides comparing, planning and the guard: the source walked while
// the mirror is walked into the backup index.
int WalkIndexBoth(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const Stopwatch sw;
    int64_t walked = 0;
    std::thread other([&] { walked = WalkTree(Folder(argv[2])); });
    BackupIndex index;
    IndexWalk(index, ExtendedPath(FullPath(WidenAnsi(Folder(argv[3])))), L"", BackupIndex::kTop);
    other.join();
    Put("seconds", sw.Seconds());
    Put("entries", walked + static_cast<int64_t>(index.Count()));
    return 0;
}

// Every entry below `root` as the index walk finds it, in the order found: the start of the
// index trial below.
struct WalkedItem {
    std::wstring Rel;
    TFileParam Param;
};

std::vector<WalkedItem> WalkIntoList(const std::wstring& root) {
    std::vector<WalkedItem> items;
    std::function<void(const std::wstring&)> walk = [&](const std::wstring& rel) {
        SearchFolder(root + rel + L"*", [&](const WideEntry& e) {
            if (e.Name == L"." || e.Name == L"..")
                return true;
            items.push_back({rel + e.Name, TFileParam{e.Time, e.Size, e.Attr}});
            if (e.Attr & FILE_ATTRIBUTE_DIRECTORY)
                walk(rel + e.Name + L"\\");
            return true;
        });
    };
    walk(L"");
    return items;
}

// The same index as a list of full paths ordered and searched with the index's order itself
// (CompareStringW, ties by the file system's keys): what the engine's tree of names and its hash
// lookups save.
void ComparedIndex(const std::wstring& root) {
    const Stopwatch sw;
    std::vector<WalkedItem> items = WalkIntoList(root);
    const double built = sw.Seconds();
    std::vector<std::wstring> queries; // in the order the walk found them, as the pass asks
    queries.reserve(items.size());
    for (const auto& item : items)
        queries.push_back(item.Rel);
    std::stable_sort(items.begin(), items.end(), [](const WalkedItem& a, const WalkedItem& b) {
        return CompareIndexOrder(a.Rel, b.Rel) < 0;
    });
    const double sorted = sw.Seconds();
    int64_t hits = 0;
    for (const auto& rel : queries) {
        const auto it =
            std::lower_bound(items.begin(), items.end(), rel, [](const WalkedItem& a, const std::wstring& k) {
                return CompareIndexOrder(a.Rel, k) < 0;
            });
        hits += it != items.end() && CompareIndexOrder(it->Rel, rel) == 0;
    }
    const double total = sw.Seconds();
    Put("compared.build_seconds", built);
    Put("compared.sort_seconds", sorted - built);
    Put("compared.find_seconds", total - sorted);
    Put("compared.total_seconds", total);
    Put("compared.hits", hits);
}

// The walk first (not timed), then the patterns prepared and matched against every entry's path
// as the walk of the listed folder finds it: the cost exclusions add to a pass.
int Match(int argc, char** argv) {
    if (argc < 3)
        return 2;
    std::wstring listed = LongFullPath(WidenAnsi(Folder(argv[2])));
    if (listed.empty() || listed.back() != L'\\')
        listed += L'\\';
    const std::vector<WalkedItem> items = WalkIntoList(listed);
    std::vector<std::wstring> patterns;
    for (const char* pattern : kDefaultExclusions)
        patterns.push_back(WidenCp1251(pattern));
    const Stopwatch sw;
    const Exclusions rules(patterns, FileSystemUpperTable());
    int64_t excluded = 0;
    for (const WalkedItem& item : items) {
        const size_t cut = item.Rel.rfind(L'\\') + 1; // 0 at the top
        const std::wstring_view rel(item.Rel.data(), cut), name(item.Rel.data() + cut, item.Rel.size() - cut);
        excluded += rules.Excludes(listed, rel, name, (item.Param.Attr & FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    Put("seconds", sw.Seconds());
    Put("entries", static_cast<int64_t>(items.size()));
    Put("excluded", excluded);
    return 0;
}

int Index(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const std::string root = Folder(argv[2]);
    const std::wstring wideRoot = ExtendedPath(FullPath(WidenAnsi(root)));
    const bool trials = argc > 3 && std::string(argv[3]) == "--trials";
    const Stopwatch walkWatch;
    const int64_t walked = WalkTree(root);
    Put("walk_seconds", walkWatch.Seconds());
    Put("entries", walked);

    int64_t count = 0, pathText = 0, hits = 0, misordered = 0, live = 0, peak = 0;
    {
        const int64_t before = HeapLiveBytes();
        ResetHeapPeak();
        BackupIndex index;
        const Stopwatch sw;
        IndexWalk(index, wideRoot, L"", BackupIndex::kTop);
        const double built = sw.Seconds();
        live = HeapLiveBytes() - before;
        std::vector<std::wstring> paths; // in index order, as the deletion stage hands them out
        const Stopwatch orderWatch;
        index.ForEach([&](const std::wstring& rel, const TFileParam&) { paths.push_back(rel); });
        const double ordered = orderWatch.Seconds();
        peak = HeapPeakBytes() - before;
        count = static_cast<int64_t>(paths.size());
        for (const auto& rel : paths)
            pathText += static_cast<int64_t>(rel.size() + 1) * 2;
        const Stopwatch findWatch;
        for (const auto& rel : paths)
            hits += index.Find(rel) != nullptr;
        const double found = findWatch.Seconds();
        Put("build_seconds", built);
        Put("sort_seconds", ordered);
        Put("find_seconds", found);
        Put("total_seconds", built + found);
        if (trials) {
            // The engine's order, checked against the comparison itself.
            for (size_t i = 1; i < paths.size(); ++i)
                misordered += CompareIndexOrder(paths[i - 1], paths[i]) >= 0;
        }
    }
    Put("indexed", count);
    Put("hits", hits);
    if (count > 0) {
        const auto perEntry = [count](int64_t bytes) {
            return static_cast<double>(bytes) / static_cast<double>(count);
        };
        // What the index holds: the heap bytes it took for the walk (requested, not counting the
        // heap's own bookkeeping), against the text of the full paths it stands for; and the peak
        // while it hands every entry out in order (paths and sort keys made for that moment).
        Put("bytes_per_entry", perEntry(live));
        Put("path_text_per_entry", perEntry(pathText));
        Put("peak_bytes_per_entry", perEntry(peak));
    }
    if (trials) {
        Put("misordered", misordered);
        ComparedIndex(wideRoot);
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
    return AllMet(checks) ? 0 : 1;
}

} // namespace

int Fail(const char* why) {
    std::fprintf(stderr, "%s\n", why);
    return 3;
}

// The mirror path of the bench's one source, relative to the mirror folder.
std::wstring SourceRel(const LoadedHistory& loaded, const std::string& source) {
    const auto rel = MirrorRelOfOriginal(loaded.spots, WidenCp1251(source), SameFileName);
    return rel ? *rel : std::wstring();
}

int Restore(int argc, char** argv) {
    const std::string mode = argc == 7 ? argv[6] : "";
    if (argc < 6 || argc > 7 || !(mode.empty() || mode == "--calls" || mode == "--profile"))
        return 2;
    BackupSettings s = BenchSettings(argv[2], Folder(argv[3]));
    s.IdentifComp = argv[4];
    if (!mode.empty())
        InstallCallCounter(mode == "--profile");
    ResetCallCounts();
    ResetHeapPeak();
    const Stopwatch sw;
    LoadedHistory loaded = LoadHistory(s);
    if (!loaded.history) {
        std::fprintf(stderr, "no history: %s\n", loaded.error.c_str());
        return 3;
    }
    const double read = sw.Seconds();
    RestoreRequest request;
    request.moment = loaded.history->Now();
    request.rels = {SourceRel(loaded, Folder(argv[2]))};
    request.destination = WidenCp1251(Folder(argv[5]));
    SystemClock clock;
    const RestoreSummary summary = RunRestore(s, loaded, request, clock.Now());
    Put("seconds", sw.Seconds());
    Put("read_seconds", read);
    Put("restored", static_cast<int64_t>(summary.restored));
    Put("failed", static_cast<int64_t>(summary.failed.size()));
    PutMemory();
    PutCalls(mode);
    if (summary.outcome != RestoreOutcome::Done || !summary.failed.empty() || summary.restored == 0) {
        std::fprintf(stderr, "the restore did not restore everything (outcome %d, %zu failed)\n",
                     static_cast<int>(summary.outcome), summary.failed.size());
        return 3;
    }
    return 0;
}

// Every file of a folder tree, relative to `root` (which ends in "\").
void FilesBelow(const std::wstring& root, const std::wstring& rel, std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((ExtendedPath(root + rel) + L"*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            FilesBelow(root, rel + name + L"\\", out);
        else
            out.push_back(rel + name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
}

// Copies a mirror file into a stamped folder, making its folders.
bool HoldCopy(const std::wstring& from, const std::wstring& to) {
    for (size_t at = to.find(L'\\', 8); at != std::wstring::npos; at = to.find(L'\\', at + 1))
        CreateDirectoryW(ExtendedPath(to.substr(0, at)).c_str(), nullptr);
    return CopyFileW(ExtendedPath(from).c_str(), ExtendedPath(to).c_str(), FALSE) != 0;
}

// PASSES passes before the journal's last one, each updating 50 files of the mirror (held in its
// stamped folder), deleting 10 files that are held only there and making 10 of the mirror's files
// New; then the history is read as the window reads it, and folders of it are shown.
int HistoryFigure(int argc, char** argv) {
    if (argc < 6)
        return 2;
    BackupSettings s = BenchSettings(argv[2], Folder(argv[3]));
    s.IdentifComp = argv[4];
    const int passes = std::atoi(argv[5]);
    const std::string rootText = s.TargetDir + s.IdentifComp + "\\";
    const std::wstring root = WidenCp1251(rootText);
    const std::wstring top = SourceRel(LoadHistory(s), Folder(argv[2]));
    std::vector<std::wstring> files;
    FilesBelow(root, top.empty() ? top : top + L"\\", files);
    if (files.size() < 1000 || passes < 1)
        return Fail("too few files in the mirror");
    const std::string journalPath = rootText + kJournalName;
    std::string journal;
    {
        std::ifstream in(journalPath, std::ios::binary);
        journal.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    SystemClock clock;
    const DateTime first = clock.Now() - (passes + 1) * 60 * kMinute;
    std::string added;
    size_t next = 0;
    const auto pick = [&] { return files[(next += 7919) % files.size()]; };
    for (int p = 0; p < passes; ++p) {
        const DateTime start = first + p * 60 * kMinute;
        const std::wstring held =
            root + WidenCp1251(kVersionsFolderName) + L"\\" + StampedFolderName(start) + L"\\";
        added += StampLine(JournalTag::Start, start, ':') + "\r\n";
        for (int i = 0; i < 10; ++i)
            added += FormatJournalLine(JournalTag::New, rootText + JournalText(pick())) + "\r\n";
        for (int i = 0; i < 50; ++i) {
            const std::wstring rel = pick();
            if (!HoldCopy(root + rel, held + rel))
                return Fail("a file could not be held");
            added += FormatJournalLine(JournalTag::Update, rootText + JournalText(rel)) + "\r\n";
        }
        for (int i = 0; i < 10; ++i) {
            const std::wstring rel = pick() + L" deleted " + std::to_wstring(p);
            if (!HoldCopy(root + pick(), held + rel))
                return Fail("a file could not be held");
            added += FormatJournalLine(JournalTag::Delete, JournalText(rel)) + "\r\n";
        }
        PassVersions(root, start, 30).WriteHeldList(); // as the pass does at its end
        added += StampLine(JournalTag::Stop, start + kMinute, ':') + "\r\n\r\n";
    }
    std::ofstream(journalPath, std::ios::binary | std::ios::trunc) << added << journal;

    const std::string mode = argc > 6 ? argv[6] : "";
    if (!mode.empty())
        InstallCallCounter(mode == "--profile");
    ResetCallCounts();
    const Stopwatch sw;
    LoadedHistory loaded = LoadHistory(s);
    if (!loaded.history)
        return Fail("the history cannot be read");
    const History& h = *loaded.history;
    const auto& moments = h.Moments();
    const size_t shown = h.Folder(moments.empty() ? h.Now() : moments.front(), top).size();
    const double open = sw.Seconds();
    // The slowest of showing a folder at moments across the history.
    double slowest = 0;
    for (size_t m = 0; m < moments.size(); m += std::max<size_t>(1, moments.size() / 20)) {
        const std::wstring folder = pick();
        const Stopwatch one;
        h.Folder(moments[m], folder.substr(0, folder.find_last_of(L'\\')));
        slowest = std::max(slowest, one.Seconds());
    }
    Put("open_seconds", open);
    Put("folder_seconds", slowest);
    Put("moments", static_cast<int64_t>(moments.size()));
    Put("shown", static_cast<int64_t>(shown));
    PutMemory();
    PutCalls(mode);
    return moments.size() >= static_cast<size_t>(passes) && shown > 0
               ? 0
               : Fail("the history does not offer every pass");
}

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
        else if (command == "walk-both")
            rc = WalkBoth(argc, argv);
        else if (command == "walk-index-both")
            rc = WalkIndexBoth(argc, argv);
        else if (command == "copyloop")
            rc = CopyLoop(argc, argv);
        else if (command == "pass")
            rc = Pass(argc, argv);
        else if (command == "match")
            rc = Match(argc, argv);
        else if (command == "index")
            rc = Index(argc, argv);
        else if (command == "restore")
            rc = Restore(argc, argv);
        else if (command == "history")
            rc = HistoryFigure(argc, argv);
        else if (command == "report")
            rc = Report(argc, argv);
        else if (command == "noop")
            rc = 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 3;
    }
    if (rc == 2)
        std::fprintf(stderr, "usage: see the head of vestrand_bench_win.cpp (command '%s')\n",
                     command.c_str());
    std::fflush(stdout);
    return rc;
}
