// The program's own names at the top of a mirror folder: what a pass and a restore keep there
// beside the mirrored entries. No mirrored entry may take one of these names, and no listing of the
// mirror shows them (see IsPassOwnName).
#pragma once

namespace vestrand {

// The journal of the mirror folder, and the file its save goes through.
inline constexpr const char* kJournalName = "journal.txt";
inline constexpr const char* kJournalTempName = "journal.tmp";
// Held open without sharing while a pass runs, so that two passes never work on one mirror at once;
// left there afterwards as the mark of a folder this program mirrors into.
inline constexpr const char* kPassLockName = "pass.~vestrand.lock";
// The name of the computer whose mirror it is, one line of text.
inline constexpr const char* kOwnerName = "owner.~vestrand";
// The exclusion patterns of the last pass that ran to its end, one a line in code page 1251, so
// that a later pass knows which patterns were taken out of the list since (what the mirror held of
// the entries they named was kept as it was, and is now compared).
inline constexpr const char* kExclusionsName = "exclude.~vestrand";
// A copy in progress; a new file is written under this name and renamed only when complete.
inline constexpr const char* kCopyTempName = "copy.~vestrand.tmp";
// Earlier versions of mirrored files, one folder per pass named by its start.
inline constexpr const char* kVersionsFolderName = "~versions";
// At the top of a stamped folder: what the pass held there, written when the pass ends, so that the
// history reads one file instead of searching the folder's tree. No mirror entry at the top can take
// this name, so no held file can either.
inline constexpr const char* kHeldListName = "held.~vestrand";

inline constexpr const char* kMirrorOwnNames[] = {kJournalName,        kJournalTempName, kCopyTempName,
                                                  kPassLockName,       kOwnerName,       kExclusionsName,
                                                  kVersionsFolderName, kHeldListName};

// In a stamped folder a restore made (what "with replacement" held of the user's files): the history
// leaves such folders out, as they hold nothing a pass took from the mirror.
inline constexpr const char* kRestoreMarkName = "restore.~vestrand";

} // namespace vestrand
