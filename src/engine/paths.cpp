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

}  // namespace vestrand
