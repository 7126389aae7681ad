#include "engine/backup_index_win.h"

#include <windows.h>

#include <algorithm>

namespace vestrand {

int CompareIndexKeys(const std::string& a, const std::string& b) {
    const int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                                 b.data(), static_cast<int>(b.size()));
    return r == CSTR_LESS_THAN ? -1 : r == CSTR_GREATER_THAN ? 1 : 0;
}

namespace {

constexpr DWORD kKeyFlags = LCMAP_SORTKEY | NORM_IGNORECASE;

// The locale's sort key of `text`. Its bytes, compared as unsigned, give the order and equality of
// CompareIndexKeys. False when the locale service gives no key.
bool SortKeyOf(const std::string& text, std::string& key) {
    const int length = text.empty() ? -1 : static_cast<int>(text.size());  // a length of 0 is refused
    // One call into a buffer with room enough for any key of text this long (a few bytes per
    // character); the size query only when that was not enough. Each call shows in a pass over a
    // large tree, and the key itself is stored in its exact size.
    static thread_local std::string buffer;
    buffer.resize(text.size() * 6 + 32);
    int n = LCMapStringA(LOCALE_USER_DEFAULT, kKeyFlags, text.c_str(), length, buffer.data(),
                         static_cast<int>(buffer.size()));
    if (n > 0) {
        key.assign(buffer.data(), static_cast<size_t>(n));
        return true;
    }
    n = LCMapStringA(LOCALE_USER_DEFAULT, kKeyFlags, text.c_str(), length, nullptr, 0);
    if (n <= 0)
        return false;
    key.assign(static_cast<size_t>(n), '\0');
    return LCMapStringA(LOCALE_USER_DEFAULT, kKeyFlags, text.c_str(), length, key.data(), n) == n;
}

}  // namespace

void BackupIndex::Sort() {
    m_lastValid = false;
    bool byKey = true;
    for (auto& item : m_items)
        if (!SortKeyOf(item.Rel, item.Key)) {
            byKey = false;
            break;
        }
    m_useKeys = byKey;
    auto compare = [byKey](const Item& x, const Item& y) {
        return byKey ? x.Key.compare(y.Key) : CompareIndexKeys(x.Rel, y.Rel);
    };
    std::stable_sort(m_items.begin(), m_items.end(), [&](const Item& x, const Item& y) { return compare(x, y) < 0; });
    // Equal keys are now adjacent in the order they were added: the first keeps its place and
    // takes the parameters of the last.
    std::vector<Item> merged;
    merged.reserve(m_items.size());
    for (auto& item : m_items) {
        if (!merged.empty() && compare(merged.back(), item) == 0)
            merged.back().Param = item.Param;
        else
            merged.push_back(std::move(item));
    }
    m_items = std::move(merged);
}

long BackupIndex::Locate(const std::string& rel) const {
    // A pass looks a path up and then removes it: the second asks for the place the first found.
    if (m_lastValid && rel == m_lastRel)
        return m_lastAt;
    m_lastRel = rel;
    m_lastValid = true;
    return m_lastAt = Search(rel);
}

long BackupIndex::Search(const std::string& rel) const {
    std::string key;
    if (m_useKeys && SortKeyOf(rel, key)) {
        auto it = std::lower_bound(m_items.begin(), m_items.end(), key,
                                   [](const Item& x, const std::string& k) { return x.Key.compare(k) < 0; });
        if (it == m_items.end() || it->Key != key)
            return -1;
        return static_cast<long>(it - m_items.begin());
    }
    // Items sorted by keys are in this order too.
    auto it = std::lower_bound(m_items.begin(), m_items.end(), rel,
                               [](const Item& x, const std::string& k) { return CompareIndexKeys(x.Rel, k) < 0; });
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

namespace {

// True when `rel` is `folder` or lies below it (an empty folder holds everything).
bool InTree(const std::string& rel, const std::string& folder) {
    // The children of a folder are not contiguous in the index order, so callers check every item.
    const std::string prefix = folder + "\\";
    return folder.empty() || CompareIndexKeys(rel, folder) == 0 ||
           (rel.size() > prefix.size() && CompareIndexKeys(rel.substr(0, prefix.size()), prefix) == 0);
}

}  // namespace

void BackupIndex::RemoveTree(const std::string& folder) {
    for (auto& item : m_items)
        if (InTree(item.Rel, folder))
            item.Removed = true;
}

std::vector<std::pair<std::string, TFileParam>> BackupIndex::TakeTree(const std::string& path) {
    std::vector<std::pair<std::string, TFileParam>> taken;
    for (auto& item : m_items)
        if (!item.Removed && InTree(item.Rel, path)) {
            item.Removed = true;
            taken.emplace_back(item.Rel, item.Param);
        }
    return taken;
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
