// The soak's source side: several source folders and single files on two drives, overlapping as
// the settings allow, and a seeded generator that changes them between passes.
#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/backup_settings.h"
#include "soak_model.h"
#include "soak_support.h"

namespace vestrand::soak {

struct SourceRoot {
    SourceRoot(std::string home, std::string listed) : Home(std::move(home)), Listed(std::move(listed)) {}
    std::string Home;     // where the folder lives, ending in "\"
    std::string Listed;   // how the settings name it
    bool Away = false;    // moved aside, as a medium that is not there
    std::string AwayPath; // where it lies while away (empty: it cannot go away)
    bool InSettings = true;
};

struct SourceFile {
    std::string Path;
    bool InSettings = true;
};

class SourceWorld {
public:
    explicit SourceWorld(uint64_t seed);
    ~SourceWorld(); // brings back a drive that was taken away
    SourceWorld(const SourceWorld&) = delete;
    SourceWorld& operator=(const SourceWorld&) = delete;

    // Clears the drives' soak folders and builds the first trees.
    void Build();
    // Applies `count` random changes; `model` is the mirror as the last pass left it.
    void Mutate(const MirrorModel& model, int count);
    BackupSettings Settings(const std::string& targetDir, const std::string& identifComp) const;

    // Every entry of every source tree (path, time, size, attributes), to prove a pass left the
    // sources alone.
    TreeSnapshot Snapshot() const;

    std::map<std::string, long> Applied; // changes applied, by kind
    long Total() const;

private:
    struct Pick {
        std::string Path; // physical path
        std::string Rel;  // mirror path it maps to
        int Depth = 0;    // levels below the tree's root
    };
    void CollectFolders(const std::string& dir, const std::string& rel, int depth, std::vector<Pick>& folders,
                        std::vector<Pick>& files) const;
    void Scan(std::vector<Pick>& folders, std::vector<Pick>& files, int tree) const;
    std::string Where(int tree) const; // the tree's current physical root
    std::string NewName(bool folder);
    std::string Content();
    FILETIME RandomTime();
    int32_t RandomFileAttr();
    int32_t RandomFolderAttr();
    // True when a new entry of the given kind at mirror path `rel` clashes with nothing of the
    // other kind in any source tree (the mirror may hold the other kind: it is replaced).
    bool KindFree(const std::string& rel, bool folder) const;
    void Count(const char* what) { ++Applied[what]; }

    bool CreateFile(const Pick& folder);
    bool CreateFolder(const Pick& folder, int depth);
    bool ModifyFile(const Pick& file, int how);
    // Where a rename takes `self` (a file, or a folder without its separator), drawn at random: a
    // case variant in place (how < 3), a new name in place or in another folder (how >= 7); false
    // when this draw does not do.
    bool RenameTo(const std::string& self, const Pick& parent, bool folder, const std::vector<Pick>& folders,
                  uint32_t& how, Pick& to, std::string& newName);
    bool MoveKeepingAttributes(const std::string& from, const std::string& to);
    bool RenameFile(const Pick& file, const std::vector<Pick>& folders);
    bool RenameFolder(const Pick& folder, const std::vector<Pick>& folders);
    // A file deleted and a folder of the same name made in its place, or the reverse.
    bool ReplaceByOtherKind(const std::vector<Pick>& files, const std::vector<Pick>& folders);
    bool ToggleAway();
    bool ToggleSettings();
    bool SingleFileChange();
    void RestoreNested();

    Random m_rng;
    const MirrorModel* m_model = nullptr;
    std::vector<SourceRoot> m_roots;
    std::vector<SourceFile> m_files;
    std::string m_vFolder; // the folder behind V: seen through Z: (empty when not under Wine)
};

} // namespace vestrand::soak
