// Dates and time stamps over arbitrary doubles (NaN, infinities, negative, huge, subnormal) and
// arbitrary calendar fields: no crash and no undefined behaviour, every stamp keeps the journal's
// shape and agrees with the decoded date, dates and times in range survive encoding and decoding,
// and later moments never decode to earlier dates.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.h"
#include "runtime/datetime.h"

using vestrand::CivilTime;
using vestrand::DateTime;

namespace {

constexpr double kFirstDay = -693593; // 1 January of year 1
constexpr double kLastDay = 2958466;  // the day after 31 December 9999

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

std::string Shown(const CivilTime& t) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d-%d-%d %d:%d:%d.%d", t.year, t.month, t.day, t.hour, t.minute, t.second,
                  t.millisecond);
    return buf;
}

std::string Shown(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

auto Fields(const CivilTime& t) {
    return std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
}

bool ValidCivil(const CivilTime& t) {
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= DaysInMonth(t.year, t.month) &&
           t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
           t.second <= 59 && t.millisecond >= 0 && t.millisecond <= 999;
}

int TwoDigits(const std::string& s, size_t at) {
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}

void CheckStamp(double v, char separator) {
    const CivilTime t = vestrand::DecodeDateTime(v);
    FUZZ_CHECK(ValidCivil(t), Shown(v) + " decoded as " + Shown(t));

    const std::string stamp = vestrand::FormatTimeStamp(v, separator);
    const std::string shown = Shown(v) + " formatted as \"" + vestrand::fuzz::Shown(stamp) + "\"";
    FUZZ_CHECK(stamp.size() == 17, shown);
    for (const size_t at : {0, 3, 6, 9, 12, 15})
        FUZZ_CHECK(stamp[at] >= '0' && stamp[at] <= '9' && stamp[at + 1] >= '0' && stamp[at + 1] <= '9',
                   shown);
    FUZZ_CHECK(stamp[2] == '.' && stamp[5] == '.' && stamp[8] == ' ', shown);
    FUZZ_CHECK(stamp[11] == separator && stamp[14] == separator, shown);
    FUZZ_CHECK(TwoDigits(stamp, 0) == t.day && TwoDigits(stamp, 3) == t.month &&
                   TwoDigits(stamp, 6) == ((t.year % 100) + 100) % 100 && TwoDigits(stamp, 9) == t.hour &&
                   TwoDigits(stamp, 12) == t.minute && TwoDigits(stamp, 15) == t.second,
               shown + ", decoded as " + Shown(t));

    const std::string day = vestrand::FormatYyMmDd(v);
    FUZZ_CHECK(day == stamp.substr(6, 2) + stamp.substr(3, 2) + stamp.substr(0, 2),
               shown + ", day \"" + vestrand::fuzz::Shown(day) + "\"");

    // A moment of years 1 to 9999 comes back from its decoded fields to within the rounding to
    // the millisecond.
    if (std::isfinite(v) && v >= kFirstDay && v < kLastDay - 1) {
        const DateTime back = vestrand::EncodeDateTime(t);
        FUZZ_CHECK(std::fabs(back - v) <= 0.5 / 86400000.0 + 1e-9, Shown(v) + " came back as " + Shown(back));
    }
}

// Later never decodes earlier.
void CheckOrder(double a, double b) {
    if (!(std::isfinite(a) && std::isfinite(b) && a >= kFirstDay && b >= kFirstDay && a < kLastDay - 1 &&
          b < kLastDay - 1))
        return;
    if (a > b)
        std::swap(a, b);
    const CivilTime ta = vestrand::DecodeDateTime(a), tb = vestrand::DecodeDateTime(b);
    FUZZ_CHECK(Fields(ta) <= Fields(tb),
               Shown(a) + " gives " + Shown(ta) + ", later " + Shown(b) + " gives " + Shown(tb));
}

void CheckFields(const CivilTime& t) {
    const DateTime v = vestrand::EncodeDateTime(t); // any fields: no undefined behaviour
    if (!ValidCivil(t) || t.year < 1 || t.year > 9999)
        return;
    FUZZ_CHECK(std::isfinite(v) && v >= kFirstDay && v < kLastDay, Shown(t) + " encoded as " + Shown(v));
    const CivilTime back = vestrand::DecodeDateTime(v);
    FUZZ_CHECK(Fields(back) == Fields(t),
               Shown(t) + " encoded as " + Shown(v) + " came back as " + Shown(back));
    // The next day is exactly one day later.
    CivilTime next = t;
    if (++next.day > DaysInMonth(next.year, next.month)) {
        next.day = 1;
        if (++next.month > 12) {
            next.month = 1;
            ++next.year;
        }
    }
    if (next.year <= 9999)
        FUZZ_CHECK(std::fabs(vestrand::EncodeDateTime(next) - v - 1.0) < 1e-9,
                   Shown(t) + " and the next day " + Shown(next));
}

double RawDouble(FuzzedDataProvider& in) {
    double v = 0;
    const auto raw = in.ConsumeBytes<uint8_t>(sizeof v);
    if (!raw.empty())
        std::memcpy(&v, raw.data(), raw.size());
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const double a = RawDouble(in);
    char separator = static_cast<char>(in.ConsumeIntegral<uint8_t>());
    if (separator == '\0')
        separator = ':'; // the locale's separator is never NUL: the colon stands in for none
    CheckStamp(a, separator);
    // A nearby moment, for the order and for the day boundaries.
    const double b = a + in.ConsumeFloatingPointInRange<double>(-2.0, 2.0);
    CheckStamp(b, separator);
    CheckOrder(a, b);
    // A plausible moment of the years the program meets, to the millisecond.
    const double c = in.ConsumeFloatingPointInRange<double>(0.0, 73051.0); // 1899 to 2100
    CheckStamp(c, separator);
    CheckOrder(c, c + in.ConsumeIntegralInRange<int>(0, 86400000) / 86400000.0);

    CivilTime t;
    t.year = in.ConsumeIntegral<int>();
    t.month = in.ConsumeIntegral<int>();
    t.day = in.ConsumeIntegral<int>();
    t.hour = in.ConsumeIntegral<int>();
    t.minute = in.ConsumeIntegral<int>();
    t.second = in.ConsumeIntegral<int>();
    t.millisecond = in.ConsumeIntegral<int>();
    CheckFields(t);
    // The same moment with fields in range, so the round trip is exercised on most inputs.
    CivilTime valid;
    valid.year = 1 + static_cast<int>(static_cast<unsigned>(t.year) % 9999u);
    valid.month = 1 + static_cast<int>(static_cast<unsigned>(t.month) % 12u);
    valid.day = 1 + static_cast<int>(static_cast<unsigned>(t.day) %
                                     static_cast<unsigned>(DaysInMonth(valid.year, valid.month)));
    valid.hour = static_cast<int>(static_cast<unsigned>(t.hour) % 24u);
    valid.minute = static_cast<int>(static_cast<unsigned>(t.minute) % 60u);
    valid.second = static_cast<int>(static_cast<unsigned>(t.second) % 60u);
    valid.millisecond = static_cast<int>(static_cast<unsigned>(t.millisecond) % 1000u);
    CheckFields(valid);
    return 0;
}
