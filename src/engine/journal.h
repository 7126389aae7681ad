// The journal's text rules that need no file system: its grammar (the lines of a block, written
// and read back), line splitting, joining, the archive name.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/mirror_names.h" // kJournalName
#include "runtime/datetime.h"

namespace vestrand {

inline constexpr int64_t kJournalRotateBytes = 200000; // rotated when larger than this

// The lines a pass writes, one block per pass:
//   Start <stamp>
//   New    <full mirror path> | Update <full mirror path> | Delete <path in the mirror folder>
//   Failed <path>                          (what could not be copied or deleted)
//   DiskFull <stamp> | Interrupted <stamp> | Paused <stamp>   (how a pass ended early)
//   Stop <stamp>
//   NextStart <stamp> | Command "Start"    (the next scheduled pass, or a one-shot pass)
//   an empty line
// A stamp is "dd.mm.yy hh:nn:ss" with the user's time separator; a path is in code page 1251 with
// what it cannot hold written "<U+XXXX>" (see JournalText). The entry tags are seven characters
// wide, so the paths of a block line up.
enum class JournalTag {
    Start,
    New,
    Update,
    Delete,
    Failed,
    DiskFull,
    Interrupted,
    Paused,
    Stop,
    NextStart,
    Command
};

struct JournalLine {
    JournalTag tag = JournalTag::Start;
    std::string text; // what follows the tag: a path, a stamp, or the command
};

// The tag's text as written, its blank(s) included: "New    ", "Start ".
const char* JournalTagText(JournalTag tag);
// tag + text; the line of a stamped tag, of the one-shot pass's command.
std::string FormatJournalLine(JournalTag tag, const std::string& text);
std::string StampLine(JournalTag tag, DateTime when, char timeSeparator);
std::string OneShotCommandLine();
// The tag and text of a line; false for a line of no known tag (an empty line among them).
bool ParseJournalLine(const std::string& line, JournalLine& out);
// The moment a stamp names, years read as 2000 to 2099, any one non-digit as the time separator;
// false for anything else, or a date that does not exist.
bool ParseJournalStamp(const std::string& text, DateTime& value);

// One pass as its block tells it. start: the Start stamp; end: the Stop stamp (0 when the block
// has none: a pass killed before it saved, or a journal cut short).
struct JournalBlock {
    DateTime start = 0, end = 0;
    bool diskFull = false, interrupted = false, paused = false;
    std::vector<JournalLine> entries; // New, Update, Delete and Failed lines in order
};
// The blocks of a journal text, oldest first; lines before the first Start line belong to none.
std::vector<JournalBlock> ReadJournalBlocks(const std::string& text);

// CR LF, a lone CR and a lone LF each end a line; a final line without a break still counts, a
// final break adds no empty line. NUL bytes are ordinary characters.
std::vector<std::string> SplitJournalLines(const std::string& text);
// Every line followed by CR LF, the last one too.
std::string JoinJournalLines(const std::vector<std::string>& lines);
// targetDir + "yymmdd" + "." + identifComp.
std::string JournalArchiveName(const std::string& targetDir, DateTime now, const std::string& identifComp);

} // namespace vestrand
