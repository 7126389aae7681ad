// The windows at the scale of the screen. tools/dpi-run runs these tests in a Wine prefix of their
// own whose system dpi is VESTRAND_TEST_DPI (144 in the test suite): every box is the 96-dpi one
// times dpi / 96, the fonts too, and WM_DPICHANGED lays the windows out again at its dpi.
#include "dialog_runner.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>

#include "fakes.h"
#include "expected_config.h"
#include "runtime/dpi_win.h"
#include "settings/config_table.h"
#include "ui/form_vestrand_win.h"
#include "ui/resource_ids.h"
#include "ui/tray_icon_win.h"

using namespace vestrand;
using namespace vestrand::test;
using C = DialogControl;

namespace {

int TestDpi() {
    const char* value = std::getenv("VESTRAND_TEST_DPI");
    return value && std::atoi(value) > 0 ? std::atoi(value) : 96;
}

// A 96-dpi length at `dpi`: the nearest whole pixel, halves away from zero.
int At(int value, int dpi) {
    return static_cast<int>(std::lround(value * dpi / 96.0));
}

struct Box {
    int x, y, width, height;
    bool operator==(const Box&) const = default;
    int Right() const { return x + width; }
    bool RowsMeet(const Box& o) const { return y < o.y + o.height && o.y < y + height; }
};
std::ostream& operator<<(std::ostream& out, const Box& b) {
    return out << b.x << "," << b.y << " " << b.width << "x" << b.height;
}

// A 96-dpi box at `dpi`, by its edges.
Box Scaled(Box b, int dpi) {
    return {At(b.x, dpi), At(b.y, dpi), At(b.x + b.width, dpi) - At(b.x, dpi),
            At(b.y + b.height, dpi) - At(b.y, dpi)};
}

Box BoxInParent(HWND hwnd) {
    RECT rc{};
    ::GetWindowRect(hwnd, &rc);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd), reinterpret_cast<POINT*>(&rc), 2);
    return {rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
}

std::array<LONG, 2> ClientSize(HWND hwnd) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    return {rc.right, rc.bottom};
}

LONG FontHeight(HWND hwnd) {
    LOGFONTA lf{};
    const auto font = reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0));
    return font && ::GetObjectA(font, sizeof lf, &lf) ? lf.lfHeight : 0;
}

// The width of a window's text in the window's font.
int TextWidth(HWND hwnd) {
    char text[512] = {};
    const int length = ::GetWindowTextA(hwnd, text, sizeof text);
    HDC dc = ::GetDC(hwnd);
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32A(dc, text, length, &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(hwnd, dc);
    return size.cx;
}

int IconWidth(HICON icon) {
    ICONINFO info{};
    if (!icon || !::GetIconInfo(icon, &info))
        return 0;
    BITMAP bm{};
    ::GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    if (info.hbmColor)
        ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

// An icon drawn at `size` over white, its pixels.
std::vector<COLORREF> IconPixels(HICON icon, int size) {
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, size, size);
    const HGDIOBJ old = ::SelectObject(dc, bitmap);
    const RECT all{0, 0, size, size};
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            pixels.push_back(::GetPixel(dc, x, y) & 0xFFFFFF);
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

// A label at `dpi`: the 96-dpi box by its edges, but never narrower than its text in the font of
// that scale (the font's sizes are not in proportion); what stands right of it on its row begins
// after it.
::testing::AssertionResult LabelAt(HWND hwnd, Box box96, int dpi, const Box& neighbour) {
    const Box at = BoxInParent(hwnd), scaled = Scaled(box96, dpi);
    if (at.x != scaled.x || at.y != scaled.y || at.height != scaled.height || at.width < scaled.width)
        return ::testing::AssertionFailure() << "at " << at << ", scaled " << scaled;
    if (TextWidth(hwnd) > at.width)
        return ::testing::AssertionFailure() << "text of " << TextWidth(hwnd) << " cut at " << at.width;
    if (at.RowsMeet(neighbour) && at.Right() > neighbour.x && neighbour.x >= at.x)
        return ::testing::AssertionFailure() << at << " runs into " << neighbour;
    return ::testing::AssertionSuccess();
}

// ---- The main window ---------------------------------------------------------------------------

constexpr const char* kTestKey = "software\\Oskenvar\\VestrandDpiTests\\";

struct FormAtScale : ::testing::Test {
    void SetUp() override {
        root = FreshFolder('T', std::string("dpi_") +
                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        ini = root + "vestrand.ini";
        WriteFile(ini, "[Config]\r\nSaveMin=30\r\nIdentifComp=PC\r\nTargetDir=" + root +
                           "arch\r\nLowDriveSpaceMb=5\r\n[SourceDir]\r\n1=" + root + "src\\\r\n");
        SetErrorHandler([](const std::string& message) { ADD_FAILURE() << message; });
        StartOptions options;
        options.commandLine = "vestrand.exe";
        options.iniPath = ini;
        options.registryKey = kTestKey;
        options.clock = &clock;
        options.endMessageLoopOnClose = false;
        form = std::make_unique<TFormVestrand>(options);
        form->Create();
    }
    void TearDown() override {
        form.reset();
        SetErrorHandler(nullptr);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "software\\Oskenvar\\VestrandDpiTests");
    }

    // Every control at its 96-dpi box times dpi / 96, in the font of that scale, its text uncut.
    void ExpectLayout(int dpi) {
        TFormVestrand& f = *form;
        EXPECT_EQ(ClientSize(f.Handle()), (std::array<LONG, 2>{At(302, dpi), At(103, dpi)}));
        const struct {
            const char* name;
            HWND hwnd;
            Box box;
        } controls[] = {
            {"Сейчас", f.BtnGo(), {176, 72, 105, 25}},
            {"gauge", f.Gauge().Handle(), {8, 40, 281, 25}},
        };
        for (const auto& c : controls) {
            EXPECT_EQ(BoxInParent(c.hwnd), Scaled(c.box, dpi)) << c.name;
            if (c.hwnd != f.Gauge().Handle()) {
                EXPECT_EQ(FontHeight(c.hwnd), -At(11, dpi)) << c.name;
                EXPECT_LE(TextWidth(c.hwnd), BoxInParent(c.hwnd).width) << c.name;
            }
        }
        const Box edge{At(302, dpi), 0, 1, At(103, dpi)}; // the client area's right edge
        EXPECT_TRUE(LabelAt(f.LastCopy(), {16, 24, 270, 13}, dpi, edge));
        EXPECT_TRUE(LabelAt(f.Label1(), {16, 8, 131, 13}, dpi, BoxInParent(f.NextTime())));
        EXPECT_EQ(FontHeight(f.Label1()), -At(11, dpi));
        // The next run: at 160, 8, as high as a label, as wide as its text.
        const Box next = BoxInParent(f.NextTime());
        EXPECT_EQ((std::array{next.x, next.y, next.height}),
                  (std::array{At(160, dpi), At(8, dpi), At(13, dpi)}));
        EXPECT_EQ(FontHeight(f.NextTime()), -At(11, dpi));
        EXPECT_EQ(next.width, TextWidth(f.NextTime()));
        EXPECT_LT(next.x + next.width, ClientSize(f.Handle())[0]);
        // The window's icons at the sizes the system asks for at that scale.
        EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(::SendMessageA(f.Handle(), WM_GETICON, ICON_SMALL, 0))),
                  At(16, dpi));
        EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(::SendMessageA(f.Handle(), WM_GETICON, ICON_BIG, 0))),
                  At(32, dpi));
    }

    std::string root, ini;
    FakeClock clock;
    std::unique_ptr<TFormVestrand> form;
};

TEST_F(FormAtScale, TheTestPrefixHasTheSystemDpiItWasGiven) {
    EXPECT_EQ(SystemDpi(), TestDpi());
    EXPECT_EQ(WindowDpi(form->Handle()), TestDpi());
}

TEST_F(FormAtScale, MainWindowBoxesFontsAndIconsAreThe96DpiOnesTimesTheScale) {
    ExpectLayout(TestDpi());
    // The tray's icon at the notification area's size.
    EXPECT_EQ(IconWidth(form->Tray().Icon()), At(16, TestDpi()));
}

TEST_F(FormAtScale, WmDpiChangedTakesTheSuggestedRectAndLaysTheWindowOutAgain) {
    for (int dpi : {192, 120, TestDpi()}) {
        RECT frame{0, 0, At(302, dpi), At(103, dpi)};
        ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrA(form->Handle(), GWL_STYLE)),
                             FALSE, static_cast<DWORD>(::GetWindowLongPtrA(form->Handle(), GWL_EXSTYLE)));
        ::OffsetRect(&frame, 40 - frame.left, 30 - frame.top);
        ::SendMessageA(form->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
        RECT now{};
        ::GetWindowRect(form->Handle(), &now);
        EXPECT_TRUE(::EqualRect(&now, &frame)) << dpi;
        SCOPED_TRACE(dpi);
        ExpectLayout(dpi);
    }
}

// ---- The tray's marks --------------------------------------------------------------------------

TEST(IconsAtScale, TheProgramIconHasAnImageOfEachSizeAndTheMarksAreDrawnAtIt) {
    for (int size : {16, 20, 24, 32, 40, 48, 64}) {
        SCOPED_TRACE(size);
        IconHandle base = LoadIconOfSize(IDI_VESTRAND, size);
        ASSERT_TRUE(base);
        EXPECT_EQ(IconWidth(base.Get()), size);
        const std::vector<COLORREF> plain = IconPixels(base.Get(), size);
        // The image of that size, not another scaled: only the icon's own colours and white.
        for (COLORREF c : plain)
            EXPECT_TRUE(c == RGB(255, 255, 255) || c == RGB(0xC8, 0x78, 0x1E) || c == RGB(0x96, 0x96, 0x96) ||
                        c == RGB(0x28, 0xC8, 0x28))
                << std::hex << c;
        const struct {
            IconHandle icon;
            COLORREF fill;
        } marks[] = {{MakeWorkingIcon(base.Get(), size), RGB(0, 170, 0)},
                     {MakeWarningIcon(base.Get(), size), RGB(255, 176, 0)}};
        for (const auto& m : marks) {
            ASSERT_TRUE(m.icon);
            EXPECT_EQ(IconWidth(m.icon.Get()), size);
            const std::vector<COLORREF> marked = IconPixels(m.icon.Get(), size);
            // The disc fills the lower right quarter at its centre; the upper left quarter is the icon's.
            const int centre = size * 3 / 4;
            EXPECT_EQ(marked[static_cast<size_t>(centre * size + centre)], m.fill);
            for (int y = 0; y < size / 2; ++y)
                for (int x = 0; x < size / 2; ++x)
                    ASSERT_EQ(marked[static_cast<size_t>(y * size + x)],
                              plain[static_cast<size_t>(y * size + x)])
                        << x << "," << y;
            // Its rim, at the quarter's left edge on its middle row, is no part of the fill.
            EXPECT_NE(marked[static_cast<size_t>(centre * size + size / 2)], m.fill);
        }
    }
}

// ---- The settings dialog -----------------------------------------------------------------------

struct DialogAtScale : DialogTest {
    // Every control of the four pages at its 96-dpi box times dpi / 96, in the font of that scale.
    void ExpectLayout(int dpi) {
        EXPECT_EQ(ClientSize(form.Handle()), (std::array<LONG, 2>{At(413, dpi), At(273, dpi)}));
        EXPECT_EQ(BoxInParent(Item(C::PageControl)), Scaled({0, 0, 413, 273}, dpi));
        EXPECT_EQ(FontHeight(Item(C::PageControl)), -At(11, dpi));
        RECT lastTab{};
        ::SendMessageA(Item(C::PageControl), TCM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&lastTab));
        EXPECT_LE(lastTab.right, At(413, dpi)); // the four tabs in one row, none cut off
        for (int i = 0; i < kPageCount; ++i) {
            const Box page = BoxInParent(form.Page(i));
            EXPECT_EQ((std::array{page.width, page.height}), (std::array{At(405, dpi), At(245, dpi)})) << i;
            EXPECT_GE(page.y, lastTab.bottom) << i; // below the tabs, inside the page control
            EXPECT_LE(page.x + page.width, At(413, dpi)) << i;
            EXPECT_LE(page.y + page.height, At(273, dpi)) << i;
        }
        const struct {
            C control;
            Box box;
        } controls[] = {
            {C::ListBoxDir, {0, 50, 405, 195}},     {C::dAdd, {240, 24, 75, 25}},
            {C::dDelete, {328, 24, 75, 25}},        {C::DirectoryEdit3, {6, 0, 393, 21}},
            {C::ListBoxFile, {0, 51, 405, 194}},    {C::fAdd, {240, 24, 75, 25}},
            {C::fDelete, {328, 24, 75, 25}},        {C::FilenameEdit1, {6, 1, 393, 21}},
            {C::ListBoxExclude, {0, 50, 405, 195}}, {C::eAdd, {240, 24, 75, 25}},
            {C::eDelete, {328, 24, 75, 25}},        {C::ExcludeEdit, {6, 0, 393, 21}},
        };
        for (const auto& c : controls) {
            EXPECT_EQ(BoxInParent(Item(c.control)), Scaled(c.box, dpi)) << static_cast<int>(c.control);
            EXPECT_EQ(FontHeight(Item(c.control)), -At(11, dpi)) << static_cast<int>(c.control);
            EXPECT_LE(TextWidth(Item(c.control)), BoxInParent(Item(c.control)).width);
        }
        for (C list : {C::ListBoxDir, C::ListBoxFile, C::ListBoxExclude})
            EXPECT_EQ(::SendMessageA(Item(list), LB_GETITEMHEIGHT, 0, 0), At(13, dpi));
        // The page «Прочее»: its labels and fields as the settings table places them at 96 dpi.
        for (const ConfigSetting& row : ConfigSettings()) {
            const HWND label = ::GetDlgItem(form.Page(2), kConfigLabelId + row.place);
            const HWND field = Item(ConfigFieldControl(row.place));
            const ConfigBox& l = row.labelBox;
            const ConfigBox& b = row.fieldBox;
            EXPECT_EQ(BoxInParent(field), Scaled({b.x, b.y, b.width, b.height}, dpi)) << row.key;
            EXPECT_TRUE(LabelAt(label, {l.x, l.y, l.width, l.height}, dpi, BoxInParent(field))) << row.key;
            EXPECT_LE(BoxInParent(label).Right(), At(405, dpi)) << row.key;
            EXPECT_EQ(FontHeight(label), -At(11, dpi)) << row.key;
            // The field's button at its right end, as wide as 17 (browse) or 15 (number) pixels scaled.
            if (HWND button = form.ButtonOf(ConfigFieldControl(row.place))) {
                RECT inside{}, client{};
                ::GetClientRect(field, &client);
                ::GetWindowRect(button, &inside);
                ::MapWindowPoints(HWND_DESKTOP, field, reinterpret_cast<POINT*>(&inside), 2);
                EXPECT_EQ(inside.right, client.right) << row.key;
                EXPECT_EQ(inside.right - inside.left, At(row.kind == ConfigKind::Folder ? 17 : 15, dpi))
                    << row.key;
                EXPECT_EQ(inside.bottom - inside.top, client.bottom) << row.key;
            }
        }
    }
};

TEST_F(DialogAtScale, SettingsDialogBoxesAndFontsAreThe96DpiOnesTimesTheScale) {
    ExpectLayout(TestDpi());
}

TEST_F(DialogAtScale, WmDpiChangedTakesTheSuggestedRectAndLaysTheDialogOutAgain) {
    for (int dpi : {192, 120, TestDpi()}) {
        RECT frame{0, 0, At(413, dpi), At(273, dpi)};
        ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrA(form.Handle(), GWL_STYLE)), FALSE,
                             static_cast<DWORD>(::GetWindowLongPtrA(form.Handle(), GWL_EXSTYLE)));
        ::OffsetRect(&frame, 20 - frame.left, 10 - frame.top);
        ::SendMessageA(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
        RECT now{};
        ::GetWindowRect(form.Handle(), &now);
        EXPECT_TRUE(::EqualRect(&now, &frame)) << dpi;
        SCOPED_TRACE(dpi);
        ExpectLayout(dpi);
    }
}

} // namespace
