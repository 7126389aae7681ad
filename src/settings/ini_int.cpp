#include "settings/ini_int.h"

namespace vestrand {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// At least one digit, nothing after them, at most 32 significant bits.
std::optional<int32_t> ParseHexDigits(std::string_view digits) {
    if (digits.empty())
        return std::nullopt;
    uint32_t value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0 || value > 0x0FFFFFFFu)
            return std::nullopt;
        value = (value << 4) | static_cast<uint32_t>(d);
    }
    return static_cast<int32_t>(value);
}

std::optional<int32_t> ParseDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

} // namespace

std::optional<int32_t> TryParseIniInt(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ParseHexDigits(text.substr(2));
    while (!text.empty() && text[0] == ' ')
        text.remove_prefix(1);
    if (!text.empty() && (text[0] == '$' || text[0] == 'x' || text[0] == 'X'))
        return ParseHexDigits(text.substr(1));
    return ParseDecimal(text);
}

} // namespace vestrand
