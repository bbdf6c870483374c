#include <filesystem>

#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "platform/temp_folder.h"
#include "readers/calendar.h"
#include "readers/sqlite_database.h"
#include "support/calendar_writer.h"
#include "support/fixed_zone.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TCalendarEvent;

class Calendar : public ::testing::Test {
protected:
    std::string Write(const std::string& sql) {
        const std::string path = FFolder.Path() + "cal" + std::to_string(++FCount) + ".sqlitedb";
        test::ExecSql(path, sql);
        return path;
    }
    TTempFolder FFolder;
    int FCount = 0;
    test::TFixedZone FZone{"UTC"};
};

TEST_F(Calendar, NewerSchemaLocationsUrlsAndMissingStarts) {
    std::vector<TCalendarEvent> events = {
        {"Dentist", 700000000, 700003600, false, 2, "City Dental Practice", "Bring the form"},
        {"Holiday", 700086400, 700172800, true, 3},
        {"Webinar", 700200000, 700203600, false, 2, "", "", "https://meet.example/abc"},
        {"Undated", 0, 700300000, false, 2, "", "notes", "", 699000000},
        {"Negative", -5, 700300000, false, 2, "", "", "", 0},
        {"Lost place", 700000000, 700000001, false, 2, "", "", "", 0, 77},
    };
    TCalendar calendar(Write(test::NewerCalendarSql(events)), 3600);
    ASSERT_EQ(calendar.Count(), 6);
    EXPECT_EQ(calendar.Events(0).Title, "Dentist");
    EXPECT_EQ(calendar.Events(0).Location, "City Dental Practice");
    EXPECT_EQ(calendar.Events(0).CalendarId, 2);
    EXPECT_EQ(IsoLocalText(calendar.Events(0).StartDate), "2023-03-08T21:26:40"); // one hour added
    EXPECT_EQ(IsoLocalText(calendar.Events(0).EndDate), "2023-03-08T22:26:40");
    EXPECT_TRUE(calendar.Events(1).AllDay);
    EXPECT_EQ(calendar.Events(2).Description,
              "URL: https://meet.example/abc\r\n"); // no description of its own
    // No start: placed at its creation, without an end.
    EXPECT_EQ(IsoLocalText(calendar.Events(3).StartDate), "2023-02-25T07:40:00");
    EXPECT_EQ(calendar.Events(3).EndDate, 0);
    EXPECT_EQ(calendar.Events(4).StartDate, 0);
    EXPECT_EQ(calendar.Events(4).EndDate, 0);
    EXPECT_EQ(calendar.Events(5).Location, ""); // names no Location row
}

TEST_F(Calendar, OlderSchemaAndItsCapitalisedTable) {
    TCalendar calendar(
        Write(test::OlderCalendarSql(
            {{"Meeting", 350000000, 350003600, false, 4, "Room 2", "Agenda"}, {"No start", 0, 0, true, 4}})),
        0);
    ASSERT_EQ(calendar.Count(), 2);
    EXPECT_EQ(calendar.Events(0).Location, "Room 2");
    EXPECT_EQ(calendar.Events(0).Description, "Agenda");
    EXPECT_EQ(IsoLocalText(calendar.Events(0).StartDate), "2012-02-03T22:13:20");
    EXPECT_EQ(calendar.Events(1).StartDate, 0); // the older schema has no creation date to fall back on
    EXPECT_TRUE(calendar.Events(1).AllDay);
}

TEST_F(Calendar, MissingFilesAndTables) {
    EXPECT_EQ(TCalendar(FFolder.Path() + "missing", 0).Count(), 0);
    EXPECT_THROW(TCalendar(Write("CREATE TABLE CalendarItem (summary TEXT);"), 0), ESQLiteException);
}

TEST_F(Calendar, RealCalendarOfAnIos7Phone) {
    const std::string source = std::string(KESTROW_REALDATA) + "/ios7-testphone/HomeDomain/Library/Calendar/"
                                                               "Calendar.sqlitedb";
    if (!std::filesystem::exists(source)) {
        GTEST_SKIP() << "shared real data not present";
    }
    TCalendar calendar(source, 0);
    ASSERT_EQ(calendar.Count(), 130);
    EXPECT_EQ(calendar.Events(0).Title, "Tax Day");
    EXPECT_TRUE(calendar.Events(0).AllDay);
    EXPECT_EQ(IsoLocalText(calendar.Events(0).StartDate), "2016-04-15T00:00:00");
    EXPECT_EQ(calendar.Events(0).Location, "");
}

} // namespace
} // namespace kestrow
