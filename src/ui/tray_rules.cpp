#include "ui/tray_rules.h"

namespace vestrand {

std::string TrayTipText(const std::string& hint) {
    std::string tip = hint.substr(0, hint.find('|'));
    if (tip.size() > kTrayTipMax)
        tip.resize(kTrayTipMax);
    return tip;
}

void MakeDefaultItem(std::vector<MenuItemState>& items, int id) {
    for (auto& item : items)
        item.isDefault = item.id == id;
}

int DoubleClickItem(const std::vector<MenuItemState>& items) {
    for (const auto& item : items)
        if (item.isDefault && item.enabled)
            return item.id;
    return 0;
}

} // namespace vestrand
