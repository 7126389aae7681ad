#include "test_drives.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace vestrand::test {

void RemoveTree(const std::string& path) {
    std::string dir = path;
    if (!dir.empty() && dir.back() == '\\')
        dir.pop_back();
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string child = dir + "\\" + name;
            ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                ::DeleteFileA(child.c_str());
        } while (::FindNextFileA(h, &fd));
        ::FindClose(h);
    }
    ::SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryA(dir.c_str());
}

std::string FreshFolder(char drive, const std::string& name) {
    std::string path = std::string(1, drive) + ":\\" + name;
    RemoveTree(path);
    ::CreateDirectoryA(path.c_str(), nullptr);
    return path + "\\";
}

void WriteFile(const std::string& path, const std::string& content) {
    for (size_t i = 3; i < path.size(); ++i)
        if (path[i] == '\\')
            ::CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace vestrand::test
