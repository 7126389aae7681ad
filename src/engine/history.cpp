#include "engine/history.h"

#include <algorithm>
#include <memory>
#include <thread>
#include <unordered_map>

#include "engine/held_versions.h"
#include "engine/journal.h"
#include "runtime/cp1251.h"

namespace vestrand {
namespace {

// One step of the history: a pass's block, its stamped folder, or both.
struct Step {
    const JournalBlock* block = nullptr;
    std::optional<uint32_t> held;
};

std::wstring Folded(std::wstring_view text, const wchar_t* upper) {
    std::wstring out(text);
    for (auto& c : out)
        c = upper[static_cast<uint16_t>(c)];
    return out;
}

// A whole listing of the mirror, asked for as the mirror would be: its entries by their folder,
// letter case folded.
MirrorAccess ListedMirror(const std::vector<ListedEntry>& mirrorNow, const wchar_t* upper) {
    struct Listed {
        std::unordered_map<std::wstring, std::vector<ListedEntry>> byFolder;
        std::unordered_map<std::wstring, TFileParam> byPath;
    };
    auto listed = std::make_shared<Listed>();
    for (const auto& e : mirrorNow) {
        const size_t slash = e.rel.rfind(L'\\');
        const size_t nameAt = slash == std::wstring::npos ? 0 : slash + 1;
        listed->byFolder[Folded(std::wstring_view(e.rel).substr(0, nameAt == 0 ? 0 : slash), upper)]
            .push_back({e.rel.substr(nameAt), e.param});
        listed->byPath[Folded(e.rel, upper)] = e.param;
    }
    MirrorAccess mirror;
    mirror.list = [listed, upper](const std::wstring& folder) {
        const auto found = listed->byFolder.find(Folded(folder, upper));
        return found == listed->byFolder.end() ? std::vector<ListedEntry>() : found->second;
    };
    mirror.entry = [listed, upper](const std::wstring& rel) -> std::optional<TFileParam> {
        const auto found = listed->byPath.find(Folded(rel, upper));
        return found == listed->byPath.end() ? std::nullopt : std::optional<TFileParam>(found->second);
    };
    return mirror;
}

} // namespace

bool HistoryEntry::IsFolder() const {
    return (param.Attr & kFolderAttr) != 0;
}

History::History(const std::string& journal, const std::string& mirrorFolder, std::vector<HeldFolder> held,
                 const std::vector<ListedEntry>& mirrorNow, const wchar_t* upper)
    : History(journal, mirrorFolder, std::move(held), ListedMirror(mirrorNow, upper), upper) {}

History::History(const std::string& journal, const std::string& mirrorFolder, std::vector<HeldFolder> held,
                 MirrorAccess mirror, const wchar_t* upper)
    : m_upper(upper), m_mirror(std::move(mirror)) {
    m_nodes.emplace_back();
    m_nodes[0].nowKnown = true;
    m_nodes[0].hasNow = true;
    m_nodes[0].now = TFileParam{0, 0, kFolderAttr};
    m_table.assign(size_t{1} << 10, kNone);

    // Blocks and stamped folders paired by their moment; a stamped folder of no block goes where its
    // stamp puts it among the blocks.
    const std::vector<JournalBlock> blocks = ReadJournalBlocks(journal);
    std::sort(held.begin(), held.end(),
              [](const HeldFolder& a, const HeldFolder& b) { return a.stamp < b.stamp; });
    std::vector<bool> paired(held.size(), false);
    std::vector<std::optional<uint32_t>> heldOfBlock(blocks.size());
    for (size_t b = 0; b < blocks.size(); ++b)
        for (size_t h = 0; h < held.size() && blocks[b].start != 0; ++h)
            if (!paired[h] && SameStamp(held[h].stamp, blocks[b].start)) {
                paired[h] = true;
                heldOfBlock[b] = static_cast<uint32_t>(h);
                break;
            }
    std::vector<Step> steps;
    size_t nextHeld = 0;
    const auto unpairedBefore = [&](DateTime limit, bool all) {
        for (; nextHeld < held.size() && (all || held[nextHeld].stamp < limit); ++nextHeld)
            if (!paired[nextHeld])
                steps.push_back({nullptr, static_cast<uint32_t>(nextHeld)});
    };
    for (size_t b = 0; b < blocks.size(); ++b) {
        if (blocks[b].start != 0)
            unpairedBefore(blocks[b].start, false);
        steps.push_back({&blocks[b], heldOfBlock[b]});
    }
    unpairedBefore(0, true);
    m_stepCount = steps.size();
    for (auto& h : held)
        m_heldNames.push_back(h.name);

    const std::wstring root = WidenCp1251(mirrorFolder);
    const auto inRoot = [&](const std::wstring& path) {
        return path.size() > root.size() &&
               std::equal(root.begin(), root.end(), path.begin(), [this](wchar_t a, wchar_t b) {
                   return m_upper[static_cast<uint16_t>(a)] == m_upper[static_cast<uint16_t>(b)];
               });
    };
    std::vector<bool> undoable(steps.size(), true);
    struct Unheld {
        uint32_t step, node;
    };
    std::vector<Unheld> unheldDeletes;      // decided once every path is known
    std::vector<Unheld> made, deletedNodes; // counted once every path is known
    std::vector<int> updated(steps.size(), 0);
    for (uint32_t s = 0; s < steps.size(); ++s) {
        const Step& step = steps[s];
        if (step.held)
            for (const auto& f : held[*step.held].files)
                SetChange(NodeOf(f.rel), s, Change::Held, *step.held, f.param);
        if (!step.block)
            continue;
        if (step.block->start == 0)
            undoable[s] = false;
        for (const auto& line : step.block->entries) {
            if (line.tag == JournalTag::Failed)
                continue;
            const std::wstring path = PathOfJournalText(line.text);
            if (line.tag == JournalTag::New || line.tag == JournalTag::Update) {
                // The history ends at a line of another mirror folder (TargetDir or IdentifComp changed).
                if (!inRoot(path)) {
                    undoable[s] = false;
                    continue;
                }
                const uint32_t node = NodeOf(std::wstring_view(path).substr(root.size()));
                const uint32_t last = m_nodes[node].lastChange;
                const bool heldHere =
                    last != kNone && m_changes[last].step == s && m_changes[last].change == Change::Held;
                if (line.tag == JournalTag::New) {
                    SetChange(node, s, Change::Absent, 0, {});
                    made.push_back({s, node});
                } else {
                    ++updated[s];
                    if (!heldHere)
                        undoable[s] = false; // the copy it replaced is gone
                }
            } else if (line.tag == JournalTag::Delete && !path.empty()) {
                const uint32_t node = NodeOf(path);
                deletedNodes.push_back({s, node});
                const uint32_t last = m_nodes[node].lastChange;
                if (last == kNone || m_changes[last].step != s || m_changes[last].change != Change::Held)
                    unheldDeletes.push_back({s, node});
            }
        }
    }
    // A deletion of something not held is a folder's when versions were on for the pass (its stamped
    // folder is there: a file it could not hold got a Failed line) or when anything ever lay below the
    // path, in the journal, a stamped folder or the mirror now; otherwise it may have been a file
    // deleted with versions off, which cannot come back.
    for (const auto& d : unheldDeletes) {
        if (!steps[d.step].held && m_nodes[d.node].firstChild == kNone)
            List(d.node);
        if (steps[d.step].held || m_nodes[d.node].firstChild != kNone)
            SetChange(d.node, d.step, Change::Folder, 0, TFileParam{0, 0, kFolderAttr});
        else
            undoable[d.step] = false;
    }

    size_t firstOffered = 0; // the newest step that cannot be undone: nothing before it is offered
    for (size_t s = 0; s < steps.size(); ++s)
        if (!undoable[s])
            firstOffered = s;
    std::vector<int> added(steps.size(), 0), deleted(steps.size(), 0);
    std::vector<uint32_t> counted;
    for (const auto& m : made)
        counted.push_back(m.node);
    for (const auto& d : deletedNodes)
        counted.push_back(d.node);
    ListFoldersOf(counted);
    for (const auto& m : made)
        added[m.step] += IsFolderNode(m.node) ? 0 : 1;
    for (const auto& d : deletedNodes)
        deleted[d.step] += IsFolderNode(d.node) ? 0 : 1;
    for (size_t s = firstOffered; s < steps.size(); ++s)
        if (steps[s].block && steps[s].block->start != 0)
            m_moments.push_back({steps[s].block->end != 0 ? steps[s].block->end : steps[s].block->start,
                                 steps[s].block->start, s + 1, added[s], updated[s], deleted[s]});
}

std::optional<HistoryMoment> History::MomentAtOrBefore(DateTime when) const {
    std::optional<HistoryMoment> found;
    for (const auto& m : m_moments)
        if (m.stop <= when + kSecond / 2)
            found = m;
    return found;
}

HistoryMoment History::Now() const {
    return {0, 0, m_stepCount};
}

// A folder now, a folder some pass deleted, or one that ever held anything.
bool History::IsFolderNode(uint32_t node) const {
    if (m_nodes[node].firstChild != kNone)
        return true;
    for (uint32_t c = m_nodes[node].lastChange; c != kNone; c = m_changes[c].earlier)
        if (m_changes[c].change == Change::Folder)
            return true;
    // What the mirror holds there now decides. Its folder is listed rather than the entry asked
    // for alone: the moments' counts ask this of every entry a pass made, and one listing answers
    // for all the entries of a folder (a history's first pass made every entry of the mirror).
    if (!m_nodes[node].nowKnown)
        List(m_nodes[node].parent);
    KnowNow(node);
    return IsFolderNow(node);
}

// Lists ahead the folders whose listings IsFolderNode will ask for about `nodes`. Many of them are
// listed on two threads: under Wine a listing costs a file-status call for every entry, and two
// threads list a tree faster than one.
void History::ListFoldersOf(const std::vector<uint32_t>& nodes) const {
    constexpr size_t kFoldersWorthAThread = 64;
    std::vector<uint32_t> folders;
    std::vector<bool> seen(m_nodes.size(), false);
    for (const uint32_t node : nodes) {
        const uint32_t parent = m_nodes[node].parent;
        if (node == 0 || m_nodes[node].nowKnown || m_nodes[node].firstChild != kNone || seen[parent] ||
            m_nodes[parent].listed)
            continue;
        seen[parent] = true;
        KnowNow(parent);
        if (IsFolderNow(parent))
            folders.push_back(parent);
    }
    if (folders.size() < kFoldersWorthAThread)
        return; // IsFolderNode lists them one by one
    std::vector<std::wstring> rels;
    for (const uint32_t folder : folders)
        rels.push_back(RelOf(folder));
    std::vector<std::vector<ListedEntry>> listings(folders.size());
    const auto listEvery = [&](size_t first) {
        for (size_t i = first; i < rels.size(); i += 2)
            listings[i] = m_mirror.list(rels[i]);
    };
    std::thread other(listEvery, 1);
    listEvery(0);
    other.join();
    for (size_t i = 0; i < folders.size(); ++i)
        TakeListing(folders[i], listings[i]);
}

bool History::IsFolderNow(uint32_t node) const {
    return m_nodes[node].hasNow && (m_nodes[node].now.Attr & kFolderAttr);
}

void History::KnowNow(uint32_t node) const {
    if (m_nodes[node].nowKnown)
        return;
    const std::optional<TFileParam> now = m_mirror.entry(RelOf(node));
    Node& n = m_nodes[node];
    n.nowKnown = true;
    n.hasNow = now.has_value();
    n.now = now.value_or(TFileParam{});
}

void History::List(uint32_t node) const {
    if (m_nodes[node].listed)
        return;
    KnowNow(node);
    if (IsFolderNow(node))
        TakeListing(node, m_mirror.list(RelOf(node)));
    else
        TakeListing(node, {});
}

void History::TakeListing(uint32_t node, const std::vector<ListedEntry>& listing) const {
    m_nodes[node].listed = true;
    // What it holds now is what the listing gives, whatever was asked of single entries before.
    for (uint32_t child = m_nodes[node].firstChild; child != kNone; child = m_nodes[child].nextSibling) {
        m_nodes[child].nowKnown = true;
        m_nodes[child].hasNow = false;
    }
    for (const auto& e : listing) {
        // The mirror's own spelling names what it holds.
        Node& n = m_nodes[ChildOf(node, e.rel, true)];
        n.nowKnown = true;
        n.hasNow = true;
        n.now = e.param;
    }
}

std::wstring History::Fold(std::wstring_view text) const {
    return Folded(text, m_upper);
}

bool History::FoldedLess(std::wstring_view a, std::wstring_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [this](wchar_t x, wchar_t y) {
        return m_upper[static_cast<uint16_t>(x)] < m_upper[static_cast<uint16_t>(y)];
    });
}

std::wstring_view History::NameOf(uint32_t node) const {
    return std::wstring_view(m_names).substr(m_nodes[node].nameAt, m_nodes[node].nameLength);
}

uint32_t History::HashOf(uint32_t parent, std::wstring_view name) const {
    uint32_t h = 2166136261u ^ (parent * 0x9E3779B1u);
    for (const wchar_t c : name)
        h = (h ^ m_upper[static_cast<uint16_t>(c)]) * 16777619u;
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    return h ^ (h >> 13);
}

std::optional<uint32_t> History::ChildNamed(uint32_t parent, std::wstring_view name, uint32_t hash) const {
    const size_t mask = m_table.size() - 1;
    for (size_t slot = hash & mask; m_table[slot] != kNone; slot = (slot + 1) & mask) {
        const uint32_t candidate = m_table[slot];
        const Node& n = m_nodes[candidate];
        if (n.hash == hash && n.parent == parent && n.nameLength == name.size() &&
            std::equal(name.begin(), name.end(), m_names.begin() + n.nameAt, [this](wchar_t a, wchar_t b) {
                return m_upper[static_cast<uint16_t>(a)] == m_upper[static_cast<uint16_t>(b)];
            }))
            return candidate;
    }
    return std::nullopt;
}

void History::AddToTable(uint32_t node) const {
    const auto place = [this](uint32_t n) {
        const size_t mask = m_table.size() - 1;
        size_t slot = m_nodes[n].hash & mask;
        while (m_table[slot] != kNone)
            slot = (slot + 1) & mask;
        m_table[slot] = n;
    };
    if (m_nodes.size() * 2 > m_table.size()) { // at most half full, so that a search ends soon
        m_table.assign(m_table.size() * 2, kNone);
        for (uint32_t n = 1; n < node; ++n)
            place(n);
    }
    place(node);
}

uint32_t History::ChildOf(uint32_t parent, std::wstring_view name, bool respell) const {
    const uint32_t hash = HashOf(parent, name);
    if (const auto child = ChildNamed(parent, name, hash)) {
        if (respell) // the same length: the names are the same but for letter case
            std::copy(name.begin(), name.end(), m_names.begin() + m_nodes[*child].nameAt);
        return *child;
    }
    const auto made = static_cast<uint32_t>(m_nodes.size());
    Node n;
    n.parent = parent;
    n.nameAt = static_cast<uint32_t>(m_names.size());
    n.nameLength = static_cast<uint32_t>(name.size());
    n.hash = hash;
    n.nextSibling = m_nodes[parent].firstChild;
    // Below a folder listed, or one that is not in the mirror, nothing else is there now.
    const Node& above = m_nodes[parent];
    n.nowKnown = above.listed || (above.nowKnown && !IsFolderNow(parent));
    m_names.append(name);
    m_nodes[parent].firstChild = made;
    m_nodes.push_back(n);
    AddToTable(made);
    return made;
}

uint32_t History::NodeOf(std::wstring_view rel, bool respell) const {
    uint32_t node = 0;
    size_t at = 0;
    const size_t slash = rel.rfind(L'\\');
    if (slash != std::wstring_view::npos && m_lastFolderNode != kNone &&
        rel.substr(0, slash) == m_lastFolder) {
        node = m_lastFolderNode;
        at = slash + 1;
    }
    while (at < rel.size()) {
        size_t end = rel.find(L'\\', at);
        if (end == std::wstring_view::npos)
            end = rel.size();
        if (end > at)
            node = ChildOf(node, rel.substr(at, end - at), respell);
        if (end == slash) {
            m_lastFolder.assign(rel.substr(0, slash));
            m_lastFolderNode = node;
        }
        at = end + 1;
    }
    return node;
}

std::optional<uint32_t> History::NodeAt(std::wstring_view rel) const {
    uint32_t node = 0;
    for (size_t at = 0; at < rel.size();) {
        size_t end = rel.find(L'\\', at);
        if (end == std::wstring_view::npos)
            end = rel.size();
        if (end > at) {
            List(node);
            const std::wstring_view name = rel.substr(at, end - at);
            const auto child = ChildNamed(node, name, HashOf(node, name));
            if (!child)
                return std::nullopt;
            node = *child;
        }
        at = end + 1;
    }
    return node;
}

std::wstring History::RelOf(uint32_t node) const {
    std::vector<uint32_t> chain;
    for (; node != 0; node = m_nodes[node].parent)
        chain.push_back(node);
    std::wstring rel;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!rel.empty())
            rel += L'\\';
        rel += NameOf(*it);
    }
    return rel;
}

void History::SetChange(uint32_t node, uint32_t step, Change change, uint32_t held, const TFileParam& param) {
    Node& n = m_nodes[node];
    if (n.lastChange != kNone && m_changes[n.lastChange].step == step) {
        // Within one pass what it held wins over a folder it deleted, which wins over what it made.
        StepChange& last = m_changes[n.lastChange];
        if (static_cast<int>(change) > static_cast<int>(last.change)) {
            last.change = change;
            last.held = held;
            last.param = param;
        }
        return;
    }
    m_changes.push_back({step, change, held, n.lastChange, param});
    n.lastChange = static_cast<uint32_t>(m_changes.size() - 1);
}

History::State History::StateOf(uint32_t node, size_t undoFrom) const {
    KnowNow(node);
    const Node& n = m_nodes[node]; // not used past AnyPresentBelow, which may add nodes
    State state;
    // The oldest change of a step undone, if any: what the node was before it.
    uint32_t first = kNone;
    for (uint32_t c = n.lastChange; c != kNone && m_changes[c].step >= undoFrom; c = m_changes[c].earlier)
        first = c;
    if (first != kNone) {
        const StepChange& c = m_changes[first];
        if (c.change == Change::Held) {
            state.present = true;
            state.param = c.param;
            state.source = EntrySource::Held;
            state.held = c.held;
        } else if (c.change == Change::Folder) {
            state.present = true;
            state.param = c.param;
            state.source = EntrySource::FolderOnly;
        }
    } else if (n.hasNow) {
        state.present = true;
        state.param = n.now;
    }
    if (!state.present && AnyPresentBelow(node, undoFrom)) {
        state.present = true; // a folder that holds what comes back
        state.param = TFileParam{0, 0, kFolderAttr};
        state.source = EntrySource::FolderOnly;
    }
    return state;
}

HistoryEntry History::EntryOf(const State& state, std::wstring rel) const {
    HistoryEntry e;
    e.rel = std::move(rel);
    e.param = state.param;
    e.source = state.source;
    if (state.source == EntrySource::Held)
        e.held = m_heldNames[state.held];
    return e;
}

bool History::AnyPresentBelow(uint32_t node, size_t undoFrom) const {
    List(node);
    for (uint32_t child = m_nodes[node].firstChild; child != kNone; child = m_nodes[child].nextSibling)
        if (StateOf(child, undoFrom).present)
            return true;
    return false;
}

std::vector<HistoryEntry> History::Folder(const HistoryMoment& at, const std::wstring& folderRel) const {
    const std::lock_guard<std::mutex> lock(m_lock);
    std::vector<HistoryEntry> out;
    const auto node = NodeAt(folderRel);
    if (!node)
        return out;
    List(*node);
    const std::wstring base = RelOf(*node);
    for (uint32_t child = m_nodes[*node].firstChild; child != kNone; child = m_nodes[child].nextSibling) {
        const State s = StateOf(child, at.undoFrom);
        if (s.present)
            out.push_back(EntryOf(s, base.empty() ? std::wstring(NameOf(child))
                                                  : base + L'\\' + std::wstring(NameOf(child))));
    }
    std::sort(out.begin(), out.end(), [this](const HistoryEntry& a, const HistoryEntry& b) {
        if (a.IsFolder() != b.IsFolder())
            return a.IsFolder();
        return FoldedLess(a.rel, b.rel);
    });
    return out;
}

std::optional<HistoryEntry> History::Entry(const HistoryMoment& at, const std::wstring& rel) const {
    const std::lock_guard<std::mutex> lock(m_lock);
    const auto node = NodeAt(rel);
    if (!node)
        return std::nullopt;
    const State s = StateOf(*node, at.undoFrom);
    if (!s.present)
        return std::nullopt;
    return EntryOf(s, RelOf(*node));
}

void History::AddTree(uint32_t node, const std::wstring& rel, size_t undoFrom,
                      std::vector<HistoryEntry>& out) const {
    const State s = StateOf(node, undoFrom);
    if (!s.present)
        return;
    out.push_back(EntryOf(s, rel));
    if (!(s.param.Attr & kFolderAttr))
        return;
    List(node);
    std::vector<uint32_t> children;
    for (uint32_t child = m_nodes[node].firstChild; child != kNone; child = m_nodes[child].nextSibling)
        children.push_back(child);
    std::sort(children.begin(), children.end(),
              [this](uint32_t a, uint32_t b) { return FoldedLess(NameOf(a), NameOf(b)); });
    std::wstring childRel = rel;
    if (!childRel.empty())
        childRel += L'\\';
    const size_t base = childRel.size();
    for (const uint32_t child : children) {
        childRel.resize(base);
        childRel += NameOf(child);
        AddTree(child, childRel, undoFrom, out);
    }
}

std::vector<HistoryEntry> History::Tree(const HistoryMoment& at, const std::wstring& rel) const {
    const std::lock_guard<std::mutex> lock(m_lock);
    std::vector<HistoryEntry> out;
    if (const auto node = NodeAt(rel))
        AddTree(*node, RelOf(*node), at.undoFrom, out);
    return out;
}

std::vector<HistoryEntry> History::Find(const HistoryMoment& at, const std::wstring& text) const {
    const std::lock_guard<std::mutex> lock(m_lock);
    // Every name is looked at: the whole mirror is read first (a node comes after its parent).
    for (uint32_t node = 0; node < m_nodes.size(); ++node)
        List(node);
    std::vector<HistoryEntry> out;
    const std::wstring wanted = Fold(text);
    for (uint32_t node = 1; node < m_nodes.size(); ++node) {
        const std::wstring_view name = NameOf(node);
        if (std::search(name.begin(), name.end(), wanted.begin(), wanted.end(), [this](wchar_t a, wchar_t b) {
                return m_upper[static_cast<uint16_t>(a)] == b;
            }) == name.end())
            continue;
        const State s = StateOf(node, at.undoFrom);
        if (s.present)
            out.push_back(EntryOf(s, RelOf(node)));
    }
    std::sort(out.begin(), out.end(),
              [this](const HistoryEntry& a, const HistoryEntry& b) { return FoldedLess(a.rel, b.rel); });
    return out;
}

} // namespace vestrand
