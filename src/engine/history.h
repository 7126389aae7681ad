// The history of a mirror folder: which moments it can show, and what it held at each of them.
// Built once from what the program keeps anyway: the journal's blocks, what each stamped folder under
// ~versions holds, and the mirror as it is now. Platform-free: the caller lists the folders.
//
// "The backup after pass P" is the mirror now with every later pass undone, newest first: what such
// a pass made New is taken out, what it updated or deleted comes back from its stamped folder (with
// everything else that folder holds), a folder it deleted comes back. A stamped folder without a
// block (a pass killed before it saved its journal) is undone by bringing back what it holds. A
// pass can be undone when its block is whole and every file it updated or deleted is held; the
// moments before the newest pass that cannot be undone are not offered.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compare_rule.h" // TFileParam
#include "runtime/datetime.h"

namespace vestrand {

// An entry as a listing gives it: its path relative to the folder listed, time, size, attributes.
struct ListedEntry {
    std::wstring rel;
    TFileParam param;
};

// What one stamped folder holds: its stamp and name, and every file in it (paths relative to it).
struct HeldFolder {
    DateTime stamp = 0;
    std::wstring name;
    std::vector<ListedEntry> files;
};

// Where an entry of a moment is read from.
enum class EntrySource {
    Mirror,     // the mirror folder now
    Held,       // a stamped folder (HistoryEntry::held names it)
    FolderOnly, // a folder that is brought back empty of anything not listed in it
};

struct HistoryEntry {
    std::wstring rel; // relative to the mirror folder
    TFileParam param; // a folder brought back carries only its folder attribute
    EntrySource source = EntrySource::Mirror;
    std::wstring held; // the stamped folder's name for a held entry
    bool IsFolder() const;
};

// A moment the history can show: the state after a pass, labelled with its Stop time.
struct HistoryMoment {
    DateTime stop = 0;
    DateTime start = 0;
    size_t undoFrom = 0; // the first step undone to reach it (see History)
    // The files the pass made, updated and deleted (folders left out).
    int added = 0, changed = 0, deleted = 0;
    bool Changed() const { return added + changed + deleted > 0; }
};

// The mirror folder now, asked for only as far as the history needs it: `list` gives the entries
// directly in a folder (`rel` a bare name; nothing for a folder that is not there or not to be
// followed), `entry` one entry by its path (none when it is not there). Relative to the mirror
// folder, in any letter case; the program's own files are never among them. `list` may be called
// from two threads at once.
struct MirrorAccess {
    std::function<std::vector<ListedEntry>(const std::wstring& folderRel)> list;
    std::function<std::optional<TFileParam>(const std::wstring& rel)> entry;
};

class History {
public:
    // `journal`: the journal's text, its archives first, oldest first. `mirrorFolder`: the mirror
    // folder as the settings give it (TargetDir + IdentifComp + "\"), which New and Update lines
    // begin with. `held`: the stamped folders. `mirrorNow`: every entry of the mirror folder now,
    // the program's own files left out. `upper`: the file system's upper-case table of 65536 units.
    History(const std::string& journal, const std::string& mirrorFolder, std::vector<HeldFolder> held,
            const std::vector<ListedEntry>& mirrorNow, const wchar_t* upper);
    // The same, with the mirror read folder by folder as the history is looked at: the moments come
    // from the journal and the held folders, and ask the mirror only about the paths they name.
    History(const std::string& journal, const std::string& mirrorFolder, std::vector<HeldFolder> held,
            MirrorAccess mirror, const wchar_t* upper);

    // The moments offered, oldest first; "now" (the mirror as it is) is not among them.
    const std::vector<HistoryMoment>& Moments() const { return m_moments; }
    // The newest moment whose Stop lies at or before `when`; none when there is no such moment.
    std::optional<HistoryMoment> MomentAtOrBefore(DateTime when) const;
    // The moment "now": nothing undone.
    HistoryMoment Now() const;

    // What follows may read the mirror (and keeps what it read); safe to call from several threads.

    // The entries directly in the folder `folderRel` ("" for the top) at a moment, folders first, then
    // by name.
    std::vector<HistoryEntry> Folder(const HistoryMoment& at, const std::wstring& folderRel) const;
    // The entry `rel` at a moment; none when it was not there.
    std::optional<HistoryEntry> Entry(const HistoryMoment& at, const std::wstring& rel) const;
    // The entry `rel` and everything below it at a moment, each folder before what it holds.
    std::vector<HistoryEntry> Tree(const HistoryMoment& at, const std::wstring& rel) const;
    // The entries at a moment whose name holds `text` (letter case aside).
    std::vector<HistoryEntry> Find(const HistoryMoment& at, const std::wstring& text) const;

    // The steps the history is made of (blocks and stamped folders without one), oldest first.
    size_t StepCount() const { return m_stepCount; }

private:
    static constexpr uint32_t kNone = 0xFFFFFFFF;
    enum class Change : uint8_t { Absent, Folder, Held }; // in the order one pass's lines give way
    struct StepChange {
        uint32_t step;
        Change change;
        uint32_t held;    // index of the stamped folder
        uint32_t earlier; // the node's change before this one, kNone for its first
        TFileParam param;
    };
    // The tree is kept in a few arrays: a window opening reads 100,000 entries and more, and
    // allocations per node (its name, its key, its children, its changes) took most of that time.
    struct Node {
        uint32_t parent = 0;
        uint32_t nameAt = 0, nameLength = 0; // in m_names
        uint32_t hash = 0;                   // of the parent and the name, letter case folded
        uint32_t firstChild = kNone, nextSibling = kNone;
        uint32_t lastChange = kNone; // in m_changes: the newest, each linked to the one before
        bool nowKnown = false;       // whether hasNow and now are read from the mirror
        bool listed = false;         // whether the mirror's entries in it are among the children
        bool hasNow = false;
        TFileParam now;
    };
    struct State {
        bool present = false;
        EntrySource source = EntrySource::Mirror;
        uint32_t held = 0;
        TFileParam param;
    };

    // Made with its parents when missing; with `respell`, the nodes on the way take the spelling of
    // `rel`.
    uint32_t NodeOf(std::wstring_view rel, bool respell = false) const;
    uint32_t ChildOf(uint32_t parent, std::wstring_view name, bool respell) const;
    // The node of `rel` with every folder above it listed; none when it was never there.
    std::optional<uint32_t> NodeAt(std::wstring_view rel) const;
    std::optional<uint32_t> ChildNamed(uint32_t parent, std::wstring_view name, uint32_t hash) const;
    uint32_t HashOf(uint32_t parent, std::wstring_view name) const;
    void AddToTable(uint32_t node) const;
    // What the mirror holds at the node now, asked for alone when its folder is not listed.
    void KnowNow(uint32_t node) const;
    // Whether the mirror holds a folder at the node now, as far as KnowNow or a listing told.
    bool IsFolderNow(uint32_t node) const;
    // The mirror's entries in the node, once: a folder of the mirror now, or the top.
    void List(uint32_t node) const;
    // The node's listing taken as what the mirror holds in it now.
    void TakeListing(uint32_t node, const std::vector<ListedEntry>& listing) const;
    void ListFoldersOf(const std::vector<uint32_t>& nodes) const;
    std::wstring_view NameOf(uint32_t node) const;
    bool FoldedLess(std::wstring_view a, std::wstring_view b) const;
    std::wstring Fold(std::wstring_view text) const;
    std::wstring RelOf(uint32_t node) const;
    void SetChange(uint32_t node, uint32_t step, Change change, uint32_t held, const TFileParam& param);
    State StateOf(uint32_t node, size_t undoFrom) const;
    HistoryEntry EntryOf(const State& state, std::wstring rel) const;
    bool AnyPresentBelow(uint32_t node, size_t undoFrom) const;
    bool IsFolderNode(uint32_t node) const;
    void AddTree(uint32_t node, const std::wstring& rel, size_t undoFrom,
                 std::vector<HistoryEntry>& out) const;

    const wchar_t* m_upper;
    MirrorAccess m_mirror;
    // The tree grows as the mirror is read, also from the const calls, under m_lock.
    mutable std::mutex m_lock;
    mutable std::vector<Node> m_nodes;     // the top first, each node after its parent
    mutable std::wstring m_names;          // every node's name, one after another
    mutable std::vector<uint32_t> m_table; // nodes by HashOf, open addressing; kNone for a free slot
    std::vector<StepChange> m_changes;
    // The folder of the last path made (NodeOf), kNone for none: the journal names a folder's
    // entries one after another.
    mutable std::wstring m_lastFolder;
    mutable uint32_t m_lastFolderNode = kNone;
    std::vector<std::wstring> m_heldNames;
    std::vector<HistoryMoment> m_moments;
    size_t m_stepCount = 0;
};

} // namespace vestrand
