// The journal file in the mirror folder: load, append, save through a temporary file, rotate.
#pragma once
#include <string>
#include <vector>

#include "engine/fileops_win.h" // WideEntry
#include "engine/journal.h"
#include "runtime/handles_win.h"

namespace vestrand {

// A pass's journal: what the file held, then the lines the pass appends. Whatever a pass writes
// goes, once it passes 1 MiB, to the temporary file the save is made through, so that a pass of a
// million entries does not hold its block in memory; the journal itself changes only at Save.
class Journal {
public:
    // Loads backupRoot + "journal.txt" when it is a file; "Cannot open file %s" when it cannot
    // be read.
    explicit Journal(std::string backupRoot);
    // A journal that was not saved leaves no temporary file.
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    void Append(const std::string& line);
    std::string Path() const { return m_root + kJournalName; }

    // Writes every line to the temporary file in the mirror folder, then puts it in place of the
    // journal; once, at the end of the journal's work. On failure the previous journal stays, the
    // temporary file is removed, and "Cannot create file %s" or "Stream write error" is raised.
    void Save();

private:
    std::string TempPath() const { return m_root + kJournalTempName; }
    void Spill();

    std::string m_root;
    std::string m_text;  // what is not in the temporary file yet, each line ended by CR LF
    FileHandle m_temp;   // the temporary file, once the text has gone there
    bool m_held = false; // the text stays in memory: the temporary file could not take it
};

// Moves the journal of backupRoot to its dated archive in targetDir when it is larger than
// 200,000 bytes. An archive of the same day that already exists gets the journal appended.
// The journal archives of the mirror folder `identifComp` in `targetDir` (extended-length, ending
// in "\\"): the files named "yymmdd." + identifComp, in the order the search gives them.
std::vector<WideEntry> JournalArchivesIn(const std::wstring& targetDir, const std::string& identifComp);

void RotateJournal(const std::string& backupRoot, const std::string& targetDir,
                   const std::string& identifComp, DateTime now);

} // namespace vestrand
