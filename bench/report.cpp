#include "report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

namespace vestrand::bench {

namespace {

// An unchanged pass walks its source and its mirror at once: within three quarters of the two walks
// one after the other, and (not binding) no slower than the two at once.
constexpr double kUnchangedLimit = 0.75;
constexpr double kUnchangedBothLimit = 1.0;
// Comparing, planning and the guard on top of the walks an unchanged pass makes.
constexpr double kPlanAddedLimit = 1.03;
constexpr double kFirstLimit = 1.0; // the first pass no slower than a bare copy loop
constexpr double kScalingLimit = 11.0;
constexpr double kIndexLimit = 1.6;
constexpr double kPeakLimitMiB = 256.0;   // peak working set of the passes at 1,000,000 entries
constexpr double kExclusionsLimit = 0.05; // matching the default exclusions / the unchanged pass
constexpr double kFloorMeasuringLimit =
    0.01; // measuring the backup drive (copies ahead waited for) / the first pass
// Held versions on: an unchanged pass costs what it costs with them off, within the noise of
// back-to-back runs; removing held versions costs no more than deleting as many mirror files.
constexpr double kVersionsOnLimit = 1.05;
constexpr double kPruneLimit = 1.0;
// Getting files back: a whole restore within a tenth more than the first pass of the same tree; a
// history of 200 passes read and its top folder shown within 2 s, any folder of it within 1 s.
constexpr double kRestoreLimit = 1.1;
constexpr double kHistoryOpenLimit = 2.0;
constexpr double kHistoryFolderLimit = 1.0;
constexpr int64_t kHundredThousand = 100000;
constexpr int64_t kMillion = 1000000;

std::optional<double> Number(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size())
        return std::nullopt;
    return v;
}

std::string Fixed(double v, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

std::string Seconds(std::optional<double> v) {
    if (!v)
        return "-";
    return Fixed(*v, *v < 10 ? 3 : *v < 100 ? 2 : 1);
}

std::optional<double> Ratio(std::optional<double> a, std::optional<double> b) {
    if (!a || !b || *b <= 0)
        return std::nullopt;
    return *a / *b;
}

std::string RatioText(std::optional<double> v) {
    return v ? Fixed(*v, 2) : "-";
}

std::string Megabytes(std::optional<double> bytes) {
    return bytes ? Fixed(*bytes / 1048576.0, 1) + " MiB" : "-";
}

} // namespace

std::string GroupDigits(int64_t value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return value < 0 ? "-" + out : out;
}

std::vector<Record> ParseRecords(const std::string& text) {
    std::vector<Record> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        size_t at = 0;
        for (int i = 0; i < 3; ++i) {
            const size_t tab = line.find('\t', at);
            if (tab == std::string::npos)
                break;
            fields.push_back(line.substr(at, tab - at));
            at = tab + 1;
        }
        if (fields.size() != 3)
            continue;
        fields.push_back(line.substr(at));
        const auto size = Number(fields[0]);
        if (!size)
            continue;
        out.push_back({static_cast<int64_t>(*size), fields[1], fields[2], fields[3]});
    }
    return out;
}

std::optional<double> MedianOf(std::vector<double> values) {
    if (values.empty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

Figures::Figures(const std::vector<Record>& records) {
    for (const auto& r : records) {
        m_values[{r.Size, r.Medium, r.Key}].push_back(r.Value);
        if (r.Size > 0 && std::find(m_media.begin(), m_media.end(), r.Medium) == m_media.end())
            m_media.push_back(r.Medium);
    }
}

std::vector<double> Figures::Numbers(int64_t size, const std::string& medium, const std::string& key) const {
    std::vector<double> numbers;
    const auto it = m_values.find({size, medium, key});
    if (it != m_values.end())
        for (const auto& v : it->second)
            if (const auto n = Number(v))
                numbers.push_back(*n);
    return numbers;
}

std::optional<double> Figures::Median(int64_t size, const std::string& medium, const std::string& key) const {
    return MedianOf(Numbers(size, medium, key));
}

std::optional<double> Figures::PairedRatio(int64_t size, const std::string& medium, const std::string& a,
                                           const std::string& b) const {
    const auto x = Numbers(size, medium, a), y = Numbers(size, medium, b);
    if (x.empty() || x.size() != y.size())
        return Ratio(MedianOf(x), MedianOf(y));
    std::vector<double> ratios;
    for (size_t i = 0; i < x.size(); ++i) {
        if (y[i] <= 0)
            return Ratio(MedianOf(x), MedianOf(y));
        ratios.push_back(x[i] / y[i]);
    }
    return MedianOf(ratios);
}

int Figures::Runs(int64_t size, const std::string& medium, const std::string& key) const {
    const auto it = m_values.find({size, medium, key});
    return it == m_values.end() ? 0 : static_cast<int>(it->second.size());
}

std::string Figures::Text(int64_t size, const std::string& medium, const std::string& key) const {
    const auto it = m_values.find({size, medium, key});
    return it == m_values.end() || it->second.empty() ? std::string() : it->second.back();
}

std::vector<int64_t> Figures::Sizes() const {
    std::set<int64_t> sizes;
    for (const auto& [k, v] : m_values)
        if (std::get<0>(k) > 0)
            sizes.insert(std::get<0>(k));
    return {sizes.begin(), sizes.end()};
}

std::vector<std::string> Figures::Media() const {
    return m_media;
}

std::vector<std::string> Figures::KeysWithPrefix(int64_t size, const std::string& medium,
                                                 const std::string& prefix) const {
    std::vector<std::string> keys;
    for (auto it = m_values.lower_bound({size, medium, prefix}); it != m_values.end(); ++it) {
        const auto& [s, m, k] = it->first;
        if (s != size || m != medium || k.compare(0, prefix.size(), prefix) != 0)
            break;
        keys.push_back(k);
    }
    return keys;
}

namespace {

// The state of the program a tree was measured on: the digest of the engine's sources where the
// record has one, so that commits which changed nothing there count as the same program.
std::string EngineState(const std::string& engine) {
    const size_t at = engine.find("sources ");
    return at == std::string::npos ? engine : engine.substr(at + 8);
}

// How many neighbours of the engine's index order CompareStringA puts the other way round.
std::string MisorderedNote(std::optional<double> misordered) {
    if (!misordered)
        return std::string();
    return "; " + GroupDigits(static_cast<int64_t>(*misordered)) + " neighbours out of the index's order";
}

} // namespace

bool AllMet(const std::vector<TargetCheck>& checks) {
    return std::all_of(checks.begin(), checks.end(),
                       [](const TargetCheck& c) { return c.Met || !c.Binding; });
}

std::vector<TargetCheck> CheckTargets(const Figures& f) {
    std::vector<TargetCheck> checks;
    auto add = [&](const std::string& name, std::optional<double> measured, double limit,
                   bool binding = true) {
        if (measured)
            checks.push_back({name, *measured, limit, *measured <= limit, binding});
    };
    for (const auto& medium : f.Media()) {
        for (const int64_t size : f.Sizes()) {
            const std::string tree = GroupDigits(size) + " entries, " + medium;
            add("first pass / CopyFileW loop, " + tree,
                f.PairedRatio(size, medium, "first.agent", "first.loop"), kFirstLimit);
            if (size >= kHundredThousand)
                add("measuring the free space / first pass, " + tree,
                    Ratio(f.Median(size, medium, "first.floor_seconds"),
                          f.Median(size, medium, "first.agent")),
                    kFloorMeasuringLimit);
            if (size == kHundredThousand || size == kMillion)
                add("unchanged pass / floor, " + tree,
                    f.PairedRatio(size, medium, "unchanged.agent", "unchanged.floor"), kUnchangedLimit);
            if (size == kHundredThousand || size == kMillion)
                add("unchanged pass / both walks at once, " + tree,
                    f.PairedRatio(size, medium, "unchanged.agent", "unchanged.floor_both"),
                    kUnchangedBothLimit, false);
            if (size == kHundredThousand || size == kMillion)
                add("unchanged pass / its walks alone (comparing, planning and the guard added), " + tree,
                    f.PairedRatio(size, medium, "unchanged.agent", "unchanged.walk_index"), kPlanAddedLimit);
            if (size == kMillion)
                add("index walked+looked up / walk, " + tree,
                    f.PairedRatio(size, medium, "index.total", "index.walk"), kIndexLimit);
            if (size >= kHundredThousand) {
                add("unchanged pass with held versions on / off, " + tree,
                    f.PairedRatio(size, medium, "versions.on", "versions.off"), kVersionsOnLimit);
                add("removing held versions / deleting as many mirror files, " + tree,
                    f.PairedRatio(size, medium, "versions.prune", "versions.delete"), kPruneLimit);
            }
            if (size >= kHundredThousand) {
                add("restore of the whole tree into an empty folder / first pass, " + tree,
                    f.PairedRatio(size, medium, "restore.agent", "restore.first"), kRestoreLimit);
                add("reading a history of 200 passes and showing its top folder, s, " + tree,
                    f.Median(size, medium, "history.open"), kHistoryOpenLimit);
                add("showing a folder of that history at a moment, slowest, s, " + tree,
                    f.Median(size, medium, "history.folder"), kHistoryFolderLimit);
            }
            add("matching the default exclusions against every entry / unchanged pass, " + tree,
                Ratio(f.Median(size, medium, "exclusions.match"), f.Median(size, medium, "unchanged.agent")),
                kExclusionsLimit, size == kMillion);
            if (size == kMillion) {
                auto peak = [&](const std::string& pass, const std::string& stage, bool binding) {
                    const auto bytes = f.Median(size, medium, stage + ".peak_ws");
                    add("peak working set of the " + pass + ", MiB, " + tree,
                        bytes ? std::optional<double>(*bytes / 1048576.0) : std::nullopt, kPeakLimitMiB,
                        binding);
                };
                peak("first pass", "first", true);
                peak("unchanged pass", "unchanged", true);
                peak("pass updating every file", "update", true);
                peak("pass deleting every entry", "deleteall", false);
            }
        }
        add("unchanged pass 1,000,000 / 100,000 entries, " + medium,
            Ratio(f.Median(kMillion, medium, "unchanged.agent"),
                  f.Median(kHundredThousand, medium, "unchanged.agent")),
            kScalingLimit);
    }
    return checks;
}

std::string FormatReport(const Figures& f, const std::vector<TargetCheck>& checks) {
    std::ostringstream out;
    const auto info = [&](const std::string& key) {
        const std::string t = f.Text(0, "-", key);
        return t.empty() ? std::string("?") : t;
    };
    out << "# Vestrand benchmark\n\n";
    out << "Measured " << info("info.date") << " on " << info("info.machine") << " (" << info("info.cpu")
        << ", " << info("info.cores") << " cores), " << info("info.wine")
        << ". Times in seconds, each the median of " << info("info.runs") << " runs ("
        << info("info.large_runs")
        << " for copies, and for the passes over trees of 0-byte files, above 100,000 entries). \"agent\" is "
           "the time of the backup pass inside its "
           "process; \"wall\" includes starting the process under Wine (a program that does nothing takes "
        << Seconds(f.Median(0, "-", "wine.start")) << " s), and the peers are timed the same way. "
        << "Ratios to the peers use the agent's wall time. Figures measured back to back in each run (the "
           "agent and its floor, the agent and each peer) give their ratio as the median of the runs' "
           "ratios.\n\n";

    std::set<std::string> states;
    for (const int64_t size : f.Sizes())
        for (const auto& m : f.Media())
            if (const std::string e = f.Text(size, m, "engine"); !e.empty())
                states.insert(EngineState(e));
    if (states.size() > 1)
        out << "Note: the trees were measured on " << states.size()
            << " different states of the program (see Trees); figures compared across sizes compare those "
               "states.\n\n";

    out << "| entries | volume | figure | agent | agent wall | floor | agent/floor | xcopy | agent/xcopy | "
           "cp -a | "
           "rsync | agent/rsync |\n";
    out << "|---:|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const int64_t size : f.Sizes()) {
        for (const auto& m : f.Media()) {
            if (!f.Median(size, m, "entries"))
                continue;
            const std::string head = "| " + GroupDigits(size) + " | " + m + " | ";
            auto row = [&](const std::string& figure, const std::string& stage, const std::string& floorKey,
                           bool withCp) {
                const auto agent = f.Median(size, m, stage + ".agent");
                const auto wall = f.Median(size, m, stage + ".agent.wall");
                const auto floor = floorKey.empty() ? std::nullopt : f.Median(size, m, floorKey);
                const auto xcopy = f.Median(size, m, stage + ".xcopy");
                const auto rsync = f.Median(size, m, stage + ".rsync");
                if (!agent)
                    return;
                const std::string wallKey = stage + ".agent.wall";
                out << head << figure << " | " << Seconds(agent) << " | " << Seconds(wall) << " | "
                    << Seconds(floor) << " | "
                    << RatioText(floorKey.empty() ? std::nullopt
                                                  : f.PairedRatio(size, m, stage + ".agent", floorKey))
                    << " | " << Seconds(xcopy) << " | "
                    << RatioText(f.PairedRatio(size, m, wallKey, stage + ".xcopy")) << " | "
                    << (withCp ? Seconds(f.Median(size, m, stage + ".cp")) : std::string("-")) << " | "
                    << Seconds(rsync) << " | " << RatioText(f.PairedRatio(size, m, wallKey, stage + ".rsync"))
                    << " |\n";
            };
            row("first pass (floor: CopyFileW loop; xcopy /E /I /H /K /Y; rsync -a)", "first", "first.loop",
                true);
            row("unchanged pass (floor: walk of source and mirror; xcopy /D /E /H /K /Y; rsync -a --delete)",
                "unchanged", "unchanged.floor", false);
            row("1 % changed, added, removed (xcopy /D /E /H /K /Y; rsync -a --delete)", "changed", "",
                false);
            // A figure timed against a floor of its own, with no peers.
            auto floorRow = [&](const std::string& figure, const std::string& agentKey,
                                const std::string& floorKey) {
                const auto agent = f.Median(size, m, agentKey);
                if (!agent)
                    return;
                out << head << figure << " | " << Seconds(agent) << " | - | "
                    << Seconds(f.Median(size, m, floorKey)) << " | "
                    << RatioText(f.PairedRatio(size, m, agentKey, floorKey)) << " | - | - | - | - | - |\n";
            };
            floorRow("unchanged pass (floor: the walks of source and mirror at once, on two threads)",
                     "unchanged.agent", "unchanged.floor_both");
            floorRow("unchanged pass (floor: the same two walks at once, the mirror's into the backup index: "
                     "the pass less its comparing, planning and guard)",
                     "unchanged.agent", "unchanged.walk_index");
            floorRow("index: walk into BackupIndex, one Find per entry (floor: walk alone" +
                         MisorderedNote(f.Median(size, m, "index.misordered")) + ")",
                     "index.total", "index.walk");
            floorRow("index as a list of full paths sorted and searched by CompareStringW (trial in the "
                     "benchmark)",
                     "index.compared.total", "index.walk");
            floorRow("unchanged pass with held versions on, KeepVersionsDays=30 (floor: the same pass with "
                     "them off, run back to back)",
                     "versions.on", "versions.off");
            const auto files = f.Median(size, m, "tree.files");
            floorRow("removing a held-versions folder of the tree's " +
                         (files ? GroupDigits(static_cast<int64_t>(*files)) : std::string("?")) +
                         " files at the start of a pass (floor: a pass deleting the same files from the "
                         "mirror, Delete lines and all)",
                     "versions.prune", "versions.delete");
        }
    }

    out << "\n## Trees\n\n| entries | volume | files | folders | bytes | deepest level | longest path | "
           "read-only | "
           "hidden | generated in | measured | program measured |\n"
           "|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---|---|\n";
    for (const int64_t size : f.Sizes())
        for (const auto& m : f.Media()) {
            if (!f.Median(size, m, "entries"))
                continue;
            auto n = [&](const std::string& key) {
                const auto v = f.Median(size, m, key);
                return v ? GroupDigits(static_cast<int64_t>(*v)) : std::string("-");
            };
            out << "| " << GroupDigits(size) << " | " << m << " | " << n("tree.files") << " | "
                << n("tree.folders") << " | " << n("tree.bytes") << " | " << n("tree.max_depth") << " | "
                << n("tree.longest_path") << " | " << n("tree.readonly") << " | " << n("tree.hidden") << " | "
                << Seconds(f.Median(size, m, "tree.seconds")) << " s | " << f.Text(size, m, "measured")
                << " | " << f.Text(size, m, "engine") << " |\n";
        }

    out << "\n## Memory\n\nIndex bytes are the heap bytes the index requested for the walk, per entry, its "
           "names "
           "included (the heap's own bookkeeping per block comes on top); path text is what the full paths "
           "it "
           "stands for would take in UTF-16; the peak is that while it hands every entry out in order.\n\n"
           "| entries | volume | peak working set, first pass | peak working set, unchanged pass | "
           "peak working set, pass updating every file | peak working set, pass deleting every entry | "
           "peak pagefile, unchanged pass | heap peak per entry, unchanged pass | index bytes per entry | "
           "full-path text per entry | index peak per entry, handing out in order |\n"
           "|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    const std::vector<std::string> memoryKeys = {
        "first.peak_ws",           "unchanged.peak_ws",   "update.peak_ws",       "deleteall.peak_ws",
        "unchanged.peak_pagefile", "unchanged.heap_peak", "index.bytes_per_entry"};
    for (const int64_t size : f.Sizes())
        for (const auto& m : f.Media()) {
            const auto entries = f.Median(size, m, "entries");
            if (!entries || std::none_of(memoryKeys.begin(), memoryKeys.end(), [&](const std::string& key) {
                    return f.Median(size, m, key).has_value();
                }))
                continue;
            auto per = [&](const std::string& key) {
                const auto v = f.Median(size, m, key);
                return v ? Fixed(*v, 1) : std::string("-");
            };
            const auto heap = f.Median(size, m, "unchanged.heap_peak");
            out << "| " << GroupDigits(size) << " | " << m << " | "
                << Megabytes(f.Median(size, m, "first.peak_ws")) << " | "
                << Megabytes(f.Median(size, m, "unchanged.peak_ws")) << " | "
                << Megabytes(f.Median(size, m, "update.peak_ws")) << " | "
                << Megabytes(f.Median(size, m, "deleteall.peak_ws")) << " | "
                << Megabytes(f.Median(size, m, "unchanged.peak_pagefile")) << " | "
                << (heap && *entries > 0 ? Fixed(*heap / *entries, 1) : std::string("-")) << " | "
                << per("index.bytes_per_entry") << " | " << per("index.path_text_per_entry") << " | "
                << per("index.peak_bytes_per_entry") << " |\n";
        }
    // The passes of a tree measured for memory: how often each ran, and how long it took.
    for (const int64_t size : f.Sizes())
        for (const auto& m : f.Media()) {
            if (!f.Median(size, m, "update.agent") && !f.Median(size, m, "deleteall.agent"))
                continue;
            auto pass = [&](const std::string& what, const std::string& stage) {
                const int runs = f.Runs(size, m, stage + ".agent");
                return what + " " + Seconds(f.Median(size, m, stage + ".agent")) + " s (" +
                       std::to_string(runs) + (runs == 1 ? " run)" : " runs, median)");
            };
            out << "\n"
                << GroupDigits(size) << " entries, " << m << ": " << pass("first pass", "first") << ", "
                << pass("unchanged pass", "unchanged") << ", "
                << pass("pass updating every file (each stamped later)", "update") << ", "
                << pass("pass deleting every entry (the source folder emptied)", "deleteall");
            if (const auto more = f.Median(size, m, "deleteall.more_passes"))
                out << "; the emptied folders, one level a pass, took "
                    << GroupDigits(static_cast<int64_t>(*more)) << " more passes";
            out << ".\n";
        }

    bool stopHeader = false;
    for (const int64_t size : f.Sizes())
        for (const auto& m : f.Media()) {
            const auto large = f.Median(size, m, "stop.large.seconds");
            const auto small = f.Median(size, m, "stop.small.seconds");
            if (!large && !small)
                continue;
            if (!stopHeader) {
                out << "\n## Stopping a pass\n\nA second thread watches the pass's gauge (about every "
                       "millisecond) and sets the stop flag, as the window's stop button does, once the "
                       "gauge "
                       "reaches the given share; the stop then lands wherever the pass is. \"Stop to end\" "
                       "is the "
                       "time from setting the flag to the pass's return (journal saved, an Interrupted line "
                       "in "
                       "its block); each run starts from an empty mirror. The pass looks at the flag before "
                       "every entry and, in files of 16 MiB and more, after every block.\n";
                stopHeader = true;
            }
            const auto block = f.Median(size, m, "stop.block_bytes");
            const auto percent = f.Median(size, m, "stop.percent");
            const std::string at = percent ? Fixed(*percent, 0) + " %" : std::string("?");
            out << "\nMeasured " << f.Text(size, m, "measured") << " on " << f.Text(size, m, "engine")
                << "; blocks of " << (block ? GroupDigits(static_cast<int64_t>(*block)) : std::string("?"))
                << " bytes.\n\n| where the stop lands | stopped at | runs | stop to end | pass until its end "
                   "| "
                   "gauge at the end |\n|---|---:|---:|---:|---:|---:|\n";
            auto row = [&](const std::string& where, const std::string& what) {
                const std::string key = "stop." + what;
                if (!f.Median(size, m, key + ".seconds"))
                    return;
                const auto gauge = f.Median(size, m, key + ".gauge");
                out << "| " << where << " | " << at << " | " << f.Runs(size, m, key + ".seconds") << " | "
                    << Seconds(f.Median(size, m, key + ".seconds")) << " s | "
                    << Seconds(f.Median(size, m, key + ".pass")) << " s | "
                    << (gauge ? Fixed(*gauge, 0) + " %" : std::string("-")) << " |\n";
            };
            const auto bytes = f.Median(size, m, "stop.large.bytes");
            row("inside one file of " +
                    (bytes ? GroupDigits(static_cast<int64_t>(*bytes)) : std::string("?")) +
                    " bytes, copied in blocks",
                "large");
            row("among the small files of the " + GroupDigits(size) + "-entry tree (first pass)", "small");
        }

    out << "\n## Targets\n\n";
    for (const auto& c : checks)
        out << "- "
            << (c.Met       ? "met"
                : c.Binding ? "MISSED"
                            : "known exception")
            << ": " << c.Name << ": " << Fixed(c.Measured, c.Measured < 0.1 ? 4 : 2) << " (at most "
            << Fixed(c.Limit, 2) << (c.Binding ? ")\n" : ", not binding)\n");
    if (checks.empty())
        out << "- no target could be judged with these sizes\n";
    out << "\n"
        << (AllMet(checks) ? "All targets judged here are met." : "At least one target is missed.") << "\n";

    bool profileHeader = false;
    for (const int64_t size : f.Sizes())
        for (const auto& m : f.Media())
            for (const std::string stage : {"first", "unchanged", "changed"}) {
                const std::string prefix = "calls." + stage + ".";
                const auto pass = f.Median(size, m, prefix + "pass");
                const auto entries = f.Median(size, m, "entries");
                if (!pass || !entries || *entries <= 0)
                    continue;
                if (!profileHeader) {
                    out << "\n## Where the time goes\n\nOne extra pass with every platform call of the "
                           "program counted and timed (the timing itself adds to the pass). Per entry means "
                           "per entry of the source tree. A first pass copies new files on two threads at "
                           "once, so the times of its calls add up to more than the pass.\n";
                    profileHeader = true;
                }
                out << "\n### " << stage << " pass, " << GroupDigits(size) << " entries, " << m << ": "
                    << Seconds(pass)
                    << " s\n\n| call | calls | per entry | total s | us per call | share of pass |\n"
                    << "|---|---:|---:|---:|---:|---:|\n";
                struct Line {
                    std::string Name;
                    double Calls, Secs;
                };
                std::vector<Line> lines;
                double inCalls = 0;
                for (const auto& key : f.KeysWithPrefix(size, m, prefix)) {
                    const std::string suffix = ".count";
                    if (key.size() <= prefix.size() + suffix.size() ||
                        key.compare(key.size() - suffix.size(), suffix.size(), suffix) != 0)
                        continue;
                    const std::string name =
                        key.substr(prefix.size(), key.size() - prefix.size() - suffix.size());
                    const double calls = f.Median(size, m, key).value_or(0);
                    const double secs = f.Median(size, m, prefix + name + ".seconds").value_or(0);
                    lines.push_back({name, calls, secs});
                    inCalls += secs;
                }
                std::sort(lines.begin(), lines.end(),
                          [](const Line& a, const Line& b) { return a.Secs > b.Secs; });
                for (const auto& l : lines)
                    out << "| " << l.Name << " | " << GroupDigits(static_cast<int64_t>(l.Calls)) << " | "
                        << Fixed(l.Calls / *entries, 2) << " | " << Seconds(l.Secs) << " | "
                        << (l.Calls > 0 ? Fixed(l.Secs / l.Calls * 1e6, 2) : std::string("-")) << " | "
                        << Fixed(100.0 * l.Secs / *pass, 1) << " % |\n";
                if (inCalls <= *pass) // else the calls overlapped: what is left is not known
                    out << "| (the program's own code) | - | - | " << Seconds(*pass - inCalls) << " | - | "
                        << Fixed(100.0 * (*pass - inCalls) / *pass, 1) << " % |\n";
            }
    return out.str();
}

} // namespace vestrand::bench
