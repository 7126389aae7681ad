// Pieces shared by the fuzz targets: a property check that stops the run like a crash, so that
// libFuzzer keeps the input that broke it.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vestrand::fuzz {

// Printable form of a byte string for failure messages: other bytes as \xNN.
inline std::string Shown(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 0x20 && code < 0x7F && c != '\\') {
            out += c;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", code);
            out += buf;
        }
    }
    return out;
}

[[noreturn]] inline void Fail(const char* file, int line, const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s:%d: property failed: %s\n  %s\n", file, line, what, detail.c_str());
    std::abort();
}

} // namespace vestrand::fuzz

#define FUZZ_CHECK(cond, detail)                                                                             \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            ::vestrand::fuzz::Fail(__FILE__, __LINE__, #cond, (detail));                                     \
    } while (false)
