#include "engine/held_versions.h"

#include <charconv>

#include "runtime/cp1251.h"

namespace vestrand {

std::wstring StampedFolderName(DateTime start) {
    return WidenCp1251(FormatVersionStamp(start));
}

bool StampOfFolderName(const std::wstring& name, DateTime& stamp) {
    return ParseVersionStamp(JournalText(name), stamp);
}

bool SameStamp(DateTime a, DateTime b) {
    return FormatVersionStamp(a) == FormatVersionStamp(b);
}

std::string HeldListLine(const std::wstring& rel, const TFileParam& param) {
    return std::to_string(param.Time) + '\t' + std::to_string(param.Size) + '\t' +
           std::to_string(param.Attr) + '\t' + JournalText(rel) + "\r\n";
}

std::string HeldListEnd(size_t count) {
    return "end\t" + std::to_string(count) + "\r\n";
}

namespace {

// The decimal number at `at` up to the next tab, which it passes; false when there is none.
template <typename Number> bool TakeNumber(const std::string& line, size_t& at, Number& value) {
    const size_t tab = line.find('\t', at);
    if (tab == std::string::npos || tab == at)
        return false;
    const auto [end, error] = std::from_chars(line.data() + at, line.data() + tab, value);
    if (error != std::errc() || end != line.data() + tab)
        return false;
    at = tab + 1;
    return true;
}

} // namespace

bool ReadHeldList(const std::string& text, std::vector<ListedEntry>& files) {
    files.clear();
    size_t at = 0;
    while (at < text.size()) {
        const size_t eol = text.find("\r\n", at);
        if (eol == std::string::npos)
            return false;
        const std::string line = text.substr(at, eol - at);
        at = eol + 2;
        if (line.rfind("end\t", 0) == 0) {
            size_t count = 0;
            const auto [end, error] = std::from_chars(line.data() + 4, line.data() + line.size(), count);
            return error == std::errc() && end == line.data() + line.size() && count == files.size() &&
                   at == text.size();
        }
        ListedEntry e;
        size_t pos = 0;
        int64_t size = 0; // read apart: a reference to TFileParam::Size would not be aligned
        if (!TakeNumber(line, pos, e.param.Time) || !TakeNumber(line, pos, size) ||
            !TakeNumber(line, pos, e.param.Attr) || pos >= line.size())
            return false;
        e.param.Size = size;
        e.rel = PathOfJournalText(line.substr(pos));
        files.push_back(std::move(e));
    }
    return false;
}

} // namespace vestrand
