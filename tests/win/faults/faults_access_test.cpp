// Sources and targets that cannot be reached during a pass: a source file held open without
// sharing by another program, and a drive whose mapping vanishes part-way through a pass.
#include <windows.h>

#include "faults_helpers.h"
#include "runtime/error.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

// Holds a file open without sharing, as another program would.
class Locked {
public:
    explicit Locked(const std::string& path)
        : m_h(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr)) {}
    ~Locked() { Release(); }
    bool Held() const { return m_h != INVALID_HANDLE_VALUE; }
    void Release() {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_h;
};

// The folder behind a test drive letter, seen through Z: (the whole Unix file system under
// Wine). Renaming it away makes the drive letter lead nowhere, as when a drive is unplugged.
class VanishingDrive {
public:
    explicit VanishingDrive(char letter) {
        char buf[1024] = {};
        const DWORD n = GetEnvironmentVariableA("WINEPREFIX", buf, sizeof buf);
        if (n == 0 || n >= sizeof buf)
            return;
        std::string prefix = buf;
        for (auto& c : prefix)
            if (c == '/')
                c = '\\';
        const std::string drives = "Z:" + prefix.substr(0, prefix.find_last_of('\\')) + "\\drives\\";
        m_here = drives + static_cast<char>(letter - 'A' + 'a');
        m_away = m_here + "-vanished";
        if (IsFolder(m_away) && !IsFolder(m_here))
            MoveFileA(m_away.c_str(), m_here.c_str()); // left over from an interrupted run
        // Only usable when a file written through the letter shows up there.
        const std::string probe = std::string(1, letter) + ":\\vanish-probe.txt";
        WriteFile(probe, "probe");
        m_ok = IsFile(m_here + "\\vanish-probe.txt");
        DeleteFileA(probe.c_str());
    }
    ~VanishingDrive() { Back(); }
    bool Usable() const { return m_ok; }
    bool Vanish() { return m_ok && !m_gone && (m_gone = MoveFileA(m_here.c_str(), m_away.c_str()) != 0); }
    void Back() {
        if (m_gone && MoveFileA(m_away.c_str(), m_here.c_str()))
            m_gone = false;
    }

private:
    std::string m_here, m_away;
    bool m_ok = false, m_gone = false;
};

} // namespace

TEST_F(FaultFixture, SourceHeldOpenWithoutSharingIsFailedThenCopiedOnceReleased) {
    const std::string listed = FreshFolder('S', "access_listed") + "списанный.txt";
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "held.txt", "first version");
    WriteFile(src + "z.txt", "z");
    WriteFile(listed, "listed, first");
    settings.SourceDirs = {src};
    settings.SourceFiles = {listed};
    {
        Locked held(src + "held.txt"), heldListed(listed);
        ASSERT_TRUE(held.Held() && heldListed.Held());
        Run();
    }
    auto block = Block();
    EXPECT_TRUE(HasLine(block, "Failed " + Mirror(src + "held.txt")));
    EXPECT_TRUE(HasLine(block, "Failed " + Mirror(listed)));
    EXPECT_TRUE(HasLine(block, "New    " + Mirror(src + "a.txt")));
    EXPECT_TRUE(HasLine(block, "New    " + Mirror(src + "z.txt")));
    EXPECT_FALSE(IsFile(Mirror(src + "held.txt")));
    EXPECT_FALSE(IsFile(Mirror(listed)));
    EXPECT_EQ(ReadFile(Mirror(src + "z.txt")), "z");

    // Released: the next pass copies them.
    Run();
    block = Block();
    EXPECT_TRUE(HasLine(block, "New    " + Mirror(src + "held.txt")));
    EXPECT_TRUE(HasLine(block, "New    " + Mirror(listed)));
    EXPECT_EQ(ReadFile(Mirror(src + "held.txt")), "first version");
    EXPECT_EQ(ReadFile(Mirror(listed)), "listed, first");

    // Changed and held again: the update fails, the previous copy stays; released, it is updated.
    WriteFile(src + "held.txt", "second, longer version");
    WriteFile(listed, "listed, second");
    SetStamp(src + "held.txt", 7200);
    SetStamp(listed, 7200);
    {
        Locked held(src + "held.txt"), heldListed(listed);
        Run();
    }
    block = Block();
    EXPECT_TRUE(HasLine(block, "Failed " + Mirror(src + "held.txt")));
    EXPECT_TRUE(HasLine(block, "Failed " + Mirror(listed)));
    EXPECT_EQ(ReadFile(Mirror(src + "held.txt")), "first version");
    EXPECT_EQ(ReadFile(Mirror(listed)), "listed, first");
    Run();
    block = Block();
    EXPECT_TRUE(HasLine(block, "Update " + Mirror(src + "held.txt")));
    EXPECT_TRUE(HasLine(block, "Update " + Mirror(listed)));
    EXPECT_EQ(ReadFile(Mirror(src + "held.txt")), "second, longer version");
    EXPECT_EQ(ReadFile(Mirror(listed)), "listed, second");
    RemoveTree(FileDirOf(listed));
}

struct DriveFixture : FaultFixture {
    void SetUp() override { Prepare('W'); }
};

// The backup drive goes away at each moment between two stages of a pass, and comes back for the
// next pass: nothing is deleted that the pass could not see, and the next pass repairs the mirror.
TEST_F(DriveFixture, TargetDriveVanishingPartWayLosesNothingAndTheNextPassRepairs) {
    VanishingDrive drive('W');
    if (!drive.Usable())
        GTEST_SKIP() << "the drive mapping of W: cannot be taken away here (not under Wine); skipped";
    WriteFile(src + "keep.txt", "keep");
    WriteFile(src + "change.txt", "old");
    WriteFile(src + "gone.txt", "gone");
    WriteFile(src + "Папка\\inner.txt", "inner");
    settings.SourceDirs = {src};
    Run();
    for (int stage = 1; stage <= 3; ++stage) {
        SCOPED_TRACE("drive vanishes at gauge position " + std::to_string(stage));
        const std::string earlier = Journal();
        WriteFile(src + "change.txt", "new " + std::to_string(stage));
        SetStamp(src + "change.txt", 100 * stage);
        SetFileAttributesA((src + "gone.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((src + "gone.txt").c_str());
        WriteFile(src + "added " + std::to_string(stage) + ".txt", "added");
        display.onProgress = [&](int32_t at) {
            if (at == stage)
                drive.Vanish();
        };
        // The journal cannot be saved on a drive that is not there: the error ends the pass.
        EXPECT_THROW(Run(), VestrandError);
        display.onProgress = nullptr;
        drive.Back();
        ASSERT_TRUE(IsFolder(root));
        EXPECT_TRUE(ReadFile(root + "journal.txt") == earlier);
        EXPECT_EQ(ReadFile(Mirror(src + "keep.txt")), "keep");
        EXPECT_EQ(ReadFile(Mirror(src + "Папка\\inner.txt")), "inner");

        Run();
        const auto block = Block();
        EXPECT_EQ(Journal().compare(0, earlier.size(), earlier), 0);
        EXPECT_EQ(ReadFile(Mirror(src + "change.txt")), "new " + std::to_string(stage));
        EXPECT_EQ(ReadFile(Mirror(src + "added " + std::to_string(stage) + ".txt")), "added");
        EXPECT_FALSE(IsFile(Mirror(src + "gone.txt")));
        EXPECT_EQ(ReadFile(Mirror(src + "keep.txt")), "keep");
        EXPECT_EQ(ReadFile(Mirror(src + "Папка\\inner.txt")), "inner");
        EXPECT_EQ(CountPrefix(block, "Failed "), 0);
        WriteFile(src + "gone.txt", "gone");
        Run();
    }
}

// A drive that vanishes only while one stage runs and is back for the rest: the pass goes on,
// and the entries it could not copy are repaired by the next pass.
TEST_F(DriveFixture, TargetDriveAbsentDuringTheDirectoryStageOnly) {
    VanishingDrive drive('W');
    if (!drive.Usable())
        GTEST_SKIP() << "the drive mapping of W: cannot be taken away here (not under Wine); skipped";
    WriteFile(src + "a.txt", "a");
    WriteFile(src + "stale.txt", "stale");
    settings.SourceDirs = {src};
    Run();
    SetFileAttributesA((src + "stale.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA((src + "stale.txt").c_str());
    WriteFile(src + "b.txt", "b");
    display.onProgress = [&](int32_t at) {
        if (at == 1)
            drive.Vanish();
        if (at == 2)
            drive.Back();
    };
    Run();
    display.onProgress = nullptr;
    auto block = Block();
    EXPECT_TRUE(HasLine(block, "Failed " + Mirror(src + "b.txt")));
    EXPECT_EQ(CountPrefix(block, "New    "), 0);
    EXPECT_EQ(ReadFile(Mirror(src + "a.txt")), "a");
    Run();
    block = Block();
    EXPECT_TRUE(HasLine(block, "New    " + Mirror(src + "b.txt")));
    EXPECT_EQ(ReadFile(Mirror(src + "b.txt")), "b");
    EXPECT_FALSE(IsFile(Mirror(src + "stale.txt")));
}

// A source drive that vanishes after the mirror was listed: its mirror is kept whole.
TEST_F(DriveFixture, SourceDriveVanishingPartWayKeepsItsMirror) {
    VanishingDrive drive('V');
    if (!drive.Usable())
        GTEST_SKIP() << "the drive mapping of V: cannot be taken away here (not under Wine); skipped";
    const std::string away = FreshFolder('V', "vanishing_source");
    WriteFile(away + "a.txt", "a");
    WriteFile(away + "Вложенная\\b.txt", "b");
    WriteFile(src + "here.txt", "here");
    settings.SourceDirs = {src, away};
    Run();
    ASSERT_EQ(ReadFile(Mirror(away + "Вложенная\\b.txt")), "b");
    display.onProgress = [&](int32_t at) {
        if (at == 1)
            drive.Vanish();
    };
    Run();
    display.onProgress = nullptr;
    drive.Back();
    const auto block = Block();
    EXPECT_EQ(CountPrefix(block, "Delete "), 0);
    EXPECT_EQ(ReadFile(Mirror(away + "a.txt")), "a");
    EXPECT_EQ(ReadFile(Mirror(away + "Вложенная\\b.txt")), "b");
    EXPECT_EQ(ReadFile(Mirror(src + "here.txt")), "here");
    RemoveTree(away);
}
