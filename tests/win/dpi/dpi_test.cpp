// The windows at the system dpi VESTRAND_TEST_DPI of their prefix (tools/dpi-run, 144): every box the
// 96-dpi one times dpi / 96, again after WM_DPICHANGED at its dpi.
#include "dialog_runner.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "fakes.h"
#include "runtime/dpi_win.h"
#include "settings/config_table.h"
#include "ui/form_vestrand_win.h"
#include "ui/resource_ids.h"

using namespace vestrand;
using namespace vestrand::test;
using C = DialogControl;

namespace {

const int kDpi = std::getenv("VESTRAND_TEST_DPI") ? std::atoi(std::getenv("VESTRAND_TEST_DPI")) : 96;

int At(int value, int dpi) { // the nearest whole pixel, halves away from zero
    return static_cast<int>(std::lround(value * dpi / 96.0));
}
RECT Scaled(RECT b, int dpi) { // a 96-dpi box {left, top, width, height} by its edges
    return {At(b.left, dpi), At(b.top, dpi), At(b.left + b.right, dpi), At(b.top + b.bottom, dpi)};
}
RECT InParent(HWND hwnd) {
    RECT rc{};
    ::GetWindowRect(hwnd, &rc);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}
std::array<LONG, 4> Str(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}
LONG FontHeight(HWND hwnd) {
    LOGFONTA lf{};
    const auto font = reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0));
    return font && ::GetObjectA(font, sizeof lf, &lf) ? lf.lfHeight : 0;
}
int TextWidth(HWND hwnd) { // of its text in its font
    char text[512] = {};
    const int length = ::GetWindowTextA(hwnd, text, sizeof text);
    WindowDc dc(hwnd);
    SelectGuard font(dc.Get(), reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32A(dc.Get(), text, length, &size);
    return size.cx;
}
int IconWidth(HICON icon) {
    ICONINFO info{};
    BITMAP bm{};
    if (!icon || !::GetIconInfo(icon, &info))
        return 0;
    GdiObject color(info.hbmColor), mask(info.hbmMask);
    ::GetObjectA(info.hbmColor, sizeof bm, &bm);
    return bm.bmWidth;
}

// A control at its 96-dpi box scaled, in the font of that scale; a label (`neighbour` given) may be
// wider, to its text, but never runs into what stands right of it on its row.
::testing::AssertionResult Placed(HWND hwnd, RECT box, int dpi, const RECT* neighbour = nullptr) {
    const RECT at = InParent(hwnd), want = Scaled(box, dpi);
    const bool wider = neighbour && at.right > want.right;
    if ((!::EqualRect(&at, &want) &&
         !(wider && at.left == want.left && at.top == want.top && at.bottom == want.bottom)) ||
        FontHeight(hwnd) != -At(11, dpi) || TextWidth(hwnd) > at.right - at.left)
        return ::testing::AssertionFailure()
               << ::testing::PrintToString(Str(at)) << ", text " << TextWidth(hwnd);
    if (neighbour && at.top < neighbour->bottom && neighbour->top < at.bottom && at.right > neighbour->left)
        return ::testing::AssertionFailure() << ::testing::PrintToString(Str(at)) << " runs into the next";
    return ::testing::AssertionSuccess();
}

// WM_DPICHANGED with the frame of the client area at `dpi`: the window takes the rectangle.
void SendDpiChanged(HWND hwnd, int clientWidth, int clientHeight, int dpi) {
    RECT frame{0, 0, At(clientWidth, dpi), At(clientHeight, dpi)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrA(hwnd, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrA(hwnd, GWL_EXSTYLE)));
    ::OffsetRect(&frame, 30 - frame.left, 20 - frame.top);
    ::SendMessageA(hwnd, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
    RECT now{};
    ::GetWindowRect(hwnd, &now);
    EXPECT_EQ(Str(now), Str(frame));
    ::GetClientRect(hwnd, &now);
    EXPECT_EQ(Str(now), Str({0, 0, At(clientWidth, dpi), At(clientHeight, dpi)}));
}

TEST(DpiTest, MainWindowBoxesFontsAndIconsAtTheScaleAndAgainAfterWmDpiChanged) {
    const std::string root = FreshFolder('T', "dpi_form");
    WriteFile(root + "vestrand.ini", "[Config]\r\nSaveMin=30\r\nIdentifComp=PC\r\nTargetDir=" + root +
                                         "arch\r\nLowDriveSpaceMb=5\r\n");
    FakeClock clock;
    TFormVestrand f({"vestrand.exe", "", root + "vestrand.ini", "software\\Oskenvar\\VestrandDpiTests\\",
                     &clock, nullptr, "", false});
    f.Create();
    ASSERT_EQ(SystemDpi(), kDpi); // the prefix has the dpi it was given
    EXPECT_EQ(WindowDpi(f.Handle()), kDpi);
    int round = 0;
    for (int dpi : {kDpi, 192, 120, kDpi}) { // as created, then after WM_DPICHANGED
        SCOPED_TRACE(dpi);
        if (round++ > 0)
            SendDpiChanged(f.Handle(), 302, 103, dpi);
        EXPECT_TRUE(Placed(f.BtnGo(), {176, 72, 105, 25}, dpi));
        EXPECT_TRUE(Placed(f.BtnRestore(), {64, 72, 105, 25}, dpi));
        EXPECT_EQ(Str(InParent(f.Gauge().Handle())), Str(Scaled({8, 40, 281, 25}, dpi)));
        const RECT next = InParent(f.NextTime()), edge{At(302, dpi), 0, At(302, dpi), At(103, dpi)};
        EXPECT_TRUE(Placed(f.Label1(), {16, 8, 131, 13}, dpi, &next));
        EXPECT_TRUE(Placed(f.LastCopy(), {16, 24, 270, 13}, dpi, &edge));
        EXPECT_EQ(Str(next),
                  Str({At(160, dpi), At(8, dpi), At(160, dpi) + TextWidth(f.NextTime()), At(21, dpi)}));
        for (const auto& [which, size] : {std::pair(ICON_SMALL, 16), std::pair(ICON_BIG, 32)})
            EXPECT_EQ(IconWidth(reinterpret_cast<HICON>(::SendMessageA(f.Handle(), WM_GETICON, which, 0))),
                      At(size, dpi));
    }
    EXPECT_EQ(IconWidth(f.Tray().Icon()), At(16, kDpi)); // the notification area's size
}

TEST(DpiTest, TheIconHasEachSizeAndTheMarksAreDrawnAtIt) {
    const auto pixels = [](HICON icon, int size) { // drawn over white
        MemoryDc dc(::CreateCompatibleDC(nullptr));
        BITMAPINFO bmi{{sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        void* bits = nullptr;
        GdiObject bitmap(::CreateDIBSection(dc.Get(), &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
        SelectGuard select(dc.Get(), bitmap.Get());
        ::PatBlt(dc.Get(), 0, 0, size, size, WHITENESS);
        ::DrawIconEx(dc.Get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
        ::GdiFlush();
        std::vector<uint32_t> out(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + size * size);
        for (uint32_t& p : out)
            p &= 0xFFFFFF; // 0xRRGGBB
        return out;
    };
    for (int size : {16, 20, 24, 32, 40, 48, 64}) {
        SCOPED_TRACE(size);
        const IconHandle base = LoadIconOfSize(IDI_VESTRAND, size);
        ASSERT_EQ(IconWidth(base.Get()), size);
        const std::vector<uint32_t> plain = pixels(base.Get(), size);
        const std::pair<IconHandle, uint32_t> marks[] = {{MakeWorkingIcon(base.Get(), size), 0x00AA00},
                                                         {MakeWarningIcon(base.Get(), size), 0xFFB000}};
        for (const auto& [icon, fill] : marks) {
            const std::vector<uint32_t> marked = pixels(icon.Get(), size);
            const int c = size * 3 / 4; // the disc's centre, in the lower right quarter; its rim at its left
            EXPECT_EQ(marked[c * size + c], fill);
            EXPECT_NE(marked[c * size + size / 2], fill);
            for (int y = 0; y < size / 2; ++y) // the upper left quarter is the icon's
                EXPECT_TRUE(std::equal(&plain[y * size], &plain[y * size + size / 2], &marked[y * size]))
                    << y;
        }
    }
}

void ExpectDialogAt(TFormConfigVestrand& form, int dpi) {
    RECT lastTab{};
    const RECT client{0, 0, At(413, dpi), At(273, dpi)};
    const HWND tabs = form.Item(C::PageControl);
    EXPECT_TRUE(Placed(tabs, {0, 0, 413, 273}, dpi));
    ::SendMessageA(tabs, TCM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&lastTab));
    EXPECT_LE(lastTab.right, client.right); // four tabs in one row, none cut
    for (int i = 0; i < kPageCount; ++i) {  // below the tabs, inside the page control
        const RECT page = InParent(form.Page(i));
        EXPECT_EQ(Str(page), Str({page.left, page.top, page.left + At(405, dpi), page.top + At(245, dpi)}));
        EXPECT_TRUE(page.top >= lastTab.bottom && page.right <= client.right && page.bottom <= client.bottom);
    }
    const std::pair<C, RECT> controls[] = {
        {C::ListBoxDir, {0, 50, 405, 195}},  {C::dAdd, {240, 24, 75, 25}},
        {C::dDelete, {328, 24, 75, 25}},     {C::DirectoryEdit3, {6, 0, 393, 21}},
        {C::ListBoxFile, {0, 51, 405, 194}}, {C::fAdd, {240, 24, 75, 25}},
        {C::FilenameEdit1, {6, 1, 393, 21}}, {C::fDelete, {328, 24, 75, 25}},
        {C::eAdd, {240, 24, 75, 25}},        {C::ListBoxExclude, {0, 50, 405, 195}},
        {C::eDelete, {328, 24, 75, 25}},     {C::ExcludeEdit, {6, 0, 393, 21}}};
    for (const auto& [control, box] : controls)
        EXPECT_TRUE(Placed(form.Item(control), box, dpi)) << static_cast<int>(control);
    for (C list : {C::ListBoxDir, C::ListBoxFile, C::ListBoxExclude})
        EXPECT_EQ(::SendMessageA(form.Item(list), LB_GETITEMHEIGHT, 0, 0), At(13, dpi));
    for (const ConfigSetting& row : ConfigSettings()) { // the page «Прочее» as the settings table places it
        const ConfigBox &l = row.labelBox, &b = row.fieldBox;
        const HWND field = form.Item(ConfigFieldControl(row.place));
        const RECT fieldAt = InParent(field);
        EXPECT_TRUE(Placed(field, {b.x, b.y, b.width, b.height}, dpi)) << row.key;
        const HWND label = ::GetDlgItem(form.Page(2), kConfigLabelId + row.place);
        EXPECT_TRUE(Placed(label, {l.x, l.y, l.width, l.height}, dpi, &fieldAt)) << row.key;
        EXPECT_LE(InParent(label).right, At(405, dpi)) << row.key;
        RECT whole{}; // a field's button at its right end, 17 (browse) or 15 (number) pixels at 96 dpi
        if (HWND button = form.ButtonOf(ConfigFieldControl(row.place));
            button && ::GetClientRect(field, &whole)) {
            EXPECT_EQ(Str(InParent(button)),
                      Str({whole.right - At(row.kind == ConfigKind::Folder ? 17 : 15, dpi), 0, whole.right,
                           whole.bottom}));
        }
    }
}

TEST_F(DialogTest, DpiSettingsDialogAtTheScaleAndAgainAfterWmDpiChanged) {
    ExpectDialogAt(form, kDpi);
    for (int dpi : {192, 120, kDpi}) {
        SCOPED_TRACE(dpi);
        SendDpiChanged(form.Handle(), 413, 273, dpi);
        ExpectDialogAt(form, dpi);
    }
}

} // namespace
