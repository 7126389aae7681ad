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

enum class StartMode { Resident, Start, Config, Install };
StartMode StartModeOf(const std::string& upperSwitch);

} // namespace vestrand
