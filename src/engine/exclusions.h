// What the user leaves out of the backup: patterns matched against the entries a pass finds inside
// its listed folders. Pure rules; the pass supplies the file system's upper-case table.
//
// A pattern names one entry by its long name: "*" stands for any run of characters within one name
// ("**" is the same), "?" for one character; neither crosses a "\", and "/" counts as "\". A character
// is a surrogate pair or any other unit, a lone surrogate half included: a pattern's lone half matches
// only the same lone half of a name, never half of a pair.
//   - without "\": the name of an entry at any depth ("Thumbs.db", "*.tmp", "~$*");
//   - ending in "\": folders only ("Temp\");
//   - with a "\" before its end: the last names of the entry's path ("AppData\Local\Temp\"), from
//     the top of each listed folder when it starts with "\" ("\Build\"), or from a drive when it
//     starts with one ("D:\Photos\Private\", which must name a folder at least).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vestrand {

// `text` without the blanks (spaces and tabs) around it.
std::string TrimBlanks(const std::string& text);

class Exclusions {
public:
    // Nothing excluded.
    Exclusions() = default;
    // Prepares `patterns` once for every entry of a pass. `upper` maps each UTF-16 unit (65,536 of
    // them) to its upper case as the file system ignores case. Empty patterns, patterns made of
    // separators only and a drive alone are ignored: none of them ever means "everything".
    Exclusions(const std::vector<std::wstring>& patterns, const wchar_t* upper);

    bool Empty() const { return m_literals.empty() && m_globs.empty() && m_paths.empty(); }

    // Whether the entry `name` (a folder when `folder`) that the walk of the listed folder
    // `listedLong` (a long full path ending in "\") finds at `rel` (empty or ending in "\") is left
    // out. Nothing is copied: names are folded unit by unit as they are compared.
    bool Excludes(std::wstring_view listedLong, std::wstring_view rel, std::wstring_view name,
                  bool folder) const;

private:
    enum Kinds : uint8_t { kFiles = 1, kFolders = 2 };
    enum class Anchor : uint8_t { Trailing, ListedTop, Drive };
    struct Literal {
        std::wstring name; // folded
        uint8_t kinds;
    };
    struct Glob {
        std::wstring text; // folded, "**" as "*"
        uint8_t kinds;
    };
    struct PathPattern {
        std::vector<std::wstring> names; // folded globs, outermost first
        Anchor anchor;
        uint8_t kinds;
    };

    uint64_t HashFolded(std::wstring_view name) const;
    bool SameFolded(std::wstring_view folded, std::wstring_view name) const;
    bool GlobMatches(std::wstring_view folded, std::wstring_view name) const;
    bool LiteralMatches(std::wstring_view name, uint8_t kind) const;
    bool PathMatches(const PathPattern& p, std::wstring_view listedLong, std::wstring_view rel,
                     std::wstring_view name) const;
    void AddLiteral(std::wstring folded, uint8_t kinds);

    const wchar_t* m_upper = nullptr;
    std::vector<Literal> m_literals;
    std::vector<uint32_t> m_slots; // open addressing over m_literals by the folded name's hash
    std::vector<Glob> m_globs;
    std::vector<PathPattern> m_paths;
};

} // namespace vestrand
