#include "engine/journal.h"

namespace vestrand {

std::vector<std::string> SplitJournalLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    bool open = false; // a line has begun and not yet ended
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(current);
            current.clear();
            open = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            current += c;
            open = true;
        }
    }
    if (open)
        lines.push_back(current);
    return lines;
}

std::string JoinJournalLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string JournalArchiveName(const std::string& targetDir, DateTime now, const std::string& identifComp) {
    return targetDir + FormatYyMmDd(now) + "." + identifComp;
}

} // namespace vestrand
