// The settings file's integer reading: arbitrary text is compared with a second reading written
// here from the rules themselves, and every 32-bit value survives its decimal and hexadecimal forms.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "settings/ini_int.h"

using vestrand::fuzz::Shown;

namespace {

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
    return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string_view WithoutLeadingZeros(std::string_view digits) {
    const size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view() : digits.substr(first);
}

// Hexadecimal digits and nothing else, with at most eight significant ones: the 32-bit pattern.
std::optional<int32_t> ReferenceHex(std::string_view digits) {
    if (digits.empty())
        return std::nullopt;
    for (const char c : digits)
        if (!IsHexDigit(c))
            return std::nullopt;
    const std::string_view significant = WithoutLeadingZeros(digits);
    if (significant.size() > 8)
        return std::nullopt;
    uint64_t pattern = 0;
    if (!significant.empty())
        std::from_chars(significant.data(), significant.data() + significant.size(), pattern, 16);
    return static_cast<int32_t>(static_cast<uint32_t>(pattern));
}

// An optional sign, then decimal digits and nothing else, within the signed 32-bit range.
std::optional<int32_t> ReferenceDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    for (const char c : text)
        if (!IsDecimalDigit(c))
            return std::nullopt;
    const std::string_view significant = WithoutLeadingZeros(text);
    if (significant.size() > 10)
        return std::nullopt;
    int64_t magnitude = 0;
    if (!significant.empty())
        std::from_chars(significant.data(), significant.data() + significant.size(), magnitude);
    const int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

// The reading as the settings file's rules state it.
std::optional<int32_t> ReferenceIniInt(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ReferenceHex(text.substr(2));
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(first);
    if (text.front() == '$' || text.front() == 'x' || text.front() == 'X')
        return ReferenceHex(text.substr(1));
    return ReferenceDecimal(text);
}

std::string Optional(std::optional<int32_t> v) {
    return v ? std::to_string(*v) : std::string("none");
}

void ExpectReads(const std::string& text, int32_t expected) {
    const auto got = vestrand::TryParseIniInt(text);
    FUZZ_CHECK(got && *got == expected,
               "\"" + Shown(text) + "\" read as " + Optional(got) + ", expected " + std::to_string(expected));
}

void ExpectRefused(const std::string& text) {
    const auto got = vestrand::TryParseIniInt(text);
    FUZZ_CHECK(!got, "\"" + Shown(text) + "\" read as " + Optional(got) + ", expected no integer");
}

// Every way the program or a person writes `v` reads back as `v`.
void CheckWrittenForms(int32_t v) {
    const auto pattern = static_cast<uint32_t>(v);
    char buf[32];
    ExpectReads(std::to_string(v), v);
    ExpectReads("   " + std::to_string(v), v);
    ExpectRefused(std::to_string(v) + " ");
    if (v >= 0) {
        ExpectReads("+" + std::to_string(v), v);
        ExpectReads("000" + std::to_string(v), v);
    }
    std::snprintf(buf, sizeof buf, "$%X", pattern);
    ExpectReads(buf, v);
    std::snprintf(buf, sizeof buf, "x%x", pattern);
    ExpectReads(buf, v);
    std::snprintf(buf, sizeof buf, "0x%08X", pattern);
    ExpectReads(buf, v);
    std::snprintf(buf, sizeof buf, "0X%x", pattern);
    ExpectReads(buf, v);
    // One hexadecimal digit too many is not a 32-bit pattern.
    if (pattern != 0) {
        std::snprintf(buf, sizeof buf, "$%X0", pattern);
        if (pattern > 0x0FFFFFFFu)
            ExpectRefused(buf);
        else
            ExpectReads(buf, static_cast<int32_t>(pattern << 4));
    }
    // Just outside the signed range in decimal.
    if (v == INT32_MAX || v == INT32_MIN) {
        const int64_t beyond = v == INT32_MAX ? int64_t{INT32_MAX} + 1 : int64_t{INT32_MIN} - 1;
        ExpectRefused(std::to_string(beyond));
    }
}

// Decimal text that reads as a value is that value's decimal form, up to blanks, "+" and zeros.
void CheckDecimalText(std::string_view text, std::optional<int32_t> got) {
    std::string_view rest = text;
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    bool decimal = !rest.empty();
    for (const char c : rest)
        decimal = decimal && IsDecimalDigit(c);
    if (!decimal)
        return;
    const std::string_view significant = WithoutLeadingZeros(rest);
    if (!got) {
        // Refused decimal text is out of range.
        FUZZ_CHECK(significant.size() >= 10, "decimal \"" + Shown(text) + "\" refused");
        return;
    }
    std::string canonical = significant.empty() ? std::string("0") : std::string(significant);
    if (negative && canonical != "0")
        canonical = "-" + canonical;
    FUZZ_CHECK(std::to_string(*got) == canonical,
               "decimal \"" + Shown(text) + "\" read as " + std::to_string(*got));
    ExpectReads(std::to_string(*got), *got);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto got = vestrand::TryParseIniInt(text);
    const auto expected = ReferenceIniInt(text);
    FUZZ_CHECK(got == expected,
               "\"" + Shown(text) + "\" read as " + Optional(got) + ", the rules give " + Optional(expected));
    FUZZ_CHECK(vestrand::ParseIniInt(text, 60) == (got ? *got : 60),
               "fallback not used for \"" + Shown(text) + "\"");
    CheckDecimalText(text, got);

    if (size >= 4) {
        uint32_t pattern = 0;
        std::memcpy(&pattern, data, 4);
        CheckWrittenForms(static_cast<int32_t>(pattern));
    }
    return 0;
}
