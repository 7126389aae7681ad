#include "engine/exclusions.h"

#include <array>

namespace vestrand {
namespace {

constexpr uint32_t kEmptySlot = UINT32_MAX;

// `text` without the spaces and tabs around it, in either code.
template <typename Text> Text Trimmed(const Text& text) {
    const auto blank = [](auto c) { return c == ' ' || c == '\t'; };
    size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// The units of the character at `at`: two for a surrogate pair, which "?" takes as one character; one
// for any other unit, a lone surrogate half included.
size_t CharacterUnits(std::wstring_view text, size_t at) {
    const bool pair = at + 1 < text.size() && text[at] >= 0xD800 && text[at] <= 0xDBFF &&
                      text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF;
    return pair ? 2 : 1;
}

// The names of a path given in pieces that each end at a separator (the last one excepted), from
// the last name to the first; empty names (a trailing "\") are passed over.
class NamesFromEnd {
public:
    template <size_t N> explicit NamesFromEnd(const std::array<std::wstring_view, N>& pieces) {
        for (size_t i = 0; i < N; ++i)
            m_pieces[i] = pieces[i];
        m_piece = N;
    }

    bool Next(std::wstring_view& name) {
        while (m_piece > 0) {
            std::wstring_view& rest = m_pieces[m_piece - 1];
            while (!rest.empty() && rest.back() == L'\\')
                rest.remove_suffix(1);
            if (rest.empty()) {
                --m_piece;
                continue;
            }
            const size_t sep = rest.rfind(L'\\');
            const size_t begin = sep == std::wstring_view::npos ? 0 : sep + 1;
            name = rest.substr(begin);
            rest.remove_suffix(rest.size() - begin);
            return true;
        }
        return false;
    }

private:
    std::array<std::wstring_view, 3> m_pieces;
    size_t m_piece = 0;
};

} // namespace

std::string TrimBlanks(const std::string& text) {
    return Trimmed(text);
}

Exclusions::Exclusions(const std::vector<std::wstring>& patterns, const wchar_t* upper) : m_upper(upper) {
    for (const std::wstring& written : patterns) {
        std::wstring text = Trimmed(written);
        for (wchar_t& c : text)
            if (c == L'/')
                c = L'\\';
        if (text.empty())
            continue;
        const uint8_t kinds = text.back() == L'\\' ? kFolders : kFiles | kFolders;
        Anchor anchor = Anchor::Trailing;
        std::vector<std::wstring> names;
        size_t from = 0;
        if (text.size() >= 2 && text[1] == L':' && IsAsciiLetter(text[0])) {
            anchor = Anchor::Drive;
            names.push_back({m_upper[static_cast<uint16_t>(text[0])], L':'});
            from = 2;
        } else if (text[0] == L'\\') {
            anchor = Anchor::ListedTop;
        }
        // Each name folded, a run of "*" as one.
        std::wstring name;
        for (size_t i = from; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == L'\\') {
                if (!name.empty())
                    names.push_back(std::move(name));
                name.clear();
            } else if (text[i] != L'*' || name.empty() || name.back() != L'*') {
                name += m_upper[static_cast<uint16_t>(text[i])];
            }
        }
        if (names.empty() || (anchor == Anchor::Drive && names.size() < 2))
            continue; // nothing, or a drive alone: never "everything"
        if (anchor != Anchor::Trailing || names.size() > 1) {
            m_paths.push_back({std::move(names), anchor, kinds});
        } else if (names[0].find_first_of(L"*?") != std::wstring::npos) {
            m_globs.push_back({std::move(names[0]), kinds});
        } else {
            AddLiteral(std::move(names[0]), kinds);
        }
    }
    if (m_literals.empty())
        return;
    size_t slots = 16;
    while (slots < m_literals.size() * 2)
        slots *= 2;
    m_slots.assign(slots, kEmptySlot);
    for (uint32_t i = 0; i < m_literals.size(); ++i) {
        size_t at = HashFolded(m_literals[i].name) & (slots - 1);
        while (m_slots[at] != kEmptySlot)
            at = (at + 1) & (slots - 1);
        m_slots[at] = i;
    }
}

void Exclusions::AddLiteral(std::wstring folded, uint8_t kinds) {
    for (Literal& known : m_literals)
        if (known.name == folded) {
            known.kinds |= kinds;
            return;
        }
    m_literals.push_back({std::move(folded), kinds});
}

// FNV-1a over the name's units as the file system folds them.
uint64_t Exclusions::HashFolded(std::wstring_view name) const {
    uint64_t hash = 14695981039346656037ull;
    for (const wchar_t unit : name) {
        hash ^= static_cast<uint16_t>(m_upper[static_cast<uint16_t>(unit)]);
        hash *= 1099511628211ull;
    }
    return hash;
}

bool Exclusions::SameFolded(std::wstring_view folded, std::wstring_view name) const {
    if (folded.size() != name.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (folded[i] != m_upper[static_cast<uint16_t>(name[i])])
            return false;
    return true;
}

// `name` against one folded name pattern: "*" any run of characters, "?" one character, anything else
// the same character (so `n` never stops inside a surrogate pair).
bool Exclusions::GlobMatches(std::wstring_view folded, std::wstring_view name) const {
    size_t p = 0, n = 0;
    size_t starP = std::wstring_view::npos, starN = 0; // where the last "*" may take one more character
    while (n < name.size()) {
        if (p < folded.size() && folded[p] == L'*') {
            starP = ++p;
            starN = n;
            continue;
        }
        if (p < folded.size() && folded[p] == L'?') {
            ++p;
            n += CharacterUnits(name, n);
            continue;
        }
        const size_t units = CharacterUnits(name, n);
        if (p < folded.size() && CharacterUnits(folded, p) == units &&
            folded[p] == m_upper[static_cast<uint16_t>(name[n])] &&
            (units == 1 || folded[p + 1] == m_upper[static_cast<uint16_t>(name[n + 1])])) {
            p += units;
            n += units;
            continue;
        }
        if (starP == std::wstring_view::npos)
            return false;
        starN += CharacterUnits(name, starN);
        n = starN;
        p = starP;
    }
    while (p < folded.size() && folded[p] == L'*')
        ++p;
    return p == folded.size();
}

bool Exclusions::LiteralMatches(std::wstring_view name, uint8_t kind) const {
    const size_t mask = m_slots.size() - 1;
    for (size_t at = HashFolded(name) & mask; m_slots[at] != kEmptySlot; at = (at + 1) & mask) {
        const Literal& literal = m_literals[m_slots[at]];
        if ((literal.kinds & kind) && SameFolded(literal.name, name))
            return true;
    }
    return false;
}

bool Exclusions::PathMatches(const PathPattern& p, std::wstring_view listedLong, std::wstring_view rel,
                             std::wstring_view name) const {
    // The walk's own path, from the top of the listed folder, or the whole long path.
    NamesFromEnd path = p.anchor == Anchor::ListedTop
                            ? NamesFromEnd(std::array<std::wstring_view, 2>{rel, name})
                            : NamesFromEnd(std::array<std::wstring_view, 3>{listedLong, rel, name});
    std::wstring_view found;
    for (auto it = p.names.rbegin(); it != p.names.rend(); ++it)
        if (!path.Next(found) || !GlobMatches(*it, found))
            return false;
    return p.anchor == Anchor::Trailing || !path.Next(found); // anchored: the whole path
}

bool Exclusions::Excludes(std::wstring_view listedLong, std::wstring_view rel, std::wstring_view name,
                          bool folder) const {
    const uint8_t kind = folder ? kFolders : kFiles;
    if (!m_slots.empty() && LiteralMatches(name, kind))
        return true;
    for (const Glob& glob : m_globs)
        if ((glob.kinds & kind) && GlobMatches(glob.text, name))
            return true;
    for (const PathPattern& path : m_paths)
        if ((path.kinds & kind) && PathMatches(path, listedLong, rel, name))
            return true;
    return false;
}

} // namespace vestrand
