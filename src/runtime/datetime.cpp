#include "runtime/datetime.h"

#include <cmath>
#include <cstdio>

namespace vestrand {
namespace {

// Days from 1970-01-01 to the given proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

constexpr int64_t kEpochOffset = 25569; // 1970-01-01 counted from 1899-12-30
constexpr int64_t kMsPerDay = 86400000;

} // namespace

DateTime EncodeDateTime(const CivilTime& t) {
    const int64_t days =
        DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) + kEpochOffset;
    const double ms = ((t.hour * 60.0 + t.minute) * 60.0 + t.second) * 1000.0 + t.millisecond;
    return static_cast<double>(days) + ms / kMsPerDay;
}

CivilTime DecodeDateTime(DateTime value) {
    CivilTime t;
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6) // beyond year 9999 either way
        value = 0;
    int64_t totalMs = std::llround(value * kMsPerDay);
    int64_t days = totalMs / kMsPerDay;
    int64_t ms = totalMs % kMsPerDay;
    if (ms < 0) {
        ms += kMsPerDay;
        --days;
    }
    CivilFromDays(days - kEpochOffset, t.year, t.month, t.day);
    t.hour = static_cast<int>(ms / 3600000);
    t.minute = static_cast<int>(ms / 60000 % 60);
    t.second = static_cast<int>(ms / 1000 % 60);
    t.millisecond = static_cast<int>(ms % 1000);
    return t;
}

bool IsPlausibleDateTime(DateTime value) {
    // Comparisons with NaN are false, so a NaN fails the first test.
    static const DateTime first = EncodeDateTime(CivilTime{1900, 1, 1, 0, 0, 0, 0});
    static const DateTime beyond = EncodeDateTime(CivilTime{10000, 1, 1, 0, 0, 0, 0});
    return value >= first && value < beyond;
}

std::string FormatTimeStamp(DateTime value, char timeSeparator) {
    const CivilTime t = DecodeDateTime(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%02d %02d%c%02d%c%02d", t.day, t.month,
                  (t.year % 100 + 100) % 100, t.hour, timeSeparator, t.minute, timeSeparator, t.second);
    return buf;
}

uint32_t PackDosStamp(DateTime value) {
    // Whole seconds, not rounded up (the nudge keeps a whole second stored a hair below it).
    const CivilTime t = DecodeDateTime(std::floor(value * 86400.0 + 1e-4) / 86400.0);
    if (t.year < 1980)
        return 0;
    if (t.year > 2107)
        return UINT32_MAX;
    const uint32_t date = static_cast<uint32_t>(((t.year - 1980) << 9) | (t.month << 5) | t.day);
    const uint32_t time = static_cast<uint32_t>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
    return date << 16 | time;
}

std::string FormatYyMmDd(DateTime value) {
    const CivilTime t = DecodeDateTime(value);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d", (t.year % 100 + 100) % 100, t.month, t.day);
    return buf;
}

std::string FormatVersionStamp(DateTime value) {
    const CivilTime t = DecodeDateTime(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}

bool ParseVersionStamp(const std::string& name, DateTime& value) {
    // Exactly "dddd-dd-dd dddddd", digits where the pattern has them, a real date and time.
    static const char kPattern[] = "dddd-dd-dd dddddd";
    if (name.size() != sizeof kPattern - 1)
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : name[i] != kPattern[i])
            return false;
    }
    const auto num = [&](size_t at, size_t n) { return std::stoi(name.substr(at, n)); };
    CivilTime t;
    t.year = num(0, 4);
    t.month = num(5, 2);
    t.day = num(8, 2);
    t.hour = num(11, 2);
    t.minute = num(13, 2);
    t.second = num(15, 2);
    if (t.year < 1900 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
        t.minute > 59 || t.second > 59)
        return false;
    value = EncodeDateTime(t);
    return FormatVersionStamp(value) == name; // 31 February and the like are no dates
}

} // namespace vestrand
