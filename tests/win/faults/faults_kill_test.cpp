// A pass killed at a random moment: a child process (this test program started with
// --vestrand-child-pass=FILE) runs one pass and is terminated after a seeded delay; the next pass
// must bring the mirror in line, and the journal must keep every block written before.
//
// VESTRAND_FAULTS_KILLS sets the number of kills (default 40), VESTRAND_FAULTS_SEED the seed of
// the source changes and kill delays (default 1). The figures (kills by the stage they hit) are
// printed at the end.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "faults_helpers.h"
#include "runtime/error.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

constexpr const char* kChildFlag = "--vestrand-child-pass=";
constexpr const char* kStartedEvent = "VestrandFaultsChildStarted";
constexpr const char* kStageMapping = "VestrandFaultsChildStage";

// The settings of a child pass, one value a line: TargetDir, IdentifComp, LowDriveSpaceMb, then
// "D " + source folder or "F " + source file.
void WriteChildSettings(const std::string& path, const BackupSettings& s) {
    std::string text = s.TargetDir + "\n" + s.IdentifComp + "\n" + std::to_string(s.LowDriveSpaceMb) + "\n";
    for (const auto& d : s.SourceDirs)
        text += "D " + d + "\n";
    for (const auto& f : s.SourceFiles)
        text += "F " + f + "\n";
    WriteFile(path, text);
}

BackupSettings ReadChildSettings(const std::string& path) {
    BackupSettings s;
    const std::string text = ReadFile(path);
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    if (lines.size() < 3)
        return s;
    s.TargetDir = lines[0];
    s.IdentifComp = lines[1];
    s.LowDriveSpaceMb = std::atoll(lines[2].c_str());
    for (size_t i = 3; i < lines.size(); ++i) {
        if (lines[i].rfind("D ", 0) == 0)
            s.SourceDirs.push_back(lines[i].substr(2));
        else if (lines[i].rfind("F ", 0) == 0)
            s.SourceFiles.push_back(lines[i].substr(2));
    }
    return s;
}

// In a child started with the flag, runs the pass before any test and ends the process.
class ChildPass final : public ::testing::Environment {
public:
    void SetUp() override {
        const std::string line = GetCommandLineA();
        const size_t at = line.find(kChildFlag);
        if (at == std::string::npos)
            return;
        std::string file = line.substr(at + std::string(kChildFlag).size());
        file = file.substr(0, file.find('"'));
        const BackupSettings settings = ReadChildSettings(file);
        HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, kStageMapping);
        auto* stage = mapping
                          ? static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 4096))
                          : nullptr;
        if (HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, kStartedEvent)) {
            SetEvent(started);
            CloseHandle(started);
        }
        // The child's display publishes the stage it has reached in the shared page.
        FakeDisplay display;
        display.onProgress = [stage](int32_t value) {
            if (stage)
                InterlockedExchange(stage, value);
        };
        FixedClock clock;
        RecordingSchedule schedule;
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
    char buf[64] = {};
    const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n == 0 || n >= sizeof buf ? fallback : std::strtoull(buf, nullptr, 10);
}

struct Rng {
    uint64_t s;
    uint32_t Below(uint32_t n) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>((s >> 33) % n);
    }
};

std::string Bytes(Rng& rng, size_t n) {
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng.Below(256));
    return s;
}

// Every entry below `dir` (relative path -> folder?, attributes, time, content).
struct Seen {
    bool folder = false;
    DWORD attr = 0;
    FILETIME write{};
    std::string content;
};
void Collect(const std::string& root, const std::string& rel, std::map<std::string, Seen>& out) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((root + rel + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == ".." || (rel.empty() && name == "journal.txt"))
            continue;
        Seen s;
        s.folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        s.attr = fd.dwFileAttributes;
        s.write = fd.ftLastWriteTime;
        if (!s.folder)
            s.content = ReadFile(root + rel + name);
        out[rel + name] = s;
        if (s.folder)
            Collect(root, rel + name + "\\", out);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

struct KillFixture : FaultFixture {
    std::string exe, childFile;
    HANDLE started = nullptr, mapping = nullptr;
    volatile LONG* stage = nullptr;

    void SetUp() override {
        FaultFixture::SetUp();
        char buf[MAX_PATH * 2] = {};
        GetModuleFileNameA(nullptr, buf, sizeof buf);
        exe = buf;
        childFile = FreshFolder('S', "kill_child") + "settings.txt";
        started = CreateEventA(nullptr, TRUE, FALSE, kStartedEvent);
        mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, kStageMapping);
        stage = static_cast<volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 4096));
    }
    void TearDown() override {
        UnmapViewOfFile(const_cast<LONG*>(stage));
        CloseHandle(mapping);
        CloseHandle(started);
    }

    // Starts a child pass; kills it `delayMs` after it reports the start (never, when negative).
    // Gives the stage it had reached: 0 loading, 1 directory stage, 2 file stage, 3 deletion,
    // 4 journal save and rotation, 5 done.
    LONG ChildPass(int delayMs, double* tookMs = nullptr) {
        WriteChildSettings(childFile, settings);
        InterlockedExchange(stage, 0);
        ResetEvent(started);
        std::string cmd = "\"" + exe + "\" --gtest_filter=KillFixture.* \"" + kChildFlag + childFile + "\"";
        // The child's own test output goes nowhere.
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = nul;
        si.hStdOutput = nul;
        si.hStdError = nul;
        PROCESS_INFORMATION pi{};
        const BOOL made =
            CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
        CloseHandle(nul);
        if (!made) {
            ADD_FAILURE() << "cannot start the child pass: " << GetLastError();
            return -1;
        }
        EXPECT_EQ(WaitForSingleObject(started, 60000), WAIT_OBJECT_0);
        LARGE_INTEGER f, t0, t1;
        QueryPerformanceFrequency(&f);
        QueryPerformanceCounter(&t0);
        if (delayMs >= 0 && WaitForSingleObject(pi.hProcess, static_cast<DWORD>(delayMs)) == WAIT_TIMEOUT)
            TerminateProcess(pi.hProcess, 9);
        WaitForSingleObject(pi.hProcess, 120000);
        QueryPerformanceCounter(&t1);
        if (tookMs)
            *tookMs =
                1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        const LONG reached = *stage;
        if (code != 0 && code != 9)
            ADD_FAILURE() << "child pass ended with code " << code;
        return code == 0 ? 5 : reached;
    }
};

} // namespace

TEST_F(KillFixture, ChildPassRunsAPassOfItsOwn) {
    WriteFile(src + "a.txt", "a");
    settings.SourceDirs = {src};
    EXPECT_EQ(ChildPass(-1), 5);
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a");
    EXPECT_TRUE(HasLine(Block(), "New    " + Mirror(src + "a.txt")));
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
    Rng setup{firstSeed};
    int stamps = 0;
    const auto write = [&](const std::string& path, const std::string& content) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        WriteFile(path, content);
        SYSTEMTIME st{2020, 1, 0, 1, 0, 0, 0, 0};
        FILETIME ft{};
        SystemTimeToFileTime(&st, &ft);
        ULARGE_INTEGER v{{ft.dwLowDateTime, ft.dwHighDateTime}};
        v.QuadPart += static_cast<uint64_t>(++stamps) * 4 * 10000000ull;
        ft = FILETIME{v.LowPart, v.HighPart};
        HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFileTime(h, nullptr, nullptr, &ft);
        CloseHandle(h);
    };
    write(single, Bytes(setup, 300000));
    for (int i = 0; i < 240; ++i)
        write(src + "Папка " + std::to_string(i % 8) + "\\файл " + std::to_string(i) + ".dat",
              Bytes(setup, 100 + setup.Below(20000)));
    ASSERT_EQ(ChildPass(-1), 5);

    double fullMs = 0; // the longest pass seen to its end
    std::map<LONG, int> byStage;
    for (int round = 0; round <= kills; ++round) {
        const uint64_t seed = firstSeed + static_cast<uint64_t>(round);
        SCOPED_TRACE("kill round " + std::to_string(round) +
                     " of VESTRAND_FAULTS_SEED=" + std::to_string(firstSeed) +
                     " (a rerun repeats the changes; the moment of the kill depends on timing)");
        Rng rng{seed * 7919};
        // Change the sources: new, changed and deleted files, a new and a removed folder.
        write(src + "большой.bin", Bytes(rng, 1500000 + rng.Below(1500000)));
        // A new large file each round, long unchanged (stamped years before the pass), and one
        // written just now, so that kills also land inside the copies of new files.
        const std::string older = src + "новый " + std::to_string(round) + ".bin";
        const std::string fresh = src + "свежий " + std::to_string(round) + ".bin";
        write(older, Bytes(rng, 1000000 + rng.Below(1000000)));
        WriteFile(fresh, Bytes(rng, 1000000 + rng.Below(1000000)));
        if (round > 0) {
            for (const char* kind : {"новый ", "свежий "}) {
                const std::string previous = src + kind + std::to_string(round - 1) + ".bin";
                DeleteFileA(previous.c_str());
            }
        }
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
                pad += "Start 01.12.26 00:00:00\r\nNew    " + root +
                       "earlier.txt\r\nStop 01.12.26 00:00:00\r\n\r\n";
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
        {
            std::map<std::string, Seen> sources, mirror;
            Collect(src, "", sources);
            Collect(Mirror(src), "", mirror);
            for (const auto& [rel, m] : mirror) {
                const auto it = sources.find(rel);
                if (m.folder || it == sources.end() || it->second.folder || m.content == it->second.content)
                    continue;
                const bool seenAsChanged = m.content.size() != it->second.content.size() ||
                                           m.attr != it->second.attr ||
                                           FileStamp(Mirror(src) + rel) != FileStamp(src + rel);
                EXPECT_TRUE(seenAsChanged)
                    << "a damaged copy that the next pass would count as current: " << rel;
            }
        }
        // The next pass, in this process, must bring the mirror in line.
        ASSERT_NO_THROW(Run());
        std::map<std::string, Seen> sources, mirror;
        Collect(src, "", sources);
        Collect(Mirror(src), "", mirror);
        for (const auto& [rel, s] : sources) {
            const auto it = mirror.find(rel);
            ASSERT_TRUE(it != mirror.end()) << "missing after the repair: " << rel;
            EXPECT_EQ(it->second.folder, s.folder) << rel;
            EXPECT_EQ(it->second.attr, s.attr) << rel;
            if (!s.folder) {
                EXPECT_TRUE(it->second.content == s.content) << "content differs: " << rel;
                EXPECT_EQ(CompareFileTime(&it->second.write, &s.write), 0) << rel;
            }
        }
        for (const auto& [rel, m] : mirror) {
            if (!sources.count(rel)) {
                EXPECT_TRUE(m.folder) << "stale file left after the repair: " << rel;
            }
        }
        EXPECT_TRUE(ReadFile(Mirror(single)) == ReadFile(single)) << "the single file differs";
        EXPECT_FALSE(IsFile(root + "journal.tmp"));

        // Every earlier block is kept, in the archive or the journal, and what follows is whole
        // blocks only.
        const std::string archiveAfter = ReadFile(archive), journalAfter = Journal();
        const std::string all = archiveAfter + journalAfter;
        ASSERT_EQ(all.compare(0, archiveBefore.size(), archiveBefore), 0) << "the archive lost its beginning";
        const size_t at = all.find(journalBefore, archiveBefore.size());
        ASSERT_NE(at, std::string::npos) << "an earlier journal block was lost";
        const auto rest = JournalLines(all.substr(at + journalBefore.size()));
        ASSERT_GE(rest.size(), 4u);
        EXPECT_EQ(rest.front().rfind("Start ", 0), 0u);
        EXPECT_EQ(rest.back(), "");
        EXPECT_EQ(rest[rest.size() - 3], "Stop 06.12.26 18:20:13");
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
