#include "engine/journal.h"

#include <cctype>
#include <cstring>

namespace vestrand {
namespace {

constexpr JournalTag kTags[] = {JournalTag::Start,       JournalTag::New,    JournalTag::Update,
                                JournalTag::Delete,      JournalTag::Failed, JournalTag::DiskFull,
                                JournalTag::Interrupted, JournalTag::Paused, JournalTag::Stop,
                                JournalTag::NextStart,   JournalTag::Command};

bool Digits(const std::string& text, size_t at, int& value) {
    if (at + 2 > text.size() || !std::isdigit(static_cast<unsigned char>(text[at])) ||
        !std::isdigit(static_cast<unsigned char>(text[at + 1])))
        return false;
    value = (text[at] - '0') * 10 + (text[at + 1] - '0');
    return true;
}

} // namespace

const char* JournalTagText(JournalTag tag) {
    switch (tag) {
    case JournalTag::Start:
        return "Start ";
    case JournalTag::New:
        return "New    ";
    case JournalTag::Update:
        return "Update ";
    case JournalTag::Delete:
        return "Delete ";
    case JournalTag::Failed:
        return "Failed ";
    case JournalTag::DiskFull:
        return "DiskFull ";
    case JournalTag::Interrupted:
        return "Interrupted ";
    case JournalTag::Paused:
        return "Paused ";
    case JournalTag::Stop:
        return "Stop ";
    case JournalTag::NextStart:
        return "NextStart ";
    case JournalTag::Command:
        break;
    }
    return "Command ";
}

std::string FormatJournalLine(JournalTag tag, const std::string& text) {
    return JournalTagText(tag) + text;
}

std::string StampLine(JournalTag tag, DateTime when, char timeSeparator) {
    return FormatJournalLine(tag, FormatTimeStamp(when, timeSeparator));
}

std::string OneShotCommandLine() {
    return FormatJournalLine(JournalTag::Command, "\"Start\"");
}

bool ParseJournalLine(const std::string& line, JournalLine& out) {
    for (const JournalTag tag : kTags) {
        const char* text = JournalTagText(tag);
        const size_t n = std::strlen(text);
        if (line.compare(0, n, text) == 0) {
            out.tag = tag;
            out.text = line.substr(n);
            return true;
        }
    }
    return false;
}

bool ParseJournalStamp(const std::string& text, DateTime& value) {
    CivilTime t;
    int yy = 0;
    const char sep = text.size() > 11 ? text[11] : '\0';
    if (text.size() != 17 || !Digits(text, 0, t.day) || text[2] != '.' || !Digits(text, 3, t.month) ||
        text[5] != '.' || !Digits(text, 6, yy) || text[8] != ' ' || !Digits(text, 9, t.hour) ||
        std::isdigit(static_cast<unsigned char>(sep)) || text[14] != sep || !Digits(text, 12, t.minute) ||
        !Digits(text, 15, t.second))
        return false;
    t.year = 2000 + yy;
    if (t.hour > 23 || t.minute > 59 || t.second > 59 || t.month < 1 || t.month > 12 || t.day < 1)
        return false;
    value = EncodeDateTime(t);
    const CivilTime back = DecodeDateTime(value); // 31.02 comes back as another day
    return back.day == t.day && back.month == t.month;
}

std::vector<JournalBlock> ReadJournalBlocks(const std::string& text) {
    std::vector<JournalBlock> blocks;
    for (const auto& raw : SplitJournalLines(text)) {
        JournalLine line;
        if (!ParseJournalLine(raw, line))
            continue;
        if (line.tag == JournalTag::Start) {
            blocks.emplace_back();
            ParseJournalStamp(line.text, blocks.back().start);
            continue;
        }
        if (blocks.empty())
            continue;
        JournalBlock& block = blocks.back();
        switch (line.tag) {
        case JournalTag::New:
        case JournalTag::Update:
        case JournalTag::Delete:
        case JournalTag::Failed:
            block.entries.push_back(std::move(line));
            break;
        case JournalTag::DiskFull:
            block.diskFull = true;
            break;
        case JournalTag::Interrupted:
            block.interrupted = true;
            break;
        case JournalTag::Paused:
            block.paused = true;
            break;
        case JournalTag::Stop:
            ParseJournalStamp(line.text, block.end);
            break;
        default:
            break;
        }
    }
    return blocks;
}

std::vector<std::string> SplitJournalLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) { // a final line without a break
            lines.emplace_back(text, at);
            break;
        }
        lines.emplace_back(text, at, end - at);
        at = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
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
