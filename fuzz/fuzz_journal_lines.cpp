// The journal's text rules over arbitrary bytes: splitting keeps every byte that is not a line
// break (NUL included), saving what was loaded only normalises the line breaks, lines without
// breaks survive a save and a load unchanged, archive names keep their shape for any date, every
// Start line opens one block, and any name's journal text reads back as the name.
#include <cstring>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "engine/journal.h"
#include "runtime/cp1251.h"
#include "fuzz_support.h"

using vestrand::fuzz::Shown;
using Lines = std::vector<std::string>;

namespace {

// The text with CR LF, a lone CR and a lone LF each written as CR LF, and CR LF after a last line
// that had none.
std::string NormalisedBreaks(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    if (!text.empty() && text.back() != '\r' && text.back() != '\n')
        out += "\r\n";
    return out;
}

size_t CountBreaks(const std::string& text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' || (text[i] == '\r' && !(i + 1 < text.size() && text[i + 1] == '\n')))
            ++n;
    return n;
}

void CheckLoadedText(const std::string& text) {
    const std::string shown = "\"" + Shown(text) + "\"";
    const Lines lines = vestrand::SplitJournalLines(text);
    size_t bytes = 0;
    for (const auto& line : lines) {
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos, shown + ": a line holds a break");
        bytes += line.size();
    }
    size_t content = 0;
    for (const char c : text)
        content += (c != '\r' && c != '\n');
    FUZZ_CHECK(bytes == content, shown + ": bytes lost or invented");
    const bool openLast = !text.empty() && text.back() != '\r' && text.back() != '\n';
    FUZZ_CHECK(lines.size() == CountBreaks(text) + (openLast ? 1 : 0), shown + ": line count");

    const std::string saved = vestrand::JoinJournalLines(lines);
    FUZZ_CHECK(saved == NormalisedBreaks(text), shown + ": saved as \"" + Shown(saved) + "\"");
    FUZZ_CHECK(vestrand::SplitJournalLines(saved) == lines, shown + ": a second load differs");

    size_t starts = 0;
    for (const auto& line : lines)
        starts += line.rfind("Start ", 0) == 0;
    FUZZ_CHECK(vestrand::ReadJournalBlocks(text).size() == starts, shown + ": blocks");
}

void CheckJournalText(const std::string& bytes) {
    std::wstring name;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        name += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
    const std::string text = vestrand::JournalText(name);
    FUZZ_CHECK(vestrand::PathOfJournalText(text) == name,
               "\"" + Shown(text) + "\" reads back as another name");
}

// Lines free of breaks, as a pass appends them, are saved and loaded back unchanged.
void CheckAppendedLines(FuzzedDataProvider& in) {
    Lines lines;
    while (in.remaining_bytes() > 0 && lines.size() < 64) {
        std::string line = in.ConsumeRandomLengthString(200);
        for (char& c : line)
            if (c == '\r' || c == '\n')
                c = ' ';
        lines.push_back(line);
    }
    const std::string saved = vestrand::JoinJournalLines(lines);
    size_t expectedSize = 0;
    for (const auto& line : lines)
        expectedSize += line.size() + 2;
    FUZZ_CHECK(saved.size() == expectedSize, "saved size");
    FUZZ_CHECK(vestrand::SplitJournalLines(saved) == lines,
               "lines changed by a save and a load: \"" + Shown(saved) + "\"");
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void CheckArchiveName(double when, const std::string& targetDir, const std::string& ident) {
    const std::string name = vestrand::JournalArchiveName(targetDir, when, ident);
    FUZZ_CHECK(name.size() == targetDir.size() + 7 + ident.size(), "archive name \"" + Shown(name) + "\"");
    FUZZ_CHECK(name.compare(0, targetDir.size(), targetDir) == 0, "archive name \"" + Shown(name) + "\"");
    const std::string stamp = name.substr(targetDir.size(), 6);
    for (const char c : stamp)
        FUZZ_CHECK(IsDigit(c), "archive date \"" + Shown(stamp) + "\"");
    FUZZ_CHECK(name[targetDir.size() + 6] == '.' && name.substr(targetDir.size() + 7) == ident,
               "archive name \"" + Shown(name) + "\"");
    const int month = (stamp[2] - '0') * 10 + (stamp[3] - '0');
    const int day = (stamp[4] - '0') * 10 + (stamp[5] - '0');
    FUZZ_CHECK(month >= 1 && month <= 12 && day >= 1 && day <= 31, "archive date \"" + stamp + "\"");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckLoadedText(text);
    CheckJournalText(text);

    FuzzedDataProvider in(data, size);
    double when = 0;
    if (in.remaining_bytes() >= sizeof when) {
        const auto raw = in.ConsumeBytes<uint8_t>(sizeof when);
        std::memcpy(&when, raw.data(), sizeof when);
    }
    const std::string targetDir = in.ConsumeRandomLengthString(40);
    const std::string ident = in.ConsumeRandomLengthString(20);
    CheckArchiveName(when, targetDir, ident);
    CheckAppendedLines(in);
    return 0;
}
