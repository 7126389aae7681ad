// The program's command line: arguments and the start-up switch.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace vestrand {

// Splits a command line into arguments (the program name first). Arguments are separated by
// runs of characters 1..32; a double quote starts a stretch copied unchanged up to the next
// double quote, the quotes dropped; a pair of quotes where an argument would begin is skipped;
// there are no escape characters.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The first argument after the program name with a..z upper-cased, or "" when there is none.
std::string CommandSwitch(std::string_view commandLine);

// Confirm: one pass as Start, carried out even where it would destroy much of the backup (a
// person's decision, after looking at what changed; never a scheduled task's).
// Restore: one file or folder back from the backup, without a window (see RestoreCommand).
enum class StartMode { Resident, Start, Config, Install, Confirm, Restore };
// Start and Confirm: one pass, and the program ends.
inline bool IsOneShot(StartMode mode) {
    return mode == StartMode::Start || mode == StartMode::Confirm;
}
StartMode StartModeOf(const std::string& upperSwitch);

// RESTORE <path> [<moment>] [<folder>]: the one switch that takes further arguments. The moment is
// "yyyy-mm-dd hh:nn" as one argument (or its date and time as two); without it, the mirror as it is.
struct RestoreCommand {
    std::string path;   // an original path
    std::string moment; // "" for the mirror as it is now
    std::string folder; // "" for the original place
};
// False when the arguments after RESTORE are not of that form (no path, a moment that is none, more
// arguments than these).
bool ParseRestoreCommand(std::string_view commandLine, RestoreCommand& command);

} // namespace vestrand
