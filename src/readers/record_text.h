#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrow {

// A stored device time as a local day count: (seconds + utcOffset) / 86400 + epochDays (25569 for
// 1970, 36892 for 2001). A value of 1e12 or more is nanoseconds (devices since 2017 store message
// dates so, and one database may hold both after an upgrade) and is divided by 1e9 first. A value
// that is not positive gives 0 (no date).
double DeviceDate(double stored, int utcOffset, double epochDays);

// Whole stored seconds: a nanosecond value divided down, the fraction dropped.
std::int64_t DeviceSeconds(double stored);

// "m:ss" below one hour, "h:mm:ss" from one hour on (calls, voicemail).
std::string DurationText(std::int64_t seconds);

// Text for an HTML page: " & < > become entities, then every CR LF pair becomes "<br>".
std::string HtmlEscape(std::string_view text);

} // namespace kestrow
