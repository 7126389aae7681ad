// Drive letters mapped for the tests by tools/wine-run: S: and T: (plain folders), R: (a small
// tmpfs where the machine allows mounting one).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vestrand::test {

// Makes an empty folder for one test on a mapped drive, e.g. FreshFolder('T', "pass_first") gives
// "T:\pass_first\" with nothing in it.
std::string FreshFolder(char drive, const std::string& name);
// Removes a folder tree, clearing attributes first.
void RemoveTree(const std::string& path);
// Writes a file with the given content (creating missing folders).
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

// The same for any name and path length: `path` is a full drive-letter path in UTF-16, used as an
// extended-length path ("\\?\" is added).
void WriteFileW(const std::wstring& path, const std::string& content);
std::string ReadFileW(const std::wstring& path);
// The last-write time of an entry, 0 when it cannot be read; its attributes, or -1.
uint64_t WriteTimeW(const std::wstring& path);
long AttributesW(const std::wstring& path);

// The lines of a journal text, each ended by CR LF; a last line without CR LF still counts.
inline std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> out;
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

} // namespace vestrand::test
