#include "runtime/cp1251.h"

#include <cstdio>

namespace vestrand {
namespace {

// The characters of the bytes 0x80 to 0xBF (0xC0 to 0xFF are U+0410 to U+044F in order). Byte 0x98
// has no character of its own and maps to U+0098, as the platform's conversion does.
constexpr char16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char16_t CharOf(unsigned char byte) {
    if (byte < 0x80)
        return byte;
    if (byte >= 0xC0)
        return static_cast<char16_t>(0x0410 + (byte - 0xC0));
    return kHigh[byte - 0x80];
}

void AppendCodePoint(std::string& out, unsigned long point) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "<U+%04lX>", point);
    out += buf;
}

} // namespace

std::wstring WidenCp1251(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (const char c : text)
        out += static_cast<wchar_t>(CharOf(static_cast<unsigned char>(c)));
    return out;
}

bool Cp1251Byte(wchar_t unit, unsigned char& byte) {
    const auto u = static_cast<unsigned long>(unit);
    if (u < 0x80) {
        byte = static_cast<unsigned char>(u);
        return true;
    }
    if (u >= 0x0410 && u <= 0x044F) {
        byte = static_cast<unsigned char>(0xC0 + (u - 0x0410));
        return true;
    }
    for (unsigned i = 0; i < 64; ++i)
        if (kHigh[i] == u) {
            byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    return false;
}

std::string JournalText(const std::wstring& path) {
    std::string out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        const auto unit = static_cast<unsigned long>(path[i]) & 0xFFFFFFul;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < path.size()) {
            const auto low = static_cast<unsigned long>(path[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        unsigned char byte = 0;
        if (unit >= 0x20 && unit <= 0xFFFF && Cp1251Byte(static_cast<wchar_t>(unit), byte))
            out += static_cast<char>(byte);
        else
            AppendCodePoint(out, unit);
    }
    return out;
}

std::wstring PathOfJournalText(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '<' && text.compare(i, 3, "<U+") == 0) {
            size_t end = i + 3;
            unsigned long point = 0;
            while (end < text.size() && end - i - 3 < 7 &&
                   ((text[end] >= '0' && text[end] <= '9') || (text[end] >= 'A' && text[end] <= 'F')))
                point = point * 16 +
                        static_cast<unsigned long>(text[end] <= '9' ? text[end] - '0' : text[end] - 'A' + 10),
                ++end;
            const size_t digits = end - i - 3;
            if (end < text.size() && text[end] == '>' && digits >= 4 && digits <= 6 && point <= 0x10FFFF &&
                (digits == 4 || point > 0xFFFF)) {
                if (point > 0xFFFF) {
                    out += static_cast<wchar_t>(0xD800 + ((point - 0x10000) >> 10));
                    out += static_cast<wchar_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
                } else {
                    out += static_cast<wchar_t>(point);
                }
                i = end;
                continue;
            }
        }
        out += static_cast<wchar_t>(CharOf(static_cast<unsigned char>(text[i])));
    }
    return out;
}

} // namespace vestrand
