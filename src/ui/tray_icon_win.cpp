#include "ui/tray_icon_win.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vestrand {
namespace {
constexpr UINT kIconId = 1;
}

TRxTrayIcon::~TRxTrayIcon() {
    Remove();
}

void TRxTrayIcon::Create() {
    RegisterWindowClass(kClassName, 0, nullptr, nullptr);
    // A hidden top-level window rather than a message-only one: only top-level windows receive the
    // shell's broadcast after the notification area has been recreated.
    CreateWindowOf(kClassName, WS_EX_TOOLWINDOW, WS_POPUP, "", 0, 0, 0, 0, nullptr, nullptr);
    m_taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
}

bool TRxTrayIcon::Notify(DWORD message) {
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = Handle();
    data.uID = kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kCallbackMessage;
    data.hIcon = m_icon;
    const std::string tip = TrayTipText(m_hint);
    std::memcpy(data.szTip, tip.c_str(), tip.size() + 1);
    return ::Shell_NotifyIconA(message, &data) != FALSE;
}

void TRxTrayIcon::Update() {
    if (!Handle() || !m_icon)
        return;
    // An icon the area still holds (a broadcast without a real restart) takes the modification.
    if (m_added)
        m_added = Notify(NIM_MODIFY) || Notify(NIM_ADD);
    else
        m_added = Notify(NIM_ADD) || Notify(NIM_MODIFY);
}

void TRxTrayIcon::SetIcon(HICON icon) {
    m_icon = icon;
    Update();
}

void TRxTrayIcon::SetHint(const std::string& hint) {
    if (hint == m_hint)
        return;
    m_hint = hint;
    Update();
}

bool TRxTrayIcon::ShowBalloon(BalloonIcon icon, const std::string& title, const std::string& text) {
    if (!m_added)
        Update();
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = Handle();
    data.uID = kIconId;
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = icon == BalloonIcon::Error ? NIIF_ERROR : NIIF_WARNING;
    data.uTimeout = 10000;
    const size_t titleSize = std::min(title.size(), sizeof data.szInfoTitle - 1);
    const size_t textSize = std::min(text.size(), sizeof data.szInfo - 1);
    std::memcpy(data.szInfoTitle, title.data(), titleSize);
    std::memcpy(data.szInfo, text.data(), textSize);
    const bool shown = m_added && Handle() && ::Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
    m_balloons.push_back({icon, title, text, shown});
    return shown;
}

void TRxTrayIcon::Remove() {
    if (m_added && Handle())
        Notify(NIM_DELETE);
    m_added = false;
}

void TRxTrayIcon::SetMenuItems(std::vector<MenuItemState> items, std::function<void(int)> onClick) {
    m_items = std::move(items);
    m_onClick = std::move(onClick);
}

void TRxTrayIcon::SetItemEnabled(int id, bool enabled) {
    for (auto& item : m_items)
        if (item.id == id)
            item.enabled = enabled;
}

MenuHandle TRxTrayIcon::BuildMenu() const {
    MenuHandle menu(::CreatePopupMenu());
    for (const auto& item : m_items) {
        const UINT flags = MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED);
        ::AppendMenuA(menu.Get(), flags, static_cast<UINT_PTR>(item.id), item.caption.c_str());
        if (item.isDefault)
            ::SetMenuDefaultItem(menu.Get(), static_cast<UINT>(item.id), FALSE); // drawn in bold
    }
    return menu;
}

void TRxTrayIcon::RightButtonUp() {
    HWND active = ::GetActiveWindow();
    if (!active)
        active = m_mainWindow;
    if (active)
        ::SendMessageA(active, WM_CANCELMODE, 0, 0);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    POINT at;
    ::GetCursorPos(&at);
    const MenuHandle menu = BuildMenu();
    if (::IsWindowEnabled(Handle()))
        ::SetForegroundWindow(Handle());
    const int chosen = static_cast<int>(::TrackPopupMenu(
        menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, Handle(), nullptr));
    ::SetForegroundWindow(Handle());
    // Lets the menu close when the user clicks elsewhere next time.
    ::PostMessageA(Handle(), WM_NULL, 0, 0);
    for (const auto& item : m_items)
        if (chosen != 0 && item.id == chosen && item.enabled && m_onClick)
            m_onClick(chosen);
}

void TRxTrayIcon::LeftDoubleClick() {
    const int id = DoubleClickItem(m_items);
    if (id != 0) {
        if (m_onClick)
            m_onClick(id);
    } else if (OnDblClick) {
        OnDblClick();
    }
}

LRESULT TRxTrayIcon::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kCallbackMessage) {
        switch (static_cast<UINT>(lParam)) {
        case WM_RBUTTONUP:
            RightButtonUp();
            break;
        case WM_LBUTTONDBLCLK:
            LeftDoubleClick();
            break;
        default:
            break;
        }
        return 0;
    }
    if (m_taskbarCreated != 0 && msg == m_taskbarCreated) {
        // The shell restarted: the old icon is gone with the old notification area.
        m_added = false;
        Update();
        return 0;
    }
    return Window::HandleMessage(msg, wParam, lParam);
}

namespace {

IconHandle MakeMarkedIcon(HICON base, int size, COLORREF fillColor, COLORREF rimColor) {
    const int cx = size, cy = size;
    if (!base || size <= 0)
        return IconHandle();
    WindowDc screen(nullptr);
    MemoryDc colorDc(::CreateCompatibleDC(screen.Get())), maskDc(::CreateCompatibleDC(screen.Get()));
    // The colour image in 32 bits, top-down, so that its alpha channel can be read and set.
    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), cx, -cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    GdiObject color(::CreateDIBSection(screen.Get(), &bmi, DIB_RGB_COLORS, &bits, nullptr, 0)),
        mask(::CreateBitmap(cx, cy, 1, 1, nullptr));
    if (!colorDc || !maskDc || !color || !mask || !bits)
        return IconHandle();
    auto* pixels = static_cast<uint32_t*>(bits);
    const size_t count = static_cast<size_t>(cx) * static_cast<size_t>(cy);
    {
        SelectGuard c(colorDc.Get(), color.Get()), m(maskDc.Get(), mask.Get());
        ::DrawIconEx(colorDc.Get(), 0, 0, base, cx, cy, 0, nullptr, DI_IMAGE);
        ::DrawIconEx(maskDc.Get(), 0, 0, base, cx, cy, 0, nullptr, DI_MASK);
        ::GdiFlush();
        const std::vector<uint32_t> before(pixels, pixels + count);
        // A disc with a dark rim, opaque in the mask; the rim one pixel wide at 16 pixels.
        const RECT mark{cx / 2, cy / 2, cx, cy};
        GdiObject fill(::CreateSolidBrush(fillColor)),
            rim(::CreatePen(cx < 32 ? PS_SOLID : PS_INSIDEFRAME, std::max(1, cx / 16), rimColor));
        SelectGuard b(colorDc.Get(), fill.Get()), p(colorDc.Get(), rim.Get());
        ::Ellipse(colorDc.Get(), mark.left, mark.top, mark.right, mark.bottom);
        SelectGuard mb(maskDc.Get(), ::GetStockObject(BLACK_BRUSH)),
            mp(maskDc.Get(), ::GetStockObject(BLACK_PEN));
        ::Ellipse(maskDc.Get(), mark.left, mark.top, mark.right, mark.bottom);
        ::GdiFlush();
        // An icon with an alpha channel is drawn by it, not by the mask, and GDI leaves the alpha of
        // what it draws at 0: the disc is made opaque, or it would not show at all.
        const bool hasAlpha =
            std::any_of(before.begin(), before.end(), [](uint32_t v) { return (v >> 24) != 0; });
        if (hasAlpha)
            for (size_t i = 0; i < count; ++i)
                if (pixels[i] != before[i])
                    pixels[i] |= 0xFF000000u;
    }
    ICONINFO info{TRUE, 0, 0, static_cast<HBITMAP>(mask.Get()), static_cast<HBITMAP>(color.Get())};
    return IconHandle(::CreateIconIndirect(&info));
}

} // namespace

IconHandle LoadIconOfSize(int resourceId, int size) {
    return IconHandle(static_cast<HICON>(::LoadImageA(
        ::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resourceId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

IconHandle MakeWorkingIcon(HICON base, int size) {
    return MakeMarkedIcon(base, size, RGB(0, 170, 0), RGB(0, 64, 0));
}

IconHandle MakeWarningIcon(HICON base, int size) {
    return MakeMarkedIcon(base, size, RGB(255, 176, 0), RGB(128, 64, 0));
}

} // namespace vestrand
