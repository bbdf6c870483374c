#pragma once

#include <cstdint>
#include <string>

namespace kestrow {

// Date-times are held as a day count since 1899-12-30 00:00 (fraction = time of day), in local
// time; 0 means "no date".
constexpr double kUnixEpochDays = 25569.0;   // 1970-01-01
constexpr double kDeviceEpochDays = 36892.0; // 2001-01-01
constexpr double kSecondsPerDay = 86400.0;

// The day count when it is a date of the years 1 to 9999, else 0 ("no date"): a stored time far
// outside them (1e30 seconds) is damage and would overflow every conversion.
double DayCountOrNone(double days);

// Seconds to add to UTC to get local time now (tm_gmtoff of localtime_r(now)).
int LocalUtcOffset();

// Converts an instant given as a UTC day count to local time with the zone's rule for that date.
// The instant is taken to the nearest millisecond first, so that a whole second stays whole.
double UtcDaysToLocal(double utcDays);
// The same from integer milliseconds since 1970-01-01 00:00 UTC: the exact second of a
// daylight-saving change already has the new offset.
double UnixMsToLocalDays(std::int64_t unixMs);

// Milliseconds since 1970-01-01 00:00 UTC to a UTC day count.
double UnixMsToDays(std::int64_t unixMs);

// Civil date of a day count, without any zone conversion.
struct TCivilDateTime {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
};
TCivilDateTime CivilOf(double days);
double DaysOf(int year, int month, int day);              // midnight of a civil date
std::int64_t DaysFromCivil(int year, int month, int day); // days since 1970-01-01

// The user's short date followed by the long time (strftime "%x %X" in the LC_TIME locale); the
// time is left out at exactly midnight. Empty for 0.
std::string DateTimeText(double days);
// The short date alone (birthdays). Empty for 0.
std::string DateText(double days);
// "YYYY-MM-DDTHH:MM:SS", empty for 0 (machine-readable output).
std::string IsoLocalText(double days);
// ISO 8601 with the UTC offset the local time was made with: "2012-04-02T11:31:11+01:00", with
// ".mmm" only when the milliseconds are not zero; empty for 0.
std::string IsoDateTimeText(double days, int utcOffsetSeconds);
// The zone's offset from UTC at a local day count (its rule for that date).
int LocalOffsetAt(double days);

} // namespace kestrow
