// The soak's source side: several source folders and single files on two drives, overlapping as
// the settings allow, and a seeded generator that changes them between passes.
#pragma once
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/backup_settings.h"
#include "soak_model.h"
#include "soak_support.h"

namespace vestrand::soak {

class SourceWorld {
public:
    explicit SourceWorld(uint64_t seed) : m_rng(seed) {
        m_roots = {
            {"S:\\soak\\Альфа\\", "S:\\soak\\Альфа\\"},
            {"S:\\soak\\beta dir\\", "S:\\soak\\beta dir"}, // listed without its separator
            {"U:\\soak\\Альфа\\", "U:\\soak\\Альфа\\"},     // the same mirror paths as the first
            {"S:\\soak\\Альфа\\Вложенная\\", "s:\\SOAK\\альфа\\Вложенная"}, // inside the first
            // A drive root: it overlaps every source of the other drives, so it is refused while
            // listed and keeps what no other source produced; listed now and then, so that the
            // passes without it delete what is stale.
            {"V:\\", "V:\\"},
            {kDeepRoot, kDeepRoot},
        };
        for (auto& r : m_roots)
            r.AwayPath = WithoutSeparator(r.Home) + ".away";
        // A drive root goes away with its drive: the folder behind the letter (seen through Z: under
        // Wine) is moved aside; elsewhere it cannot go away.
        char prefix[1024] = {};
        const DWORD n = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
        std::string v = n > 0 && n < sizeof prefix ? prefix : "";
        std::replace(v.begin(), v.end(), '/', '\\');
        v = v.empty() ? v : "Z:" + v.substr(0, v.find_last_of('\\')) + "\\drives\\v";
        m_vFolder = !v.empty() && IsDir(v) ? v : std::string();
        m_roots[4].InSettings = false;
        m_roots[4].AwayPath = m_vFolder.empty() ? std::string() : m_vFolder + "-soak-away";
        if (!m_vFolder.empty() && IsDir(m_roots[4].AwayPath))
            MoveEntry(m_roots[4].AwayPath, m_vFolder); // left over from an interrupted run
        m_files = {
            {"S:\\single\\Отчёт за год.txt"},    {"S:\\single\\data-1.bin"}, {"S:\\single\\пропадающий.txt"},
            {"S:\\soak\\beta dir\\в папке.txt"}, // also inside a listed folder
            {"s:\\SINGLE\\ОТЧЁТ ЗА ГОД.TXT"},    // the first file once more, in other letter case
        };
    }
    ~SourceWorld() { // brings back a drive that was taken away
        if (m_roots[4].Away)
            MoveEntry(m_roots[4].AwayPath, m_vFolder);
    }
    SourceWorld(const SourceWorld&) = delete;
    SourceWorld& operator=(const SourceWorld&) = delete;

    // Clears the drives' soak folders and builds the first trees.
    void Build() {
        RemoveAll("S:\\soak");
        RemoveAll("U:\\soak");
        RemoveAll("S:\\single");
        for (const auto& name : NamesIn("V:\\")) {
            SetAttr("V:\\" + name, FILE_ATTRIBUTE_NORMAL);
            if (!DeleteEntry("V:\\" + name))
                RemoveAll("V:\\" + name);
        }
        MakeDir("S:\\soak");
        MakeDir("U:\\soak");
        MakeDir("S:\\single");
        const int files[] = {10, 7, 5, 0, 4, 4}, folders[] = {4, 3, 2, 0, 2, 2};
        for (size_t at = kDeepRoot.find('\\', 8); at != std::string::npos; at = kDeepRoot.find('\\', at + 1))
            MakeDir(kDeepRoot.substr(0, at));
        for (int t : kPhysical) {
            if (t != 4)
                MakeDir(WithoutSeparator(m_roots[t].Home));
            const Pick root{m_roots[t].Home, KeyOf(m_roots[t].Home), 0};
            for (int i = 0; i < files[t]; ++i)
                CreateFile(root);
            for (int i = 0; i < folders[t]; ++i)
                CreateFolder(root);
        }
        MakeDir(WithoutSeparator(m_roots[3].Home));
        for (int i = 0; i < 3; ++i)
            CreateFile({m_roots[3].Home, KeyOf(m_roots[3].Home), 1});
        for (int i = 0; i < 4; ++i)
            WriteWhole(m_files[i].Path, Content());
        Applied.clear();
    }

    // Applies `count` random changes; `model` is the mirror as the last pass left it.
    void Mutate(const MirrorModel& model, int count) {
        RestoreNested();
        long entries = 0;
        for (int t : kPhysical) {
            const Tree tree = Scan(t);
            entries += static_cast<long>(tree.folders.size() + tree.files.size());
        }
        for (int done = 0, tries = 0; done < count && tries < count * 8; ++tries) {
            const uint32_t w = m_rng.Below(100);
            const Tree tree = Scan(w < 35 ? 0 : w < 60 ? 1 : w < 78 ? 2 : w < 90 ? 5 : 4);
            const std::vector<Pick>&folders = tree.folders, &files = tree.files;
            const std::vector<Pick> inner(folders.begin() + 1, folders.end()); // not the tree's root
            const uint32_t op = m_rng.Below(100);
            bool ok = false;
            const bool grow = entries < 60 || (entries < 180 && op < 40);
            if (op < 22 || (grow && op < 40)) {
                ok = m_rng.Chance(80) ? CreateFile(m_rng.Pick(folders)) : CreateFolder(m_rng.Pick(folders));
            } else if (op < 66 && !files.empty()) {
                static const int kinds[] = {0, 0, 0, 1, 2, 2, 3, 4, 4, 5, 5, 5};
                const int how = kinds[m_rng.Below(12)];
                ok = (how == 5 || how == 0) && m_rng.Chance(30) ? Rename(m_rng.Pick(files), false, folders)
                                                                : ModifyFile(m_rng.Pick(files), how);
            } else if (op < 70) {
                ok = ReplaceByOtherKind(model, files, inner);
            } else if (op < 88 && !inner.empty()) {
                const Pick& f = m_rng.Pick(inner);
                const uint32_t how = m_rng.Below(10);
                if (how < 3) {
                    ok = RemoveAll(f.Path) && Count("folder deleted with its content");
                } else if (how < 6) {
                    ok = Rename(f, true, folders);
                } else {
                    ok = SetAttr(WithoutSeparator(f.Path), static_cast<DWORD>(RandomFolderAttr())) &&
                         Count("folder attributes set");
                }
            } else if (op < 92) {
                ok = ToggleAway();
            } else if (op < 94) {
                ok = ToggleSettings();
            } else {
                ok = SingleFileChange();
            }
            done += ok ? 1 : 0;
        }
    }

    BackupSettings Settings(const std::string& targetDir, const std::string& identifComp) const {
        BackupSettings s;
        s.TargetDir = targetDir;
        s.IdentifComp = identifComp;
        s.LowDriveSpaceMb = 5;
        s.KeepVersionsDays = 0; // the model holds nothing unless a soak asks for versions
        for (size_t i = 0; i < m_roots.size(); ++i) {
            if (m_roots[i].InSettings)
                s.SourceDirs.push_back(m_roots[i].Listed);
            if (i == 1)
                s.SourceDirs.push_back(""); // an empty entry is skipped
        }
        for (size_t i = 0; i < m_files.size(); ++i) {
            if (m_files[i].InSettings)
                s.SourceFiles.push_back(m_files[i].Path);
            if (i == 2)
                s.SourceFiles.push_back("");
        }
        return s;
    }

    // Every entry of every source tree (path, time, size, attributes), to prove a pass left the
    // sources alone.
    TreeSnapshot Snapshot() const {
        TreeSnapshot out;
        for (const std::string& root :
             {Where(0), Where(1), Where(2), Where(4), Where(5), std::string("S:\\single\\")})
            for (const auto& [rel, entry] : SnapshotTree(root))
                out[root + rel] = entry;
        return out;
    }

    std::map<std::string, long> Applied; // changes applied, by kind
    long Total() const {
        long n = 0;
        for (const auto& [what, count] : Applied)
            n += count;
        return n;
    }

private:
    static constexpr int kMaxDepth = 4;
    static constexpr int kPhysical[] = {0, 1, 2, 4, 5}; // the source roots that are trees of their own
    // A source folder whose own path is longer than 260 characters, so that its mirror paths pass 300.
    inline static const std::string kDeepRoot = "S:\\soak\\" + std::string(60, 'L') + "\\" +
                                                std::string(60, 'M') + "\\" + std::string(60, 'N') + "\\" +
                                                std::string(60, 'O') + "\\Глубже\\";

    struct SourceRoot {
        std::string Home;       // where the folder lives, ending in "\"
        std::string Listed;     // how the settings name it
        bool Away = false;      // moved aside, as a medium that is not there
        std::string AwayPath{}; // where it lies while away (empty: it cannot go away)
        bool InSettings = true;
    };
    struct SourceFile {
        std::string Path;
        bool InSettings = true;
    };
    struct Pick {
        std::string Path; // physical path
        std::string Rel;  // mirror path it maps to
        int Depth = 0;    // levels below the tree's root
    };
    struct Tree {
        std::vector<Pick> folders, files;
    };

    static std::string WithoutSeparator(const std::string& folder) {
        return folder.substr(0, folder.size() - 1);
    }
    // A mirror path one level down; the top of a drive-root source is the empty path.
    static std::string Join(const std::string& rel, const std::string& name) {
        return rel.empty() ? name : rel + "\\" + name;
    }
    static std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }
    static std::string ParentOf(const std::string& path) {
        return path.substr(0, path.find_last_of('\\') + 1);
    }
    // Upper case, lower case or alternating, as the platform maps letters (on the UTF-16 name).
    static std::string CaseVariant(const std::string& name, uint32_t how) {
        std::wstring out = WidenU(name);
        for (size_t i = 0; i < out.size(); ++i)
            if (how == 0 || (how == 2 && i % 2 == 0))
                CharUpperBuffW(&out[i], 1);
            else
                CharLowerBuffW(&out[i], 1);
        return NarrowU(out);
    }

    bool Count(const std::string& what) { return ++Applied[what] > 0; } // true
    std::string Where(int tree) const {                                 // the tree's current physical root
        const SourceRoot& r = m_roots[tree];
        return r.Away ? r.AwayPath + "\\" : r.Home;
    }

    // The folders (`dir` first) and files of a tree, with the mirror paths they map to.
    Tree Scan(const std::string& dir, const std::string& rel, int depth) const {
        Tree out{{{dir, rel, depth}}, {}};
        WalkTree(dir, [&](const std::wstring& wide, const WIN32_FIND_DATAW& found) {
            const std::string inner = NarrowU(wide);
            const int below = depth + static_cast<int>(std::count(inner.begin(), inner.end(), '\\'));
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                out.folders.push_back({dir + inner + "\\", Join(rel, inner), below + 1});
            else
                out.files.push_back({dir + inner, Join(rel, inner), below});
            return true;
        });
        return out;
    }
    Tree Scan(int tree) const { return Scan(Where(tree), KeyOf(m_roots[tree].Home), 0); }

    // True when a new entry of the given kind at mirror path `rel` clashes with nothing of the other
    // kind in any source tree. What the mirror holds does not matter: a name that changes its kind
    // there is replaced. Only two sources that map one name to both kinds at once are kept apart,
    // since no mirror can follow both.
    bool KindFree(const std::string& rel, bool folder) const {
        for (int t : kPhysical) {
            const std::string top = KeyOf(m_roots[t].Home);
            if (!top.empty() && SameNoCase(rel, top) && !folder)
                return false;
            if (!top.empty() && !IsBelow(rel, top))
                continue;
            const DWORD a = GetAttr(Where(t) + (top.empty() ? rel : rel.substr(top.size() + 1)));
            if (a != INVALID_FILE_ATTRIBUTES && ((a & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder)
                return false;
        }
        for (const auto& f : m_files) {
            const std::string frel = MirrorRel(f.Path);
            if ((SameNoCase(rel, frel) && folder) || IsBelow(rel, frel) || (IsBelow(frel, rel) && !folder))
                return false;
        }
        return true;
    }

    // Names with Cyrillic and Latin letters, blanks, '-', '_', '\'' and '.', several of them case
    // variants of one another; and names outside code page 1251 (written as the journal writes
    // them), next to the look-alikes the locale would take for them.
    std::string NewName(bool folder) {
        static const std::vector<std::string> words =
            Split("Отчёт|отчёт|ОТЧЁТ|Данные|данные|photo|Photo|PHOTO|план работ|Plan B|mixed Смесь|итог-2026|"
                  "a'b|x_y|Ёлка|ёлка|Readme|readme|Z|z|Яблоко|data.old|Копия (2)|notes|Юг и север|ж|"
                  "M<U+00FC>ller|Muller|stra<U+00DF>e|strasse|soft\xADhyphen|softhyphen|R<U+00E9>sum<U+00E9>|"
                  "e<U+0301>t<U+00E9>|<U+65E5><U+672C>|<U+0395><U+03BB><U+03BB><U+03AC><U+03B4><U+03B1>|"
                  "photo <U+1F600>",
                  '|');
        static const std::vector<std::string> extensions = {"", ".txt", ".TXT", ".дат", ".bin", ".Doc"};
        std::string name = m_rng.Pick(words);
        if (m_rng.Chance(40))
            name += (m_rng.Chance(50) ? " " : "-") + std::to_string(m_rng.Below(10));
        if (m_rng.Chance(15))
            name = m_rng.Pick(words) + " " + name;
        if (!folder && m_rng.Chance(80))
            name += m_rng.Pick(extensions);
        if (m_rng.Chance(25))
            name = CaseVariant(name, m_rng.Below(3));
        return name;
    }

    std::string Content() {
        const uint32_t band = m_rng.Below(100);
        const uint32_t size = band < 30   ? m_rng.Below(65)
                              : band < 80 ? 64 + m_rng.Below(8192)
                              : band < 98 ? 8192 + m_rng.Below(57344)
                                          : 65536 + m_rng.Below(240000);
        std::string s(size, '\0');
        for (auto& c : s)
            c = static_cast<char>(m_rng.Below(256));
        return s;
    }

    FILETIME RandomTime() {
        const auto draw = [&](uint32_t from, uint32_t count) {
            return static_cast<WORD>(from + m_rng.Below(count));
        };
        // Drawn in the order of the fields: year, month, day, hour, minute, second, millisecond.
        const SYSTEMTIME st{draw(2001, 30), draw(1, 12), 0,           draw(1, 28),
                            draw(0, 24),    draw(0, 60), draw(0, 60), draw(0, 1000)};
        FILETIME ft{};
        SystemTimeToFileTime(&st, &ft);
        ULARGE_INTEGER v{{ft.dwLowDateTime, ft.dwHighDateTime}};
        v.QuadPart += m_rng.Below(10000); // below the millisecond, in 100 ns steps
        return {v.LowPart, v.HighPart};
    }

    static constexpr int32_t R = FILE_ATTRIBUTE_READONLY, H = FILE_ATTRIBUTE_HIDDEN,
                             S = FILE_ATTRIBUTE_SYSTEM, A = FILE_ATTRIBUTE_ARCHIVE;
    int32_t RandomFileAttr() {
        static const std::vector<int32_t> kinds = {R, H, S, R | H, H | S, R | H | S, A, A | R};
        return m_rng.Chance(40) ? FILE_ATTRIBUTE_NORMAL : m_rng.Pick(kinds);
    }
    int32_t RandomFolderAttr() {
        static const std::vector<int32_t> kinds = {FILE_ATTRIBUTE_NORMAL, H, S, R, H | S};
        return m_rng.Pick(kinds);
    }

    bool CreateFile(const Pick& folder) {
        for (int attempt = 0; attempt < 6; ++attempt) {
            const std::string name = NewName(false);
            const std::string path = folder.Path + name;
            if (Exists(path) || !KindFree(Join(folder.Rel, name), false) || !WriteWhole(path, Content()))
                continue;
            if (m_rng.Chance(50))
                SetWriteTime(path, RandomTime());
            if (m_rng.Chance(35))
                SetAttr(path, static_cast<DWORD>(RandomFileAttr()));
            return Count("file created");
        }
        return false;
    }

    bool CreateFolder(const Pick& folder) {
        if (folder.Depth >= kMaxDepth)
            return false;
        for (int attempt = 0; attempt < 6; ++attempt) {
            const std::string name = NewName(true);
            const std::string path = folder.Path + name;
            const Pick made{path + "\\", Join(folder.Rel, name), folder.Depth + 1};
            if (Exists(path) || !KindFree(made.Rel, true) || !MakeDir(path))
                continue;
            Count("folder created");
            for (uint32_t i = m_rng.Below(4); i > 0; --i)
                CreateFile(made);
            if (m_rng.Chance(30))
                CreateFolder(made);
            if (m_rng.Chance(25)) {
                SetAttr(path, static_cast<DWORD>(RandomFolderAttr()));
                Count("folder attributes set");
            }
            return true;
        }
        return false;
    }

    // 0: new content and size (now and then with the same time stamp); 1: same size, new time stamp; 2: new
    // time stamp; 3: same size and time stamp; 4: new attributes; 5: deleted.
    bool ModifyFile(const Pick& file, int how) {
        const DWORD attr = GetAttr(file.Path);
        if (attr == INVALID_FILE_ATTRIBUTES)
            return false;
        if (how == 4) {
            DWORD now = static_cast<DWORD>(RandomFileAttr());
            if (now == (attr & ~FILE_ATTRIBUTE_ARCHIVE))
                now = attr & FILE_ATTRIBUTE_READONLY ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_READONLY;
            SetAttr(file.Path, now);
            return Count("file attributes changed");
        }
        SetAttr(file.Path, FILE_ATTRIBUTE_NORMAL);
        if (how == 5) {
            return DeleteEntry(file.Path) && Count("file deleted");
        }
        MirrorItem before;
        FindOne(file.Path, before);
        const std::string old = ReadWhole(file.Path);
        bool ok = true;
        if (how == 0) {
            std::string now = Content();
            if (now.size() == old.size())
                now += 'x';
            ok = WriteWhole(file.Path, now);
            const uint32_t stamp = m_rng.Below(100);
            if (stamp < 60)
                SetWriteTime(file.Path, RandomTime());
            else if (stamp < 80)
                SetWriteTime(file.Path, before.Write); // only the size tells the change
            Count(stamp < 60 || stamp >= 80 ? "file content and size changed"
                                            : "file content and size changed, same time stamp");
        } else if (how == 1 || how == 3) {
            if (old.empty()) {
                SetAttr(file.Path, attr);
                return false;
            }
            std::string now = old;
            for (uint32_t i = 1 + m_rng.Below(8); i > 0; --i)
                now[m_rng.Below(now.size())] ^= static_cast<char>(1 + m_rng.Below(255));
            if (now == old)
                now[0] = static_cast<char>(old[0] ^ 0x5A);
            ok = WriteWhole(file.Path, now);
            // Same size and time stamp: by the mirror's rule this change is not seen.
            SetWriteTime(file.Path, how == 1 ? RandomTime() : before.Write);
            Count(how == 1 ? "file content changed, same size"
                           : "file content changed, same size and time (not seen by rule)");
        } else {
            SetWriteTime(file.Path, RandomTime());
            Count("file time stamp changed");
        }
        SetAttr(file.Path, attr);
        return ok;
    }

    bool MoveKeepingAttributes(const std::string& from, const std::string& to) {
        const DWORD attr = GetAttr(from);
        SetAttr(from, FILE_ATTRIBUTE_NORMAL);
        const bool ok = MoveEntry(from, to);
        SetAttr(ok ? to : from, attr);
        return ok;
    }

    // A file or folder renamed to a case variant in place, to a new name in place, or moved to
    // another folder under a new name; it and all it holds must keep clear of entries of the other
    // kind, and a folder of its own inside and of the depth limit.
    bool Rename(const Pick& p, bool folder, const std::vector<Pick>& folders) {
        const std::string self = folder ? WithoutSeparator(p.Path) : p.Path;
        const Pick parent{ParentOf(self), WithoutSeparator(ParentOf(p.Rel)), p.Depth - (folder ? 1 : 0)};
        for (int attempt = 0; attempt < 6; ++attempt) {
            const uint32_t how = m_rng.Below(10);
            Pick to = parent;
            std::string name;
            if (how < 3) {
                name = CaseVariant(NameOf(self), m_rng.Below(3));
                if (name == NameOf(self))
                    continue;
            } else {
                if (how >= 7) {
                    to = m_rng.Pick(folders);
                    if (folder && to.Path.compare(0, self.size() + 1, self + "\\") == 0)
                        continue; // not into itself
                }
                name = NewName(folder);
                if (Exists(to.Path + name))
                    continue;
            }
            const std::string rel = Join(to.Rel, name);
            const Tree moved = folder ? Scan(p.Path, rel, to.Depth + 1) : Tree{{}, {{p.Path, rel, 0}}};
            bool free = true;
            int deepest = 0;
            for (const auto& f : moved.folders) {
                free = free && (how < 3 || KindFree(f.Rel, true));
                deepest = std::max(deepest, f.Depth);
            }
            for (const auto& f : moved.files)
                free = free && (how < 3 || KindFree(f.Rel, false));
            if (!free || deepest > kMaxDepth || !MoveKeepingAttributes(self, to.Path + name))
                continue;
            return Count(std::string(folder ? "folder" : "file") + (how < 3   ? " renamed to a case variant"
                                                                    : how < 7 ? " renamed"
                                                                              : " moved to another folder"));
        }
        return false;
    }

    // A file deleted and a folder of the same name made in its place, or the reverse.
    bool ReplaceByOtherKind(const MirrorModel& model, const std::vector<Pick>& files,
                            const std::vector<Pick>& folders) {
        if (files.empty() && folders.empty())
            return false;
        const bool fileToFolder = folders.empty() || (!files.empty() && m_rng.Chance(55));
        const Pick was = fileToFolder ? m_rng.Pick(files) : m_rng.Pick(folders);
        const auto mirrored = model.State().find(was.Rel);
        if (mirrored == model.State().end() || mirrored->second.Folder == fileToFolder)
            return false; // only a name the mirror holds in its old kind makes the change
        if (fileToFolder && was.Depth >= kMaxDepth)
            return false;
        // The entry is moved aside first, so that it does not count against its own replacement.
        const std::string path = fileToFolder ? was.Path : WithoutSeparator(was.Path);
        const std::string aside = ParentOf(path) + "~soak-aside";
        const DWORD attr = GetAttr(path);
        SetAttr(path, FILE_ATTRIBUTE_NORMAL);
        if (Exists(aside) || !MoveEntry(path, aside)) {
            SetAttr(path, attr);
            return false;
        }
        if (!KindFree(was.Rel, fileToFolder)) {
            MoveEntry(aside, path);
            SetAttr(path, attr);
            return false;
        }
        RemoveAll(aside);
        if (fileToFolder) {
            if (!MakeDir(path))
                return false;
            for (uint32_t i = m_rng.Below(3); i > 0; --i)
                CreateFile({path + "\\", was.Rel, was.Depth + 1});
            Count("file replaced by a folder of its name");
        } else {
            if (!WriteWhole(path, Content()))
                return false;
            if (m_rng.Chance(50))
                SetWriteTime(path, RandomTime());
            Count("folder replaced by a file of its name");
        }
        return true;
    }

    bool ToggleAway() {
        const uint32_t pick = m_rng.Below(100);
        const int tree = pick < 15 ? 0 : pick < 45 ? 1 : pick < 75 ? 2 : 4;
        SourceRoot& r = m_roots[tree];
        const std::string home = tree == 4 ? m_vFolder : WithoutSeparator(r.Home);
        if (r.AwayPath.empty() || !(r.Away ? MoveEntry(r.AwayPath, home) : MoveEntry(home, r.AwayPath)))
            return false;
        r.Away = !r.Away;
        return Count(tree == 4 ? (r.Away ? "source drive gone" : "source drive back")
                               : (r.Away ? "source folder gone (medium not there)" : "source folder back"));
    }

    bool ToggleSettings() {
        const uint32_t which = m_rng.Below(3);
        bool& in = which == 0   ? m_roots[1].InSettings
                   : which == 1 ? m_files[1].InSettings
                                : m_roots[4].InSettings;
        in = !in;
        return Count(std::string(which == 0   ? "source folder"
                                 : which == 1 ? "source file"
                                              : "drive root") +
                     (in ? " put in the settings" : " taken out of the settings"));
    }

    bool SingleFileChange() {
        const size_t which = m_rng.Below(3);
        const std::string& path = m_files[which].Path;
        if (!Exists(path)) {
            WriteWhole(path, Content());
            if (m_rng.Chance(50))
                SetWriteTime(path, RandomTime());
            return Count("single file created");
        }
        if (which == 2 && m_rng.Chance(50)) {
            SetAttr(path, FILE_ATTRIBUTE_NORMAL);
            DeleteEntry(path);
            return Count("single file deleted");
        }
        return ModifyFile({path, MirrorRel(path), 0}, 2 * static_cast<int>(m_rng.Below(3))); // 0, 2 or 4
    }

    // The nested source folder, once deleted, is made again now and then.
    void RestoreNested() {
        const std::string nested = WithoutSeparator(m_roots[3].Home);
        if (m_roots[0].Away || IsDir(nested) || !m_rng.Chance(50))
            return;
        const std::string rel = MirrorRel(nested);
        if (Exists(nested) || !KindFree(rel, true) || !MakeDir(nested))
            return;
        Count("nested source folder made again");
        CreateFile({m_roots[3].Home, rel, 1});
    }

    Random m_rng;
    std::vector<SourceRoot> m_roots;
    std::vector<SourceFile> m_files;
    std::string m_vFolder; // the folder behind V: seen through Z: (empty when not under Wine)
};

} // namespace vestrand::soak
