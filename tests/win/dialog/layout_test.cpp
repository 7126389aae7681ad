// The dialog's window, pages and widgets as created, the page «Прочее» against the tests' own
// [Config] rows, the field buttons as the screen shows them, and the keyboard's way through the pages.
#include "dialog_runner.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <tuple>

#include "expected_config.h"
#include "screen_pixels.h"
#include "settings/config_table.h"

using namespace vestrand;
using namespace vestrand::test;
using C = DialogControl;

namespace {

RECT RectInParent(HWND hwnd) {
    RECT rc{};
    ::GetWindowRect(hwnd, &rc);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

struct Box {
    int left, top, width, height;
};

::testing::AssertionResult At(HWND hwnd, Box b) {
    const RECT rc = RectInParent(hwnd);
    if (hwnd && rc.left == b.left && rc.top == b.top && rc.right - rc.left == b.width &&
        rc.bottom - rc.top == b.height)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << hwnd << " at " << rc.left << "," << rc.top << " size "
                                         << rc.right - rc.left << "x" << rc.bottom - rc.top;
}

// The face and height of a window's font.
std::string FontOf(HWND hwnd) {
    LOGFONTA lf{};
    const auto font = reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0));
    if (!font || !::GetObjectA(font, sizeof lf, &lf))
        return "no font";
    return std::string(lf.lfFaceName) + " " + std::to_string(lf.lfHeight);
}

bool ReadOnly(HWND edit) {
    return (::GetWindowLongPtrA(edit, GWL_STYLE) & ES_READONLY) != 0;
}

// The page «Прочее» from the top, by place: the label's caption and box, the field's box.
struct OtherRow {
    const char* label;
    Box labelBox, fieldBox;
    bool readOnly;
};
const OtherRow kOtherPage[] = {
    {"Название полиса:", {24, 12, 92, 13}, {160, 8, 121, 21}, false},
    {"Директория сохранения:", {24, 36, 127, 13}, {160, 32, 241, 21}, true},
    {"Период сохранения (Min):", {24, 60, 129, 13}, {160, 56, 121, 21}, false},
    {"Допустимое свободное место на диске сохранения  (Mb):", {24, 88, 294, 13}, {160, 104, 121, 21}, false},
    {"Хранить прежние версии (дней):", {24, 136, 163, 13}, {160, 152, 121, 21}, false},
    {"Спрашивать, если копия заменит или удалит (%):", {24, 184, 270, 13}, {160, 200, 121, 21}, false},
    {"Предупреждать, если нет полной копии (дней):", {24, 228, 240, 13}, {288, 224, 105, 21}, false},
};

// The tab stops of each page: the page control, then the page's controls (on «Прочее» by place).
const std::vector<C> kTabOrder[] = {{C::PageControl, C::ListBoxDir, C::dAdd, C::dDelete, C::DirectoryEdit3},
                                    {C::PageControl, C::ListBoxFile, C::fAdd, C::fDelete, C::FilenameEdit1},
                                    {C::PageControl, C::Edit1, C::DirectoryEdit1, C::RxSpinEdit1,
                                     C::RxSpinEdit2, ConfigFieldControl(4), ConfigFieldControl(5),
                                     ConfigFieldControl(6)},
                                    {C::PageControl, C::ListBoxExclude, C::eAdd, C::eDelete, C::ExcludeEdit}};

} // namespace

TEST_F(DialogTest, WindowClassCaptionFrameAndClientAreaFilledByThePageControlWithFourPagesInOneRow) {
    HWND w = form.Handle();
    char cls[64] = {};
    ::GetClassNameA(w, cls, sizeof cls);
    EXPECT_STREQ(cls, "TFormConfigVestrand");
    EXPECT_EQ(TextOf(w), "Настройка страхового полиса");
    EXPECT_FALSE(::IsWindowVisible(w)); // created hidden
    RECT client{};
    ::GetClientRect(w, &client);
    EXPECT_EQ(std::pair(client.right, client.bottom), (std::pair<LONG, LONG>(413, 273)));
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrA(w, GWL_STYLE));
    EXPECT_EQ(style & (WS_SYSMENU | WS_CAPTION), static_cast<DWORD>(WS_SYSMENU | WS_CAPTION));
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD), 0u);
    EXPECT_EQ(::GetClassLongPtrA(w, GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));
    // The page control fills the client area with four pages of 405 x 245, their tabs in one row.
    HWND tab = Item(C::PageControl);
    EXPECT_TRUE(At(tab, {0, 0, 413, 273}));
    EXPECT_EQ(FontOf(tab), "MS Sans Serif -11");
    ASSERT_EQ(::SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), 4);
    const char* captions[] = {"Директории копирования", "Файлы коприрования", "Прочее", "Исключения"};
    RECT tabRect{}, lastTab{};
    ::SendMessageA(tab, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&tabRect));
    ::SendMessageA(tab, TCM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&lastTab));
    EXPECT_LE(lastTab.right, 413); // nothing cut off or scrolled away
    for (int i = 0; i < 4; ++i) {
        char caption[128] = {};
        TCITEMA item{TCIF_TEXT, 0, 0, caption, sizeof caption, 0, 0};
        ::SendMessageA(tab, TCM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(caption, captions[i]);
        RECT rc{};
        ::GetClientRect(form.Page(i), &rc);
        EXPECT_EQ(std::pair(rc.right, rc.bottom), (std::pair<LONG, LONG>(405, 245))) << "page " << i;
        const RECT at = RectInParent(form.Page(i)); // below the tabs, inside the page control
        EXPECT_GE(at.top, tabRect.bottom) << "page " << i;
        EXPECT_LE(at.right, 413);
        EXPECT_LE(at.bottom, 273);
    }
}

TEST_F(DialogTest, WidgetsOfTheFoldersAndFilesPagesInMsSansSerifOf11Pixels) {
    const struct {
        C control;
        int page;
        Box box;
        const char* caption;
    } widgets[] = {
        {C::ListBoxDir, 0, {0, 50, 405, 195}, ""},     {C::dAdd, 0, {240, 24, 75, 25}, "Добавить"},
        {C::dDelete, 0, {328, 24, 75, 25}, "Удалить"}, {C::DirectoryEdit3, 0, {6, 0, 393, 21}, ""},
        {C::ListBoxFile, 1, {0, 51, 405, 194}, ""},    {C::fAdd, 1, {240, 24, 75, 25}, "Добавить"},
        {C::fDelete, 1, {328, 24, 75, 25}, "Удалить"}, {C::FilenameEdit1, 1, {6, 1, 393, 21}, ""},
    };
    for (const auto& w : widgets) {
        EXPECT_TRUE(At(Item(w.control), w.box));
        EXPECT_EQ(FontOf(Item(w.control)), "MS Sans Serif -11");
        EXPECT_EQ(::GetParent(Item(w.control)), form.Page(w.page));
        EXPECT_EQ(TextOf(Item(w.control)), w.caption);
    }
    // Lists: single selection, not sorted, notifying, 13-pixel rows, a bottom edge on the page's.
    for (C c : {C::ListBoxDir, C::ListBoxFile}) {
        const LONG_PTR style = ::GetWindowLongPtrA(Item(c), GWL_STYLE);
        EXPECT_EQ(style & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL | LBS_NOTIFY), LBS_NOTIFY);
        EXPECT_EQ(::SendMessageA(Item(c), LB_GETITEMHEIGHT, 0, 0), 13);
        EXPECT_EQ(RectInParent(Item(c)).bottom, 245);
    }
    // Editable fields whose browse buttons sit at the right end inside them.
    for (C c : {C::DirectoryEdit3, C::FilenameEdit1}) {
        EXPECT_FALSE(ReadOnly(Item(c)));
        HWND button = form.ButtonOf(c);
        ASSERT_TRUE(button);
        EXPECT_EQ(::GetParent(button), Item(c));
        RECT field{}, at = RectInParent(button);
        ::GetClientRect(Item(c), &field);
        EXPECT_EQ(at.right, field.right);
        EXPECT_EQ(at.bottom - at.top, field.bottom);
    }
}

// Each expected [Config] row shows its label and field at its place. (That the program's table has
// exactly these rows is GeneratedSettingsRows.TheProgramsConfigRowsAreTheExpectedOnes.)
TEST_F(DialogTest, TheOtherPageShowsEveryExpectedConfigRowAtItsPlaceInMsSansSerifOf11Pixels) {
    ASSERT_EQ(std::size(kOtherPage), std::size(kExpectedConfig));
    for (const ExpectedConfig& row : kExpectedConfig) {
        const OtherRow& at = kOtherPage[row.place];
        HWND label = ::GetDlgItem(form.Page(2), kConfigLabelId + row.place),
             field = Item(ConfigFieldControl(row.place));
        EXPECT_TRUE(At(label, at.labelBox)) << row.key;
        EXPECT_EQ(FontOf(label), "MS Sans Serif -11") << row.key;
        EXPECT_EQ(FontOf(field), "MS Sans Serif -11") << row.key;
        EXPECT_EQ(TextOf(label), at.label);
        EXPECT_TRUE(At(field, at.fieldBox)) << row.key;
        EXPECT_EQ(ReadOnly(field), at.readOnly) << row.key;
    }
}

TEST_F(DialogTest, CentredAtTheFirstOpeningThenWhereItWasLast) {
    RunPage(0, [&] {
        RECT first{};
        ::GetWindowRect(form.Handle(), &first);
        EXPECT_NEAR((first.left + first.right) / 2, ::GetSystemMetrics(SM_CXSCREEN) / 2, 1);
        EXPECT_NEAR((first.top + first.bottom) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 1);
        ::SetWindowPos(form.Handle(), nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    });
    RunPage(0, [&] {
        RECT second{};
        ::GetWindowRect(form.Handle(), &second);
        EXPECT_EQ(std::pair(second.left, second.top), (std::pair<LONG, LONG>(40, 30)));
    });
}

TEST_F(DialogTest, FieldButtonsStayOnScreenWhileTheirFieldHasTheFocus) {
    // Checked on the screen itself: a button that keeps its window and position but is painted over
    // by its field is invisible to the user. The screen is grabbed after the modal loop has gone
    // idle, when Wine has flushed what was painted.
    const std::tuple<int, C, const char*> fields[] = {{0, C::DirectoryEdit3, "folder field"},
                                                      {1, C::FilenameEdit1, "file field"},
                                                      {2, C::DirectoryEdit1, "mirror folder field"},
                                                      {2, C::RxSpinEdit1, "period field"},
                                                      {2, C::RxSpinEdit2, "free space field"}};
    auto onScreen = [this](C control) {
        const HWND button = form.ButtonOf(control);
        const Pixels expected = PrintClient(button);
        const auto face = std::count_if(expected.data.begin(), expected.data.end(),
                                        [](COLORREF c) { return c != RGB(255, 255, 255); });
        if (face < expected.width * expected.height / 2) // the button's own look, not the field's white
            return std::string("the button paints mostly white");
        return GrabClient(button).Difference(expected);
    };
    RunPage(0, [&](Script& s) {
        for (const auto& [page, control, name] : fields) {
            const std::vector<std::pair<const char*, std::function<void()>>> moments = {
                {"before it has the focus", [&, page] { ClickTab(Item(C::PageControl), page); }},
                {"with the focus", [&, control] { ::SetFocus(Item(control)); }},
                {"after typing", [&, control] { TypeText(Item(control), "5"); }},
                {"after the focus has left it", [&] { ::SetFocus(Item(C::PageControl)); }}};
            for (const auto& [when, action] : moments)
                s.Then(action).Pause(250).Then(
                    [&, control, name, when] { EXPECT_EQ(onScreen(control), "") << name << " " << when; });
        }
    });
}

TEST_F(DialogTest, TabAndShiftTabWalkTheTabOrderOfEachPageBothWays) {
    // The order itself is the host's dialog_rules_test; here the keys walk the real windows by it: Tab
    // once round the page, then Shift+Tab once round back.
    std::vector<HWND> seen[kPageCount];
    RunPage(0, [&](Script& s) {
        s.Then([&] { EXPECT_EQ(::GetFocus(), Item(C::PageControl)); });
        for (int page = 0; page < kPageCount; ++page) {
            const size_t stops = kTabOrder[page].size();
            s.Then([&, page] {
                SetModifiers(false, false);
                ClickTab(Item(C::PageControl), page);
                ::SetFocus(Item(C::PageControl));
            });
            for (size_t i = 0; i < 2 * stops; ++i)
                s.Then([i, stops] {
                     SetModifiers(i >= stops, false);
                     PostKey(VK_TAB);
                 }).Then([&, page] { seen[page].push_back(::GetFocus()); });
        }
        s.Then([] { SetModifiers(false, false); });
    });
    SetModifiers(false, false);
    for (int page = 0; page < kPageCount; ++page) {
        const std::vector<C>& order = kTabOrder[page];
        const size_t n = order.size();
        std::vector<HWND> expected;
        for (size_t i = 0; i < 2 * n; ++i)
            expected.push_back(Item(order[i < n ? (i + 1) % n : 2 * n - 1 - i]));
        EXPECT_EQ(seen[page], expected) << "page " << page;
    }
}

TEST_F(DialogTest, PagesChangeByTabClickArrowKeysAndCtrlTab) {
    std::vector<int> pages;
    auto record = [&] {
        int visible = -1;
        for (int i = 0; i < kPageCount; ++i)
            if (::IsWindowVisible(form.Page(i)))
                visible = visible == -1 ? i : 99; // 99: more than one page shown
        pages.push_back(visible);
        EXPECT_EQ(::SendMessageA(Item(C::PageControl), TCM_GETCURSEL, 0, 0), visible);
    };
    RunPage(0, [&](Script& s) {
        s.Then(record)
            .Then([&] { ClickTab(Item(C::PageControl), 1); })
            .Then(record)
            .Then([&] {
                ::SetFocus(Item(C::PageControl));
                PressKey(Item(C::PageControl), VK_RIGHT);
            })
            .Then(record)
            .Then([&] {
                ::SetFocus(Item(C::Edit1));
                SetModifiers(false, true);
                PostKey(VK_TAB);
            })
            .Then([&] {
                record();
                EXPECT_EQ(::GetFocus(), Item(C::ListBoxExclude)); // the focus moved onto the new page
                SetModifiers(true, true);
                PostKey(VK_TAB);
            })
            .Then([&] {
                SetModifiers(false, false);
                record();
            });
    });
    SetModifiers(false, false);
    EXPECT_EQ(pages, (std::vector<int>{0, 1, 2, 3, 2}));
}
