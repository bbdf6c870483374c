#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrow {

class TSQLiteDatabase;

// One calendar event.
struct TCalendarItem {
    std::int32_t CalendarId = 0;
    std::string Title;
    std::string Location;
    std::string Description; // newer schema: "URL: <url>" CR LF first when the event has one
    bool AllDay = false;
    double StartDate = 0; // local day counts; 0 when unknown
    double EndDate = 0;
};

// The events of Calendar.sqlitedb, older schema (table event) or newer (CalendarItem and Location),
// read whole in the constructor in table row order. Database errors raise ESQLiteException.
class TCalendar {
public:
    TCalendar(const std::string& fileName, int utcOffset);

    int Count() const { return static_cast<int>(FEvents.size()); }
    const TCalendarItem& Events(int index) const { return FEvents.at(static_cast<std::size_t>(index)); }

private:
    void ReadOlder(TSQLiteDatabase& db);
    void ReadNewer(TSQLiteDatabase& db);

    std::string FFileName;
    int FUtcOffset = 0;
    std::vector<TCalendarItem> FEvents;
};

} // namespace kestrow
