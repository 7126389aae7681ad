// What the mirror held at the start of a pass: every entry below the mirror folder with the time,
// size and attributes found there, found again by its path as the file system matches names, and
// handed out in the locale's order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/compare_rule.h"

namespace vestrand {

// A UTF-16 unit in upper case as the file system ignores case (the mapping of CompareStringOrdinal
// with bIgnoreCase): two names are one name exactly when their units map to the same units.
wchar_t FileSystemUpper(wchar_t unit);
// The same mapping as a table of all 65,536 units.
const wchar_t* FileSystemUpperTable();
// `text` with every unit so mapped: equal forms name the same entry.
std::wstring FileSystemKey(const std::wstring& text);
bool SameFileName(const std::wstring& a, const std::wstring& b);

// -1, 0 or 1: the order of the index. CompareStringW with the user's default locale, ignoring case;
// where it finds two paths equal, their file-system keys compared unit by unit, so that the order is
// total and agrees with the file system's equality.
int CompareIndexOrder(const std::wstring& a, const std::wstring& b);

class BackupIndex {
public:
    // An entry of the index; the mirror folder itself is kTop.
    using Node = uint32_t;
    static constexpr Node kTop = 0;
    static constexpr Node kNone = UINT32_MAX;

    BackupIndex();

    // Building: the walk adds each entry found in the mirror folder `folder` (kTop or a node Add
    // returned) and gets the node of a folder to add its content under. An entry added again
    // (a name equal as the file system compares names) keeps its node and takes the later
    // parameters.
    Node Add(Node folder, const std::wstring& name, const TFileParam& param);
    // The same by relative path ("a\b\c"); folders on the way that were not added are made, but
    // are not entries themselves.
    void Add(const std::wstring& rel, const TFileParam& param);

    // The parameters of a path still in the index, or nullptr.
    const TFileParam* Find(const std::wstring& rel) const;
    // The entry of a path still in the index, or kNone; its parameters, also once taken out.
    Node FindNode(const std::wstring& rel) const;
    const TFileParam& Param(Node node) const { return m_items[node].Param; }
    // The node of a path, or of the entry `name` in the folder `folder`, whether still in the index
    // or taken out; kNone when the index never held it. Comparing goes down the tree with these,
    // instead of looking up every entry by its whole path.
    Node NodeOf(const std::wstring& rel) const { return Locate(rel); }
    Node ChildOf(Node folder, const std::wstring& name) const {
        return folder == kNone ? kNone : Child(folder, name.data(), name.size());
    }
    bool Holds(Node node) const { return node != kNone && (m_items[node].Flags & kLive); }
    void Remove(Node node) { Kill(node); }
    // Takes a path out of the index (no effect when absent).
    void Remove(const std::wstring& rel);
    // Takes out `folder` and everything below it (an empty folder means everything) except the
    // paths `kept` and what lies below them; returns how many entries it took out.
    size_t RemoveTree(const std::wstring& folder, const std::vector<std::wstring>& kept = {});
    // Takes out `path` and everything below it, as RemoveTree does, and returns what it took out,
    // in index order (a folder before everything inside it).
    std::vector<std::pair<std::wstring, TFileParam>> TakeTree(const std::wstring& path);
    // Calls onItem for every path still in the index, folder by folder: a folder's entries in index
    // order, each folder before its content.
    void ForEach(const std::function<void(const std::wstring&, const TFileParam&)>& onItem) const;
    size_t Count() const { return m_live; }
    // The paths still in the index at or below `folder` (an empty folder: all of them); with
    // `filesOnly`, those that are not folders.
    size_t CountTree(const std::wstring& folder, bool filesOnly = false) const;

private:
    // The entries form the tree of the mirror: each holds its own name only, which keeps a large
    // index small (the paths are put together only for what the deletion stage hands out).
    struct Item {
        Node Parent = kNone;
        Node FirstChild = kNone;
        Node NextSibling = kNone;
        uint32_t NameAt = 0; // in m_names
        uint16_t NameSize = 0;
        uint16_t Flags = 0;
        TFileParam Param;
    };
    static constexpr uint16_t kLive = 1; // an entry found and not taken out yet

    Node Child(Node folder, const wchar_t* name, size_t size) const;
    Node Locate(const std::wstring& rel) const;
    Node Insert(Node folder, const std::wstring& name);
    size_t HashOf(Node folder, const wchar_t* name, size_t size) const;
    void Grow();
    std::wstring PathOf(Node node) const;
    void Kill(Node node);
    void CollectTree(Node node, std::vector<Node>& out) const;
    std::vector<std::pair<std::wstring, TFileParam>> InOrder(const std::vector<Node>& nodes) const;
    // The entries of a folder that are `wanted`, in index order.
    std::vector<Node> ChildrenInOrder(Node folder, const std::vector<bool>& wanted) const;

    std::vector<Item> m_items;
    std::wstring m_names;
    std::vector<Node> m_slots; // open addressing by (folder, file-system key of the name)
    size_t m_live = 0;
};

} // namespace vestrand
