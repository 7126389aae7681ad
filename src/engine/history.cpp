#include "engine/history.h"

#include <algorithm>

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

} // namespace

bool HistoryEntry::IsFolder() const {
    return (param.Attr & kFolderAttr) != 0;
}

History::History(const std::string& journal, const std::string& mirrorFolder, std::vector<HeldFolder> held,
                 const std::vector<ListedEntry>& mirrorNow, const wchar_t* upper)
    : m_upper(upper) {
    m_nodes.emplace_back();
    m_nodes[0].now = TFileParam{0, 0, kFolderAttr};
    for (const auto& e : mirrorNow)
        m_nodes[NodeOf(e.rel)].now = e.param;

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

    const std::wstring root = Fold(WidenCp1251(mirrorFolder));
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
            const std::wstring path = PathOfJournalText(line.text);
            if (line.tag == JournalTag::New || line.tag == JournalTag::Update) {
                // The history ends at a line of another mirror folder (TargetDir or IdentifComp changed).
                if (path.size() <= root.size() || Fold(path.substr(0, root.size())) != root) {
                    undoable[s] = false;
                    continue;
                }
                const uint32_t node = NodeOf(path.substr(root.size()));
                const auto& changes = m_nodes[node].changes;
                const bool heldHere =
                    !changes.empty() && changes.back().step == s && changes.back().change == Change::Held;
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
                const auto& changes = m_nodes[node].changes;
                if (changes.empty() || changes.back().step != s || changes.back().change != Change::Held)
                    unheldDeletes.push_back({s, node});
            }
        }
    }
    // A deletion of something not held is a folder's when versions were on for the pass (its stamped
    // folder is there: a file it could not hold got a Failed line) or when anything ever lay below the
    // path; otherwise it may have been a file deleted with versions off, which cannot come back.
    for (const auto& d : unheldDeletes) {
        if (steps[d.step].held || !m_nodes[d.node].children.empty())
            SetChange(d.node, d.step, Change::Folder, 0, TFileParam{0, 0, kFolderAttr});
        else
            undoable[d.step] = false;
    }

    size_t firstOffered = 0; // the newest step that cannot be undone: nothing before it is offered
    for (size_t s = 0; s < steps.size(); ++s)
        if (!undoable[s])
            firstOffered = s;
    std::vector<int> added(steps.size(), 0), deleted(steps.size(), 0);
    for (const auto& m : made)
        added[m.step] += IsFolderNode(m.node) ? 0 : 1;
    for (const auto& d : deletedNodes)
        deleted[d.step] += IsFolderNode(d.node) ? 0 : 1;
    for (size_t s = firstOffered; s < steps.size(); ++s)
        if (steps[s].block && steps[s].block->start != 0)
            m_moments.push_back({steps[s].block->end != 0 ? steps[s].block->end : steps[s].block->start,
                                 steps[s].block->start, s + 1, added[s], updated[s], deleted[s]});
}

// A folder now, a folder some pass deleted, or one that ever held anything.
bool History::IsFolderNode(uint32_t node) const {
    const Node& n = m_nodes[node];
    if (!n.children.empty() || (n.now && (n.now->Attr & kFolderAttr)))
        return true;
    return std::any_of(n.changes.begin(), n.changes.end(),
                       [](const StepChange& c) { return c.change == Change::Folder; });
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

std::wstring History::Fold(const std::wstring& text) const {
    std::wstring out(text);
    for (auto& c : out)
        c = m_upper[static_cast<uint16_t>(c)];
    return out;
}

namespace {
std::wstring KeyOf(const std::wstring& folded, uint32_t parent) {
    std::wstring key = folded;
    key += L'\0';
    key += static_cast<wchar_t>(parent & 0xFFFF);
    key += static_cast<wchar_t>(parent >> 16);
    return key;
}
} // namespace

uint32_t History::NodeOf(const std::wstring& rel) {
    uint32_t node = 0;
    for (size_t at = 0; at < rel.size();) {
        size_t end = rel.find(L'\\', at);
        if (end == std::wstring::npos)
            end = rel.size();
        if (end > at) {
            const std::wstring name = rel.substr(at, end - at);
            const auto [it, added] = m_byKey.try_emplace(KeyOf(Fold(name), node), 0);
            if (added) {
                it->second = static_cast<uint32_t>(m_nodes.size());
                m_nodes.emplace_back();
                m_nodes.back().parent = node;
                m_nodes.back().name = name;
                m_nodes[node].children.push_back(it->second);
            }
            node = it->second;
        }
        at = end + 1;
    }
    return node;
}

std::optional<uint32_t> History::NodeAt(const std::wstring& rel) const {
    uint32_t node = 0;
    for (size_t at = 0; at < rel.size();) {
        size_t end = rel.find(L'\\', at);
        if (end == std::wstring::npos)
            end = rel.size();
        if (end > at) {
            const auto it = m_byKey.find(KeyOf(Fold(rel.substr(at, end - at)), node));
            if (it == m_byKey.end())
                return std::nullopt;
            node = it->second;
        }
        at = end + 1;
    }
    return node;
}

std::wstring History::RelOf(uint32_t node) const {
    std::wstring rel;
    for (; node != 0; node = m_nodes[node].parent)
        rel = rel.empty() ? m_nodes[node].name : m_nodes[node].name + L"\\" + rel;
    return rel;
}

void History::SetChange(uint32_t node, uint32_t step, Change change, uint32_t held, const TFileParam& param) {
    auto& changes = m_nodes[node].changes;
    if (!changes.empty() && changes.back().step == step) {
        // Within one pass what it held wins over a folder it deleted, which wins over what it made.
        if (static_cast<int>(change) > static_cast<int>(changes.back().change))
            changes.back() = {step, change, held, param};
        return;
    }
    changes.push_back({step, change, held, param});
}

History::State History::StateOf(uint32_t node, size_t undoFrom) const {
    const Node& n = m_nodes[node];
    State state;
    state.entry.rel = RelOf(node);
    const auto it = std::lower_bound(n.changes.begin(), n.changes.end(), undoFrom,
                                     [](const StepChange& c, size_t step) { return c.step < step; });
    if (it != n.changes.end()) {
        if (it->change == Change::Held) {
            state.present = true;
            state.entry.param = it->param;
            state.entry.source = EntrySource::Held;
            state.entry.held = m_heldNames[it->held];
        } else if (it->change == Change::Folder) {
            state.present = true;
            state.entry.param = it->param;
            state.entry.source = EntrySource::FolderOnly;
        }
    } else if (n.now) {
        state.present = true;
        state.entry.param = *n.now;
    }
    if (!state.present && AnyPresentBelow(node, undoFrom)) {
        state.present = true; // a folder that holds what comes back
        state.entry.param = TFileParam{0, 0, kFolderAttr};
        state.entry.source = EntrySource::FolderOnly;
    }
    return state;
}

bool History::AnyPresentBelow(uint32_t node, size_t undoFrom) const {
    for (const uint32_t child : m_nodes[node].children)
        if (StateOf(child, undoFrom).present)
            return true;
    return false;
}

std::vector<HistoryEntry> History::Folder(const HistoryMoment& at, const std::wstring& folderRel) const {
    std::vector<HistoryEntry> out;
    const auto node = NodeAt(folderRel);
    if (!node)
        return out;
    for (const uint32_t child : m_nodes[*node].children) {
        State s = StateOf(child, at.undoFrom);
        if (s.present)
            out.push_back(std::move(s.entry));
    }
    std::sort(out.begin(), out.end(), [this](const HistoryEntry& a, const HistoryEntry& b) {
        if (a.IsFolder() != b.IsFolder())
            return a.IsFolder();
        return Fold(a.rel) < Fold(b.rel);
    });
    return out;
}

std::optional<HistoryEntry> History::Entry(const HistoryMoment& at, const std::wstring& rel) const {
    const auto node = NodeAt(rel);
    if (!node)
        return std::nullopt;
    State s = StateOf(*node, at.undoFrom);
    if (!s.present)
        return std::nullopt;
    return std::move(s.entry);
}

void History::AddTree(uint32_t node, size_t undoFrom, std::vector<HistoryEntry>& out) const {
    State s = StateOf(node, undoFrom);
    if (!s.present)
        return;
    const bool folder = s.entry.IsFolder();
    out.push_back(std::move(s.entry));
    if (!folder)
        return;
    std::vector<uint32_t> children = m_nodes[node].children;
    std::sort(children.begin(), children.end(),
              [this](uint32_t a, uint32_t b) { return Fold(m_nodes[a].name) < Fold(m_nodes[b].name); });
    for (const uint32_t child : children)
        AddTree(child, undoFrom, out);
}

std::vector<HistoryEntry> History::Tree(const HistoryMoment& at, const std::wstring& rel) const {
    std::vector<HistoryEntry> out;
    if (const auto node = NodeAt(rel))
        AddTree(*node, at.undoFrom, out);
    return out;
}

std::vector<HistoryEntry> History::Find(const HistoryMoment& at, const std::wstring& text) const {
    std::vector<HistoryEntry> out;
    const std::wstring wanted = Fold(text);
    for (uint32_t node = 1; node < m_nodes.size(); ++node) {
        if (Fold(m_nodes[node].name).find(wanted) == std::wstring::npos)
            continue;
        State s = StateOf(node, at.undoFrom);
        if (s.present)
            out.push_back(std::move(s.entry));
    }
    std::sort(out.begin(), out.end(),
              [this](const HistoryEntry& a, const HistoryEntry& b) { return Fold(a.rel) < Fold(b.rel); });
    return out;
}

} // namespace vestrand
