#include "engine/paths.h"

#include <algorithm>

namespace vestrand {

std::string NormalizeDir(const std::string& path) {
    if (path.empty())
        return path;
    const char last = path.back();
    if (last == ':' || last == '\\')
        return path;
    if (path.size() == 1 && ((last >= 'A' && last <= 'Z') || (last >= 'a' && last <= 'z')))
        return path + ":\\";
    return path + "\\";
}

std::string FileDirOf(const std::string& path) {
    const auto at = path.find_last_of(":\\");
    if (at == std::string::npos)
        return std::string();
    if (path[at] == '\\' && at > 1 && path[at - 1] != ':' && path[at - 1] != '\\')
        return path.substr(0, at);
    return path.substr(0, at + 1);
}

std::wstring FileDirOf(const std::wstring& path) {
    const auto at = path.find_last_of(L":\\");
    if (at == std::wstring::npos)
        return std::wstring();
    if (path[at] == L'\\' && at > 1 && path[at - 1] != L':' && path[at - 1] != L'\\')
        return path.substr(0, at);
    return path.substr(0, at + 1);
}

bool IsSafeIdentifComp(const std::string& name) {
    // The file system drops blanks and full stops at the end of a name, so "Other." would name
    // another computer's folder and "..." or " " the backup folder itself ("." and ".." too).
    if (name.empty() || name.back() == '.' || name.back() == ' ')
        return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::string("\\/:*?\"<>|").find(c) != std::string::npos)
            return false;
    return true;
}

namespace {
bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
} // namespace

bool IsBackupTarget(const std::string& dir) {
    // Relative and rooted forms would put the mirror wherever the current folder happens to be, or
    // measure the free space of an unrelated drive.
    if (IsNetworkPath(dir))
        return dir.back() == '\\' && dir.find('\\', 2) != dir.size() - 1;
    return dir.size() >= 2 && IsLetter(dir[0]) && dir[1] == ':' && (dir.size() == 2 || dir[2] == '\\');
}

bool ExpandVariables(const std::string& text, const VariableLookup& lookup, std::string& expanded,
                     std::string& unset) {
    expanded.clear();
    size_t at = 0;
    while (at < text.size()) {
        const size_t open = text.find('%', at);
        const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) {
            expanded += text.substr(at);
            break;
        }
        const std::string name = text.substr(open + 1, close - open - 1);
        expanded += text.substr(at, open - at);
        if (name.empty() || name.find_first_of("\\=") != std::string::npos) {
            expanded += '%'; // opens no reference: the closing "%" may open the next one
            at = open + 1;
            continue;
        }
        const std::optional<std::string> value = lookup(name);
        if (!value) {
            unset = "%" + name + "%";
            return false;
        }
        expanded += *value;
        at = close + 1;
    }
    return true;
}

bool IsMappableSource(const std::string& path) {
    return (path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && path[2] == '\\') ||
           IsNetworkPath(path);
}

namespace {

template <typename Char> bool IsDotName(std::basic_string_view<Char> name) {
    return name.size() <= 2 && name.find_first_not_of(static_cast<Char>('.')) == name.npos;
}

// The share part of a path whose server name starts at `at`: the root's length, and in `keyStart`
// where the share's name begins; 0 when the server or the share is missing.
template <typename Char> size_t ShareRoot(std::basic_string_view<Char> path, size_t at, size_t& keyStart) {
    const Char sep = static_cast<Char>('\\');
    const size_t server = path.find(sep, at);
    if (server == path.npos || IsDotName(path.substr(at, server - at)))
        return 0;
    const size_t share = path.find(sep, server + 1);
    const size_t shareEnd = share == path.npos ? path.size() : share;
    if (IsDotName(path.substr(server + 1, shareEnd - server - 1)))
        return 0;
    keyStart = server + 1;
    return share == path.npos ? path.size() : share + 1;
}

template <typename Char> size_t DriveRoot(std::basic_string_view<Char> path, size_t at, size_t& keyStart) {
    if (path.size() < at + 3 || !IsLetter(static_cast<char>(path[at] < 0x80 ? path[at] : 0)) ||
        path[at + 1] != ':' || path[at + 2] != '\\')
        return 0;
    keyStart = at + 3;
    return keyStart;
}

template <typename Char> bool StartsWith(std::basic_string_view<Char> path, std::string_view ascii) {
    if (path.size() < ascii.size())
        return false;
    for (size_t i = 0; i < ascii.size(); ++i)
        if (path[i] != static_cast<Char>(ascii[i]))
            return false;
    return true;
}

// The root of `path` in any of its four forms: its length, and where the mirror's part begins.
template <typename Char> size_t ParseRoot(std::basic_string_view<Char> path, size_t& keyStart) {
    keyStart = 0;
    if (StartsWith(path, "\\\\?\\UNC\\"))
        return ShareRoot(path, 8, keyStart);
    if (StartsWith(path, "\\\\?\\"))
        return DriveRoot(path, 4, keyStart);
    if (StartsWith(path, "\\\\")) {
        const bool device = path.size() >= 4 && (path[2] == '?' || path[2] == '.') && path[3] == '\\';
        return device ? 0 : ShareRoot(path, 2, keyStart);
    }
    return DriveRoot(path, 0, keyStart);
}

template <typename Char> bool IsNetwork(std::basic_string_view<Char> path) {
    size_t keyStart = 0;
    return StartsWith(path, "\\\\") && !StartsWith(path, "\\\\?\\") && ParseRoot(path, keyStart) > 0;
}

} // namespace

bool IsNetworkPath(std::string_view path) {
    return IsNetwork(path);
}

bool IsNetworkPath(std::wstring_view path) {
    return IsNetwork(path);
}

size_t RootLength(std::wstring_view path) {
    size_t keyStart = 0;
    return ParseRoot(path, keyStart);
}

size_t RootLength(std::string_view path) {
    size_t keyStart = 0;
    return ParseRoot(path, keyStart);
}

size_t MirrorKeyStart(std::wstring_view path) {
    size_t keyStart = 0;
    ParseRoot(path, keyStart);
    return keyStart;
}

std::wstring MirrorRelOf(const std::wstring& path) {
    return path.substr(std::min(MirrorKeyStart(path), path.size()));
}

std::wstring PlainPath(const std::wstring& path) {
    if (StartsWith(std::wstring_view(path), "\\\\?\\UNC\\"))
        return L"\\\\" + path.substr(8);
    if (StartsWith(std::wstring_view(path), "\\\\?\\"))
        return path.substr(4);
    return path;
}

std::wstring ExtendedPath(const std::wstring& full) {
    if (StartsWith(std::wstring_view(full), "\\\\?\\"))
        return full;
    if (IsNetworkPath(full))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring VolumeRoot(std::wstring_view path) {
    const std::wstring plain = PlainPath(std::wstring(path));
    std::wstring root = plain.substr(0, RootLength(plain));
    if (!root.empty() && root.back() != L'\\')
        root += L'\\';
    return root;
}

} // namespace vestrand
