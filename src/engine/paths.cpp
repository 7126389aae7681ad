#include "engine/paths.h"

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

bool IsDriveTarget(const std::string& dir) {
    // Relative, rooted and network forms would put the mirror wherever the current folder happens
    // to be, or measure the free space of an unrelated drive.
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

bool IsDriveSource(const std::string& path) {
    return path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && path[2] == '\\';
}

} // namespace vestrand
