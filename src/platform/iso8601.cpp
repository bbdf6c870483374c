#include "platform/iso8601.h"

#include <cmath>

#include "platform/date_time.h"

namespace kestrow {

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// ISO weekday of a day count since 1970 (Monday = 1 ... Sunday = 7); 1970-01-01 was a Thursday.
int IsoWeekday(std::int64_t days) {
    return static_cast<int>(((days + 3) % 7 + 7) % 7) + 1;
}

std::int64_t MondayOfWeekOne(int year) {
    const std::int64_t jan4 = DaysFromCivil(year, 1, 4);
    return jan4 - (IsoWeekday(jan4) - 1);
}

int WeeksInYear(int year) {
    return static_cast<int>((MondayOfWeekOne(year + 1) - MondayOfWeekOne(year)) / 7);
}

class TCursor {
public:
    explicit TCursor(std::string_view text) : FText(text) {}

    bool AtEnd() const { return FPos >= FText.size(); }
    char Peek() const { return AtEnd() ? '\0' : FText[FPos]; }
    bool Take(char c) {
        if (!AtEnd() && FText[FPos] == c) {
            ++FPos;
            return true;
        }
        return false;
    }
    bool TakeAnyOf(std::string_view set) {
        if (!AtEnd() && set.find(FText[FPos]) != std::string_view::npos) {
            ++FPos;
            return true;
        }
        return false;
    }
    std::size_t DigitRun() const {
        std::size_t n = 0;
        while (FPos + n < FText.size() && IsDigit(FText[FPos + n])) {
            ++n;
        }
        return n;
    }
    bool Number(std::size_t digits, int& value) {
        if (DigitRun() < digits) {
            return false;
        }
        value = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            value = value * 10 + (FText[FPos++] - '0');
        }
        return true;
    }
    // A decimal fraction after "." or ","; at least one digit required.
    bool Fraction(double& value) {
        value = 0;
        if (!TakeAnyOf(".,")) {
            return true;
        }
        const std::size_t n = DigitRun();
        if (n == 0) {
            return false;
        }
        double scale = 0.1;
        for (std::size_t i = 0; i < n; ++i, scale /= 10) {
            value += (FText[FPos++] - '0') * scale;
        }
        return true;
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    std::string_view FText;
    std::size_t FPos = 0;
};

bool WeekDate(TCursor& in, int year, bool extended, std::int64_t& days) {
    int week = 0;
    int weekday = 1;
    if (!in.Number(2, week)) {
        return false;
    }
    if (extended ? in.Take('-') : in.DigitRun() > 0) {
        if (!in.Number(1, weekday)) {
            return false;
        }
    }
    if (week < 1 || week > WeeksInYear(year) || weekday < 1 || weekday > 7) {
        return false;
    }
    days = MondayOfWeekOne(year) + std::int64_t{week - 1} * 7 + (weekday - 1);
    return true;
}

bool OrdinalDate(TCursor& in, int year, std::int64_t& days) {
    int ordinal = 0;
    if (!in.Number(3, ordinal) || ordinal < 1 || ordinal > (IsLeapYear(year) ? 366 : 365)) {
        return false;
    }
    days = DaysFromCivil(year, 1, 1) + ordinal - 1;
    return true;
}

bool CalendarDate(TCursor& in, int year, bool extended, std::int64_t& days) {
    int month = 1;
    int day = 1;
    if (!in.Number(2, month)) {
        return false;
    }
    if (extended ? in.Take('-') : true) {
        if (!in.Number(2, day)) {
            return false;
        }
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
        return false;
    }
    days = DaysFromCivil(year, month, day);
    return true;
}

bool ParseDate(TCursor& in, std::int64_t& days) {
    int year = 0;
    if (!in.Number(4, year)) {
        return false;
    }
    if (in.Take('-')) {
        if (in.TakeAnyOf("Ww")) {
            return WeekDate(in, year, true, days);
        }
        return in.DigitRun() == 3 ? OrdinalDate(in, year, days) : CalendarDate(in, year, true, days);
    }
    if (in.TakeAnyOf("Ww")) {
        return WeekDate(in, year, false, days);
    }
    switch (in.DigitRun()) {
    case 0:
        days = DaysFromCivil(year, 1, 1);
        return true;
    case 3:
        return OrdinalDate(in, year, days);
    case 4:
        return CalendarDate(in, year, false, days);
    default:
        return false;
    }
}

// Time of day in milliseconds; the fraction belongs to the last component given.
bool ParseTime(TCursor& in, std::int64_t& ms) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int parts = 1;
    if (!in.Number(2, hour)) {
        return false;
    }
    const bool extended = in.Take(':');
    if (extended || in.DigitRun() >= 2) {
        if (!in.Number(2, minute)) {
            return false;
        }
        parts = 2;
        if (extended ? in.Take(':') : in.DigitRun() >= 2) {
            if (!in.Number(2, second)) {
                return false;
            }
            parts = 3;
        }
    }
    double fraction = 0;
    if (!in.Fraction(fraction)) {
        return false;
    }
    if (hour > 24 || minute > 59 || second > 60 ||
        (hour == 24 && (minute != 0 || second != 0 || fraction != 0))) {
        return false;
    }
    static constexpr double kUnitMs[4] = {0, 3'600'000.0, 60'000.0, 1000.0};
    ms = (std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second) * 1000 +
         static_cast<std::int64_t>(std::llround(fraction * kUnitMs[parts]));
    return true;
}

// Zone offset in milliseconds to subtract from the local reading to get UTC.
bool ParseZone(TCursor& in, std::int64_t& offsetMs) {
    offsetMs = 0;
    if (in.AtEnd() || in.TakeAnyOf("Zz")) {
        return true;
    }
    const char sign = in.Peek();
    if (!in.TakeAnyOf("+-")) {
        return false;
    }
    int hours = 0;
    int minutes = 0;
    if (!in.Number(2, hours)) {
        return false;
    }
    if (in.Take(':') || in.DigitRun() > 0) {
        if (!in.Number(2, minutes)) {
            return false;
        }
    }
    if (hours > 23 || minutes > 59) {
        return false;
    }
    offsetMs = (hours * 60 + minutes) * 60'000LL * (sign == '-' ? -1 : 1);
    return true;
}

// Characters [pos, pos + length) of the text, as many as there are, read as a decimal number;
// `fallback` when they are not one (or there are none).
int FieldOr(std::string_view text, std::size_t pos, std::size_t length, int fallback) {
    if (pos >= text.size()) {
        return fallback;
    }
    const std::string_view field = text.substr(pos, length);
    int value = 0;
    for (char c : field) {
        if (c < '0' || c > '9') {
            return fallback;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<std::int64_t> ParseIso8601(std::string_view text) {
    TCursor in(text);
    std::int64_t days = 0;
    if (!ParseDate(in, days)) {
        return std::nullopt;
    }
    std::int64_t timeMs = 0;
    std::int64_t offsetMs = 0;
    if (in.TakeAnyOf("Tt ")) {
        if (!ParseTime(in, timeMs) || !ParseZone(in, offsetMs)) {
            return std::nullopt;
        }
    }
    if (!in.AtEnd()) {
        return std::nullopt;
    }
    return days * 86'400'000 + timeMs - offsetMs;
}

bool IsoDateToLocal(std::string_view text, double& dateTime) {
    const auto ms = ParseIso8601(text);
    if (!ms) {
        return false;
    }
    dateTime = UnixMsToLocalDays(*ms);
    return true;
}

double FallbackDate(std::string_view text) {
    const std::string_view head = text.substr(0, 10);
    const int year = FieldOr(head, 0, 4, 2000);
    int month = FieldOr(head, 5, 2, 1);
    if (month < 1 || month > 12) {
        month = 1;
    }
    int day = FieldOr(head, 8, 2, 1);
    if (day < 1 || day > DaysInMonth(year, month)) {
        day = 1;
    }
    return DaysOf(year, month, day);
}

} // namespace kestrow
