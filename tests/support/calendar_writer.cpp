#include "support/calendar_writer.h"

#include <fmt/format.h>

#include "support/sqlite_writer.h"

namespace kestrow::test {

std::string OlderCalendarSql(const std::vector<TCalendarEvent>& events) {
    std::string sql =
        "CREATE TABLE Event (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, summary TEXT, location TEXT, "
        "description TEXT, start_date INTEGER, start_tz TEXT, end_date INTEGER, all_day INTEGER, "
        "calendar_id INTEGER, orig_event_id INTEGER, orig_start_date INTEGER, organizer_id INTEGER, "
        "organizer_is_self INTEGER, organizer_external_id TEXT, self_attendee_status INTEGER, status "
        "INTEGER, availability INTEGER, privacy_level INTEGER, url TEXT);"
        "CREATE TABLE Calendar (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT);";
    for (const TCalendarEvent& e : events) {
        sql += fmt::format(
            "INSERT INTO Event (summary, location, description, start_date, end_date, all_day, "
            "calendar_id) VALUES ({}, {}, {}, {}, {}, {}, {});",
            SqlText(e.Title), SqlText(e.Location), SqlText(e.Description), static_cast<std::int64_t>(e.Start),
            static_cast<std::int64_t>(e.End), e.AllDay ? 1 : 0, e.CalendarId);
    }
    return sql;
}

std::string NewerCalendarSql(const std::vector<TCalendarEvent>& events) {
    std::string sql =
        "CREATE TABLE Location (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, address TEXT, latitude "
        "REAL, "
        "longitude REAL, item_owner_id INTEGER);"
        "CREATE TABLE CalendarItem (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, summary TEXT, location_id "
        "INTEGER, "
        "description TEXT, start_date REAL, start_tz TEXT, end_date REAL, all_day INTEGER, calendar_id "
        "INTEGER, "
        "orig_item_id INTEGER, orig_date REAL, organizer_id INTEGER, self_attendee_id INTEGER, status "
        "INTEGER, "
        "invitation_status INTEGER, availability INTEGER, privacy_level INTEGER, url TEXT, last_modified "
        "REAL, "
        "sequence_num INTEGER, birthday_id INTEGER, modified_properties INTEGER, external_tracking_status "
        "INTEGER, "
        "external_id TEXT, external_mod_tag TEXT, unique_identifier TEXT, external_schedule_id TEXT, "
        "external_rep "
        "BLOB, response_comment TEXT, hidden INTEGER, has_recurrences INTEGER, has_attendees INTEGER, "
        "UUID TEXT, entity_type INTEGER, priority INTEGER, due_date REAL, due_tz TEXT, due_all_day INTEGER, "
        "completion_date REAL, creation_date REAL, conference TEXT);";
    std::int64_t location = 0;
    for (const TCalendarEvent& e : events) {
        std::int64_t locationId = e.LocationId;
        if (locationId < 0 && !e.Location.empty()) {
            sql += fmt::format("INSERT INTO Location (ROWID, title) VALUES ({}, {});", ++location,
                               SqlText(e.Location));
            locationId = location;
        }
        sql += fmt::format(
            "INSERT INTO CalendarItem (summary, location_id, description, start_date, end_date, "
            "all_day, calendar_id, url, creation_date) VALUES ({}, {}, {}, {:.3f}, {:.3f}, {}, {}, {}, "
            "{:.3f});",
            SqlText(e.Title), locationId < 0 ? 0 : locationId,
            e.Description.empty() ? "NULL" : SqlText(e.Description), e.Start, e.End, e.AllDay ? 1 : 0,
            e.CalendarId, e.Url.empty() ? "NULL" : SqlText(e.Url), e.Creation);
    }
    return sql;
}

} // namespace kestrow::test
