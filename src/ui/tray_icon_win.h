// The notification-area icon with its hint and popup menu. It has a hidden window of its own that
// receives the icon's mouse messages and the shell's "TaskbarCreated" broadcast.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "runtime/handles_win.h"
#include "runtime/window_win.h"
#include "ui/tray_rules.h"

namespace vestrand {

enum class BalloonIcon { Warning, Error };

// A balloon the icon was asked to show, as tests see it.
struct BalloonRequest {
    BalloonIcon icon = BalloonIcon::Warning;
    std::string title;
    std::string text;
    bool shown = false; // the notification area took it
};

// The program's icon at `size` x `size` pixels (the icon's image of that size, or the platform's
// nearest one scaled), for the window's caption and the tray at a screen's scale.
IconHandle LoadIconOfSize(int resourceId, int size);

// `base` at `size` x `size` pixels with a mark in its lower right corner, a quarter of the icon:
// green while a pass works, amber while passes are paused and wait for the user.
IconHandle MakeWorkingIcon(HICON base, int size);
IconHandle MakeWarningIcon(HICON base, int size);

class TRxTrayIcon final : public Window {
public:
    static constexpr const char* kClassName = "VestrandTrayIcon";
    static constexpr UINT kCallbackMessage = WM_APP + 1;

    ~TRxTrayIcon() override;
    void Create();

    // The image and the hint; each change that finds the icon missing from the notification area
    // tries to add it again. An unchanged hint does nothing.
    void SetIcon(HICON icon);
    HICON Icon() const { return m_icon; }
    void SetHint(const std::string& hint);
    const std::string& Hint() const { return m_hint; }
    bool Shown() const { return m_added; }

    // A balloon over the icon (text cut to what the notification area takes); false when the
    // area is not there to show it.
    bool ShowBalloon(BalloonIcon icon, const std::string& title, const std::string& text);
    const std::vector<BalloonRequest>& Balloons() const { return m_balloons; }

    // The popup menu: items from top to bottom; clicking one calls onClick(id).
    void SetMenuItems(std::vector<MenuItemState> items, std::function<void(int)> onClick);
    void SetItemEnabled(int id, bool enabled);
    const std::vector<MenuItemState>& MenuItems() const { return m_items; }
    // Stands in for the double click's default item when the menu has none that is enabled.
    std::function<void()> OnDblClick;

    // What the mouse does over the icon (also used by tests).
    void RightButtonUp();
    void LeftDoubleClick();

    // The window told to cancel its mouse mode before the menu opens when none is active.
    void SetMainWindow(HWND hwnd) { m_mainWindow = hwnd; }

    // The popup menu as it opens now.
    MenuHandle BuildMenu() const;

    // Removes the icon from the notification area.
    void Remove();

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    bool Notify(DWORD message);
    void Update();

    HICON m_icon = nullptr;
    std::string m_hint;
    bool m_added = false;
    std::vector<MenuItemState> m_items;
    std::function<void(int)> m_onClick;
    UINT m_taskbarCreated = 0;
    HWND m_mainWindow = nullptr;
    std::vector<BalloonRequest> m_balloons;
};

} // namespace vestrand
