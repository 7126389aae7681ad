// Exclusion patterns over arbitrary pattern and path text: matching always ends, and a pattern of one
// name matches a name exactly when a recursive reading of "*" and "?" says so, letter case ignored.
#include <string>
#include <vector>

#include "engine/exclusions.h"
#include "fuzz_support.h"

namespace {

// Bytes as a small alphabet, so that patterns and names often meet: two letters in both cases, the
// wildcards, a dot, both separators, a blank and a surrogate pair's halves.
std::wstring Text(const uint8_t* data, size_t size) {
    static const wchar_t kAlphabet[] = {L'a', L'A',  L'b', L'B', L'*',   L'?',
                                        L'.', L'\\', L'/', L' ', 0xD83D, 0xDE00};
    std::wstring text;
    for (size_t i = 0; i < size; ++i)
        text += kAlphabet[data[i] % (sizeof kAlphabet / sizeof kAlphabet[0])];
    return text;
}

const wchar_t* Upper() {
    static const std::vector<wchar_t> table = [] {
        std::vector<wchar_t> t(65536);
        for (unsigned u = 0; u < t.size(); ++u)
            t[u] = static_cast<wchar_t>(u >= 'a' && u <= 'z' ? u - 0x20 : u);
        return t;
    }();
    return table.data();
}

// The units of the character at `at`: two for the surrogate pair, one for anything else, a lone half
// included.
size_t Units(const std::wstring& s, size_t at) {
    return at + 1 < s.size() && s[at] == 0xD83D && s[at + 1] == 0xDE00 ? 2 : 1;
}

// Whether p[i..] matches n[j..], for every i and j, from the ends backwards: "*" takes nothing or
// one more character, "?" one character, anything else the same character ignoring case (a pair
// only the whole pair, a lone half only the same lone half).
bool Reference(const std::wstring& p, const std::wstring& n) {
    std::vector<std::vector<char>> m(p.size() + 1, std::vector<char>(n.size() + 1, 0));
    m[p.size()][n.size()] = 1;
    for (size_t i = p.size(); i-- > 0;)
        for (size_t j = n.size() + 1; j-- > 0;) {
            const size_t next = j < n.size() ? j + Units(n, j) : j;
            if (p[i] == L'*')
                m[i][j] = m[i + 1][j] || (j < n.size() && m[i][next]);
            else if (j == n.size())
                m[i][j] = 0;
            else if (p[i] == L'?')
                m[i][j] = m[i + 1][next];
            else if (Units(p, i) != Units(n, j)) // the pair against one unit, or one unit against it
                m[i][j] = 0;
            else // the alphabet's only pair is the same pair
                m[i][j] = Upper()[p[i]] == Upper()[n[j]] && m[i + Units(p, i)][next];
        }
    return m[0][0];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 64)
        return 0;
    const size_t split = data[0] % size;
    const std::wstring pattern = Text(data + 1, split), path = Text(data + 1 + split, size - 1 - split);
    const vestrand::Exclusions rules({pattern}, Upper());
    rules.Excludes(L"C:\\a\\", path, L"b", true); // any text as the path: it must end, nothing more
    std::wstring name = path;
    for (wchar_t& c : name)
        if (c == L'\\' || c == L'/')
            c = L'_';
    std::wstring trimmed = pattern;
    while (!trimmed.empty() && trimmed.back() == L' ')
        trimmed.pop_back();
    while (!trimmed.empty() && trimmed.front() == L' ')
        trimmed.erase(trimmed.begin());
    if (trimmed.empty() || trimmed.find_first_of(L"\\/") != std::wstring::npos)
        return 0;
    FUZZ_CHECK(rules.Excludes(L"C:\\", L"", name, false) == Reference(trimmed, name),
               "a pattern of one name against a name");
    return 0;
}
