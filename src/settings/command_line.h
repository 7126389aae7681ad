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
enum class StartMode { Resident, Start, Config, Install, Confirm };
// Start and Confirm: one pass, and the program ends.
inline bool IsOneShot(StartMode mode) {
    return mode == StartMode::Start || mode == StartMode::Confirm;
}
StartMode StartModeOf(const std::string& upperSwitch);

} // namespace vestrand
