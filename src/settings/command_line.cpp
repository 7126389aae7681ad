#include "settings/command_line.h"

#include "engine/restore_rules.h"

namespace vestrand {
namespace {

bool IsSeparator(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    size_t i = 0;
    for (;;) {
        // Separators and empty quote pairs before an argument are skipped.
        for (;;) {
            while (i < line.size() && IsSeparator(line[i]))
                ++i;
            if (i + 1 < line.size() && line[i] == '"' && line[i + 1] == '"')
                i += 2;
            else
                break;
        }
        if (i >= line.size() || line[i] == '\0')
            break;
        std::string arg;
        while (i < line.size() && line[i] != '\0' && !IsSeparator(line[i])) {
            if (line[i] == '"') {
                ++i;
                while (i < line.size() && line[i] != '\0' && line[i] != '"')
                    arg += line[i++];
                if (i < line.size() && line[i] == '"')
                    ++i;
            } else {
                arg += line[i++];
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::string CommandSwitch(std::string_view commandLine) {
    const auto args = SplitCommandLine(commandLine);
    if (args.size() < 2)
        return std::string();
    std::string result = args[1];
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

StartMode StartModeOf(const std::string& upperSwitch) {
    if (upperSwitch == "START")
        return StartMode::Start;
    if (upperSwitch == "CONFIG")
        return StartMode::Config;
    if (upperSwitch == "INSTALL")
        return StartMode::Install;
    if (upperSwitch == "CONFIRM")
        return StartMode::Confirm;
    if (upperSwitch == "RESTORE")
        return StartMode::Restore;
    return StartMode::Resident;
}

bool ParseRestoreCommand(std::string_view commandLine, RestoreCommand& command) {
    const std::vector<std::string> args = SplitCommandLine(commandLine);
    if (args.size() < 3 || StartModeOf(CommandSwitch(commandLine)) != StartMode::Restore || args[2].empty())
        return false;
    command = RestoreCommand{args[2], "", ""};
    size_t next = 3;
    DateTime when = 0;
    if (next < args.size() && ParseRestoreMoment(args[next], when)) {
        command.moment = args[next++];
    } else if (next + 1 < args.size() && ParseRestoreMoment(args[next] + " " + args[next + 1], when)) {
        command.moment = args[next] + " " + args[next + 1];
        next += 2;
    }
    if (next < args.size())
        command.folder = args[next++];
    return next == args.size();
}

} // namespace vestrand
