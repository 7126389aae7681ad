// The tests' own statement of the journal and of the mirror's layout: how a journal splits into
// lines and blocks, what the New, Update, Delete and Failed lines of an entry read, and where a
// source path lands in the mirror. Written here from the expected behaviour, never by asking the
// program. Platform-free: compiled by the host tests and by every Wine test group.
#pragma once
#include <algorithm>
#include <string>
#include <vector>

namespace vestrand::test {

using Lines = std::vector<std::string>;

// The lines of a journal text, each ended by CR LF; a last line without CR LF still counts.
inline Lines SplitCrLf(const std::string& text) {
    Lines out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            out.push_back(text.substr(at));
            break;
        }
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

// The pieces of `text` between `separator`s: a list of names written as one string.
inline Lines Split(const std::string& text, char separator) {
    Lines out;
    for (size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
        end = text.find(separator, at);
        out.push_back(text.substr(at, end == std::string::npos ? end : end - at));
    }
    return out;
}

// The block of the last pass: from its "Start " line to the end; empty when there is none.
inline Lines LastBlock(const Lines& lines) {
    for (size_t i = lines.size(); i-- > 0;)
        if (lines[i].rfind("Start ", 0) == 0)
            return Lines(lines.begin() + static_cast<long>(i), lines.end());
    return {};
}

// What a block says between its Start line and its Stop line (or to its end).
inline Lines BlockBody(const Lines& block) {
    Lines out;
    for (size_t i = 1; i < block.size() && block[i].rfind("Stop ", 0) != 0; ++i)
        out.push_back(block[i]);
    return out;
}

// The lines that begin with `prefix`, in order.
inline Lines WithPrefix(const Lines& lines, const std::string& prefix) {
    Lines out;
    for (const auto& l : lines)
        if (l.rfind(prefix, 0) == 0)
            out.push_back(l);
    return out;
}
inline bool HasLine(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}
// The lines of `wanted` that `lines` lacks, in order: empty when every one is there.
inline Lines Missing(const Lines& lines, const Lines& wanted) {
    Lines out;
    for (const auto& w : wanted)
        if (!HasLine(lines, w))
            out.push_back(w);
    return out;
}
inline Lines Sorted(Lines v) {
    std::sort(v.begin(), v.end());
    return v;
}

// The journal's tags are seven characters wide. New, Update and a failed copy name the full mirror
// path; Delete and a failed deletion the path relative to the mirror folder; a refused source the
// source as listed.
inline std::string NewLine(const std::string& mirrorPath) {
    return "New    " + mirrorPath;
}
inline std::string UpdateLine(const std::string& mirrorPath) {
    return "Update " + mirrorPath;
}
inline std::string DeleteLine(const std::string& rel) {
    return "Delete " + rel;
}
inline std::string FailedLine(const std::string& path) {
    return "Failed " + path;
}

// Where a source path lands below the mirror folder: the path without its drive ("S:\a\b" gives
// "a\b") or its server; a drive root gives "".
inline std::string MirrorRel(const std::string& sourcePath) {
    if (sourcePath.rfind("\\\\", 0) == 0)
        return sourcePath.substr(sourcePath.find('\\', 2) + 1);
    return sourcePath.size() >= 3 && sourcePath[1] == ':' ? sourcePath.substr(3) : sourcePath;
}

} // namespace vestrand::test
