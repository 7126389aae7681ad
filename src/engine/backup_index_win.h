// What the mirror held at the start of a pass: relative paths in the locale's case-insensitive
// order, each with the time, size and attributes found there.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vestrand {

struct TFileParam {
    int32_t Time = 0;
    int32_t Size = 0;
    int32_t Attr = 0;
};

// -1, 0 or 1: CompareStringA with the user's default locale, ignoring case.
int CompareIndexKeys(const std::string& a, const std::string& b);

// The index orders and matches paths as CompareIndexKeys does. It compares them through the
// locale's sort keys (LCMapStringA, LCMAP_SORTKEY | NORM_IGNORECASE), computed once per path,
// which give the same order and the same equality; where a key cannot be had it compares with
// CompareIndexKeys itself.

// The key by which the index orders and matches `rel`: two paths have equal keys exactly when
// they are the same path to the index. Empty when the locale gives none.
std::string IndexKeyOf(const std::string& rel);

class BackupIndex {
public:
    // Building: Add every path found, then Sort once. A path equal to an earlier one keeps the
    // earlier place and takes the later parameters.
    void Add(const std::string& rel, const TFileParam& param);
    void Sort();

    // The parameters of a path still in the index, or nullptr.
    const TFileParam* Find(const std::string& rel) const;
    // Takes a path out of the index (no effect when absent).
    void Remove(const std::string& rel);
    // Takes out `folder` and everything below it (an empty folder means everything).
    void RemoveTree(const std::string& folder);
    // Takes out `path` and everything below it, as RemoveTree does, and returns what it took out,
    // in index order (a folder before everything inside it).
    std::vector<std::pair<std::string, TFileParam>> TakeTree(const std::string& path);
    // Calls onItem for every path still in the index, in index order.
    void ForEach(const std::function<void(const std::string&, const TFileParam&)>& onItem) const;
    size_t Count() const;

private:
    // The texts of all paths and of their sort keys lie end to end in one block, so that an item
    // costs its fixed part only: a large tree is indexed with a few dozen bytes per entry beyond
    // the text itself, and the sort moves small items.
    struct Item {
        uint32_t RelAt = 0;   // offset of the path in m_text
        uint32_t KeyAt = 0;   // offset of its sort key in m_keys (set by Sort)
        uint16_t RelSize = 0;
        uint16_t KeySize = 0;
        TFileParam Param;
    };
    static constexpr uint16_t kRemovedBit = 0x8000;  // in RelSize; paths are far shorter
    std::string RelOf(const Item& item) const;
    int CompareKeyOf(const Item& item, const std::string& key) const;
    int CompareItems(const Item& x, const Item& y) const;
    bool ComputeKeys();
    long Locate(const std::string& rel) const;  // position of an equal key, -1 when none
    long Search(const std::string& rel) const;
    static bool IsRemoved(const Item& item) { return (item.RelSize & kRemovedBit) != 0; }
    static void MarkRemoved(Item& item) { item.RelSize |= kRemovedBit; }
    static size_t SizeOf(const Item& item) { return item.RelSize & ~kRemovedBit & 0xFFFF; }
    std::vector<Item> m_items;
    std::string m_text;
    std::string m_keys;
    bool m_useKeys = false;  // every item has its key and the items are sorted by them
    // The last path located and its place (items keep their places once sorted).
    mutable std::string m_lastRel;
    mutable long m_lastAt = -1;
    mutable bool m_lastValid = false;
};

}  // namespace vestrand
