// The dialog's window, pages and widgets as created: class, caption, frame, sizes, positions,
// captions, fonts, list styles; the field buttons as the screen shows them; and the keyboard's way
// through them.
#include "dialog_helpers.h"
#include "screen_pixels.h"
#include "settings/config_table.h"

#include <commctrl.h>

#include <algorithm>

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

::testing::AssertionResult At(HWND hwnd, int left, int top, int width, int height) {
    if (!hwnd)
        return ::testing::AssertionFailure() << "no window";
    const RECT rc = RectInParent(hwnd);
    if (rc.left == left && rc.top == top && rc.right - rc.left == width && rc.bottom - rc.top == height)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "at " << rc.left << "," << rc.top << " size "
                                         << rc.right - rc.left << "x" << rc.bottom - rc.top;
}

std::string FontFace(HWND hwnd, LONG* height) {
    const auto font = reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0));
    LOGFONTA lf{};
    if (!font || !::GetObjectA(font, sizeof lf, &lf))
        return "<none>";
    *height = lf.lfHeight;
    return lf.lfFaceName;
}

std::string TabCaption(HWND tab, int index) {
    char buffer[128] = {};
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    ::SendMessageA(tab, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

HWND Child(HWND parent, int id) {
    return ::GetDlgItem(parent, id);
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
    const LONG_PTR style = ::GetWindowLongPtrA(w, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_FALSE(style & WS_THICKFRAME); // not resizable
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_CHILD);
    EXPECT_EQ(::GetClassLongPtrA(w, GCLP_HBRBACKGROUND), static_cast<LONG_PTR>(COLOR_BTNFACE + 1));
}

TEST_F(DialogTest, PageControlFillsTheClientAreaWithThreePagesOf405By245) {
    HWND tab = Item(C::PageControl);
    EXPECT_TRUE(At(tab, 0, 0, 413, 273));
    ASSERT_EQ(::SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(TabCaption(tab, 0), "Директории копирования");
    EXPECT_EQ(TabCaption(tab, 1), "Файлы коприрования");
    EXPECT_EQ(TabCaption(tab, 2), "Прочее");
    for (int i = 0; i < 3; ++i) {
        RECT rc{};
        ::GetClientRect(form.Page(i), &rc);
        EXPECT_EQ(rc.right, 405) << "page " << i;
        EXPECT_EQ(rc.bottom, 245) << "page " << i;
        // The page lies below the tabs, inside the page control.
        const RECT at = RectInParent(form.Page(i));
        RECT tabRect{};
        ::SendMessageA(tab, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&tabRect));
        EXPECT_GE(at.top, tabRect.bottom) << "page " << i;
        EXPECT_LE(at.right, 413);
        EXPECT_LE(at.bottom, 273);
    }
}

TEST_F(DialogTest, WidgetsOfTheFoldersAndFilesPages) {
    EXPECT_TRUE(At(Item(C::ListBoxDir), 0, 50, 405, 195));
    EXPECT_TRUE(At(Item(C::dAdd), 240, 24, 75, 25));
    EXPECT_TRUE(At(Item(C::dDelete), 328, 24, 75, 25));
    EXPECT_TRUE(At(Item(C::DirectoryEdit3), 6, 0, 393, 21));
    EXPECT_TRUE(At(Item(C::ListBoxFile), 0, 51, 405, 194));
    EXPECT_TRUE(At(Item(C::fAdd), 240, 24, 75, 25));
    EXPECT_TRUE(At(Item(C::fDelete), 328, 24, 75, 25));
    EXPECT_TRUE(At(Item(C::FilenameEdit1), 6, 1, 393, 21));
    for (C c : {C::ListBoxDir, C::dAdd, C::dDelete, C::DirectoryEdit3})
        EXPECT_EQ(::GetParent(Item(c)), form.Page(0));
    for (C c : {C::ListBoxFile, C::fAdd, C::fDelete, C::FilenameEdit1})
        EXPECT_EQ(::GetParent(Item(c)), form.Page(1));
    EXPECT_EQ(TextOf(Item(C::dAdd)), "Добавить");
    EXPECT_EQ(TextOf(Item(C::dDelete)), "Удалить");
    EXPECT_EQ(TextOf(Item(C::fAdd)), "Добавить");
    EXPECT_EQ(TextOf(Item(C::fDelete)), "Удалить");
    // Lists: single selection, not sorted, notifying, 13-pixel rows, a bottom edge on the page's.
    for (C c : {C::ListBoxDir, C::ListBoxFile}) {
        HWND list = Item(c);
        const LONG_PTR style = ::GetWindowLongPtrA(list, GWL_STYLE);
        EXPECT_FALSE(style & LBS_SORT);
        EXPECT_FALSE(style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL));
        EXPECT_TRUE(style & LBS_NOTIFY);
        EXPECT_EQ(::SendMessageA(list, LB_GETITEMHEIGHT, 0, 0), 13);
        EXPECT_EQ(RectInParent(list).bottom, 245);
    }
    // The browse buttons sit at the right end inside the fields.
    for (C c : {C::DirectoryEdit3, C::FilenameEdit1}) {
        HWND button = form.ButtonOf(c);
        ASSERT_TRUE(button);
        EXPECT_EQ(::GetParent(button), Item(c));
        RECT field{}, at = RectInParent(button);
        ::GetClientRect(Item(c), &field);
        EXPECT_EQ(at.right, field.right);
        EXPECT_EQ(at.bottom - at.top, field.bottom);
    }
}

TEST_F(DialogTest, WidgetsOfTheOtherPage) {
    HWND page = form.Page(2);
    HWND label1 = Child(page, IDC_CFG_LABEL1), label2 = Child(page, IDC_CFG_LABEL2);
    HWND label3 = Child(page, IDC_CFG_LABEL3), label4 = Child(page, IDC_CFG_LABEL4);
    EXPECT_TRUE(At(label1, 24, 12, 92, 13));
    EXPECT_TRUE(At(Item(C::Edit1), 160, 8, 121, 21));
    EXPECT_TRUE(At(label2, 24, 36, 127, 13));
    EXPECT_TRUE(At(Item(C::DirectoryEdit1), 160, 32, 241, 21));
    EXPECT_TRUE(At(label3, 24, 60, 129, 13));
    EXPECT_TRUE(At(Item(C::RxSpinEdit1), 160, 56, 121, 21));
    EXPECT_TRUE(At(label4, 24, 88, 294, 13));
    EXPECT_TRUE(At(Item(C::RxSpinEdit2), 160, 104, 121, 21));
    HWND label5 = Child(form.Page(2), kConfigLabelId + 4);
    EXPECT_TRUE(At(label5, 24, 136, 163, 13));
    EXPECT_EQ(TextOf(label5), "Хранить прежние версии (дней):");
    EXPECT_TRUE(At(Item(ConfigFieldControl(4)), 160, 152, 121, 21));
    EXPECT_EQ(TextOf(label1), "Название полиса:");
    EXPECT_EQ(TextOf(label2), "Директория сохранения:");
    EXPECT_EQ(TextOf(label3), "Период сохранения (Min):");
    EXPECT_EQ(TextOf(label4), "Допустимое свободное место на диске сохранения  (Mb):");
    EXPECT_TRUE(::GetWindowLongPtrA(Item(C::DirectoryEdit1), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(::GetWindowLongPtrA(Item(C::Edit1), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(::GetWindowLongPtrA(Item(C::DirectoryEdit3), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(::GetWindowLongPtrA(Item(C::FilenameEdit1), GWL_STYLE) & ES_READONLY);
}

TEST_F(DialogTest, EveryWidgetUsesMsSansSerifOf11Pixels) {
    std::vector<HWND> windows = {Item(C::PageControl)};
    for (C c : {C::ListBoxDir, C::dAdd, C::dDelete, C::DirectoryEdit3, C::ListBoxFile, C::fAdd, C::fDelete,
                C::FilenameEdit1, C::Edit1, C::DirectoryEdit1, C::RxSpinEdit1, C::RxSpinEdit2})
        windows.push_back(Item(c));
    for (int id = IDC_CFG_LABEL1; id <= IDC_CFG_LABEL4; ++id)
        windows.push_back(Child(form.Page(2), id));
    for (HWND hwnd : windows) {
        LONG height = 0;
        EXPECT_EQ(FontFace(hwnd, &height), "MS Sans Serif") << ::GetDlgCtrlID(hwnd);
        EXPECT_EQ(height, -11) << ::GetDlgCtrlID(hwnd);
    }
}

TEST_F(DialogTest, CentredAtTheFirstOpeningThenWhereItWasLast) {
    RECT first{}, second{};
    Script one(form);
    one.WhenOpen()
        .Then([&] {
            ::GetWindowRect(form.Handle(), &first);
            ::SetWindowPos(form.Handle(), nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, one);
    const int cx = ::GetSystemMetrics(SM_CXSCREEN), cy = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR((first.left + first.right) / 2, cx / 2, 1);
    EXPECT_NEAR((first.top + first.bottom) / 2, cy / 2, 1);

    Script two(form);
    two.WhenOpen().Then([&] { ::GetWindowRect(form.Handle(), &second); }).CloseByTitleBar();
    RunDialog(form, settings, ini, two);
    EXPECT_EQ(second.left, 40);
    EXPECT_EQ(second.top, 30);
}

TEST_F(DialogTest, FieldButtonsStayOnScreenWhileTheirFieldHasTheFocus) {
    // Checked on the screen itself: a button that keeps its window and position but is painted over
    // by its field is invisible to the user. The screen is grabbed after the modal loop has gone
    // idle, when Wine has flushed what was painted.
    struct Field {
        int page;
        C control;
        const char* name;
    };
    struct Seen {
        std::string before, focused, typed, left;
    };
    std::vector<Field> fields{{0, C::DirectoryEdit3, "folder field"},
                              {1, C::FilenameEdit1, "file field"},
                              {2, C::DirectoryEdit1, "mirror folder field"},
                              {2, C::RxSpinEdit1, "period field"},
                              {2, C::RxSpinEdit2, "free space field"}};
    auto compare = [this](const Field& f) {
        const HWND button = form.ButtonOf(f.control);
        const Pixels expected = PrintClient(button);
        int face = 0; // the button's own look, not the field's white
        for (COLORREF c : expected.data)
            face += c != RGB(255, 255, 255);
        if (face < expected.width * expected.height / 2)
            return std::string("the button paints mostly white");
        return GrabClient(button).Difference(expected);
    };
    std::vector<Seen> seen(fields.size());
    Script s(form);
    s.WhenOpen();
    for (size_t i = 0; i < fields.size(); ++i) {
        const Field* f = &fields[i];
        Seen* out = &seen[i];
        s.Then([this, f] { ClickTab(Item(C::PageControl), f->page); })
            .Pause(250)
            .Then([=] { out->before = compare(*f); })
            .Then([this, f] { ::SetFocus(Item(f->control)); })
            .Pause(250)
            .Then([=] { out->focused = compare(*f); })
            .Then([this, f] { TypeText(Item(f->control), "5"); })
            .Pause(250)
            .Then([=] { out->typed = compare(*f); })
            .Then([this] { ::SetFocus(Item(C::PageControl)); })
            .Pause(250)
            .Then([=] { out->left = compare(*f); });
    }
    s.CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(seen[i].before, "") << fields[i].name << " before it has the focus";
        EXPECT_EQ(seen[i].focused, "") << fields[i].name << " with the focus";
        EXPECT_EQ(seen[i].typed, "") << fields[i].name << " after typing";
        EXPECT_EQ(seen[i].left, "") << fields[i].name << " after the focus has left it";
    }
}

TEST_F(DialogTest, TabAndShiftTabFollowTheTabOrderOfTheActivePage) {
    std::vector<C> forwards, backwards, other;
    auto focused = [&]() {
        DialogControl found = C::PageControl;
        const HWND f = ::GetFocus();
        for (C c : {C::PageControl, C::ListBoxDir, C::dAdd, C::dDelete, C::DirectoryEdit3, C::ListBoxFile,
                    C::fAdd, C::fDelete, C::FilenameEdit1, C::Edit1, C::DirectoryEdit1, C::RxSpinEdit1,
                    C::RxSpinEdit2, ConfigFieldControl(4)})
            if (Item(c) == f)
                found = c;
        return found;
    };
    bool focusStartsOnPageControl = false;
    Script s(form);
    s.WhenOpen().Then([&] { focusStartsOnPageControl = ::GetFocus() == Item(C::PageControl); });
    for (int i = 0; i < 5; ++i)
        s.Then([&] { PostKey(VK_TAB); }).Then([&] { forwards.push_back(focused()); });
    s.Then([&] { SetModifiers(true, false); });
    for (int i = 0; i < 2; ++i)
        s.Then([&] { PostKey(VK_TAB); }).Then([&] { backwards.push_back(focused()); });
    s.Then([&] {
        SetModifiers(false, false);
        ClickTab(Item(C::PageControl), 2);
        ::SetFocus(Item(C::PageControl));
    });
    for (int i = 0; i < 6; ++i)
        s.Then([&] { PostKey(VK_TAB); }).Then([&] { other.push_back(focused()); });
    s.CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    SetModifiers(false, false);
    EXPECT_TRUE(focusStartsOnPageControl);
    EXPECT_EQ(forwards,
              (std::vector<C>{C::ListBoxDir, C::dAdd, C::dDelete, C::DirectoryEdit3, C::PageControl}));
    EXPECT_EQ(backwards, (std::vector<C>{C::DirectoryEdit3, C::dDelete}));
    EXPECT_EQ(other, (std::vector<C>{C::Edit1, C::DirectoryEdit1, C::RxSpinEdit1, C::RxSpinEdit2,
                                     ConfigFieldControl(4), C::PageControl}));
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
    bool focusLeftHiddenPage = false;
    Script s(form);
    s.WhenOpen()
        .Then(record)
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
            // The focus moved with the page: onto the first control of the new page.
            focusLeftHiddenPage = ::GetFocus() == Item(C::ListBoxDir);
            SetModifiers(true, true);
            PostKey(VK_TAB);
        })
        .Then([&] {
            SetModifiers(false, false);
            record();
        })
        .CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    SetModifiers(false, false);
    EXPECT_EQ(pages, (std::vector<int>{0, 1, 2, 0, 2}));
    EXPECT_TRUE(focusLeftHiddenPage);
}

TEST_F(DialogTest, TheDialogManagerWalksTheTabOrderOfEachPageBothWays) {
    // GetNextDlgTabItem, which Tab and Shift+Tab use, against the order the dialog is made for.
    std::vector<std::vector<HWND>> forwards(3), backwards(3);
    Script s(form);
    s.WhenOpen();
    for (int page = 0; page < 3; ++page) {
        s.Then([&, page] { ClickTab(Item(C::PageControl), page); }).Then([&, page] {
            HWND at = Item(C::PageControl);
            const size_t stops = DialogTabOrder(page).size();
            for (size_t i = 0; i < stops; ++i)
                forwards[page].push_back(at = ::GetNextDlgTabItem(form.Handle(), at, FALSE));
            at = Item(C::PageControl);
            for (size_t i = 0; i < stops; ++i)
                backwards[page].push_back(at = ::GetNextDlgTabItem(form.Handle(), at, TRUE));
        });
    }
    s.CloseByTitleBar();
    RunDialog(form, settings, ini, s);
    for (int page = 0; page < 3; ++page) {
        const std::vector<C> order = DialogTabOrder(page);
        std::vector<HWND> expected;
        for (size_t i = 1; i <= order.size(); ++i)
            expected.push_back(Item(order[i % order.size()]));
        EXPECT_EQ(forwards[page], expected) << "page " << page;
        std::reverse(expected.begin(), expected.end() - 1);
        EXPECT_EQ(backwards[page], expected) << "page " << page;
    }
}
