// The journal's text rules that need no file system: line splitting, joining, the archive name.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/datetime.h"

namespace vestrand {

inline constexpr const char* kJournalName = "journal.txt";
inline constexpr const char* kJournalTempName = "journal.tmp"; // the save goes through this file
inline constexpr int64_t kJournalRotateBytes = 200000;         // rotated when larger than this

// CR LF, a lone CR and a lone LF each end a line; a final line without a break still counts, a
// final break adds no empty line. NUL bytes are ordinary characters.
std::vector<std::string> SplitJournalLines(const std::string& text);
// Every line followed by CR LF, the last one too.
std::string JoinJournalLines(const std::vector<std::string>& lines);
// targetDir + "yymmdd" + "." + identifComp.
std::string JournalArchiveName(const std::string& targetDir, DateTime now, const std::string& identifComp);

} // namespace vestrand
