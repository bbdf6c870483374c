#include "platform/date_time.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kestrow {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr double kFirstDay = -693593.0; // 0001-01-01
constexpr double kEndDay = 2958466.0;   // 10000-01-01

// The civil date and time as a struct tm, daylight saving left for the library to find.
std::tm TmOf(const TCivilDateTime& civil) {
    std::tm tm{};
    tm.tm_year = civil.Year - 1900;
    tm.tm_mon = civil.Month - 1;
    tm.tm_mday = civil.Day;
    tm.tm_hour = civil.Hour;
    tm.tm_min = civil.Minute;
    tm.tm_sec = civil.Second;
    tm.tm_isdst = -1;
    return tm;
}

std::string Strftime(const char* format, const TCivilDateTime& civil) {
    std::tm tm = TmOf(civil);
    // Weekday for formats that show it: days since 1970-01-01 was a Thursday.
    const std::int64_t days = DaysFromCivil(civil.Year, civil.Month, civil.Day);
    tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7);
    std::array<char, 128> buffer{};
    const std::size_t n = std::strftime(buffer.data(), buffer.size(), format, &tm);
    return std::string(buffer.data(), n);
}

} // namespace

double DayCountOrNone(double days) {
    return days >= kFirstDay && days < kEndDay ? days : 0; // false for NaN too
}

int LocalUtcOffset() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) {
        return 0;
    }
    return static_cast<int>(local.tm_gmtoff);
}

double UnixMsToLocalDays(std::int64_t unixMs) {
    // Floor division: the second an instant falls in, also before 1970.
    const std::int64_t second = unixMs >= 0 ? unixMs / 1000 : -((-unixMs + 999) / 1000);
    const auto instant = static_cast<std::time_t>(second);
    std::tm local{};
    if (::localtime_r(&instant, &local) == nullptr) {
        return UnixMsToDays(unixMs);
    }
    return UnixMsToDays(unixMs + static_cast<std::int64_t>(local.tm_gmtoff) * 1000);
}

double UtcDaysToLocal(double utcDays) {
    const double ms = std::round((utcDays - kUnixEpochDays) * static_cast<double>(kMsPerDay));
    if (!std::isfinite(ms) || std::fabs(ms) > 1e17) {
        return utcDays;
    }
    return UnixMsToLocalDays(static_cast<std::int64_t>(ms));
}

double UnixMsToDays(std::int64_t unixMs) {
    return static_cast<double>(unixMs) / static_cast<double>(kMsPerDay) + kUnixEpochDays;
}

std::int64_t DaysFromCivil(int year, int month, int day) {
    // Howard Hinnant's days_from_civil: proleptic Gregorian calendar.
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

double DaysOf(int year, int month, int day) {
    return static_cast<double>(DaysFromCivil(year, month, day)) + kUnixEpochDays;
}

TCivilDateTime CivilOf(double days) {
    // Round to the nearest second so that 0.99999 of a second does not show as the second before.
    const auto totalSeconds =
        static_cast<std::int64_t>(std::llround((days - kUnixEpochDays) * kSecondsPerDay));
    std::int64_t z = totalSeconds >= 0 ? totalSeconds / 86400 : (totalSeconds - 86399) / 86400;
    const std::int64_t secondOfDay = totalSeconds - z * 86400;
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    TCivilDateTime civil;
    civil.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    civil.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    civil.Year = static_cast<int>(yoe + era * 400 + (civil.Month <= 2 ? 1 : 0));
    civil.Hour = static_cast<int>(secondOfDay / 3600);
    civil.Minute = static_cast<int>((secondOfDay / 60) % 60);
    civil.Second = static_cast<int>(secondOfDay % 60);
    return civil;
}

std::string DateTimeText(double days) {
    if (DayCountOrNone(days) == 0) {
        return {};
    }
    const TCivilDateTime civil = CivilOf(days);
    if (civil.Hour == 0 && civil.Minute == 0 && civil.Second == 0) {
        return Strftime("%x", civil);
    }
    return Strftime("%x %X", civil);
}

std::string DateText(double days) {
    return DayCountOrNone(days) == 0 ? std::string() : Strftime("%x", CivilOf(days));
}

std::string IsoLocalText(double days) {
    if (DayCountOrNone(days) == 0) {
        return {};
    }
    const TCivilDateTime c = CivilOf(days);
    std::array<char, 64> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%04d-%02d-%02dT%02d:%02d:%02d", c.Year, c.Month, c.Day,
                  c.Hour, c.Minute, c.Second);
    return buffer.data();
}

std::string IsoDateTimeText(double days, int utcOffsetSeconds) {
    if (DayCountOrNone(days) == 0) {
        return {};
    }
    const auto totalMs =
        static_cast<std::int64_t>(std::llround((days - kUnixEpochDays) * static_cast<double>(kMsPerDay)));
    const std::int64_t ms = ((totalMs % 1000) + 1000) % 1000;
    const TCivilDateTime c = CivilOf(UnixMsToDays(totalMs - ms));
    const int offset = std::abs(utcOffsetSeconds) / 60;
    std::array<char, 80> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%04d-%02d-%02dT%02d:%02d:%02d", c.Year, c.Month, c.Day,
                  c.Hour, c.Minute, c.Second);
    std::string text = buffer.data();
    if (ms != 0) {
        std::snprintf(buffer.data(), buffer.size(), ".%03d", static_cast<int>(ms));
        text += buffer.data();
    }
    std::snprintf(buffer.data(), buffer.size(), "%c%02d:%02d", utcOffsetSeconds < 0 ? '-' : '+', offset / 60,
                  offset % 60);
    return text + buffer.data();
}

int LocalOffsetAt(double days) {
    if (DayCountOrNone(days) == 0) {
        return LocalUtcOffset();
    }
    std::tm tm = TmOf(CivilOf(days));
    const std::time_t instant = std::mktime(&tm);
    std::tm local{};
    if (instant == static_cast<std::time_t>(-1) || ::localtime_r(&instant, &local) == nullptr) {
        return LocalUtcOffset();
    }
    return static_cast<int>(local.tm_gmtoff);
}

} // namespace kestrow
