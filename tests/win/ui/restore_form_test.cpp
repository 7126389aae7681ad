// The window «Восстановление» on a backup of real passes: restores, the picker, the search, the tray.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <functional>
#include <map>

#include "engine/backup_pass_win.h"
#include "engine/fileops_win.h"
#include "ui/form_vestrand_win.h"
#include "ui/restore_form_win.h"
#include "dialog_runner.h" // FindPicker
#include "file_lock.h"
#include "journal_kit.h"
#include "ui_helpers.h"

using namespace vestrand;
using namespace vestrand::test;

namespace {

using Files = std::map<std::string, std::string>; // path below the source or chosen folder: content
using F = TFormRestore;
constexpr const char* kKey = "software\\Oskenvar\\VestrandRestoreFormTests\\";

// Calls `step` from a thread timer (so within any modal loop) until it returns true or 30 s pass.
void DriveModal(std::function<bool()> step) {
    static std::function<bool()> current;
    static DWORD until = 0;
    current = std::move(step);
    until = ::GetTickCount() + 30000;
    ::SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
        if (!current || current() || ::GetTickCount() > until) {
            ::KillTimer(nullptr, id);
            current = nullptr;
        }
    });
}
std::string ItemText(HWND tree, HTREEITEM item) { // without a file's size and time
    char text[1024] = {};
    TVITEMA tv{TVIF_TEXT, item, 0, 0, text, sizeof text, 0, 0, 0, 0};
    ::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
    return std::string(text).substr(0, std::string(text).find("    "));
}
std::vector<HTREEITEM> Children(HWND tree, HTREEITEM parent) {
    std::vector<HTREEITEM> items;
    for (LPARAM at = ::SendMessageA(tree, TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT, LPARAM(parent));
         at; at = ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, at))
        items.push_back(reinterpret_cast<HTREEITEM>(at));
    return items;
}
struct RestoreFormTest : ::testing::Test {
    void SetUp() override {
        root = FreshFolder('T', ::testing::UnitTest::GetInstance()->current_test_info()->name());
        source = root + "src\\";
        WriteFile(root + "vestrand.ini",
                  SettingsText(
                      root, "SaveMin=30\r\nIdentifComp=PC\r\nLowDriveSpaceMb=5\r\nKeepVersionsDays=30\r\n"));
        form = std::make_unique<TFormVestrand>(
            StartOptions{"vestrand.exe", "", root + "vestrand.ini", kKey, &clock, nullptr, root, false});
        form->Create();
    }
    void Pass() {
        form->BtnGoClick();
        form->WaitForPass();
    }
    // The window opened by the main window's button, once it has read the history.
    TFormRestore& OpenWindow() {
        ::SendMessageA(form->Handle(), WM_COMMAND, TFormVestrand::kBtnRestoreId, LPARAM(form->BtnRestore()));
        WaitForEnd(*form->RestoreForm(), &TFormRestore::Loading);
        return *form->RestoreForm();
    }
    static void WaitForEnd(TFormRestore& w, bool (TFormRestore::*busy)() const) {
        for (const DWORD until = ::GetTickCount() + 20000; (w.*busy)() && ::GetTickCount() < until;)
            PumpMessages(1);
    }
    static Files Read(const std::string& folder, const std::vector<std::string>& names) {
        Files files;
        for (const auto& n : names)
            if (IsFile(folder + n))
                files[n] = ReadFile(folder + n);
        return files;
    }

    std::string root, source;
    FakeClock clock{EncodeDateTime(CivilTime{2026, 12, 6, 18, 20, 13, 0})};
    std::unique_ptr<TFormVestrand> form;
};

} // namespace

TEST_F(RestoreFormTest, TheOlderMomentComesBackInPlaceAndIntoAChosenFolder) {
    WriteFile(source + "docs\\a.txt", "one");
    WriteFile(source + "docs\\b.txt", "same");
    WriteFile(source + "docs\\sub\\c.txt", "c1");
    Pass();
    clock.now += 60 * kMinute;
    WriteFile(source + "docs\\a.txt", "second version");
    WriteFile(source + "docs\\sub\\c.txt", "c second");
    Pass();
    ::DeleteFileA((source + "docs\\sub\\c.txt").c_str());
    clock.now += 60 * kMinute;
    TFormRestore& w = OpenWindow();
    const HWND list = w.Item(F::kMomentsId), tree = w.Item(F::kTreeId);
    ASSERT_EQ(::SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(ListEntries(list)[2], "06.12.26 18:20   нов. 3, изм. 0, удал. 0");
    ::SendMessageA(list, LB_SETCURSEL, 2, 0); // as a click chooses it
    ::SendMessageA(w.Handle(), WM_COMMAND, MAKEWPARAM(F::kMomentsId, LBN_SELCHANGE), LPARAM(list));
    const std::string out = root + "out\\", locked = root + "locked\\";
    ASSERT_TRUE(::CreateDirectoryA(out.c_str(), nullptr) && ::CreateDirectoryA(locked.c_str(), nullptr));
    const std::string beside = "docs\\a (восстановлено 2026-12-06 202013).txt";
    std::unique_ptr<FileLock> held;
    const auto folderForA = [&] {
        ::DeleteFileA((source + "docs\\a.txt").c_str());
        ::CreateDirectoryA((source + "docs\\a.txt").c_str(), nullptr);
    };
    const auto holdB = [&] {
        held = std::make_unique<FileLock>(root + "arch\\PC\\" + MirrorRel(source) + "docs\\b.txt");
    };
    const std::string lockedB = locked + "docs\\b.txt - " + SystemErrorText(ERROR_SHARING_VIOLATION);
    const struct {
        int button;
        std::string folder; // where the files are looked for
        std::function<void()> before;
        Files files;
        std::string counts; // restored, beside, identical
        std::string failed; // the summary's line of the failure, if any
    } cases[] = {
        // clang-format off
        {F::kRestoreId, source, nullptr, {{"docs\\a.txt", "second version"}, {beside, "one"}, {"docs\\b.txt", "same"},
         {"docs\\sub\\c.txt", "c1"}}, "2 1 1", ""},
        {F::kRestoreToId, out, nullptr, {{"docs\\a.txt", "one"}, {"docs\\b.txt", "same"}, {"docs\\sub\\c.txt", "c1"}},
         "3 0 0", ""},
        {F::kReplaceId, source, folderForA, {{beside, "one"}, {"docs\\b.txt", "same"}, {"docs\\sub\\c.txt", "c1"}},
         "0 0 2", source + "docs\\a.txt - на этом месте папка"},
        {F::kRestoreToId, locked, holdB, {{"docs\\a.txt", "one"}, {"docs\\sub\\c.txt", "c1"}}, "2 0 0", lockedB},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        // The listed source under its own path; «docs» in it checked.
        const auto top = Children(tree, nullptr);
        ASSERT_EQ(top.size(), 1u);
        EXPECT_EQ(ItemText(tree, top[0]), source.substr(0, source.size() - 1));
        ::SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(top[0]));
        const auto inside = Children(tree, top[0]);
        ASSERT_EQ(inside.size(), 1u);
        EXPECT_EQ(ItemText(tree, inside[0]), "docs");
        if (c.before)
            c.before();
        TVITEMA check{};
        check.mask = TVIF_STATE, check.hItem = inside[0], check.state = 2 << 12,
        check.stateMask = TVIS_STATEIMAGEMASK;
        ::SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&check));
        if (c.button == F::kRestoreToId) {
            // The picker opens at the folder it is told; the user makes sure of the folder and says OK.
            // (The shell may run the timer while the picker is still being set up, before it selects
            // its start: the start is the folder wanted, so that either order picks it.)
            w.SetPickerStart(c.folder);
            DriveModal([&] {
                const HWND picker = FindPicker();
                if (picker) {
                    ::SendMessageA(picker, BFFM_SETSELECTIONA, TRUE,
                                   reinterpret_cast<LPARAM>(c.folder.c_str()));
                    ::PostMessageA(picker, WM_COMMAND, IDOK, 0);
                }
                return picker != nullptr;
            });
        }
        ::SendMessageA(w.Item(c.button), BM_CLICK, 0, 0);
        WaitForEnd(w, &TFormRestore::Restoring);
        const RestoreSummary& s = w.LastSummary();
        EXPECT_EQ(std::to_string(s.restored) + " " + std::to_string(s.beside.size()) + " " +
                      std::to_string(s.identical),
                  c.counts);
        EXPECT_EQ(s.failed.size(), c.failed.empty() ? 0u : 1u);
        EXPECT_NE(WindowText(w.Item(F::kStatusId)).find(c.failed), std::string::npos);
        EXPECT_EQ(Read(c.folder, {"docs\\a.txt", beside, "docs\\b.txt", "docs\\sub\\c.txt"}), c.files);
        EXPECT_EQ(::SendMessageA(w.Item(F::kProgressId), PBM_GETPOS, 0, 0), 1000);
    }
    // A pass at work (another program's: it holds the mirror's lock) keeps the restore out.
    held.reset();
    FileLock pass(root + "arch\\PC\\" + kPassLockName);
    ASSERT_TRUE(pass.Held());
    ::SendMessageA(w.Item(F::kRestoreId), BM_CLICK, 0, 0);
    WaitForEnd(w, &TFormRestore::Restoring);
    EXPECT_EQ(w.LastSummary().outcome, RestoreOutcome::Busy);
    EXPECT_EQ(WindowText(w.Item(F::kStatusId)).rfind("Идёт копирование", 0), 0u);
}

TEST_F(RestoreFormTest, TheTrayItemOpensTheWindowAndTheSearchNarrowsTheTree) {
    WriteFile(source + "docs\\a.txt", "one");
    WriteFile(source + "docs\\sub\\c.txt", "c1");
    WriteFile(source + "other\\cat.doc", "c2");
    WriteFileW(WidenU(source) + L"other\\\u65e5.txt", "sun");
    Pass();
    // «Восстановить…» in the tray's menu, chosen with the keyboard.
    DriveModal([&] {
        const HWND menuWindow = ::FindWindowA("#32768", nullptr);
        const auto menu = reinterpret_cast<HMENU>(::SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
        if (!menu)
            return false;
        const bool there = ::GetMenuState(menu, TFormVestrand::kPmRestore, MF_BYCOMMAND) & MF_HILITE;
        ::PostMessageA(menuWindow, WM_KEYDOWN, there ? VK_RETURN : VK_DOWN, 0);
        return there;
    });
    form->Tray().RightButtonUp();
    ASSERT_TRUE(form->RestoreForm());
    EXPECT_TRUE(::IsWindowVisible(form->RestoreForm()->Handle()));
    TFormRestore& w = OpenWindow();
    const HWND tree = w.Item(F::kTreeId);
    const struct {
        const char* text;
        std::vector<std::string> shown;
    } cases[] = {
        {"C.T", {source + "docs\\sub\\c.txt"}},
        {"At.D", {source + "other\\cat.doc"}},
        {"<U+65E5>", {source + "other\\<U+65E5>.txt"}},
        {"", {source.substr(0, source.size() - 1)}},
    };
    for (const auto& c : cases) {
        ::SetWindowTextA(w.Item(F::kSearchId), c.text);
        std::vector<std::string> shown;
        for (const HTREEITEM item : Children(tree, nullptr))
            shown.push_back(ItemText(tree, item));
        EXPECT_EQ(shown, c.shown) << c.text;
    }
}

TEST_F(RestoreFormTest, WhileAPassRunsTheWindowSaysSoAndStopsThePassWhenAsked) {
    WriteFile(source + "docs\\a.txt", "one");
    Pass();
    TFormRestore& w = OpenWindow();
    const HWND tree = w.Item(F::kTreeId);
    ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET,
                   ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)); // nothing checked: the selected one
    for (int i = 0; i < 3000; ++i)
        WriteFile(source + "many\\" + std::to_string(i) + ".txt", std::string(2000, 'm'));
    form->BtnGoClick();
    ASSERT_TRUE(form->PassRunning());
    ::SendMessageA(w.Item(F::kRestoreId), BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(w.Item(F::kStatusId)).rfind("Идёт копирование…", 0), 0u);
    EXPECT_EQ(WindowText(w.Item(F::kStopId)), "Остановить копирование");
    ::SendMessageA(w.Item(F::kStopId), BM_CLICK, 0, 0);
    form->WaitForPass();
    EXPECT_TRUE(form->Runner().LastOutcome().result.interrupted);
}
