// The platform-free half of loading the settings file, over arbitrary values: the input is read
// as lines "key=value" (any bytes), and each value goes through the rule its key has on load.
// Integers read by the settings file's rules or give the key's default; folder values end in a
// separator after NormalizeDir, which only ever appends and is idempotent; the folder part of a
// file value (the folder chain a copy creates) is a prefix that ends at its last separator.
#include <string>
#include <string_view>
#include <vector>

#include "engine/paths.h"
#include "fuzz_support.h"
#include "settings/ini_int.h"

using vestrand::fuzz::Shown;

namespace {

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

void CheckInteger(const std::string& value, int32_t fallback) {
    const auto parsed = vestrand::TryParseIniInt(value);
    const int32_t read = vestrand::ParseIniInt(value, fallback);
    FUZZ_CHECK(read == (parsed ? *parsed : fallback),
               "\"" + Shown(value) + "\" read as " + std::to_string(read));
    // What the loader writes back (decimal) reads as the same value at the next start.
    FUZZ_CHECK(vestrand::ParseIniInt(std::to_string(read), fallback) == read,
               "written-back " + std::to_string(read));
}

void CheckFolder(const std::string& value) {
    const std::string dir = vestrand::NormalizeDir(value);
    const std::string shown = "\"" + Shown(value) + "\" normalised as \"" + Shown(dir) + "\"";
    FUZZ_CHECK(dir.compare(0, value.size(), value) == 0, shown + ": not an extension");
    FUZZ_CHECK(dir.empty() == value.empty(), shown);
    FUZZ_CHECK(vestrand::NormalizeDir(dir) == dir, shown + ": not idempotent");
    if (value.empty())
        return;
    FUZZ_CHECK(dir.back() == '\\' || dir.back() == ':', shown + ": no separator at the end");
    const bool ended = value.back() == '\\' || value.back() == ':';
    if (ended)
        FUZZ_CHECK(dir == value, shown + ": an ended path changed");
    else if (value.size() == 1 && IsDriveLetter(value[0]))
        FUZZ_CHECK(dir == value + ":\\", shown + ": a drive letter");
    else
        FUZZ_CHECK(dir == value + "\\", shown);
}

void CheckFile(const std::string& value) {
    const std::string dir = vestrand::FileDirOf(value);
    const std::string shown = "\"" + Shown(value) + "\" has folder \"" + Shown(dir) + "\"";
    FUZZ_CHECK(dir.size() <= value.size() && value.compare(0, dir.size(), dir) == 0,
               shown + ": not a prefix");
    const size_t last = value.find_last_of(":\\");
    if (last == std::string::npos) {
        FUZZ_CHECK(dir.empty(), shown + ": a bare name has a folder");
        return;
    }
    // The folder ends at the last separator: kept after a drive designator, a root or a doubled
    // separator, dropped otherwise.
    FUZZ_CHECK(dir.size() == last || dir.size() == last + 1, shown);
    std::string_view name = std::string_view(value).substr(dir.size());
    if (dir.size() == last) {
        FUZZ_CHECK(value[last] == '\\' && last > 1 && value[last - 1] != ':' && value[last - 1] != '\\',
                   shown);
        name.remove_prefix(1);
    }
    FUZZ_CHECK(name.find_first_of(":\\") == std::string_view::npos, shown + ": a separator after the folder");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        const size_t eq = line.find('=');
        const std::string key(line.substr(0, eq == std::string_view::npos ? 0 : eq));
        const std::string value(eq == std::string_view::npos ? line : line.substr(eq + 1));
        if (key == "SaveMin") {
            CheckInteger(value, 60);
        } else if (key == "LowDriveSpaceMb") {
            CheckInteger(value, 10);
        } else if (key == "TargetDir" || key == "SourceDir") {
            CheckFolder(value);
            CheckFile(vestrand::NormalizeDir(value) + "journal.txt");
        } else if (key == "SourceFile") {
            CheckFile(value);
        } else {
            CheckFolder(value);
            CheckFile(value);
        }
    }
    return 0;
}
