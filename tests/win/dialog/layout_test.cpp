// The dialog's window, pages and widgets as created: class, caption, frame, sizes, positions,
// captions, fonts, list styles; the page «Прочее» against the tests' own [Config] rows; the field
// buttons as the screen shows them; and the keyboard's way through the pages.
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
};

// The tab stops of a page: the page control, then the page's controls.
std::vector<C> TabOrder(int page) {
    if (page == 0)
        return {C::PageControl, C::ListBoxDir, C::dAdd, C::dDelete, C::DirectoryEdit3};
    if (page == 1)
        return {C::PageControl, C::ListBoxFile, C::fAdd, C::fDelete, C::FilenameEdit1};
    std::vector<C> order{C::PageControl};
    for (int place = 0; place < static_cast<int>(std::size(kExpectedConfig)); ++place)
        order.push_back(ConfigFieldControl(place));
    return order;
}

} // namespace

TEST_F(DialogTest, WindowClassCaptionFrameAndClientArea) {
    HWND w = form.Handle();
    char cls[64] = {};
    ::GetClassNameA(w, cls, sizeof cls);
    EXPECT_STREQ(cls, "TFormConfigVestrand");
    EXPECT_EQ(TextOf(w), "Настройка страхового полиса");
    EXPECT_FALSE(::IsWindowVisible(w)); // created hidden
    RECT client{};
    ::GetClientRect(w, &client);
    EXPECT_EQ(client.right, 413);
    EXPECT_EQ(client.bottom, 273);
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrA(w, GWL_STYLE));
    EXPECT_EQ(style & (WS_SYSMENU | WS_CAPTION), static_cast<DWORD>(WS_SYSMENU | WS_CAPTION));
    // Not resizable, no minimize or maximize box, a top-level window.
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD), 0u);
    EXPECT_EQ(::GetClassLongPtrA(w, GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));
}

TEST_F(DialogTest, PageControlFillsTheClientAreaWithThreePagesOf405By245) {
    HWND tab = Item(C::PageControl);
    EXPECT_TRUE(At(tab, {0, 0, 413, 273}));
    ASSERT_EQ(::SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), 3);
    const char* captions[] = {"Директории копирования", "Файлы коприрования", "Прочее"};
    RECT tabRect{};
    ::SendMessageA(tab, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&tabRect));
    for (int i = 0; i < 3; ++i) {
        char caption[128] = {};
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption;
        item.cchTextMax = sizeof caption;
        ::SendMessageA(tab, TCM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(caption, captions[i]);
        RECT rc{};
        ::GetClientRect(form.Page(i), &rc);
        EXPECT_EQ(rc.right, 405) << "page " << i;
        EXPECT_EQ(rc.bottom, 245) << "page " << i;
        const RECT at = RectInParent(form.Page(i)); // below the tabs, inside the page control
        EXPECT_GE(at.top, tabRect.bottom) << "page " << i;
        EXPECT_LE(at.right, 413);
        EXPECT_LE(at.bottom, 273);
    }
}

TEST_F(DialogTest, WidgetsOfTheFoldersAndFilesPages) {
    const struct {
        C control;
        int page;
        Box box;
        const char* caption;
    } widgets[] = {
        {C::ListBoxDir, 0, {0, 50, 405, 195}, nullptr},  {C::dAdd, 0, {240, 24, 75, 25}, "Добавить"},
        {C::dDelete, 0, {328, 24, 75, 25}, "Удалить"},   {C::DirectoryEdit3, 0, {6, 0, 393, 21}, nullptr},
        {C::ListBoxFile, 1, {0, 51, 405, 194}, nullptr}, {C::fAdd, 1, {240, 24, 75, 25}, "Добавить"},
        {C::fDelete, 1, {328, 24, 75, 25}, "Удалить"},   {C::FilenameEdit1, 1, {6, 1, 393, 21}, nullptr},
    };
    for (const auto& w : widgets) {
        EXPECT_TRUE(At(Item(w.control), w.box));
        EXPECT_EQ(::GetParent(Item(w.control)), form.Page(w.page));
        if (w.caption) {
            EXPECT_EQ(TextOf(Item(w.control)), w.caption);
        }
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

// The settings table and the page it makes: the program's rows are the expected rows, and each shows
// its label and field at its place.
TEST_F(DialogTest, TheOtherPageShowsEveryExpectedConfigRowAtItsPlace) {
    const auto rows = ConfigSettings();
    EXPECT_EQ(rows.size(), std::size(kExpectedConfig));
    for (const ConfigSetting& row : rows) {
        const auto* expected =
            std::find_if(std::begin(kExpectedConfig), std::end(kExpectedConfig),
                         [&](const ExpectedConfig& e) { return std::string(e.key) == row.key; });
        ASSERT_NE(expected, std::end(kExpectedConfig)) << "a row the tests do not expect: " << row.key;
        // In the order of the settings file; a folder is loaded with its separator.
        const std::string text = std::string(row.defaultText ? row.defaultText : "") +
                                 (row.kind == ConfigKind::Folder ? "\\" : "");
        EXPECT_EQ(std::tuple(&row - rows.data(), row.place, row.kind == ConfigKind::Number,
                             int64_t{row.defaultNumber}, text, row.loadMin, row.loadMax, row.fieldMin,
                             row.fieldMax, row.writtenWhenMissing),
                  std::tuple(expected - std::begin(kExpectedConfig), expected->place, expected->number,
                             expected->defaultNumber,
                             std::string(expected->defaultText ? expected->defaultText : ""),
                             expected->loadMin, expected->loadMax, expected->fieldMin, expected->fieldMax,
                             expected->writtenWhenMissing))
            << row.key;
    }
    ASSERT_EQ(std::size(kOtherPage), std::size(kExpectedConfig));
    for (const ExpectedConfig& row : kExpectedConfig) {
        const OtherRow& at = kOtherPage[row.place];
        HWND label = ::GetDlgItem(form.Page(2), kConfigLabelId + row.place),
             field = Item(ConfigFieldControl(row.place));
        EXPECT_TRUE(At(label, at.labelBox)) << row.key;
        EXPECT_EQ(TextOf(label), at.label);
        EXPECT_TRUE(At(field, at.fieldBox)) << row.key;
        EXPECT_EQ(ReadOnly(field), at.readOnly) << row.key;
    }
}

TEST_F(DialogTest, EveryWidgetUsesMsSansSerifOf11Pixels) {
    std::vector<HWND> windows;
    for (C c : {C::PageControl, C::ListBoxDir, C::dAdd, C::dDelete, C::DirectoryEdit3, C::ListBoxFile,
                C::fAdd, C::fDelete, C::FilenameEdit1})
        windows.push_back(Item(c));
    for (const ExpectedConfig& row : kExpectedConfig) {
        windows.push_back(Item(ConfigFieldControl(row.place)));
        windows.push_back(::GetDlgItem(form.Page(2), kConfigLabelId + row.place));
    }
    for (HWND hwnd : windows) {
        LOGFONTA lf{};
        const auto font = reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0));
        ASSERT_TRUE(font && ::GetObjectA(font, sizeof lf, &lf)) << ::GetDlgCtrlID(hwnd);
        EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif") << ::GetDlgCtrlID(hwnd);
        EXPECT_EQ(lf.lfHeight, -11) << ::GetDlgCtrlID(hwnd);
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
        EXPECT_EQ(second.left, 40);
        EXPECT_EQ(second.top, 30);
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
    // The order itself is the host's dialog_rules_test; here the keys walk the real windows by it.
    std::vector<HWND> keys[3], keysBack[3];
    RunPage(0, [&](Script& s) {
        s.Then([&] { EXPECT_EQ(::GetFocus(), Item(C::PageControl)); });
        for (int page = 0; page < 3; ++page) {
            const size_t stops = TabOrder(page).size();
            s.Then([&, page] {
                SetModifiers(false, false);
                ClickTab(Item(C::PageControl), page);
                ::SetFocus(Item(C::PageControl));
            });
            for (size_t i = 0; i < stops; ++i)
                s.Then([] { PostKey(VK_TAB); }).Then([&, page] { keys[page].push_back(::GetFocus()); });
            s.Then([] { SetModifiers(true, false); });
            for (size_t i = 0; i < stops; ++i)
                s.Then([] { PostKey(VK_TAB); }).Then([&, page] { keysBack[page].push_back(::GetFocus()); });
        }
        s.Then([] { SetModifiers(false, false); });
    });
    SetModifiers(false, false);
    for (int page = 0; page < 3; ++page) {
        const std::vector<C> order = TabOrder(page);
        std::vector<HWND> forwards, backwards;
        for (size_t i = 1; i <= order.size(); ++i) {
            forwards.push_back(Item(order[i % order.size()]));
            backwards.push_back(Item(order[order.size() - i]));
        }
        EXPECT_EQ(keys[page], forwards) << "page " << page;
        EXPECT_EQ(keysBack[page], backwards) << "page " << page;
    }
}

TEST_F(DialogTest, PagesChangeByTabClickArrowKeysAndCtrlTab) {
    std::vector<int> pages;
    auto record = [&] {
        int visible = -1;
        for (int i = 0; i < 3; ++i)
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
                EXPECT_EQ(::GetFocus(), Item(C::ListBoxDir)); // the focus moved onto the new page
                SetModifiers(true, true);
                PostKey(VK_TAB);
            })
            .Then([&] {
                SetModifiers(false, false);
                record();
            });
    });
    SetModifiers(false, false);
    EXPECT_EQ(pages, (std::vector<int>{0, 1, 2, 0, 2}));
}
