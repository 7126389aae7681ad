// The command-line splitter and the start-up switch over arbitrary bytes: the arguments match a
// character-by-character reading of the rules, separators and quotes never leak into them, quoted
// arguments survive being joined and split again, and the switch ignores letter case.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "settings/command_line.h"

using vestrand::fuzz::Shown;
using Args = std::vector<std::string>;

namespace {

bool IsSeparator(char c) {
    return static_cast<unsigned char>(c) >= 1 && static_cast<unsigned char>(c) <= 32;
}

// The rules read one character at a time: a quote opens or closes a quoted stretch and is dropped;
// outside a stretch a separator ends the argument; a pair of quotes where an argument would begin
// is skipped; the text ends at its first NUL, as the platform's command line does.
Args ReferenceSplit(std::string_view line) {
    line = line.substr(0, line.find('\0'));
    Args args;
    std::string current;
    bool inArgument = false, quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"')
                quoted = false;
            else
                current += c;
        } else if (c == '"') {
            if (!inArgument && i + 1 < line.size() && line[i + 1] == '"') {
                ++i;
                continue;
            }
            quoted = true;
            inArgument = true;
        } else if (IsSeparator(c)) {
            if (inArgument)
                args.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        args.push_back(current);
    return args;
}

std::string ShownArgs(const Args& args) {
    std::string out = "[";
    for (const auto& a : args)
        out += "<" + Shown(a) + ">";
    return out + "]";
}

std::string SwapCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::string_view beforeNul = std::string_view(line).substr(0, line.find('\0'));
    const Args args = vestrand::SplitCommandLine(line);
    const std::string shown = "\"" + Shown(line) + "\" gave " + ShownArgs(args);

    FUZZ_CHECK(args == ReferenceSplit(line), shown + ", the rules give " + ShownArgs(ReferenceSplit(line)));
    FUZZ_CHECK(vestrand::SplitCommandLine(beforeNul) == args, shown + ": the text after NUL counted");

    const bool hasQuote = beforeNul.find('"') != std::string_view::npos;
    size_t kept = 0;
    for (const auto& arg : args) {
        FUZZ_CHECK(arg.find('"') == std::string::npos, shown + ": a quote kept");
        FUZZ_CHECK(arg.find('\0') == std::string::npos, shown + ": a NUL kept");
        bool hasSeparator = false;
        for (const char c : arg)
            hasSeparator = hasSeparator || IsSeparator(c);
        // Only a quoted stretch holds separators, and only a lone quote makes an empty argument.
        FUZZ_CHECK(!hasSeparator || hasQuote, shown + ": a separator inside an unquoted argument");
        FUZZ_CHECK(!arg.empty() || hasQuote, shown + ": an empty unquoted argument");
        kept += arg.size();
    }
    // Every character is either in an argument, or a quote, or a separator outside quotes.
    size_t dropped = 0;
    bool quoted = false;
    for (const char c : beforeNul) {
        if (c == '"') {
            quoted = !quoted;
            ++dropped;
        } else if (!quoted && IsSeparator(c)) {
            ++dropped;
        }
    }
    FUZZ_CHECK(kept + dropped == beforeNul.size(), shown + ": characters lost or invented");

    // The arguments, each quoted and joined by blanks, split into the same arguments again.
    std::string joined;
    Args nonEmpty;
    for (const auto& arg : args) {
        if (arg.empty())
            continue;
        joined += "\"" + arg + "\" ";
        nonEmpty.push_back(arg);
    }
    FUZZ_CHECK(vestrand::SplitCommandLine(joined) == nonEmpty,
               shown + ": rejoined as \"" + Shown(joined) + "\" gave " +
                   ShownArgs(vestrand::SplitCommandLine(joined)));

    // The switch: the first argument after the program name, a..z upper-cased; case does not matter.
    const std::string sw = vestrand::CommandSwitch(line);
    std::string expected = args.size() >= 2 ? args[1] : std::string();
    for (char& c : expected)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    FUZZ_CHECK(sw == expected, shown + ": switch <" + Shown(sw) + ">");
    FUZZ_CHECK(vestrand::CommandSwitch(SwapCase(line)) == sw, shown + ": the switch depends on letter case");
    const auto mode = vestrand::StartModeOf(sw);
    const bool named = sw == "START" || sw == "CONFIG" || sw == "INSTALL" || sw == "CONFIRM";
    FUZZ_CHECK(named == (mode != vestrand::StartMode::Resident), shown + ": mode of <" + Shown(sw) + ">");
    return 0;
}
