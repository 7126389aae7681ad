#include "soak_world.h"

#include <algorithm>

namespace vestrand::soak {

namespace {

constexpr int kMaxDepth = 4;
constexpr int kPhysical[] = {0, 1, 2, 4, 5}; // the source roots that are trees of their own

// A source folder whose own path is longer than 260 characters, so that its mirror paths pass 300.
const std::string kDeepRoot = "S:\\soak\\" + std::string(60, 'L') + "\\" + std::string(60, 'M') + "\\" +
                              std::string(60, 'N') + "\\" + std::string(60, 'O') + "\\Глубже\\";

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> out(1);
    for (const char c : text)
        if (c == '|')
            out.emplace_back();
        else
            out.back() += c;
    return out;
}

// Names with Cyrillic and Latin letters, blanks, '-', '_', '\'' and '.', several of them case
// variants of one another; and names outside code page 1251 (written as the journal writes them),
// next to the look-alikes the locale would take for them. Separated by '|'.
const std::vector<std::string> kWords = Split("Отчёт|отчёт|ОТЧЁТ|Данные|данные|photo|Photo|PHOTO|"
                                              "план работ|Plan B|mixed Смесь|итог-2026|a'b|x_y|Ёлка|ёлка|"
                                              "Readme|readme|Z|z|Яблоко|data.old|Копия (2)|notes|"
                                              "Юг и север|ж|M<U+00FC>ller|Muller|stra<U+00DF>e|strasse|"
                                              "soft\xADhyphen|softhyphen|R<U+00E9>sum<U+00E9>|"
                                              "e<U+0301>t<U+00E9>|<U+65E5><U+672C>|"
                                              "<U+0395><U+03BB><U+03BB><U+03AC><U+03B4><U+03B1>|"
                                              "photo <U+1F600>");
const std::vector<std::string> kExtensions = {"", ".txt", ".TXT", ".дат", ".bin", ".Doc"};

// Upper case, lower case or alternating, as the platform maps letters (on the UTF-16 name).
std::string CaseVariant(const std::string& name, int how) {
    std::wstring out = WidenU(name);
    for (size_t i = 0; i < out.size(); ++i) {
        const bool upper = how == 0 || (how == 2 && i % 2 == 0);
        if (upper)
            CharUpperBuffW(&out[i], 1);
        else
            CharLowerBuffW(&out[i], 1);
    }
    return NarrowU(out);
}

std::string WithoutSeparator(const std::string& folder) {
    return folder.substr(0, folder.size() - 1);
}
// A mirror path one level down; the top of a drive-root source is the empty path.
std::string Join(const std::string& rel, const std::string& name) {
    return rel.empty() ? name : rel + "\\" + name;
}
std::string ParentRel(const std::string& rel) {
    const size_t at = rel.find_last_of('\\');
    return at == std::string::npos ? std::string() : rel.substr(0, at);
}
// The mirror path of a source root: the root without its drive designator and separator.
std::string TopRel(const std::string& home) {
    return home.size() > 3 ? WithoutSeparator(home.substr(3)) : std::string();
}

// The folder behind a test drive letter as seen through Z: under Wine; empty elsewhere.
std::string DriveFolder(char letter) {
    char buf[1024] = {};
    const DWORD n = GetEnvironmentVariableA("WINEPREFIX", buf, sizeof buf);
    if (n == 0 || n >= sizeof buf)
        return std::string();
    std::string prefix = buf;
    for (auto& c : prefix)
        if (c == '/')
            c = '\\';
    const std::string folder = "Z:" + prefix.substr(0, prefix.find_last_of('\\')) + "\\drives\\" +
                               static_cast<char>(letter - 'A' + 'a');
    return IsDir(folder) ? folder : std::string();
}
std::string NameOf(const std::string& path) {
    return path.substr(path.find_last_of('\\') + 1);
}
std::string ParentOf(const std::string& path) {
    return path.substr(0, path.find_last_of('\\') + 1);
}

const MirrorModel kEmptyModel;

} // namespace

SourceWorld::SourceWorld(uint64_t seed) : m_rng(seed) {
    m_roots = {
        {"S:\\soak\\Альфа\\", "S:\\soak\\Альфа\\"},
        {"S:\\soak\\beta dir\\", "S:\\soak\\beta dir"},                 // listed without its separator
        {"U:\\soak\\Альфа\\", "U:\\soak\\Альфа\\"},                     // the same mirror paths as the first
        {"S:\\soak\\Альфа\\Вложенная\\", "s:\\SOAK\\альфа\\Вложенная"}, // inside the first
        {"V:\\", "V:\\"}, // a drive root, mirrored straight under BackupRoot
        {kDeepRoot, kDeepRoot},
    };
    for (auto& r : m_roots)
        r.AwayPath = WithoutSeparator(r.Home) + ".away";
    // A drive root goes away with its drive: the folder behind the letter is moved aside.
    const std::string v = DriveFolder('V');
    m_roots[4].AwayPath = v.empty() ? std::string() : v + "-soak-away";
    if (!v.empty() && IsDir(m_roots[4].AwayPath))
        MoveEntry(m_roots[4].AwayPath, v); // left over from an interrupted run
    m_vFolder = v;
    m_files = {
        {"S:\\single\\Отчёт за год.txt"}, {"S:\\single\\data-1.bin"},
        {"S:\\single\\пропадающий.txt"},  {"S:\\soak\\beta dir\\в папке.txt"}, // also inside a listed folder
        {"s:\\SINGLE\\ОТЧЁТ ЗА ГОД.TXT"}, // the first file once more, in other letter case
    };
}

SourceWorld::~SourceWorld() {
    if (m_roots[4].Away)
        MoveEntry(m_roots[4].AwayPath, m_vFolder);
}

long SourceWorld::Total() const {
    long n = 0;
    for (const auto& [what, count] : Applied)
        n += count;
    return n;
}

std::string SourceWorld::Where(int tree) const {
    const SourceRoot& r = m_roots[tree];
    return r.Away ? r.AwayPath + "\\" : r.Home;
}

void SourceWorld::Build() {
    RemoveAll("S:\\soak");
    RemoveAll("U:\\soak");
    RemoveAll("S:\\single");
    std::vector<Listed> onV;
    ListFolder("V:\\", onV);
    for (const auto& e : onV) {
        SetAttr("V:\\" + e.Name, FILE_ATTRIBUTE_NORMAL);
        if (!DeleteEntry("V:\\" + e.Name))
            RemoveAll("V:\\" + e.Name);
    }
    MakeDir(std::string("S:\\soak"));
    MakeDir(std::string("U:\\soak"));
    MakeDir(std::string("S:\\single"));
    m_model = &kEmptyModel;
    const int files[] = {10, 7, 5, 0, 4, 4}, folders[] = {4, 3, 2, 0, 2, 2};
    for (size_t at = kDeepRoot.find('\\', 8); at != std::string::npos; at = kDeepRoot.find('\\', at + 1))
        MakeDir(kDeepRoot.substr(0, at));
    for (int t : kPhysical) {
        if (t != 4)
            MakeDir(WithoutSeparator(m_roots[t].Home));
        const Pick root{m_roots[t].Home, TopRel(m_roots[t].Home), 0};
        for (int i = 0; i < files[t]; ++i)
            CreateFile(root);
        for (int i = 0; i < folders[t]; ++i)
            CreateFolder(root, 0);
    }
    MakeDir(WithoutSeparator(m_roots[3].Home));
    const Pick nested{m_roots[3].Home, TopRel(m_roots[3].Home), 1};
    for (int i = 0; i < 3; ++i)
        CreateFile(nested);
    for (int i = 0; i < 4; ++i)
        WriteWhole(m_files[i].Path, Content());
    Applied.clear();
}

BackupSettings SourceWorld::Settings(const std::string& targetDir, const std::string& identifComp) const {
    BackupSettings s;
    s.TargetDir = targetDir;
    s.IdentifComp = identifComp;
    s.LowDriveSpaceMb = 5;
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

TreeSnapshot SourceWorld::Snapshot() const {
    TreeSnapshot out;
    for (int t : kPhysical)
        for (const auto& [rel, entry] : SnapshotTree(Where(t)))
            out[Where(t) + rel] = entry;
    for (const auto& [rel, entry] : SnapshotTree("S:\\single\\"))
        out["S:\\single\\" + rel] = entry;
    return out;
}

void SourceWorld::CollectFolders(const std::string& dir, const std::string& rel, int depth,
                                 std::vector<Pick>& folders, std::vector<Pick>& files) const {
    folders.push_back({dir, rel, depth});
    WalkTree(dir, [&](const std::wstring& wide, const WIN32_FIND_DATAW& found) {
        const std::string inner = NarrowU(wide);
        const int below = depth + static_cast<int>(std::count(inner.begin(), inner.end(), '\\'));
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            folders.push_back({dir + inner + "\\", Join(rel, inner), below + 1});
        else
            files.push_back({dir + inner, Join(rel, inner), below});
        return true;
    });
}

void SourceWorld::Scan(std::vector<Pick>& folders, std::vector<Pick>& files, int tree) const {
    folders.clear();
    files.clear();
    CollectFolders(Where(tree), TopRel(m_roots[tree].Home), 0, folders, files);
}

bool SourceWorld::KindFree(const std::string& rel, bool folder) const {
    // What the mirror holds does not matter: a name that changes its kind there is replaced. Only
    // two sources that map one name to both kinds at once are kept apart, since no mirror can
    // follow both.
    for (int t : kPhysical) {
        const std::string top = TopRel(m_roots[t].Home);
        if (!top.empty() && SameNoCase(rel, top)) {
            if (!folder)
                return false;
            continue;
        }
        if (!top.empty() && !IsBelow(rel, top))
            continue;
        const std::string physical = Where(t) + (top.empty() ? rel : rel.substr(top.size() + 1));
        const DWORD a = GetAttr(physical);
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

std::string SourceWorld::NewName(bool folder) {
    std::string name = m_rng.Pick(kWords);
    if (m_rng.Chance(40))
        name += (m_rng.Chance(50) ? " " : "-") + std::to_string(m_rng.Below(10));
    if (m_rng.Chance(15))
        name = m_rng.Pick(kWords) + " " + name;
    if (!folder && m_rng.Chance(80))
        name += m_rng.Pick(kExtensions);
    if (m_rng.Chance(25))
        name = CaseVariant(name, static_cast<int>(m_rng.Below(3)));
    return name;
}

std::string SourceWorld::Content() {
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

FILETIME SourceWorld::RandomTime() {
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

int32_t SourceWorld::RandomFileAttr() {
    static const std::vector<int32_t> kinds = {FILE_ATTRIBUTE_READONLY,
                                               FILE_ATTRIBUTE_HIDDEN,
                                               FILE_ATTRIBUTE_SYSTEM,
                                               FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN,
                                               FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
                                               FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                   FILE_ATTRIBUTE_SYSTEM,
                                               FILE_ATTRIBUTE_ARCHIVE,
                                               FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY};
    return m_rng.Chance(40) ? FILE_ATTRIBUTE_NORMAL : m_rng.Pick(kinds);
}

int32_t SourceWorld::RandomFolderAttr() {
    static const std::vector<int32_t> kinds = {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_HIDDEN,
                                               FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_READONLY,
                                               FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM};
    return m_rng.Pick(kinds);
}

bool SourceWorld::CreateFile(const Pick& folder) {
    for (int attempt = 0; attempt < 6; ++attempt) {
        const std::string name = NewName(false);
        const std::string path = folder.Path + name;
        if (Exists(path) || !KindFree(Join(folder.Rel, name), false))
            continue;
        if (!WriteWhole(path, Content()))
            continue;
        if (m_rng.Chance(50))
            SetWriteTime(path, RandomTime());
        if (m_rng.Chance(35))
            SetAttr(path, static_cast<DWORD>(RandomFileAttr()));
        Count("file created");
        return true;
    }
    return false;
}

bool SourceWorld::CreateFolder(const Pick& folder, int depth) {
    if (depth >= kMaxDepth)
        return false;
    for (int attempt = 0; attempt < 6; ++attempt) {
        const std::string name = NewName(true);
        const std::string path = folder.Path + name;
        const Pick made{path + "\\", Join(folder.Rel, name), depth + 1};
        if (Exists(path) || !KindFree(made.Rel, true) || !MakeDir(path))
            continue;
        Count("folder created");
        for (uint32_t i = m_rng.Below(4); i > 0; --i)
            CreateFile(made);
        if (m_rng.Chance(30))
            CreateFolder(made, depth + 1);
        if (m_rng.Chance(25)) {
            SetAttr(path, static_cast<DWORD>(RandomFolderAttr()));
            Count("folder attributes set");
        }
        return true;
    }
    return false;
}

bool SourceWorld::ModifyFile(const Pick& file, int how) {
    const DWORD attr = GetAttr(file.Path);
    if (attr == INVALID_FILE_ATTRIBUTES)
        return false;
    if (how == 4) {
        DWORD now = static_cast<DWORD>(RandomFileAttr());
        if (now == (attr & ~FILE_ATTRIBUTE_ARCHIVE))
            now = attr & FILE_ATTRIBUTE_READONLY ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_READONLY;
        SetAttr(file.Path, now);
        Count("file attributes changed");
        return true;
    }
    SetAttr(file.Path, FILE_ATTRIBUTE_NORMAL);
    if (how == 5) {
        const bool ok = DeleteEntry(file.Path) != 0;
        if (ok)
            Count("file deleted");
        return ok;
    }
    Listed before;
    FindOne(file.Path, before);
    const std::string old = ReadWhole(file.Path);
    bool ok = true;
    if (how == 0) {
        ok = WriteWhole(file.Path, Content());
        if (m_rng.Chance(60))
            SetWriteTime(file.Path, RandomTime());
        Count("file content and size changed");
    } else if (how == 1 || how == 3) {
        if (old.empty()) {
            SetAttr(file.Path, attr);
            return false;
        }
        std::string now = old;
        for (uint32_t i = 1 + m_rng.Below(8); i > 0; --i)
            now[m_rng.Below(static_cast<uint32_t>(now.size()))] ^= static_cast<char>(1 + m_rng.Below(255));
        if (now == old)
            now[0] = static_cast<char>(old[0] ^ 0x5A);
        ok = WriteWhole(file.Path, now);
        if (how == 1) {
            SetWriteTime(file.Path, RandomTime());
            Count("file content changed, same size");
        } else {
            // Same size and time stamp: by the mirror's rule this change is not seen.
            SetWriteTime(file.Path, before.Write);
            Count("file content changed, same size and time (not seen by rule)");
        }
    } else {
        SetWriteTime(file.Path, RandomTime());
        Count("file time stamp changed");
    }
    SetAttr(file.Path, attr);
    return ok;
}

bool SourceWorld::RenameTo(const std::string& self, const Pick& parent, bool folder,
                           const std::vector<Pick>& folders, uint32_t& how, Pick& to, std::string& newName) {
    how = m_rng.Below(10);
    to = parent;
    if (how < 3) {
        newName = CaseVariant(NameOf(self), static_cast<int>(m_rng.Below(3)));
        return newName != NameOf(self);
    }
    if (how >= 7) {
        to = m_rng.Pick(folders);
        if (folder && to.Path.compare(0, self.size() + 1, self + "\\") == 0)
            return false; // not into itself
    }
    newName = NewName(folder);
    return !Exists(to.Path + newName);
}

bool SourceWorld::MoveKeepingAttributes(const std::string& from, const std::string& to) {
    const DWORD attr = GetAttr(from);
    SetAttr(from, FILE_ATTRIBUTE_NORMAL);
    const bool ok = MoveEntry(from, to);
    SetAttr(ok ? to : from, attr);
    return ok;
}

bool SourceWorld::RenameFile(const Pick& file, const std::vector<Pick>& folders) {
    const Pick parent{ParentOf(file.Path), ParentRel(file.Rel), file.Depth};
    for (int attempt = 0; attempt < 6; ++attempt) {
        uint32_t how = 0;
        Pick to;
        std::string newName;
        if (!RenameTo(file.Path, parent, false, folders, how, to, newName) ||
            (how >= 3 && !KindFree(Join(to.Rel, newName), false)) ||
            !MoveKeepingAttributes(file.Path, to.Path + newName))
            continue;
        Count(how < 3    ? "file renamed to a case variant"
              : how >= 7 ? "file moved to another folder"
                         : "file renamed");
        return true;
    }
    return false;
}

bool SourceWorld::RenameFolder(const Pick& folder, const std::vector<Pick>& folders) {
    const std::string self = WithoutSeparator(folder.Path);
    const Pick parent{ParentOf(self), ParentRel(folder.Rel), folder.Depth - 1};
    for (int attempt = 0; attempt < 6; ++attempt) {
        uint32_t how = 0;
        Pick to;
        std::string newName;
        if (!RenameTo(self, parent, true, folders, how, to, newName))
            continue;
        // The folder and everything in it must keep clear of entries of the other kind.
        std::vector<Pick> inner, innerFiles;
        CollectFolders(folder.Path, Join(to.Rel, newName), to.Depth + 1, inner, innerFiles);
        bool free = true;
        int deepest = 0;
        for (const auto& f : inner) {
            free = free && (how < 3 || KindFree(f.Rel, true));
            deepest = std::max(deepest, f.Depth);
        }
        for (const auto& f : innerFiles)
            free = free && (how < 3 || KindFree(f.Rel, false));
        if (!free || deepest > kMaxDepth || !MoveKeepingAttributes(self, to.Path + newName))
            continue;
        Count(how < 3 ? "folder renamed to a case variant" : how >= 7 ? "folder moved" : "folder renamed");
        return true;
    }
    return false;
}

bool SourceWorld::ReplaceByOtherKind(const std::vector<Pick>& files, const std::vector<Pick>& folders) {
    if (files.empty() && folders.empty())
        return false;
    const bool fileToFolder = folders.empty() || (!files.empty() && m_rng.Chance(55));
    const Pick was = fileToFolder ? m_rng.Pick(files) : m_rng.Pick(folders);
    bool mirrored = false;
    if (m_model->KindAt(was.Rel, mirrored) != !fileToFolder || !mirrored)
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
        const Pick made{path + "\\", was.Rel, was.Depth + 1};
        for (uint32_t i = m_rng.Below(3); i > 0; --i)
            CreateFile(made);
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

bool SourceWorld::ToggleAway() {
    const uint32_t pick = m_rng.Below(100);
    const int tree = pick < 15 ? 0 : pick < 45 ? 1 : pick < 75 ? 2 : 4;
    SourceRoot& r = m_roots[tree];
    if (r.AwayPath.empty())
        return false;
    const std::string home = tree == 4 ? m_vFolder : WithoutSeparator(r.Home), away = r.AwayPath;
    if (r.Away) {
        if (!MoveEntry(away, home))
            return false;
        r.Away = false;
        Count(tree == 4 ? "source drive back" : "source folder back");
    } else {
        if (!MoveEntry(home, away))
            return false;
        r.Away = true;
        Count(tree == 4 ? "source drive gone" : "source folder gone (medium not there)");
    }
    return true;
}

bool SourceWorld::ToggleSettings() {
    if (m_rng.Chance(50)) {
        m_roots[1].InSettings = !m_roots[1].InSettings;
        Count(m_roots[1].InSettings ? "source folder put back in the settings"
                                    : "source folder taken out of the settings");
    } else {
        m_files[1].InSettings = !m_files[1].InSettings;
        Count(m_files[1].InSettings ? "source file put back in the settings"
                                    : "source file taken out of the settings");
    }
    return true;
}

bool SourceWorld::SingleFileChange() {
    const size_t which = m_rng.Below(3);
    const std::string& path = m_files[which].Path;
    if (!Exists(path)) {
        WriteWhole(path, Content());
        if (m_rng.Chance(50))
            SetWriteTime(path, RandomTime());
        Count("single file created");
        return true;
    }
    if (which == 2 && m_rng.Chance(50)) {
        SetAttr(path, FILE_ATTRIBUTE_NORMAL);
        DeleteEntry(path);
        Count("single file deleted");
        return true;
    }
    const Pick file{path, MirrorRel(path), 0};
    static const int kinds[] = {0, 2, 4};
    return ModifyFile(file, kinds[m_rng.Below(3)]);
}

void SourceWorld::RestoreNested() {
    const std::string nested = WithoutSeparator(m_roots[3].Home);
    if (m_roots[0].Away || IsDir(nested) || !m_rng.Chance(50))
        return;
    const std::string rel = MirrorRel(nested);
    if (Exists(nested) || !KindFree(rel, true) || !MakeDir(nested))
        return;
    Count("nested source folder made again");
    CreateFile({m_roots[3].Home, rel, 1});
}

void SourceWorld::Mutate(const MirrorModel& model, int count) {
    m_model = &model;
    RestoreNested();
    long entries = 0;
    std::vector<Pick> folders, files;
    for (int t : kPhysical) {
        Scan(folders, files, t);
        entries += static_cast<long>(folders.size() + files.size());
    }
    for (int done = 0, tries = 0; done < count && tries < count * 8; ++tries) {
        const uint32_t w = m_rng.Below(100);
        const int tree = w < 35 ? 0 : w < 60 ? 1 : w < 78 ? 2 : w < 90 ? 5 : 4;
        Scan(folders, files, tree);
        std::vector<Pick> inner(folders.begin() + 1, folders.end()); // not the tree's root
        const uint32_t op = m_rng.Below(100);
        bool ok = false;
        const bool grow = entries < 60 || (entries < 180 && op < 40);
        if (op < 22 || (grow && op < 40)) {
            ok = m_rng.Chance(80) ? CreateFile(m_rng.Pick(folders)) : [&] {
                const Pick& f = m_rng.Pick(folders);
                return CreateFolder(f, f.Depth);
            }();
        } else if (op < 66 && !files.empty()) {
            static const int kinds[] = {0, 0, 0, 1, 2, 2, 3, 4, 4, 5, 5, 5};
            const int how = kinds[m_rng.Below(12)];
            ok = (how == 5 || how == 0) && m_rng.Chance(30) ? RenameFile(m_rng.Pick(files), folders)
                                                            : ModifyFile(m_rng.Pick(files), how);
        } else if (op < 70) {
            ok = ReplaceByOtherKind(files, inner);
        } else if (op < 88 && !inner.empty()) {
            const Pick& f = m_rng.Pick(inner);
            const uint32_t how = m_rng.Below(10);
            if (how < 3) {
                ok = RemoveAll(f.Path);
                if (ok)
                    Count("folder deleted with its content");
            } else if (how < 6) {
                ok = RenameFolder(f, folders);
            } else {
                ok = SetAttr(WithoutSeparator(f.Path), static_cast<DWORD>(RandomFolderAttr())) != 0;
                if (ok)
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

} // namespace vestrand::soak
