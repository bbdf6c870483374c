#include "readers/record_text.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "platform/date_time.h"

namespace kestrow {

namespace {

constexpr double kNanosecondThreshold = 1e12;

} // namespace

double DeviceDate(double stored, int utcOffset, double epochDays) {
    if (!(stored > 0) || !std::isfinite(stored)) {
        return 0;
    }
    const double seconds = stored >= kNanosecondThreshold ? stored / 1e9 : stored;
    return DayCountOrNone((seconds + utcOffset) / 86400.0 + epochDays);
}

std::int64_t DeviceSeconds(double stored) {
    if (!std::isfinite(stored)) {
        return 0;
    }
    const double seconds = stored >= kNanosecondThreshold ? stored / 1e9 : stored;
    return static_cast<std::int64_t>(std::trunc(std::clamp(seconds, -9e15, 9e15)));
}

std::string DurationText(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 0); // a negative length is damage: no time at all
    const std::int64_t minutes = seconds / 60;
    if (minutes <= 59) {
        return fmt::format("{}:{:02}", minutes, seconds % 60);
    }
    return fmt::format("{}:{:02}:{:02}", minutes / 60, minutes % 60, seconds % 60);
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
        case '"':
            out += "&quot;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                out += "<br>";
                ++i;
            } else {
                out += '\r';
            }
            break;
        default:
            out += text[i];
        }
    }
    return out;
}

} // namespace kestrow
