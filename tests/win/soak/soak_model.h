// The soak's own model of the mirror: what BackupRoot must hold after each pass and which New,
// Update and Delete lines the pass must write, worked out from the source tree and the mapping
// rules alone (a source path is mirrored as BackupRoot + the path without its drive designator;
// an entry is copied when it is new or differs in time stamp, size or attributes; what no source
// produced is deleted, a folder only once it is empty; a source that cannot be searched keeps its
// mirror; a mirror entry of the other kind than its source entry, a file where the source has a
// folder or the reverse, is deleted with its content before the source entry is copied as new; a
// copy onto an entry of the other kind that stays, kept for a source that cannot be reached, fails
// and leaves the mirror as it was).
// It never looks at what the engine reports.
#pragma once
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/backup_settings.h"
#include "soak_support.h"

namespace vestrand::soak {

// The mirror path of a source without its drive and trailing separator ("" for a drive root).
inline std::string KeyOf(const std::string& path) {
    std::string key = MirrorRel(path);
    if (!key.empty() && key.back() == '\\')
        key.pop_back();
    return key;
}
inline bool KeyWithin(const std::string& key, const std::string& outer) {
    return outer.empty() || SameNoCase(key, outer) || IsBelow(key, outer);
}

class MirrorModel {
public:
    using Items = std::map<std::string, MirrorItem, NoCaseLess>;

    // Works out one pass over the sources as they are now: moves the model to the state after the
    // pass and returns the lines the pass writes between its Start line and its Stop line.
    std::vector<std::string> PredictPass(const BackupSettings& settings) {
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
                Take(KeyOf(p.path));
        // The index order: the locale's case-insensitive order of the relative paths.
        for (const auto& entry : m_index)
            DeleteStale(entry.second);
        m_index.clear();
        return m_lines;
    }

    // Every difference between the model and the mirror folder on disk (the journal, the pass's
    // lock, the owner file and the held versions left out); empty when they agree.
    std::vector<std::string> Compare(const std::string& backupRoot) const {
        Items disk;
        WalkTree(backupRoot, [&](const std::wstring& rel, const WIN32_FIND_DATAW& found) {
            MirrorItem e = FromFindData(found);
            e.Rel = NarrowU(rel);
            if (SameNoCase(e.Rel, "~versions") || SameNoCase(e.Rel, "journal.txt") ||
                SameNoCase(e.Rel, "pass.~vestrand.lock") || SameNoCase(e.Rel, "owner.~vestrand"))
                return false;
            if (!e.Folder)
                e.Content = ReadWhole(backupRoot + e.Rel);
            disk[e.Rel] = e;
            return true;
        });
        std::vector<std::string> problems;
        for (const auto& [key, want] : m_items) {
            const auto it = disk.find(key);
            if (it == disk.end()) {
                problems.push_back("missing from the mirror: " + want.Rel + Describe(want));
                continue;
            }
            const MirrorItem& got = it->second;
            const std::string both = want.Rel + Describe(want) + " found" + Describe(got);
            if (got.Folder != want.Folder) {
                problems.push_back("wrong kind: " + both);
                continue;
            }
            if (got.Attr != want.Attr)
                problems.push_back("attributes differ: " + both);
            if (want.Folder)
                continue;
            if (got.Time != want.Time || got.Size != want.Size)
                problems.push_back("time or size differ: " + both);
            if (CompareFileTime(&got.Write, &want.Write) != 0)
                problems.push_back("last-write time differs: " + want.Rel);
            if (got.Content != want.Content)
                problems.push_back("content differs: " + want.Rel + " (" +
                                   std::to_string(got.Content.size()) + " bytes found, " +
                                   std::to_string(want.Content.size()) + " expected)");
        }
        for (const auto& [key, got] : disk)
            if (m_items.find(key) == m_items.end())
                problems.push_back("unexpected in the mirror: " + got.Rel + Describe(got));
        return problems;
    }

    const Items& State() const { return m_items; }

    // Counters of what the predictions contained, over all passes.
    long Copies = 0, Updates = 0, Deletes = 0, KeptUnreachable = 0, KindChanges = 0, Failures = 0,
         Refusals = 0;

private:
    enum class Role { Skip, Mirror, Covered, Refused };
    struct Planned {
        std::string written, path; // as listed; a folder with its trailing separator
        bool folder = false;
        Role role = Role::Skip;
    };

    static std::string Describe(const MirrorItem& m) {
        char buf[96];
        snprintf(buf, sizeof buf, " [%s time %08x size %d attr %#x]", m.Folder ? "folder" : "file",
                 static_cast<unsigned>(m.Time), m.Size, static_cast<unsigned>(m.Attr));
        return buf;
    }

    // Which listed sources the pass mirrors: each entry once, by one source. A source inside
    // another listed folder of its drive, or listed again, adds nothing (a folder takes the turn of
    // the folders inside it wherever they stand); one whose mirror paths meet those of a source of
    // another drive mirrored before it is refused.
    void PlanSources(const BackupSettings& settings) {
        m_plan.clear();
        for (const auto& folder : settings.SourceDirs)
            m_plan.push_back(
                {folder, folder.empty() || folder.back() == '\\' ? folder : folder + "\\", true});
        for (const auto& file : settings.SourceFiles)
            m_plan.push_back({file, file, false});
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
                if (sameDrive && ((q.folder && KeyWithin(key, other)) ||
                                  (!q.folder && !p.folder && SameNoCase(key, other))))
                    p.role = Role::Covered;
                else if (!sameDrive && (KeyWithin(key, other) || KeyWithin(other, key)) &&
                         p.role == Role::Mirror)
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

    bool RefusedAtItsTurn(const Planned& p) {
        if (p.role != Role::Refused)
            return false;
        m_lines.push_back(FailedLine(p.written));
        ++Refusals;
        return true;
    }

    void MirrorFolder(const std::string& root, const std::string& rel) {
        const std::string dir = root + rel;
        std::vector<MirrorItem> entries;
        if (!WalkTree(dir, [&](const std::wstring&, const WIN32_FIND_DATAW& found) {
                entries.push_back(FromFindData(found));
                return false;
            })) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND && IsDir(dir))
                return; // an empty drive root: nothing is kept back
            // Cannot be searched: everything the mirror holds at and below it stays.
            KeptUnreachable += static_cast<long>(Take(KeyOf(dir)).size());
            return;
        }
        for (const auto& e : entries) {
            Follow(dir + e.Rel, e, true);
            if (e.Folder)
                MirrorFolder(root, rel + e.Rel + "\\");
        }
    }

    void FileStage() {
        for (const auto& p : m_plan) {
            if (p.folder || RefusedAtItsTurn(p) || p.role != Role::Mirror)
                continue;
            MirrorItem e;
            if (!FindOne(p.path, e) || e.Folder) {
                if (m_index.erase(MirrorRel(p.path)) > 0)
                    ++KeptUnreachable; // a listed file that is not there keeps its mirror copy
                continue;
            }
            e.Attr = static_cast<int32_t>(GetAttr(p.path));
            Follow(p.path, e, false);
        }
    }

    // One source entry against the index: an entry of the other kind goes first, then the entry is
    // copied as New, or as Update when it changed (for a folder: its attributes; for a file also its
    // time stamp, and its size where `sizeCounts`).
    void Follow(const std::string& src, const MirrorItem& e, bool sizeCounts) {
        const std::string rel = MirrorRel(src);
        auto found = m_index.find(rel);
        if (found != m_index.end() && found->second.Folder != e.Folder) {
            DeleteStaleTree(rel); // the name changed its kind: the old entry goes first
            found = m_index.end();
        }
        const bool isNew = found == m_index.end();
        bool copy = isNew, attributesOnly = false;
        if (!isNew) {
            const MirrorItem& was = found->second;
            copy = was.Attr != e.Attr ||
                   (!e.Folder && (was.Time != e.Time || (sizeCounts && was.Size != e.Size)));
            // A file whose attributes alone changed gets them where it stands: its content stays.
            attributesOnly = copy && !e.Folder && was.Time == e.Time && was.Size == e.Size;
            m_index.erase(found);
        }
        if (!copy || FailedCopy(rel, e.Folder))
            return;
        // Missing parents are made as plain folders.
        for (size_t at = rel.find('\\'); at != std::string::npos; at = rel.find('\\', at + 1))
            m_items.try_emplace(rel.substr(0, at),
                                MirrorItem{rel.substr(0, at), true, 0, 0, FILE_ATTRIBUTE_DIRECTORY});
        MirrorItem& m = m_items[rel];
        if (m.Rel.empty())
            m.Rel = rel; // an entry overwritten keeps its name as the mirror has it
        m.Folder = e.Folder;
        m.Attr = e.Attr;
        if (!e.Folder && !attributesOnly) {
            m.Time = e.Time;
            m.Size = e.Size;
            m.Write = e.Write;
            m.Content = ReadWhole(src);
        }
        m_lines.push_back(isNew ? NewLine(m_root + rel) : UpdateLine(m_root + rel));
        ++(isNew ? Copies : Updates);
    }

    void DeleteStale(const MirrorItem& was) {
        const auto it = m_items.find(was.Rel);
        if (it == m_items.end())
            return;
        const auto below = [&](const auto& item) { return IsBelow(item.first, was.Rel); };
        if (it->second.Folder && std::any_of(m_items.begin(), m_items.end(), below)) {
            it->second.Attr = FILE_ATTRIBUTE_DIRECTORY; // its attributes were cleared for the attempt
            return;
        }
        m_items.erase(it);
        m_lines.push_back(DeleteLine(was.Rel));
        ++Deletes;
    }

    // What the index still holds at and below `key`, taken out of it in the index order (in which
    // a folder comes before its content).
    std::vector<MirrorItem> Take(const std::string& key) {
        std::vector<MirrorItem> out;
        for (auto it = m_index.begin(); it != m_index.end();)
            if (KeyWithin(it->first, key)) {
                out.push_back(it->second);
                it = m_index.erase(it);
            } else {
                ++it;
            }
        return out;
    }

    void DeleteStaleTree(const std::string& rel) {
        const std::vector<MirrorItem> stale = Take(rel); // deleted innermost first
        for (auto it = stale.rbegin(); it != stale.rend(); ++it)
            DeleteStale(*it);
        ++KindChanges;
    }

    // True, with its Failed line, when a copy to `rel` cannot succeed: the mirror still holds an
    // entry of the other kind there (kept for a source that cannot be reached, or a folder that
    // could not be emptied), or a file above it. The mirror then stays as it was.
    bool FailedCopy(const std::string& rel, bool folder) {
        const auto it = m_items.find(rel);
        bool blocked = it != m_items.end() && it->second.Folder != folder;
        for (size_t at = rel.find('\\'); !blocked && at != std::string::npos; at = rel.find('\\', at + 1)) {
            const auto parent = m_items.find(rel.substr(0, at));
            blocked = parent != m_items.end() && !parent->second.Folder;
        }
        if (blocked) {
            m_lines.push_back(FailedLine(m_root + rel));
            ++Failures;
        }
        return blocked;
    }

    Items m_items;
    Items m_index; // during a prediction: what the pass's index still holds
    std::string m_root;
    std::vector<std::string> m_lines;
    std::vector<Planned> m_plan;
};

} // namespace vestrand::soak
