// The rules that turn raw measurements into the table and the exit status.
#include <gtest/gtest.h>

#include "report.h"

using namespace vestrand::bench;

namespace {

std::string Line(int64_t size, const std::string& medium, const std::string& key, const std::string& value) {
    return std::to_string(size) + "\t" + medium + "\t" + key + "\t" + value + "\n";
}

// A complete set of figures at 100,000 and 1,000,000 entries in which every target is met.
std::string GoodRun() {
    std::string t;
    for (const int64_t size : {100000, 1000000}) {
        const double scale = size == 100000 ? 1.0 : 10.0;
        t += Line(size, "disk", "entries", std::to_string(size));
        t += Line(size, "disk", "first.agent", std::to_string(95 * scale));
        t += Line(size, "disk", "first.loop", std::to_string(100 * scale));
        t += Line(size, "disk", "unchanged.agent", std::to_string(0.7 * scale));
        t += Line(size, "disk", "unchanged.floor", std::to_string(1.0 * scale));
        t += Line(size, "disk", "index.total", std::to_string(1.5 * scale));
        t += Line(size, "disk", "index.walk", std::to_string(1.0 * scale));
        t += Line(size, "disk", "unchanged.peak_ws", std::to_string(200.0 * 1048576));
        t += Line(size, "disk", "versions.on", std::to_string(1.02 * scale));
        t += Line(size, "disk", "versions.off", std::to_string(1.0 * scale));
        t += Line(size, "disk", "versions.prune", std::to_string(8 * scale));
        t += Line(size, "disk", "versions.delete", std::to_string(10 * scale));
    }
    return t;
}

const TargetCheck* Find(const std::vector<TargetCheck>& checks, const std::string& start) {
    for (const auto& c : checks)
        if (c.Name.rfind(start, 0) == 0)
            return &c;
    return nullptr;
}

} // namespace

TEST(BenchReport, RecordsAreTabSeparatedAndBrokenLinesAreSkipped) {
    const auto records = ParseRecords("# a comment\n\n100\tdisk\tfirst.agent\t1.5\r\nnot a record\n"
                                      "x\tdisk\tfirst.agent\t2\n0\t-\tinfo.cpu\tAMD EPYC\twith a tab\n");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Size, 100);
    EXPECT_EQ(records[0].Medium, "disk");
    EXPECT_EQ(records[0].Key, "first.agent");
    EXPECT_EQ(records[0].Value, "1.5");
    EXPECT_EQ(records[1].Value, "AMD EPYC\twith a tab"); // the fourth field takes the rest of the line
}

TEST(BenchReport, EachFigureIsTheMedianOfItsRuns) {
    EXPECT_FALSE(MedianOf({}).has_value());
    EXPECT_DOUBLE_EQ(*MedianOf({3, 1, 2}), 2);
    EXPECT_DOUBLE_EQ(*MedianOf({4, 1, 3, 2}), 2.5);
    const Figures f(ParseRecords(Line(10, "disk", "walk", "9") + Line(10, "disk", "walk", "1") +
                                 Line(10, "disk", "walk", "2") + Line(10, "disk", "walk", "oops") +
                                 Line(10, "tmpfs", "walk", "7")));
    EXPECT_DOUBLE_EQ(*f.Median(10, "disk", "walk"), 2); // a value that is no number is left out
    EXPECT_EQ(f.Runs(10, "disk", "walk"), 4);
    EXPECT_DOUBLE_EQ(*f.Median(10, "tmpfs", "walk"), 7);
    EXPECT_FALSE(f.Median(10, "disk", "other").has_value());
    EXPECT_EQ(f.Media(), (std::vector<std::string>{"disk", "tmpfs"}));
    EXPECT_EQ(f.Sizes(), (std::vector<int64_t>{10}));
}

TEST(BenchReport, AllTargetsMetGivesNoMiss) {
    const auto checks = CheckTargets(Figures(ParseRecords(GoodRun())));
    // first pass, unchanged, versions on and removing versions at both sizes, index and peak memory
    // at 1,000,000, scaling once.
    EXPECT_EQ(checks.size(), 11u);
    for (const auto& c : checks)
        EXPECT_TRUE(c.Met) << c.Name << " " << c.Measured;
    const auto* scaling = Find(checks, "unchanged pass 1,000,000 / 100,000");
    ASSERT_NE(scaling, nullptr);
    EXPECT_DOUBLE_EQ(scaling->Measured, 10.0);
    EXPECT_DOUBLE_EQ(scaling->Limit, 11.0);
}

TEST(BenchReport, EachTargetIsMissedJustAboveItsLimit) {
    struct Case {
        int64_t size;
        std::string key, value, check;
    };
    const Case cases[] = {
        {100000, "unchanged.agent", "0.76", "unchanged pass / floor, 100,000"},
        {1000000, "unchanged.agent", "7.6", "unchanged pass / floor, 1,000,000"},
        {100000, "unchanged.floor_both", "0.69", "unchanged pass / both walks at once, 100,000"},
        {100000, "first.agent", "101", "first pass / CopyFileW loop, 100,000"},
        {1000000, "index.total", "16.1", "index walked+looked up / walk, 1,000,000"},
        {1000000, "unchanged.peak_ws", std::to_string(256.5 * 1048576),
         "peak working set of the unchanged pass, MiB, 1,000,000"},
        {100000, "unchanged.agent", "1.0", "unchanged pass 1,000,000 / 100,000"}, // 12 / 1.0 = 12 > 11
        {100000, "versions.on", "1.06", "unchanged pass with held versions on / off, 100,000"},
        {1000000, "versions.prune", "101",
         "removing held versions / deleting as many mirror files, 1,000,000"},
    };
    for (const auto& c : cases) {
        std::string text = GoodRun();
        if (c.check.rfind("unchanged pass 1,000,000", 0) == 0)
            text += Line(1000000, "disk", "unchanged.agent", "12") +
                    Line(1000000, "disk", "unchanged.agent", "12");
        // Two more runs of the changed value make it the median.
        text += Line(c.size, "disk", c.key, c.value) + Line(c.size, "disk", c.key, c.value);
        const auto checks = CheckTargets(Figures(ParseRecords(text)));
        const auto* hit = Find(checks, c.check);
        ASSERT_NE(hit, nullptr) << c.check;
        EXPECT_FALSE(hit->Met) << c.check << " measured " << hit->Measured;
    }
}

TEST(BenchReport, TargetsAreJudgedOnlyWhereTheirSizesWereMeasured) {
    std::string t;
    t += Line(10000, "disk", "entries", "10000");
    t += Line(10000, "disk", "unchanged.agent", "5"); // 5 times the floor, but not a size of that target
    t += Line(10000, "disk", "unchanged.floor", "1");
    t += Line(10000, "disk", "index.total", "5"); // nor of the index target
    t += Line(10000, "disk", "index.walk", "1");
    t += Line(10000, "disk", "first.agent", "0.95");
    t += Line(10000, "disk", "first.loop", "1.0");
    const auto checks = CheckTargets(Figures(ParseRecords(t)));
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].Name, "first pass / CopyFileW loop, 10,000 entries, disk");
    EXPECT_TRUE(checks[0].Met);
}

TEST(BenchReport, TheReportShowsTimesRatiosAndVerdicts) {
    std::string t = GoodRun();
    t += Line(0, "-", "info.cpu", "Test CPU");
    t += Line(100000, "disk", "first.agent.wall", "120");
    t += Line(100000, "disk", "first.xcopy", "60");
    t += Line(1000000, "disk", "unchanged.peak_ws", std::to_string(300.0 * 1048576));
    t += Line(1000000, "disk", "unchanged.peak_ws", std::to_string(300.0 * 1048576));
    t += Line(100000, "disk", "engine", "abc1234");
    t += Line(1000000, "disk", "engine", "def5678");
    t += Line(100000, "disk", "tree.files", "96959");
    t += Line(100000, "disk", "calls.unchanged.pass", "2");
    t += Line(100000, "disk", "calls.unchanged.FindNextFileA.count", "200000");
    t += Line(100000, "disk", "calls.unchanged.FindNextFileA.seconds", "0.5");
    const Figures f(ParseRecords(t));
    const auto checks = CheckTargets(f);
    const std::string report = FormatReport(f, checks);
    EXPECT_NE(report.find("Test CPU"), std::string::npos);
    // First pass at 100,000: 95 s in the process, 120 s wall, 0.95 of the loop, 2.00 of xcopy.
    EXPECT_NE(
        report.find("| 100,000 | disk | first pass (floor: CopyFileW loop; xcopy /E /I /H /K /Y; rsync -a) | "
                    "95.00 | 120.0 | 100.0 | 0.95 | 60.00 | 2.00 |"),
        std::string::npos)
        << report;
    // Removing held versions: 8 s against 10 s for deleting the same files.
    EXPECT_NE(
        report.find("| 100,000 | disk | removing a held-versions folder of the tree's 96,959 files at the "
                    "start of a pass (floor: a pass deleting the same files from the mirror, Delete "
                    "lines and all) | 8.000 | - | 10.00 | 0.80 |"),
        std::string::npos)
        << report;
    EXPECT_NE(
        report.find("- MISSED: peak working set of the unchanged pass, MiB, 1,000,000 entries, disk: 300.00"),
        std::string::npos)
        << report;
    EXPECT_NE(report.find("At least one target is missed."), std::string::npos);
    // The two sizes were measured on different states of the program, and the report says so; two
    // commits with the same engine sources are one state.
    EXPECT_NE(report.find("measured on 2 different states of the program"), std::string::npos);
    const Figures same(ParseRecords(GoodRun() +
                                    Line(100000, "disk", "engine", "abc1234, sources 0123456789") +
                                    Line(1000000, "disk", "engine", "def5678, sources 0123456789")));
    EXPECT_EQ(FormatReport(same, CheckTargets(same)).find("different states"), std::string::npos);
    // The profile: two calls per entry, a quarter of the pass.
    EXPECT_NE(report.find("| FindNextFileA | 200,000 | 2.00 | 0.500 | 2.50 | 25.0 % |"), std::string::npos)
        << report;
}

TEST(BenchReport, DigitsAreGroupedByThousands) {
    EXPECT_EQ(GroupDigits(0), "0");
    EXPECT_EQ(GroupDigits(999), "999");
    EXPECT_EQ(GroupDigits(1000), "1,000");
    EXPECT_EQ(GroupDigits(1000000), "1,000,000");
    EXPECT_EQ(GroupDigits(-12345), "-12,345");
}

TEST(BenchReport, FiguresTakenInPairsAreComparedPairByPair) {
    std::string t;
    t += Line(100000, "disk", "entries", "100000");
    // The second run met a busy machine for both figures: each pair alone is 0.6 to 0.7.
    for (const auto& [agent, floor] : {std::pair{"6", "10"}, std::pair{"14", "20"}, std::pair{"7", "10"}}) {
        t += Line(100000, "disk", "unchanged.agent", agent);
        t += Line(100000, "disk", "unchanged.floor", floor);
    }
    const Figures f(ParseRecords(t));
    EXPECT_DOUBLE_EQ(*f.PairedRatio(100000, "disk", "unchanged.agent", "unchanged.floor"), 0.7);
    // The ratio of the medians would be 7 / 10 as well here; with unequal counts it is the fallback.
    t += Line(100000, "disk", "unchanged.floor", "40");
    const Figures g(ParseRecords(t));
    EXPECT_DOUBLE_EQ(*g.PairedRatio(100000, "disk", "unchanged.agent", "unchanged.floor"), 7.0 / 15.0);
    const auto checks = CheckTargets(f);
    const auto* unchanged = Find(checks, "unchanged pass / floor, 100,000");
    ASSERT_NE(unchanged, nullptr);
    EXPECT_DOUBLE_EQ(unchanged->Measured, 0.7);
    EXPECT_TRUE(unchanged->Met);
}

TEST(BenchReport, PeakMemoryOfEveryPassIsJudgedAtAMillionEntries) {
    const std::string zero = "disk, 0-byte files", tree = ", MiB, 1,000,000 entries, disk, 0-byte files";
    std::string t = GoodRun() + Line(1000000, zero, "entries", "1000000");
    for (const auto& [stage, mib] : {std::pair{"first", 120.0}, std::pair{"unchanged", 90.0},
                                     std::pair{"update", 130.0}, std::pair{"deleteall", 300.0}})
        t += Line(1000000, zero, std::string(stage) + ".peak_ws", std::to_string(mib * 1048576));
    const Figures f(ParseRecords(t));
    const auto checks = CheckTargets(f);
    for (const std::string pass : {"first pass", "unchanged pass", "pass updating every file"}) {
        const auto* c = Find(checks, "peak working set of the " + pass + tree);
        ASSERT_NE(c, nullptr) << pass;
        EXPECT_TRUE(c->Met && c->Binding) << pass;
    }
    const auto* deleting = Find(checks, "peak working set of the pass deleting every entry" + tree);
    ASSERT_NE(deleting, nullptr);
    EXPECT_DOUBLE_EQ(deleting->Measured, 300.0);
    EXPECT_FALSE(deleting->Met || deleting->Binding);
    EXPECT_TRUE(AllMet(checks)); // a known exception is no miss
    const std::string report = FormatReport(f, checks);
    EXPECT_NE(report.find("- known exception: peak working set of the pass deleting every entry" + tree +
                          ": 300.00 (at most 256.00, not binding)"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("All targets judged here are met."), std::string::npos);
    // The updating pass just above the limit is a miss.
    const std::string over = std::to_string(256.5 * 1048576);
    const auto missed = CheckTargets(Figures(ParseRecords(t + Line(1000000, zero, "update.peak_ws", over) +
                                                          Line(1000000, zero, "update.peak_ws", over))));
    EXPECT_FALSE(Find(missed, "peak working set of the pass updating every file" + tree)->Met);
    EXPECT_FALSE(AllMet(missed));
}

TEST(BenchReport, TheReportShowsStoppedPassesAndTheMemoryOfEveryPass) {
    const std::string zero = "disk, 0-byte files", stop = "disk, stopped passes";
    std::string t = Line(1000000, zero, "entries", "1000000");
    for (const auto& [key, value] : {std::pair{"first.peak_ws", 100}, std::pair{"unchanged.peak_ws", 50},
                                     std::pair{"update.peak_ws", 110}, std::pair{"deleteall.peak_ws", 120},
                                     std::pair{"update.agent", 900}, std::pair{"deleteall.agent", 600},
                                     std::pair{"deleteall.more_passes", 9}})
        t += Line(1000000, zero, key,
                  std::to_string(value *
                                 (std::string(key).find("peak_ws") == std::string::npos ? 1.0 : 1048576.0)));
    t += Line(100000, stop, "entries", "100000") + Line(100000, stop, "tree.files", "96959") +
         Line(100000, stop, "stop.percent", "50") + Line(100000, stop, "stop.block_bytes", "1048576") +
         Line(100000, stop, "stop.large.bytes", "2000000000") +
         Line(100000, stop, "stop.small.seconds", "0.01") + Line(100000, stop, "stop.small.pass", "50");
    for (const auto& [seconds, pass] :
         {std::pair{"0.02", "12"}, std::pair{"0.04", "9"}, std::pair{"0.03", "10"}})
        t += Line(100000, stop, "stop.large.seconds", seconds) + Line(100000, stop, "stop.large.pass", pass);
    const Figures f(ParseRecords(t));
    const std::string report = FormatReport(f, CheckTargets(f));
    for (const std::string line :
         {"| 1,000,000 | disk, 0-byte files | 100.0 MiB | 50.0 MiB | 110.0 MiB | 120.0 MiB | - |",
          "pass updating every file (each stamped later) 900.0 s (1 run)", "took 9 more passes",
          "blocks of 1,048,576 bytes",
          "| inside one file of 2,000,000,000 bytes, copied in blocks | 50 % | 3 | 0.030 s | 10.00 s | - |",
          "| among the small files of the 100,000-entry tree (first pass) | 50 % | 1 | 0.010 s | 50.00 s | - "
          "|"})
        EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
    // The tree of the stopped passes has no memory figures, so no row of dashes in the Memory table.
    EXPECT_EQ(report.find("| 100,000 | disk, stopped passes | - |"), std::string::npos) << report;
}
