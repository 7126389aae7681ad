// The soak's own model of the mirror: what BackupRoot must hold after each pass, worked out from
// the listed sources as they are now and the mirror as the last pass left it, by these rules alone:
//  1. Which sources are mirrored. Empty entries are skipped. A listed folder or file inside another
//     listed folder of its drive, or naming the same path as one listed before it, adds nothing.
//     Of the others, taken folders first and each in list order, one whose mirror paths meet
//     (lie at, above or below) those of an earlier one of another drive is refused: a Failed line
//     with its path as listed.
//  2. What they hold. A mirrored folder gives every entry below it, at BackupRoot + its path
//     without the drive, with its attributes, time stamp, size and bytes; a mirrored file gives
//     itself. A folder that cannot be searched (a medium not there), and a listed file that is
//     not there, give nothing and keep what the mirror holds at (and below) their mirror path.
//  3. The mirror after the pass holds each source entry: an entry that the mirror held of the
//     same kind stays as it was when its time stamp, size and attributes are the same (for a
//     folder: its attributes), takes the source's attributes alone when only they changed (a
//     file keeps its bytes), and is the source's copy otherwise. An entry of the other kind is
//     replaced, a folder with all it holds. A copy onto an entry of the other kind that stays,
//     or below a file that stays, fails with a Failed line (BackupRoot + path) and changes
//     nothing. Folders above the source entries that the mirror lacks are made as plain folders.
//  4. What no source produced: what is kept for an unreachable source stays as it is, and so does
//     what lies in the mirror paths of a refused source (it may be that source's). The rest is
//     stale and goes, a file at once and a folder only when it held nothing at the start of the
//     pass and nothing is copied into it; a stale folder that stays is left a plain folder (its
//     attributes cleared for the attempt).
// The pass's lines are then the difference between the mirror before and after, as sets (see
// PredictPass). It never looks at what the engine reports and calls nothing of the engine.
#pragma once
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
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

    // Works out one pass over the sources as they are now: moves the model to the mirror after the
    // pass and returns the lines the pass writes between its Start line and its Stop line, in no
    // particular order:
    //  - "Failed " + the source as listed for each refused source, and + BackupRoot + path for
    //    each copy that fails;
    //  - "New    " + BackupRoot + path for each source entry the mirror holds after the pass and
    //    did not hold before, or held as the other kind;
    //  - "Update " + BackupRoot + path for each source entry the mirror held before and after as
    //    the same kind, whose attributes (and for a file its time stamp or size) differ;
    //  - "Delete " + path for each entry the mirror held before and does not hold after, or holds
    //    as the other kind.
    // Folders made only to hold the source entries, and stale folders that stay, get no line.
    std::vector<std::string> PredictPass(const BackupSettings& settings) {
        const std::string root = settings.TargetDir + settings.IdentifComp + "\\";
        std::vector<std::string> lines;
        Reading now;
        for (const Source& s : Sources(settings))
            if (s.role == Role::Refused) {
                lines.push_back(FailedLine(s.written));
                now.refused.push_back(s.key);
                ++Refusals;
            } else if (s.role == Role::Mirrored && s.folder) {
                ReadFolder(WithSeparator(s.path), s.key, now);
            } else if (s.role == Role::Mirrored) {
                ReadFile(s.path, s.key, now);
            }

        const Items before = m_items;
        Items after;
        // Rule 2: what an unreachable source keeps stays as it is.
        for (const auto& [key, was] : before)
            if (Kept(key, now)) {
                after[key] = was;
                ++KeptUnreachable;
            }
        // Rule 3, folders before what they hold.
        std::vector<std::string> replaced; // mirror entries that another kind replaces
        std::set<std::string, NoCaseLess> failed;
        for (const MirrorItem* e : ParentsFirst(now.produced)) {
            const std::string& key = e->Rel;
            const auto was = before.find(key);
            if (Blocked(key, e->Folder, after)) {
                lines.push_back(FailedLine(root + key));
                failed.insert(key);
                if (was != before.end())
                    after.insert(*was);
                ++Failures;
                continue;
            }
            if (was == before.end() || was->second.Folder != e->Folder) {
                if (was != before.end())
                    replaced.push_back(key);
                after[key] = *e;
            } else if (Same(was->second, *e)) {
                after[key] = was->second;
            } else if (e->Folder || (was->second.Time == e->Time && was->second.Size == e->Size)) {
                after[key] = was->second; // the attributes alone are set where the entry stands
                after[key].Attr = e->Attr;
            } else {
                after[key] = *e;
                after[key].Rel = was->second.Rel; // overwritten, it keeps its name as the mirror has it
            }
        }
        // Rule 4.
        std::set<std::string, NoCaseLess> holding; // folders that something lies in, before or after
        for (const Items* items : {&before, static_cast<const Items*>(&after)})
            for (const auto& entry : *items)
                for (size_t at = entry.first.find('\\'); at != std::string::npos;
                     at = entry.first.find('\\', at + 1))
                    holding.insert(entry.first.substr(0, at));
        for (const auto& [key, was] : before) {
            if (after.count(key) || now.produced.count(key))
                continue;
            const auto inReplaced = [&](const std::string& r) { return IsBelow(key, r); };
            if (std::any_of(replaced.begin(), replaced.end(), inReplaced))
                continue; // went with the entry of the other kind
            if (Within(key, now.refused))
                after[key] = was;
            else if (was.Folder && holding.count(key))
                after[key] = MirrorItem{was.Rel, true, 0, 0, FILE_ATTRIBUTE_DIRECTORY};
        }
        for (const auto& entry : now.produced)
            if (after.count(entry.first))
                for (size_t at = entry.first.find('\\'); at != std::string::npos;
                     at = entry.first.find('\\', at + 1))
                    after.try_emplace(entry.first.substr(0, at), MirrorItem{entry.first.substr(0, at), true,
                                                                            0, 0, FILE_ATTRIBUTE_DIRECTORY});

        // The lines: the difference between the mirror before and after.
        for (const auto& produced : now.produced) {
            const std::string& key = produced.first;
            if (failed.count(key))
                continue;
            const auto was = before.find(key);
            const auto is = after.find(key);
            if (was == before.end() || was->second.Folder != is->second.Folder) {
                lines.push_back(NewLine(root + key));
                ++Copies;
            } else if (!Same(was->second, is->second)) {
                lines.push_back(UpdateLine(root + key));
                ++Updates;
            }
        }
        for (const auto& [key, was] : before) {
            const auto is = after.find(key);
            if (is != after.end() && is->second.Folder == was.Folder)
                continue;
            lines.push_back(DeleteLine(was.Rel));
            ++Deletes;
            KindChanges += is != after.end();
        }
        m_items = std::move(after);
        return lines;
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
    enum class Role { Skipped, Mirrored, Covered, Refused };
    struct Source {
        std::string written, path, key; // as listed, as a path, its mirror path
        bool folder = false;
        Role role = Role::Skipped;
    };
    // What the mirrored sources hold now, and where they keep the mirror as it is.
    struct Reading {
        Items produced;                     // source entries by mirror path, Rel = that path
        std::vector<std::string> keptTrees; // unreachable folders' mirror paths
        std::vector<std::string> keptFiles; // missing listed files' mirror paths
        std::vector<std::string> refused;   // refused sources' mirror paths
    };

    static std::string Describe(const MirrorItem& m) {
        char buf[96];
        snprintf(buf, sizeof buf, " [%s time %08x size %d attr %#x]", m.Folder ? "folder" : "file",
                 static_cast<unsigned>(m.Time), m.Size, static_cast<unsigned>(m.Attr));
        return buf;
    }
    static std::string WithSeparator(const std::string& folder) {
        return folder.back() == '\\' ? folder : folder + "\\";
    }
    static bool SameDrive(const Source& a, const Source& b) {
        return SameNoCase(a.path.substr(0, 2), b.path.substr(0, 2));
    }
    static bool Within(const std::string& key, const std::vector<std::string>& outers) {
        return std::any_of(outers.begin(), outers.end(), [&](const auto& o) { return KeyWithin(key, o); });
    }
    static bool Kept(const std::string& key, const Reading& now) {
        return Within(key, now.keptTrees) || std::any_of(now.keptFiles.begin(), now.keptFiles.end(),
                                                         [&](const auto& f) { return SameNoCase(key, f); });
    }
    // Unchanged by the mirror's rule: a folder by its attributes, a file also by time stamp and size.
    static bool Same(const MirrorItem& a, const MirrorItem& b) {
        return a.Folder == b.Folder && a.Attr == b.Attr &&
               (a.Folder || (a.Time == b.Time && a.Size == b.Size));
    }
    static std::vector<const MirrorItem*> ParentsFirst(const Items& items) {
        std::vector<const MirrorItem*> out;
        for (const auto& entry : items)
            out.push_back(&entry.second);
        std::stable_sort(out.begin(), out.end(), [](const MirrorItem* a, const MirrorItem* b) {
            return std::count(a->Rel.begin(), a->Rel.end(), '\\') <
                   std::count(b->Rel.begin(), b->Rel.end(), '\\');
        });
        return out;
    }
    // A copy to `key` that cannot be made: what stays there is of the other kind, or a file above.
    static bool Blocked(const std::string& key, bool folder, const Items& after) {
        const auto it = after.find(key);
        if (it != after.end() && it->second.Folder != folder)
            return true;
        for (size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
            const auto parent = after.find(key.substr(0, at));
            if (parent != after.end() && !parent->second.Folder)
                return true;
        }
        return false;
    }

    // Rule 1.
    static std::vector<Source> Sources(const BackupSettings& settings) {
        std::vector<Source> out;
        for (const auto& folder : settings.SourceDirs)
            out.push_back({folder, folder, KeyOf(folder), true});
        for (const auto& file : settings.SourceFiles)
            out.push_back({file, file, KeyOf(file), false});
        for (auto& s : out)
            s.role = s.path.size() < 3 ? Role::Skipped : Role::Mirrored;
        for (size_t i = 0; i < out.size(); ++i)
            for (size_t j = 0; j < out.size() && out[i].role == Role::Mirrored; ++j) {
                const Source &p = out[i], &q = out[j];
                const bool inside = q.folder && (q.key.empty() ? !p.key.empty() : IsBelow(p.key, q.key));
                const bool again = j < i && SameNoCase(p.key, q.key);
                if (j != i && q.role != Role::Skipped && SameDrive(p, q) && (inside || again))
                    out[i].role = Role::Covered;
            }
        for (size_t i = 0; i < out.size(); ++i)
            for (size_t j = 0; j < i && out[i].role == Role::Mirrored; ++j)
                if (out[j].role == Role::Mirrored && !SameDrive(out[i], out[j]) &&
                    (KeyWithin(out[i].key, out[j].key) || KeyWithin(out[j].key, out[i].key)))
                    out[i].role = Role::Refused;
        return out;
    }

    // Rule 2: every entry below `dir` (ending in "\") whose mirror path is `key`.
    static void ReadFolder(const std::string& dir, const std::string& key, Reading& now) {
        std::vector<MirrorItem> entries;
        if (!WalkTree(dir, [&](const std::wstring&, const WIN32_FIND_DATAW& found) {
                entries.push_back(FromFindData(found));
                return false;
            })) {
            if (!(GetLastError() == ERROR_FILE_NOT_FOUND && IsDir(dir))) // an empty drive root holds nothing
                now.keptTrees.push_back(key);
            return;
        }
        for (MirrorItem& e : entries) {
            const std::string path = dir + e.Rel;
            e.Rel = key.empty() ? e.Rel : key + "\\" + e.Rel;
            if (!e.Folder)
                e.Content = ReadWhole(path);
            now.produced[e.Rel] = e;
            if (e.Folder)
                ReadFolder(path + "\\", e.Rel, now);
        }
    }
    static void ReadFile(const std::string& path, const std::string& key, Reading& now) {
        MirrorItem e;
        if (!FindOne(path, e) || e.Folder) {
            now.keptFiles.push_back(key);
            return;
        }
        e.Rel = key;
        e.Attr = static_cast<int32_t>(GetAttr(path));
        e.Content = ReadWhole(path);
        now.produced[key] = e;
    }

    Items m_items;
};

} // namespace vestrand::soak
