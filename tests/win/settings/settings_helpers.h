// Pieces shared by the settings and schedule tests.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "engine/pass_host.h"
#include "fakes.h"
#include "runtime/datetime.h"
#include "test_drives.h"

namespace vestrand::test {

// A settings file with the given lines, in a fresh folder of its own.
inline std::string SettingsFileWith(const std::string& folder, const std::string& text) {
    const std::string dir = FreshFolder('T', folder);
    const std::string path = dir + "vestrand.ini";
    if (!text.empty())
        WriteFile(path, text);
    return path;
}

// Lines of a text file, without line breaks; empty lines left out.
inline std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string current;
    for (char c : ReadFile(path)) {
        if (c == '\r' || c == '\n') {
            if (!current.empty())
                lines.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        lines.push_back(current);
    return lines;
}

} // namespace vestrand::test
