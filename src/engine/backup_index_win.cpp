#include "engine/backup_index_win.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vestrand {

namespace {

int CompareTexts(const char* a, size_t aSize, const char* b, size_t bSize) {
    const int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, static_cast<int>(aSize), b,
                                 static_cast<int>(bSize));
    return r == CSTR_LESS_THAN ? -1 : r == CSTR_GREATER_THAN ? 1 : 0;
}

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

std::string IndexKeyOf(const std::string& rel) {
    std::string key;
    return SortKeyOf(rel, key) ? key : std::string();
}

int CompareIndexKeys(const std::string& a, const std::string& b) { return CompareTexts(a.data(), a.size(), b.data(), b.size()); }

void BackupIndex::Add(const std::string& rel, const TFileParam& param) {
    if (rel.size() >= kRemovedBit || m_text.size() + rel.size() > UINT32_MAX)
        throw std::length_error("path too long for the mirror index");
    Item item;
    item.RelAt = static_cast<uint32_t>(m_text.size());
    item.RelSize = static_cast<uint16_t>(rel.size());
    item.Param = param;
    m_text += rel;
    m_items.push_back(item);
    m_useKeys = false;
    m_lastValid = false;
}

std::string BackupIndex::RelOf(const Item& item) const {
    return m_text.substr(item.RelAt, SizeOf(item));
}

int BackupIndex::CompareKeyOf(const Item& item, const std::string& key) const {
    const size_t n = std::min<size_t>(item.KeySize, key.size());
    const int r = n == 0 ? 0 : std::memcmp(m_keys.data() + item.KeyAt, key.data(), n);
    if (r != 0)
        return r;
    return item.KeySize < key.size() ? -1 : item.KeySize > key.size() ? 1 : 0;
}

int BackupIndex::CompareItems(const Item& x, const Item& y) const {
    if (m_useKeys) {
        const size_t n = std::min(x.KeySize, y.KeySize);
        const int r = n == 0 ? 0 : std::memcmp(m_keys.data() + x.KeyAt, m_keys.data() + y.KeyAt, n);
        if (r != 0)
            return r;
        return x.KeySize < y.KeySize ? -1 : x.KeySize > y.KeySize ? 1 : 0;
    }
    return CompareTexts(m_text.data() + x.RelAt, SizeOf(x), m_text.data() + y.RelAt,
                        SizeOf(y));
}

// Gives every item its sort key; false (and no keys) when one cannot be had or stored.
bool BackupIndex::ComputeKeys() {
    m_keys.clear();
    std::string key;
    for (auto& item : m_items) {
        if (!SortKeyOf(RelOf(item), key) || key.size() > UINT16_MAX || m_keys.size() + key.size() > UINT32_MAX) {
            m_keys.clear();
            m_keys.shrink_to_fit();
            return false;
        }
        item.KeyAt = static_cast<uint32_t>(m_keys.size());
        item.KeySize = static_cast<uint16_t>(key.size());
        m_keys += key;
    }
    m_keys.shrink_to_fit();
    return true;
}

void BackupIndex::Sort() {
    m_lastValid = false;
    m_useKeys = false;
    m_useKeys = ComputeKeys();
    std::stable_sort(m_items.begin(), m_items.end(),
                     [this](const Item& x, const Item& y) { return CompareItems(x, y) < 0; });
    // Equal keys are now adjacent in the order they were added: the first keeps its place and
    // takes the parameters of the last. (The text of a dropped duplicate stays unused.)
    size_t kept = 0;
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (kept > 0 && CompareItems(m_items[kept - 1], m_items[i]) == 0)
            m_items[kept - 1].Param = m_items[i].Param;
        else
            m_items[kept++] = m_items[i];
    }
    m_items.resize(kept);
    m_items.shrink_to_fit();
    m_text.shrink_to_fit();
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
                                   [this](const Item& x, const std::string& k) { return CompareKeyOf(x, k) < 0; });
        if (it == m_items.end() || CompareKeyOf(*it, key) != 0)
            return -1;
        return static_cast<long>(it - m_items.begin());
    }
    // Items sorted by keys are in this order too.
    const auto compare = [this](const Item& x, const std::string& k) {
        return CompareTexts(m_text.data() + x.RelAt, SizeOf(x), k.data(), k.size());
    };
    auto it = std::lower_bound(m_items.begin(), m_items.end(), rel,
                               [&](const Item& x, const std::string& k) { return compare(x, k) < 0; });
    if (it == m_items.end() || compare(*it, rel) != 0)
        return -1;
    return static_cast<long>(it - m_items.begin());
}

const TFileParam* BackupIndex::Find(const std::string& rel) const {
    const long at = Locate(rel);
    return at < 0 || IsRemoved(m_items[at]) ? nullptr : &m_items[at].Param;
}

void BackupIndex::Remove(const std::string& rel) {
    const long at = Locate(rel);
    if (at >= 0)
        MarkRemoved(m_items[at]);
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
        if (!IsRemoved(item) && InTree(RelOf(item), folder))
            MarkRemoved(item);
}

std::vector<std::pair<std::string, TFileParam>> BackupIndex::TakeTree(const std::string& path) {
    std::vector<std::pair<std::string, TFileParam>> taken;
    for (auto& item : m_items)
        if (!IsRemoved(item)) {
            std::string rel = RelOf(item);
            if (InTree(rel, path)) {
                MarkRemoved(item);
                taken.emplace_back(std::move(rel), item.Param);
            }
        }
    return taken;
}

void BackupIndex::ForEach(const std::function<void(const std::string&, const TFileParam&)>& onItem) const {
    std::string rel;
    for (const auto& item : m_items)
        if (!IsRemoved(item)) {
            rel.assign(m_text, item.RelAt, SizeOf(item));
            onItem(rel, item.Param);
        }
}

size_t BackupIndex::Count() const {
    return static_cast<size_t>(std::count_if(m_items.begin(), m_items.end(), [](const Item& i) { return !IsRemoved(i); }));
}

}  // namespace vestrand
