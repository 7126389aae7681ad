#include "engine/backup_index_win.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <stdexcept>

namespace vestrand {

// The file system's upper-case mapping of every UTF-16 unit, read once from the platform
// (RtlUpcaseUnicodeChar is what ordinal comparisons ignoring case use).
const wchar_t* FileSystemUpperTable() {
    static const std::vector<wchar_t> table = [] {
        std::vector<wchar_t> t(65536);
        using Upcase = WCHAR(WINAPI*)(WCHAR);
        const FARPROC proc = GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlUpcaseUnicodeChar");
        const auto upcase = reinterpret_cast<Upcase>(reinterpret_cast<void*>(proc));
        for (unsigned u = 0; u < t.size(); ++u)
            t[u] = static_cast<wchar_t>(u);
        if (upcase) {
            for (unsigned u = 0; u < t.size(); ++u)
                t[u] = upcase(static_cast<WCHAR>(u));
        } else {
            CharUpperBuffW(t.data(), static_cast<DWORD>(t.size()));
        }
        return t;
    }();
    return table.data();
}

namespace {

int CompareUnits(const std::wstring& a, const std::wstring& b) {
    const int r = a.compare(b);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

constexpr DWORD kOrderFlags = NORM_IGNORECASE;

// The locale's sort key of `text` (bytes compared as unsigned give CompareStringW's order); empty
// when the locale gives none.
std::string SortKeyOf(const std::wstring& text) {
    const int length = text.empty() ? -1 : static_cast<int>(text.size());
    std::string key(text.size() * 8 + 32, '\0');
    int n = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | kOrderFlags, text.c_str(), length,
                         reinterpret_cast<LPWSTR>(key.data()), static_cast<int>(key.size()));
    if (n <= 0) {
        n = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | kOrderFlags, text.c_str(), length, nullptr, 0);
        if (n <= 0)
            return std::string();
        key.assign(static_cast<size_t>(n), '\0');
        n = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | kOrderFlags, text.c_str(), length,
                         reinterpret_cast<LPWSTR>(key.data()), n);
    }
    key.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return key;
}

} // namespace

wchar_t FileSystemUpper(wchar_t unit) {
    return FileSystemUpperTable()[static_cast<uint16_t>(unit)];
}

std::wstring FileSystemKey(const std::wstring& text) {
    const wchar_t* upper = FileSystemUpperTable();
    std::wstring key(text.size(), L'\0');
    for (size_t i = 0; i < text.size(); ++i)
        key[i] = upper[static_cast<uint16_t>(text[i])];
    return key;
}

bool SameFileName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size())
        return false;
    const wchar_t* upper = FileSystemUpperTable();
    for (size_t i = 0; i < a.size(); ++i)
        if (upper[static_cast<uint16_t>(a[i])] != upper[static_cast<uint16_t>(b[i])])
            return false;
    return true;
}

int CompareIndexOrder(const std::wstring& a, const std::wstring& b) {
    const int r = CompareStringW(LOCALE_USER_DEFAULT, kOrderFlags, a.data(), static_cast<int>(a.size()),
                                 b.data(), static_cast<int>(b.size()));
    if (r == CSTR_LESS_THAN)
        return -1;
    if (r == CSTR_GREATER_THAN)
        return 1;
    return CompareUnits(FileSystemKey(a), FileSystemKey(b));
}

BackupIndex::BackupIndex() : m_items(1), m_slots(1024, kNone) {}

size_t BackupIndex::HashOf(Node folder, const wchar_t* name, size_t size) const {
    const wchar_t* upper = FileSystemUpperTable();
    uint64_t h = 1469598103934665603ull ^ folder;
    for (size_t i = 0; i < size; ++i) {
        h ^= static_cast<uint16_t>(upper[static_cast<uint16_t>(name[i])]);
        h *= 1099511628211ull;
    }
    return static_cast<size_t>(h ^ (h >> 29));
}

BackupIndex::Node BackupIndex::Child(Node folder, const wchar_t* name, size_t size) const {
    const wchar_t* upper = FileSystemUpperTable();
    const size_t mask = m_slots.size() - 1;
    for (size_t at = HashOf(folder, name, size) & mask;; at = (at + 1) & mask) {
        const Node n = m_slots[at];
        if (n == kNone)
            return kNone;
        const Item& item = m_items[n];
        if (item.Parent != folder || item.NameSize != size)
            continue;
        const wchar_t* held = m_names.data() + item.NameAt;
        size_t i = 0;
        while (i < size && upper[static_cast<uint16_t>(held[i])] == upper[static_cast<uint16_t>(name[i])])
            ++i;
        if (i == size)
            return n;
    }
}

void BackupIndex::Grow() {
    std::vector<Node> slots(m_slots.size() * 2, kNone);
    const size_t mask = slots.size() - 1;
    for (Node n = 1; n < m_items.size(); ++n) {
        const Item& item = m_items[n];
        size_t at = HashOf(item.Parent, m_names.data() + item.NameAt, item.NameSize) & mask;
        while (slots[at] != kNone)
            at = (at + 1) & mask;
        slots[at] = n;
    }
    m_slots.swap(slots);
}

BackupIndex::Node BackupIndex::Insert(Node folder, const std::wstring& name) {
    const Node found = Child(folder, name.data(), name.size());
    if (found != kNone)
        return found;
    if (name.size() > UINT16_MAX || m_names.size() + name.size() > UINT32_MAX || m_items.size() >= kNone - 1)
        throw std::length_error("name too long for the mirror index");
    if ((m_items.size() + 1) * 2 > m_slots.size())
        Grow();
    const Node n = static_cast<Node>(m_items.size());
    Item item;
    item.Parent = folder;
    item.NameAt = static_cast<uint32_t>(m_names.size());
    item.NameSize = static_cast<uint16_t>(name.size());
    item.NextSibling = m_items[folder].FirstChild;
    m_items[folder].FirstChild = n;
    m_names += name;
    m_items.push_back(item);
    const size_t mask = m_slots.size() - 1;
    size_t at = HashOf(folder, name.data(), name.size()) & mask;
    while (m_slots[at] != kNone)
        at = (at + 1) & mask;
    m_slots[at] = n;
    return n;
}

BackupIndex::Node BackupIndex::Add(Node folder, const std::wstring& name, const TFileParam& param) {
    const Node n = Insert(folder, name);
    Item& item = m_items[n];
    if (!(item.Flags & kLive)) {
        item.Flags |= kLive;
        ++m_live;
    }
    item.Param = param;
    return n;
}

void BackupIndex::Add(const std::wstring& rel, const TFileParam& param) {
    Node folder = kTop;
    size_t from = 0;
    for (size_t sep = rel.find(L'\\'); sep != std::wstring::npos; sep = rel.find(L'\\', from)) {
        folder = Insert(folder, rel.substr(from, sep - from));
        from = sep + 1;
    }
    Add(folder, rel.substr(from), param);
}

BackupIndex::Node BackupIndex::Locate(const std::wstring& rel) const {
    if (rel.empty())
        return kTop;
    Node node = kTop;
    size_t from = 0;
    for (;;) {
        const size_t sep = rel.find(L'\\', from);
        const size_t end = sep == std::wstring::npos ? rel.size() : sep;
        node = Child(node, rel.data() + from, end - from);
        if (node == kNone || sep == std::wstring::npos)
            return node;
        from = sep + 1;
    }
}

BackupIndex::Node BackupIndex::FindNode(const std::wstring& rel) const {
    const Node n = rel.empty() ? kNone : Locate(rel);
    return n != kNone && (m_items[n].Flags & kLive) ? n : kNone;
}

const TFileParam* BackupIndex::Find(const std::wstring& rel) const {
    const Node n = FindNode(rel);
    return n != kNone ? &m_items[n].Param : nullptr;
}

void BackupIndex::Kill(Node node) {
    if (m_items[node].Flags & kLive) {
        m_items[node].Flags &= static_cast<uint16_t>(~kLive);
        --m_live;
    }
}

void BackupIndex::Remove(const std::wstring& rel) {
    const Node n = rel.empty() ? kNone : Locate(rel);
    if (n != kNone)
        Kill(n);
}

// `node` and everything below it.
void BackupIndex::CollectTree(Node node, std::vector<Node>& out) const {
    std::vector<Node> stack{node};
    while (!stack.empty()) {
        const Node n = stack.back();
        stack.pop_back();
        out.push_back(n);
        for (Node c = m_items[n].FirstChild; c != kNone; c = m_items[c].NextSibling)
            stack.push_back(c);
    }
}

size_t BackupIndex::CountTree(const std::wstring& folder, bool filesOnly) const {
    const Node n = Locate(folder);
    if (n == kNone)
        return 0;
    std::vector<Node> tree;
    CollectTree(n, tree);
    return static_cast<size_t>(std::count_if(tree.begin(), tree.end(), [&](Node t) {
        return t != kTop && (m_items[t].Flags & kLive) &&
               !(filesOnly && (m_items[t].Param.Attr & FILE_ATTRIBUTE_DIRECTORY));
    }));
}

size_t BackupIndex::RemoveTree(const std::wstring& folder, const std::vector<std::wstring>& kept) {
    const Node n = Locate(folder);
    if (n == kNone)
        return 0;
    std::vector<Node> keep;
    for (const auto& path : kept)
        if (const Node k = Locate(path); k != kNone)
            keep.push_back(k);
    const size_t before = m_live;
    std::vector<Node> stack{n};
    while (!stack.empty()) {
        const Node t = stack.back();
        stack.pop_back();
        if (std::find(keep.begin(), keep.end(), t) != keep.end())
            continue;
        Kill(t);
        for (Node c = m_items[t].FirstChild; c != kNone; c = m_items[c].NextSibling)
            stack.push_back(c);
    }
    return before - m_live;
}

std::wstring BackupIndex::PathOf(Node node) const {
    std::vector<Node> chain;
    for (Node n = node; n != kTop && n != kNone; n = m_items[n].Parent)
        chain.push_back(n);
    std::wstring path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty())
            path += L'\\';
        path.append(m_names, m_items[*it].NameAt, m_items[*it].NameSize);
    }
    return path;
}

namespace {

// The order of `texts` (paths, or names of one folder) in index order: by the locale's sort keys
// (the order of CompareStringW), ties by the file-system keys; CompareIndexOrder where the locale
// gives a text no key.
std::vector<size_t> IndexOrderOf(const std::vector<std::wstring>& texts) {
    std::vector<std::string> keys(texts.size());
    std::vector<std::wstring> fsKeys(texts.size());
    bool keyed = true;
    for (size_t i = 0; i < texts.size(); ++i) {
        keys[i] = SortKeyOf(texts[i]);
        keyed = keyed && !keys[i].empty();
        fsKeys[i] = FileSystemKey(texts[i]);
    }
    std::vector<size_t> order(texts.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (keyed) {
            const int r = keys[a].compare(keys[b]); // bytes compared as unsigned
            if (r != 0)
                return r < 0;
            return fsKeys[a] < fsKeys[b];
        }
        return CompareIndexOrder(texts[a], texts[b]) < 0;
    });
    return order;
}

} // namespace

// The live entries among `nodes` with their paths, in index order.
std::vector<std::pair<std::wstring, TFileParam>> BackupIndex::InOrder(const std::vector<Node>& nodes) const {
    std::vector<std::wstring> paths;
    std::vector<Node> live;
    for (const Node n : nodes)
        if (n != kTop && (m_items[n].Flags & kLive)) {
            paths.push_back(PathOf(n));
            live.push_back(n);
        }
    std::vector<std::pair<std::wstring, TFileParam>> out;
    out.reserve(paths.size());
    for (const size_t i : IndexOrderOf(paths))
        out.emplace_back(std::move(paths[i]), m_items[live[i]].Param);
    return out;
}

std::vector<std::pair<std::wstring, TFileParam>> BackupIndex::TakeTree(const std::wstring& path) {
    const Node n = path.empty() ? kNone : Locate(path);
    if (n == kNone)
        return {};
    std::vector<Node> tree;
    CollectTree(n, tree);
    auto taken = InOrder(tree);
    for (const Node t : tree)
        Kill(t);
    return taken;
}

void BackupIndex::ForEach(const std::function<void(const std::wstring&, const TFileParam&)>& onItem) const {
    // Folder by folder, so that only the names of one folder on each level of the way down are
    // sorted and held at a time, however many entries the index holds. A depth-first walk with a
    // stack of its own: a path may be thousands of folders deep.
    struct Level {
        std::vector<Node> children; // in order
        size_t next = 0;
        size_t prefix = 0; // the path's length before the level's names
    };
    // Only the folders on the way to a live entry are entered (the locale's order costs time).
    std::vector<bool> wanted(m_items.size());
    for (Node n = 1; n < m_items.size(); ++n)
        if (m_items[n].Flags & kLive)
            for (Node m = n; m != kTop && m != kNone && !wanted[m]; m = m_items[m].Parent)
                wanted[m] = true;
    std::vector<Level> stack;
    std::wstring path;
    stack.push_back({ChildrenInOrder(kTop, wanted), 0, 0});
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.children.size()) {
            stack.pop_back();
            continue;
        }
        const Node n = level.children[level.next++];
        path.resize(level.prefix);
        path.append(m_names, m_items[n].NameAt, m_items[n].NameSize);
        if (m_items[n].Flags & kLive)
            onItem(path, m_items[n].Param);
        if (m_items[n].FirstChild != kNone) { // wanted: a live entry lies below, or it is one
            const size_t prefix = path.size() + 1;
            path += L'\\';
            stack.push_back({ChildrenInOrder(n, wanted), 0, prefix});
        }
    }
}

std::vector<BackupIndex::Node> BackupIndex::ChildrenInOrder(Node folder,
                                                            const std::vector<bool>& wanted) const {
    std::vector<std::wstring> names;
    std::vector<Node> nodes;
    for (Node c = m_items[folder].FirstChild; c != kNone; c = m_items[c].NextSibling)
        if (wanted[c]) {
            names.push_back(m_names.substr(m_items[c].NameAt, m_items[c].NameSize));
            nodes.push_back(c);
        }
    std::vector<Node> out;
    out.reserve(nodes.size());
    for (const size_t i : IndexOrderOf(names))
        out.push_back(nodes[i]);
    return out;
}

} // namespace vestrand
