// The journal file in the mirror folder: load, append, save through a temporary file, rotate.
#pragma once
#include <string>
#include <vector>

#include "engine/journal.h"

namespace vestrand {

class Journal {
public:
    // Loads backupRoot + "journal.txt" when it is a file; "Cannot open file %s" when it cannot
    // be read.
    explicit Journal(std::string backupRoot);

    void Append(const std::string& line) { m_lines.push_back(line); }
    const std::vector<std::string>& Lines() const { return m_lines; }
    std::string Path() const { return m_root + kJournalName; }

    // Writes every line to a temporary file in the mirror folder, then puts it in place of the
    // journal. On failure the previous journal stays, the temporary file is removed, and
    // "Cannot create file %s" or "Stream write error" is raised.
    void Save() const;

private:
    std::string m_root;
    std::vector<std::string> m_lines;
};

// Moves the journal of backupRoot to its dated archive in targetDir when it is larger than
// 200,000 bytes. An archive of the same day that already exists gets the journal appended.
void RotateJournal(const std::string& backupRoot, const std::string& targetDir,
                   const std::string& identifComp, DateTime now);

} // namespace vestrand
