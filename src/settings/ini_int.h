// Integers in the settings file and in the settings dialog's number fields.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace vestrand {

// Reads `text` as an integer: more than two characters starting "0x"/"0X" is hexadecimal;
// otherwise leading blanks are skipped, an optional sign may precede decimal digits, and a
// leading "$", "x" or "X" introduces up to eight hexadecimal digits (any 32-bit pattern, so
// eight F digits read as -1). Anything else - empty text, a trailing blank, a decimal value
// outside signed 32-bit - is not an integer.
std::optional<int32_t> TryParseIniInt(std::string_view text);

inline int32_t ParseIniInt(std::string_view text, int32_t fallback) {
    return TryParseIniInt(text).value_or(fallback);
}

} // namespace vestrand
