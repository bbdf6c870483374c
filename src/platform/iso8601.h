#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrow {

// Parses an ISO 8601 date or date-time: calendar (YYYY-MM-DD, YYYYMMDD, YYYY-MM, YYYY), week
// (YYYY-Www-D, YYYYWwwD, YYYY-Www, YYYYWww; "W" or "w") and ordinal (YYYY-DDD, YYYYDDD) dates,
// optionally followed by "T", "t" or a space and a time (hh, hh:mm, hh:mm:ss, hhmm, hhmmss, the
// last part with a decimal fraction after "." or ","), and a zone ("Z", "z", +hh, +hh:mm, +hhmm, or
// "-"). A text without a zone is taken as UTC, as property-list dates are. Any other character, or
// a field out of range, fails the parse. The result is milliseconds since 1970-01-01 00:00 UTC.
std::optional<std::int64_t> ParseIso8601(std::string_view text);

// ISO 8601 text to a local day-count date-time, converted with the zone's rule for that date.
bool IsoDateToLocal(std::string_view text, double& dateTime);

// Property-list dates that are not ISO 8601: of the first 10 characters, 1-4 are the year, 6-7 the
// month and 9-10 the day, each read as a decimal number (however many of its characters there
// are) and defaulting to 2000, 1 and 1 when it is not a number (or not a valid month or day); the
// result is that day at midnight.
double FallbackDate(std::string_view text);

} // namespace kestrow
