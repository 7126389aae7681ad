// Rules of the tray icon and its menu that need no window.
#pragma once
#include <string>
#include <vector>

namespace vestrand {

inline constexpr size_t kTrayTipMax = 63;

// What the tooltip shows of a hint: the part before its first "|", at most 63 characters.
std::string TrayTipText(const std::string& hint);

struct MenuItemState {
    int id = 0;
    std::string caption;
    bool isDefault = false;
    bool enabled = true;
};

// At most one default item: marking one clears the mark on the others.
void MakeDefaultItem(std::vector<MenuItemState>& items, int id);
// The item a double click chooses: the first that is both default and enabled, or 0.
int DoubleClickItem(const std::vector<MenuItemState>& items);

} // namespace vestrand
