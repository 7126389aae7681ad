#include "soak_model.h"

#include <cstdio>
#include <iterator>

namespace vestrand::soak {

namespace {

std::string Normalized(const std::string& folder) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == ':')
        return folder;
    return folder + "\\";
}

std::string Describe(const MirrorItem& m) {
    char buf[96];
    snprintf(buf, sizeof buf, " [%s time %08x size %d attr %#x]", m.Folder ? "folder" : "file",
             static_cast<unsigned>(m.Time), m.Size, static_cast<unsigned>(m.Attr));
    return buf;
}

// The mirror folder as it is, without the journal, the pass's lock and the held versions.
MirrorModel::Items OnDisk(const std::string& root) {
    MirrorModel::Items out;
    for (const auto& [key, e] : SnapshotTree(root)) {
        const std::string rel = e.folder ? key.substr(0, key.size() - 1) : key;
        const std::string top = rel.substr(0, rel.find('\\'));
        if (SameNoCase(top, "~versions") ||
            (top == rel && (SameNoCase(rel, "journal.txt") || SameNoCase(rel, "pass.~vestrand.lock"))))
            continue;
        const FILETIME write{static_cast<DWORD>(e.writeTime), static_cast<DWORD>(e.writeTime >> 32)};
        out[rel] = {rel,
                    e.folder,
                    PackedLocal(write),
                    static_cast<int32_t>(e.content.size()),
                    static_cast<int32_t>(e.attributes),
                    write,
                    e.content};
    }
    return out;
}

} // namespace

bool MirrorModel::KindAt(const std::string& rel, bool& found) const {
    const auto it = m_items.find(rel);
    found = it != m_items.end();
    return found && it->second.Folder;
}

// The mirror path of a source without its drive and trailing separator ("" for a drive root).
std::string KeyOf(const std::string& path) {
    std::string key = MirrorRel(path);
    if (!key.empty() && key.back() == '\\')
        key.pop_back();
    return key;
}

bool KeyWithin(const std::string& key, const std::string& outer) {
    return outer.empty() || SameNoCase(key, outer) || IsBelow(key, outer);
}

// Which listed sources the pass mirrors: each entry once, by one source. A source inside another
// listed folder of its drive, or listed again, adds nothing (a folder takes the turn of the folders
// inside it wherever they stand); one whose mirror paths meet those of a source of another drive
// mirrored before it is refused.
void MirrorModel::PlanSources(const BackupSettings& settings) {
    m_plan.clear();
    for (const auto& folder : settings.SourceDirs)
        m_plan.push_back({folder, Normalized(folder), true, Role::Skip});
    for (const auto& file : settings.SourceFiles)
        m_plan.push_back({file, file, false, Role::Skip});
    for (size_t i = 0; i < m_plan.size(); ++i) {
        Planned& p = m_plan[i];
        if (p.path.size() < 3)
            continue;
        const std::string key = KeyOf(p.path);
        p.role = Role::Mirror;
        for (size_t j = 0; j < i; ++j) {
            const Planned& q = m_plan[j];
            if (q.role != Role::Mirror)
                continue;
            const std::string other = KeyOf(q.path);
            const bool sameDrive = SameNoCase(p.path.substr(0, 1), q.path.substr(0, 1));
            if (sameDrive &&
                ((q.folder && KeyWithin(key, other)) || (!q.folder && !p.folder && SameNoCase(key, other))))
                p.role = Role::Covered;
            else if (!sameDrive && (KeyWithin(key, other) || KeyWithin(other, key)) && p.role == Role::Mirror)
                p.role = Role::Refused;
        }
        if (p.role == Role::Mirror && p.folder)
            for (size_t j = 0; j < i; ++j)
                if (m_plan[j].role == Role::Mirror && m_plan[j].folder &&
                    SameNoCase(p.path.substr(0, 1), m_plan[j].path.substr(0, 1)) &&
                    KeyWithin(KeyOf(m_plan[j].path), key))
                    m_plan[j].role = Role::Covered;
    }
}

bool MirrorModel::RefusedAtItsTurn(const Planned& p) {
    if (p.role != Role::Refused)
        return false;
    m_lines.push_back(FailedLine(p.written));
    ++Refusals;
    return true;
}

std::vector<std::string> MirrorModel::PredictPass(const BackupSettings& settings) {
    m_root = settings.TargetDir + settings.IdentifComp + "\\";
    m_lines.clear();
    m_index = m_items;
    PlanSources(settings);
    for (const auto& p : m_plan)
        if (p.folder && !RefusedAtItsTurn(p) && p.role == Role::Mirror)
            MirrorFolder(p.path, "");
    FileStage();
    // A refused source keeps what no other source produced in its mirror paths.
    for (const auto& p : m_plan)
        if (p.role == Role::Refused)
            for (auto it = m_index.begin(); it != m_index.end();)
                it = KeyWithin(it->first, KeyOf(p.path)) ? m_index.erase(it) : std::next(it);
    DeletionStage();
    return m_lines;
}

void MirrorModel::MirrorFolder(const std::string& root, const std::string& rel) {
    const std::string dir = root + rel;
    std::vector<Listed> entries;
    DWORD error = 0;
    if (!ListFolder(dir, entries, &error)) {
        if (error == ERROR_FILE_NOT_FOUND && IsDir(dir))
            return; // an empty drive root: nothing is kept back
        // Cannot be searched: everything the mirror holds at and below it stays.
        const std::string kept = dir.size() > 3 ? dir.substr(3, dir.size() - 4) : std::string();
        for (auto it = m_index.begin(); it != m_index.end();) {
            if (kept.empty() || SameNoCase(it->first, kept) || IsBelow(it->first, kept)) {
                ++KeptUnreachable;
                it = m_index.erase(it);
            } else {
                ++it;
            }
        }
        return;
    }
    for (const auto& e : entries) {
        Follow(dir + e.Name, e, true);
        if (e.Folder)
            MirrorFolder(root, rel + e.Name + "\\");
    }
}

void MirrorModel::FileStage() {
    for (const auto& p : m_plan) {
        if (p.folder || RefusedAtItsTurn(p) || p.role != Role::Mirror)
            continue;
        const std::string& src = p.path;
        const std::string rel = MirrorRel(src);
        Listed e;
        if (!FindOne(src, e) || e.Folder) {
            if (!rel.empty() && m_index.erase(rel) > 0)
                ++KeptUnreachable; // a listed file that is not there keeps its mirror copy
            continue;
        }
        e.Attr = static_cast<int32_t>(GetAttr(src));
        Follow(src, e, false);
    }
}

void MirrorModel::Follow(const std::string& src, const Listed& e, bool sizeCounts) {
    const std::string rel = MirrorRel(src);
    auto found = m_index.find(rel);
    if (found != m_index.end() && found->second.Folder != e.Folder) {
        DeleteStaleTree(rel); // the name changed its kind: the old entry goes first
        found = m_index.end();
    }
    const bool isNew = found == m_index.end();
    bool copy = isNew;
    if (!isNew) {
        const MirrorItem& was = found->second;
        copy =
            was.Attr != e.Attr || (!e.Folder && (was.Time != e.Time || (sizeCounts && was.Size != e.Size)));
        m_index.erase(found);
    }
    if (!copy || FailedCopy(rel, e.Folder))
        return;
    EnsureParents(rel);
    MirrorItem& m = m_items[rel];
    if (m.Rel.empty())
        m.Rel = rel; // an entry overwritten keeps its name as the mirror has it
    m.Folder = e.Folder;
    m.Attr = e.Attr;
    if (!e.Folder) {
        m.Time = e.Time;
        m.Size = e.Size;
        m.Write = e.Write;
        m.Content = ReadWhole(src);
    }
    m_lines.push_back(isNew ? NewLine(m_root + rel) : UpdateLine(m_root + rel));
    ++(isNew ? Copies : Updates);
}

void MirrorModel::DeletionStage() {
    // The index order: the locale's case-insensitive order of the relative paths.
    for (const auto& entry : m_index)
        DeleteStale(entry.second);
    m_index.clear();
}

void MirrorModel::DeleteStale(const MirrorItem& was) {
    const auto it = m_items.find(was.Rel);
    if (it == m_items.end())
        return;
    if (it->second.Folder && HasChildren(was.Rel)) {
        it->second.Attr = FILE_ATTRIBUTE_DIRECTORY; // its attributes were cleared for the attempt
        return;
    }
    m_items.erase(it);
    m_lines.push_back(DeleteLine(was.Rel));
    ++Deletes;
}

void MirrorModel::DeleteStaleTree(const std::string& rel) {
    // What the index still holds at and below rel, innermost first (the reverse of the index
    // order, in which a folder comes before its content).
    std::vector<MirrorItem> stale;
    for (auto it = m_index.begin(); it != m_index.end();) {
        if (SameNoCase(it->first, rel) || IsBelow(it->first, rel)) {
            stale.push_back(it->second);
            it = m_index.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = stale.rbegin(); it != stale.rend(); ++it)
        DeleteStale(*it);
    KindChanges += 1;
}

bool MirrorModel::FailedCopy(const std::string& mirrorRel, bool folder) {
    // The mirror cannot take the entry where it still holds one of the other kind (kept for a
    // source that cannot be reached, or a folder that could not be emptied), nor below a file.
    const auto it = m_items.find(mirrorRel);
    bool blocked = it != m_items.end() && it->second.Folder != folder;
    for (size_t at = mirrorRel.find('\\'); !blocked && at != std::string::npos;
         at = mirrorRel.find('\\', at + 1)) {
        const auto parent = m_items.find(mirrorRel.substr(0, at));
        blocked = parent != m_items.end() && !parent->second.Folder;
    }
    if (blocked) {
        m_lines.push_back(FailedLine(m_root + mirrorRel)); // and the mirror stays as it was
        ++Failures;
    }
    return blocked;
}

bool MirrorModel::HasChildren(const std::string& rel) const {
    for (const auto& [key, item] : m_items)
        if (IsBelow(key, rel))
            return true;
    return false;
}

void MirrorModel::EnsureParents(const std::string& mirrorRel) {
    for (size_t at = mirrorRel.find('\\'); at != std::string::npos; at = mirrorRel.find('\\', at + 1)) {
        const std::string parent = mirrorRel.substr(0, at);
        if (m_items.find(parent) == m_items.end()) {
            MirrorItem m;
            m.Rel = parent;
            m.Folder = true;
            m.Attr = FILE_ATTRIBUTE_DIRECTORY;
            m_items[parent] = m;
        }
    }
}

std::vector<std::string> MirrorModel::Compare(const std::string& backupRoot) const {
    const Items disk = OnDisk(backupRoot);
    std::vector<std::string> problems;
    for (const auto& [key, want] : m_items) {
        const auto it = disk.find(key);
        if (it == disk.end()) {
            problems.push_back("missing from the mirror: " + want.Rel + Describe(want));
            continue;
        }
        const MirrorItem& got = it->second;
        if (got.Folder != want.Folder) {
            problems.push_back("wrong kind: " + want.Rel + Describe(want) + " found" + Describe(got));
            continue;
        }
        if (got.Attr != want.Attr)
            problems.push_back("attributes differ: " + want.Rel + Describe(want) + " found" + Describe(got));
        if (want.Folder)
            continue;
        if (got.Time != want.Time || got.Size != want.Size)
            problems.push_back("time or size differ: " + want.Rel + Describe(want) + " found" +
                               Describe(got));
        if (CompareFileTime(&got.Write, &want.Write) != 0)
            problems.push_back("last-write time differs: " + want.Rel);
        if (got.Content != want.Content)
            problems.push_back("content differs: " + want.Rel + " (" + std::to_string(got.Content.size()) +
                               " bytes found, " + std::to_string(want.Content.size()) + " expected)");
    }
    for (const auto& [key, got] : disk)
        if (m_items.find(key) == m_items.end())
            problems.push_back("unexpected in the mirror: " + got.Rel + Describe(got));
    return problems;
}

} // namespace vestrand::soak
