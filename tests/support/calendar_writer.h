#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrow::test {

// Calendar.sqlitedb: the older schema (table event) and the newer one (CalendarItem, Location).
struct TCalendarEvent {
    std::string Title;
    double Start; // seconds since 2001
    double End;
    bool AllDay = false;
    std::int64_t CalendarId = 1;
    std::string Location; // older schema: the text; newer: a Location row made for it
    std::string Description;
    std::string Url;              // newer schema
    double Creation = 0;          // newer schema
    std::int64_t LocationId = -1; // newer schema: a location row id to name instead (-1: made)
};

std::string OlderCalendarSql(const std::vector<TCalendarEvent>& events);
std::string NewerCalendarSql(const std::vector<TCalendarEvent>& events);

} // namespace kestrow::test
