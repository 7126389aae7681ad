// Local date and time as a count of days since 30 December 1899, 00:00; the fraction is the
// time of day. One minute is 1/1440.
#pragma once
#include <cstdint>
#include <string>

namespace vestrand {

using DateTime = double;

inline constexpr double kMinute = 1.0 / 1440.0;
inline constexpr double kSecond = 1.0 / 86400.0;

struct CivilTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

DateTime EncodeDateTime(const CivilTime& t);
// Rounds to the nearest millisecond, as the time stamps shown by the program do.
CivilTime DecodeDateTime(DateTime value);

// A value that can name a moment of the years 1900 to 9999: finite, from 1 January 1900 00:00 up
// to, not including, 1 January 10000. Anything else (NaN, infinities, 1e300, negative counts of
// centuries) is not a date this program could have written.
bool IsPlausibleDateTime(DateTime value);

// "dd.mm.yy hh:nn:ss": two-digit day, month and year separated by full stops, a blank, then
// hour (00-23), minutes and seconds separated by `timeSeparator`. Example: 06.12.26 18:20:13.
std::string FormatTimeStamp(DateTime value, char timeSeparator);
// "yymmdd", as used in the names of journal archives.
std::string FormatYyMmDd(DateTime value);

// "yyyy-mm-dd hhnnss", the name of the folder that keeps what one pass replaced or deleted.
std::string FormatVersionStamp(DateTime value);
// The moment a folder of that name stands for; false for any other name.
bool ParseVersionStamp(const std::string& name, DateTime& value);

// The packed form of a local time that the file system's search reports (FileTimeToDosDateTime):
// date in the high 16 bits (years from 1980, month, day), time in the low 16 (hours, minutes,
// seconds halved). The packed values of two moments compare as unsigned integers as the moments
// do; times before 1980 give 0 and times after 2107 the largest value.
uint32_t PackDosStamp(DateTime value);

// The clock of the program; tests give a fixed or stepping one.
class IClock {
public:
    virtual ~IClock() = default;
    virtual DateTime Now() = 0;
};

} // namespace vestrand
