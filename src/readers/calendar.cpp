#include "readers/calendar.h"

#include <unordered_map>

#include "platform/date_time.h"
#include "platform/paths.h"
#include "readers/record_text.h"
#include "readers/sqlite_database.h"

namespace kestrow {

TCalendar::TCalendar(const std::string& fileName, int utcOffset)
    : FFileName(fileName), FUtcOffset(utcOffset) {
    if (!FileExists(fileName)) {
        return;
    }
    const auto db = OpenDeviceDatabase(fileName);
    if (db->TableExists("event")) {
        ReadOlder(*db);
    } else {
        ReadNewer(*db);
    }
}

void TCalendar::ReadOlder(TSQLiteDatabase& db) {
    const auto table = db.GetTable("SELECT * FROM event");
    const int summary = table->FieldIndex("summary");
    const int location = table->FieldIndex("location");
    const int description = table->FieldIndex("description");
    const int allDay = table->FieldIndex("all_day");
    const int calendarId = table->FieldIndex("calendar_id");
    const int start = table->FieldIndex("start_date");
    const int end = table->FieldIndex("end_date");
    for (; !table->Eof(); table->Next()) {
        TCalendarItem item;
        item.Title = table->FieldAsString(summary);
        item.Location = table->FieldAsString(location);
        item.Description = table->FieldAsString(description);
        item.AllDay = table->FieldAsInteger(allDay) == 1;
        item.CalendarId = static_cast<std::int32_t>(table->FieldAsInteger(calendarId));
        item.StartDate = DeviceDate(table->FieldAsDouble(start), FUtcOffset, kDeviceEpochDays);
        item.EndDate = DeviceDate(table->FieldAsDouble(end), FUtcOffset, kDeviceEpochDays);
        FEvents.push_back(std::move(item));
    }
}

void TCalendar::ReadNewer(TSQLiteDatabase& db) {
    std::unordered_map<std::int64_t, std::string> locations;
    {
        const auto table = db.GetTable("SELECT * FROM Location");
        const int rowId = table->FieldIndex("ROWID");
        const int title = table->FieldIndex("title");
        for (; !table->Eof(); table->Next()) {
            locations.try_emplace(table->FieldAsInteger(rowId), table->FieldAsString(title));
        }
    }
    const auto table = db.GetTable("SELECT * FROM CalendarItem");
    const int summary = table->FieldIndex("summary");
    const int locationId = table->FieldIndex("location_id");
    const int description = table->FieldIndex("description");
    const int allDay = table->FieldIndex("all_day");
    const int calendarId = table->FieldIndex("calendar_id");
    const int start = table->FieldIndex("start_date");
    const int end = table->FieldIndex("end_date");
    const int creation = table->FieldIndex("creation_date");
    const int url = table->FieldIndex("url");
    for (; !table->Eof(); table->Next()) {
        TCalendarItem item;
        item.Title = table->FieldAsString(summary);
        if (const auto found = locations.find(table->FieldAsInteger(locationId)); found != locations.end()) {
            item.Location = found->second;
        }
        item.Description = table->FieldAsString(description);
        item.AllDay = table->FieldAsInteger(allDay) == 1;
        item.CalendarId = static_cast<std::int32_t>(table->FieldAsInteger(calendarId));
        item.StartDate = DeviceDate(table->FieldAsDouble(start), FUtcOffset, kDeviceEpochDays);
        if (item.StartDate != 0) {
            item.EndDate = DeviceDate(table->FieldAsDouble(end), FUtcOffset, kDeviceEpochDays);
        } else {
            // No start: the event is placed at its creation and has no end.
            item.StartDate = DeviceDate(table->FieldAsDouble(creation), FUtcOffset, kDeviceEpochDays);
        }
        if (const std::string link = table->FieldAsString(url); !link.empty()) {
            item.Description = "URL: " + link + "\r\n" + item.Description;
        }
        FEvents.push_back(std::move(item));
    }
}

} // namespace kestrow
