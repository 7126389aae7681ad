#include "engine/backup_index_win.h"

#include <windows.h>

#include <algorithm>

namespace vestrand {

int CompareIndexKeys(const std::string& a, const std::string& b) {
    const int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                                 b.data(), static_cast<int>(b.size()));
    return r == CSTR_LESS_THAN ? -1 : r == CSTR_GREATER_THAN ? 1 : 0;
}

void BackupIndex::Sort() {
    std::stable_sort(m_items.begin(), m_items.end(),
                     [](const Item& x, const Item& y) { return CompareIndexKeys(x.Rel, y.Rel) < 0; });
    // Equal keys are now adjacent in the order they were added: the first keeps its place and
    // takes the parameters of the last.
    std::vector<Item> merged;
    merged.reserve(m_items.size());
    for (auto& item : m_items) {
        if (!merged.empty() && CompareIndexKeys(merged.back().Rel, item.Rel) == 0)
            merged.back().Param = item.Param;
        else
            merged.push_back(std::move(item));
    }
    m_items = std::move(merged);
}

long BackupIndex::Locate(const std::string& rel) const {
    auto it = std::lower_bound(m_items.begin(), m_items.end(), rel,
                               [](const Item& x, const std::string& key) { return CompareIndexKeys(x.Rel, key) < 0; });
    if (it == m_items.end() || CompareIndexKeys(it->Rel, rel) != 0)
        return -1;
    return static_cast<long>(it - m_items.begin());
}

const TFileParam* BackupIndex::Find(const std::string& rel) const {
    const long at = Locate(rel);
    return at < 0 || m_items[at].Removed ? nullptr : &m_items[at].Param;
}

void BackupIndex::Remove(const std::string& rel) {
    const long at = Locate(rel);
    if (at >= 0)
        m_items[at].Removed = true;
}

void BackupIndex::RemoveTree(const std::string& folder) {
    // The children of a folder are not contiguous in this order, so every item is checked.
    const std::string prefix = folder + "\\";
    for (auto& item : m_items) {
        if (folder.empty() || CompareIndexKeys(item.Rel, folder) == 0 ||
            (item.Rel.size() > prefix.size() && CompareIndexKeys(item.Rel.substr(0, prefix.size()), prefix) == 0))
            item.Removed = true;
    }
}

void BackupIndex::ForEach(const std::function<void(const std::string&, const TFileParam&)>& onItem) const {
    for (const auto& item : m_items)
        if (!item.Removed)
            onItem(item.Rel, item.Param);
}

size_t BackupIndex::Count() const {
    return static_cast<size_t>(std::count_if(m_items.begin(), m_items.end(), [](const Item& i) { return !i.Removed; }));
}

}  // namespace vestrand
