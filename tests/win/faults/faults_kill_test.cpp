// A pass killed at a random moment: a child process (this test program started with
// --vestrand-child-pass, its settings in S:\kill_child\settings.txt) runs one pass and is terminated after a
// seeded delay; the next pass must bring the mirror in line, and the journal must keep every block written
// before.
//
// VESTRAND_FAULTS_KILLS sets the number of kills (default 40), VESTRAND_FAULTS_SEED the seed of
// the source changes and kill delays (default 1). The figures (kills by the stage they hit) are
// printed at the end.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "engine/fileops_win.h"
#include "mirror_fixture.h"
#include "random.h"
#include "runtime/handles_win.h"
#include "tree_snapshot.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

constexpr const char* kChildFlag = "--vestrand-child-pass";
constexpr const char* kChildSettings = "S:\\kill_child\\settings.txt";
constexpr const char* kStartedEvent = "VestrandFaultsChildStarted";
constexpr const char* kStageMapping = "VestrandFaultsChildStage";

// The settings of a child pass, one value a line: TargetDir, IdentifComp, LowDriveSpaceMb, then
// "D " + source folder or "F " + source file.
void WriteChildSettings(const std::string& path, const BackupSettings& s) {
    std::string text =
        s.TargetDir + "\r\n" + s.IdentifComp + "\r\n" + std::to_string(s.LowDriveSpaceMb) + "\r\n";
    for (const auto& d : s.SourceDirs)
        text += "D " + d + "\r\n";
    for (const auto& f : s.SourceFiles)
        text += "F " + f + "\r\n";
    WriteFile(path, text);
}

BackupSettings ReadChildSettings(const std::string& path) {
    const Lines lines = SplitCrLf(ReadFile(path));
    BackupSettings s;
    if (lines.size() < 3)
        return s;
    s.TargetDir = lines[0];
    s.IdentifComp = lines[1];
    s.LowDriveSpaceMb = std::atoll(lines[2].c_str());
    s.KeepVersionsDays = 0; // the killed passes hold nothing: their mirrors are compared whole
    for (size_t i = 3; i < lines.size(); ++i)
        (lines[i][0] == 'D' ? s.SourceDirs : s.SourceFiles).push_back(lines[i].substr(2));
    return s;
}

// In a child started with the flag, runs the pass before any test and ends the process.
class ChildPass final : public ::testing::Environment {
public:
    void SetUp() override {
        if (std::string(GetCommandLineA()).find(kChildFlag) == std::string::npos)
            return;
        const BackupSettings settings = ReadChildSettings(kChildSettings);
        FileHandle mapping(OpenFileMappingA(FILE_MAP_WRITE, FALSE, kStageMapping));
        auto* stage =
            mapping ? static_cast<volatile LONG*>(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 4096))
                    : nullptr;
        if (FileHandle started{OpenEventA(EVENT_MODIFY_STATE, FALSE, kStartedEvent)})
            SetEvent(started.Get());
        // The child's display publishes the stage it has reached in the shared page.
        FakeDisplay display;
        display.onStage = [stage](PassStage reached) {
            if (stage)
                InterlockedExchange(stage, StageNumber(reached));
        };
        FakeClock clock{FixedNow()};
        FakeSchedule schedule{FixedNow() + 60 * kMinute};
        int code = 0;
        try {
            RunBackupPass(settings, false, display, schedule, clock);
            if (stage)
                InterlockedExchange(stage, 5); // the pass returned
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child pass: %s\n", e.what());
            code = 3;
        }
        std::fflush(nullptr);
        ExitProcess(static_cast<UINT>(code));
    }
};
::testing::Environment* const kChildPass = ::testing::AddGlobalTestEnvironment(new ChildPass);

uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::strtoull(value, nullptr, 10) : fallback;
}

std::string Bytes(Random& rng, size_t n) {
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng.Below(256));
    return s;
}

struct KillFixture : MirrorFixture {
    std::string exe;
    FileHandle started, mapping;
    volatile LONG* stage = nullptr;

    void SetUp() override {
        MirrorFixture::SetUp();
        char buf[MAX_PATH * 2] = {};
        GetModuleFileNameA(nullptr, buf, sizeof buf);
        exe = buf;
        FreshFolder('S', "kill_child");
        started.Reset(CreateEventA(nullptr, TRUE, FALSE, kStartedEvent));
        mapping.Reset(
            CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, kStageMapping));
        stage = static_cast<volatile LONG*>(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 4096));
    }
    void TearDown() override { UnmapViewOfFile(const_cast<LONG*>(stage)); }

    // Starts a child pass; kills it `delayMs` after it reports the start (never, when negative).
    // Gives the stage it had reached: 0 loading, 1 directory stage, 2 file stage, 3 deletion,
    // 4 journal save and rotation, 5 done.
    LONG ChildPass(int delayMs, double* tookMs = nullptr) {
        WriteChildSettings(kChildSettings, settings);
        InterlockedExchange(stage, 0);
        ResetEvent(started.Get());
        std::string cmd = "\"" + exe + "\" --gtest_filter=KillFixture.* " + kChildFlag;
        // The child's own test output goes nowhere.
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const FileHandle nul(CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                         OPEN_EXISTING, 0, nullptr));
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = si.hStdOutput = si.hStdError = nul.Get();
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
            ADD_FAILURE() << "cannot start the child pass: " << GetLastError();
            return -1;
        }
        const FileHandle process(pi.hProcess), thread(pi.hThread);
        EXPECT_EQ(WaitForSingleObject(started.Get(), 60000), WAIT_OBJECT_0);
        const DWORD t0 = GetTickCount();
        if (delayMs >= 0 && WaitForSingleObject(pi.hProcess, static_cast<DWORD>(delayMs)) == WAIT_TIMEOUT)
            TerminateProcess(pi.hProcess, 9);
        WaitForSingleObject(pi.hProcess, 120000);
        if (tookMs)
            *tookMs = static_cast<double>(GetTickCount() - t0);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        if (code != 0 && code != 9)
            ADD_FAILURE() << "child pass ended with code " << code;
        return code == 0 ? 5 : *stage;
    }
};

} // namespace

TEST_F(KillFixture, ChildPassRunsAPassOfItsOwn) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    EXPECT_EQ(ChildPass(-1), 5);
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a");
    EXPECT_EQ(Block(), Framed({New(src + "a.txt")}));
}

TEST_F(KillFixture, KilledAtRandomMomentsTheNextPassRepairsAndNoBlockIsLost) {
    const int kills = static_cast<int>(EnvNumber("VESTRAND_FAULTS_KILLS", 40));
    const uint64_t firstSeed = EnvNumber("VESTRAND_FAULTS_SEED", 1);
    const std::string single = FreshFolder('S', "kill_single") + "отдельный.bin";
    settings.SourceDirs = {src};
    settings.SourceFiles = {single};
    const std::string archive = target + "261206.Test";

    // The work of one pass: a large file (so that kills land inside copies), many small ones,
    // folders, updates and deletions. Every file written gets a time stamp of its own, so that
    // no change hides in the two-second steps of the stored time.
    Random setup{firstSeed};
    int stamps = 0;
    const auto write = [&](const std::string& path, const std::string& content) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteFile(path, content);
        SetStamp(path, 4 * ++stamps);
    };
    write(single, Bytes(setup, 300000));
    for (int i = 0; i < 240; ++i)
        write(src + "Папка " + std::to_string(i % 8) + "\\файл " + std::to_string(i) + ".dat",
              Bytes(setup, 100 + setup.Below(20000)));
    ASSERT_EQ(ChildPass(-1), 5);

    double fullMs = 0; // the longest pass seen to its end
    std::map<LONG, int> byStage;
    for (int round = 0; round <= kills; ++round) {
        SCOPED_TRACE("kill round " + std::to_string(round) +
                     " of VESTRAND_FAULTS_SEED=" + std::to_string(firstSeed) +
                     " (a rerun repeats the changes; the moment of the kill depends on timing)");
        Random rng{(firstSeed + static_cast<uint64_t>(round)) * 7919};
        // Change the sources: new, changed and deleted files, a new and a removed folder.
        write(src + "большой.bin", Bytes(rng, 1500000 + rng.Below(1500000)));
        // A new large file each round, long unchanged (stamped years before the pass), and one
        // written just now, so that kills also land inside the copies of new files.
        const std::string tag = std::to_string(round) + ".bin", previous = std::to_string(round - 1) + ".bin";
        write(src + "новый " + tag, Bytes(rng, 1000000 + rng.Below(1000000)));
        WriteFile(src + "свежий " + tag, Bytes(rng, 1000000 + rng.Below(1000000)));
        if (round > 0)
            for (const char* kind : {"новый ", "свежий "})
                DeleteFileA((src + kind + previous).c_str());
        write(single, Bytes(rng, 200000 + rng.Below(200000)));
        for (int i = 0; i < 40; ++i) {
            const std::string f = src + "Папка " + std::to_string(rng.Below(9)) + "\\файл " +
                                  std::to_string(rng.Below(300)) + ".dat";
            if (rng.Below(4) == 0) {
                SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(f.c_str());
            } else {
                write(f, Bytes(rng, rng.Below(30000)));
                if (rng.Below(5) == 0)
                    SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
            }
        }
        if (rng.Below(3) == 0)
            RemoveTree(src + "Папка " + std::to_string(rng.Below(9)));
        // Now and then a journal just under the rotation size, so that kills land in rotations.
        std::string journalBefore = Journal();
        if (rng.Below(3) == 0 && journalBefore.size() < 199000) {
            std::string pad;
            while (journalBefore.size() + pad.size() < 199500)
                pad += "Start 01.12.26 00:00:00\r\n" + NewLine(root + "earlier.txt") +
                       "\r\nStop 01.12.26 00:00:00\r\n\r\n";
            WriteFile(root + "journal.txt", journalBefore + pad);
            journalBefore += pad;
        }
        const std::string archiveBefore = ReadFile(archive);

        // Round 0 measures a whole pass; every later one kills at a moment up to a little past it.
        // A quarter of the kills aim at the last tenth of a pass: the journal's save and rotation.
        const auto span = static_cast<uint32_t>(fullMs * 1.2) + 2;
        const int delay = round == 0 ? -1
                          : rng.Below(4) == 0
                              ? static_cast<int>(fullMs * 0.9) + static_cast<int>(rng.Below(span / 6 + 1))
                              : static_cast<int>(rng.Below(span));
        double took = 0;
        const LONG reached = ChildPass(delay, &took);
        if (reached == 5)
            fullMs = std::max(fullMs, took);
        if (round > 0)
            ++byStage[reached];

        // Whatever the kill left under a mirror name either is the source's content or differs
        // from the source in what the directory stage compares (size, stamp, attributes), so
        // that the next pass replaces it.
        TreeSnapshot sources = SnapshotTree(src), mirror = SnapshotTree(Mirror(src));
        for (const auto& [rel, m] : mirror) {
            const auto it = sources.find(rel);
            if (m.folder || it == sources.end() || m.content == it->second.content)
                continue;
            EXPECT_TRUE(m.content.size() != it->second.content.size() ||
                        m.attributes != it->second.attributes ||
                        FileStamp(Mirror(src) + rel) != FileStamp(src + rel))
                << "a damaged copy that the next pass would count as current: " << rel;
        }
        // The next pass, in this process, must bring the mirror in line: every source entry with
        // its attributes, a file also with its content and time; no stale file.
        ASSERT_NO_THROW(Run());
        sources = SnapshotTree(src);
        mirror = SnapshotTree(Mirror(src));
        for (const auto& [rel, s] : sources) {
            const auto it = mirror.find(rel);
            ASSERT_TRUE(it != mirror.end()) << "missing after the repair: " << rel;
            if (s.folder)
                EXPECT_EQ(it->second.attributes, s.attributes) << rel;
            else
                EXPECT_EQ(it->second, s) << rel;
        }
        for (const auto& [rel, m] : mirror)
            EXPECT_TRUE(m.folder || sources.count(rel)) << "stale file left after the repair: " << rel;
        EXPECT_TRUE(ReadFile(Mirror(single)) == ReadFile(single)) << "the single file differs";
        EXPECT_FALSE(IsFile(root + "journal.tmp"));

        // Every earlier block is kept, in the archive or the journal, and what follows is whole
        // blocks only.
        const std::string all = ReadFile(archive) + Journal();
        ASSERT_EQ(all.compare(0, archiveBefore.size(), archiveBefore), 0) << "the archive lost its beginning";
        const size_t at = all.find(journalBefore, archiveBefore.size());
        ASSERT_NE(at, std::string::npos) << "an earlier journal block was lost";
        const Lines rest = SplitCrLf(all.substr(at + journalBefore.size()));
        ASSERT_GE(rest.size(), 4u);
        EXPECT_EQ(rest.front().rfind("Start ", 0), 0u);
        EXPECT_EQ(Lines(rest.end() - 3, rest.end()), (Lines{"Stop " + kStamp, kNextStartLine, ""}));
        if (HasFatalFailure())
            return;
    }
    std::printf("kills: %d (first seed %llu; a full pass took %.0f ms): ", kills,
                static_cast<unsigned long long>(firstSeed), fullMs);
    static const char* const names[] = {"loading/index walk", "directory stage", "file stage",
                                        "deletion stage",     "save/rotation",   "finished before the kill"};
    for (const auto& [s, n] : byStage)
        std::printf("%s %d; ", s >= 0 && s <= 5 ? names[s] : "?", n);
    std::printf("\n");
}
