#include <cstdint>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "platform/temp_folder.h"
#include "readers/call_log.h"
#include "readers/record_text.h"
#include "readers/sqlite_database.h"
#include "support/call_writer.h"
#include "support/fixed_zone.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TCallRow;

class CallLog : public ::testing::Test {
protected:
    std::string Write(const std::string& sql) {
        const std::string path = FFolder.Path() + "calls" + std::to_string(++FCount) + ".db";
        test::ExecSql(path, sql);
        return path;
    }
    TTempFolder FFolder;
    int FCount = 0;
    test::TFixedZone FZone{"UTC"};
};

TEST_F(CallLog, StoreDataKindsFollowOriginatedAnsweredAndType) {
    // originated, answered, type, duration -> kind
    const std::vector<std::tuple<int, int, int, int, int>> cases = {
        {1, 1, 1, 0, ckNotConnected}, {1, 1, 8, 0, ckNotConnected},    {1, 0, 1, 30, ckOutgoing},
        {1, 0, 8, 30, ckFaceTimeOut}, {0, 0, 1, 0, ckMissed},          {0, 0, 1, 5, ckIncoming},
        {0, 1, 1, 0, ckIncoming},     {0, 0, 16, 0, ckFaceTimeMissed}, {0, 1, 8, 12, ckFaceTimeIn},
    };
    std::vector<TCallRow> rows;
    for (const auto& [originated, answered, type, duration, kind] : cases) {
        TCallRow row{"+44 20 7946 0000", 350000000.75, duration};
        row.Originated = originated;
        row.Answered = answered;
        row.CallType = type;
        rows.push_back(row);
    }
    TCallLog log(Write(test::CallHistoryStoreDataSql(rows)), 3600);
    ASSERT_EQ(log.Count(), static_cast<int>(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(log.Calls(static_cast<int>(i))->CallKind, std::get<4>(cases[i])) << i;
    }
    const TCallItem& first = *log.Calls(0);
    EXPECT_EQ(first.Address, "+44 20 7946 0000");
    EXPECT_EQ(first.ContactId, -1);
    EXPECT_EQ(first.RawDate, 350000000);                        // the fraction is dropped
    EXPECT_EQ(IsoLocalText(first.Date), "2012-02-03T23:13:20"); // 2001 epoch, one hour added
    EXPECT_EQ(log.Calls(static_cast<int>(cases.size())), nullptr);
    EXPECT_EQ(log.Calls(-1), nullptr);
}

TEST_F(CallLog, CallHistoryDbKindsFromFlags) {
    const std::vector<std::tuple<int, int, int>> cases = {
        {0, 0, ckMissed},      {4, 0, ckMissed},       {4, 20, ckIncoming},       {0, 1, ckIncoming},
        {5, 0, ckOutgoing},    {9, 3, ckOutgoing},     {16, 0, ckFaceTimeMissed}, {20, 9, ckFaceTimeIn},
        {64, 1, ckFaceTimeIn}, {17, 0, ckFaceTimeOut}, {21, 5, ckFaceTimeOut},    {65, 5, ckFaceTimeOut},
        {1, 5, ckUnknown},     {8, 5, ckUnknown},
    };
    std::vector<TCallRow> rows;
    for (const auto& [flags, duration, kind] : cases) {
        TCallRow row{"555", 1339531490, duration};
        row.Flags = flags;
        row.ContactId = 7;
        rows.push_back(row);
    }
    TCallLog log(Write(test::CallHistoryDbSql(rows)), 0);
    ASSERT_EQ(log.Count(), static_cast<int>(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(log.Calls(static_cast<int>(i))->CallKind, std::get<2>(cases[i])) << i;
    }
    EXPECT_EQ(log.Calls(0)->ContactId, 7);
    EXPECT_EQ(IsoLocalText(log.Calls(0)->Date), "2012-06-12T20:04:50"); // 1970 epoch
}

TEST_F(CallLog, DurationsAndDatesInEveryUnit) {
    EXPECT_EQ(DurationText(0), "0:00");
    EXPECT_EQ(DurationText(7), "0:07");
    EXPECT_EQ(DurationText(59), "0:59");
    EXPECT_EQ(DurationText(60), "1:00");
    EXPECT_EQ(DurationText(750), "12:30");
    EXPECT_EQ(DurationText(3599), "59:59");
    EXPECT_EQ(DurationText(3600), "1:00:00");
    EXPECT_EQ(DurationText(3909), "1:05:09");
    // Seconds, a date of 0, and nanoseconds since 2001 in one table (after an upgrade).
    TCallLog log(Write(test::CallHistoryStoreDataSql(
                     {{"a", 600000000, 1}, {"b", 0, -100}, {"c", 600000000.5e9, INT64_MAX}, {"d", -5, 4}})),
                 0);
    ASSERT_EQ(log.Count(), 4);
    EXPECT_EQ(IsoLocalText(log.Calls(0)->Date), "2020-01-06T10:40:00");
    EXPECT_EQ(log.Calls(1)->Date, 0);
    EXPECT_EQ(IsoLocalText(log.Calls(2)->Date), "2020-01-06T10:40:00");
    EXPECT_EQ(log.Calls(2)->RawDate, 600000000);
    EXPECT_EQ(log.Calls(0)->DurationText, "0:01");
    // A negative length is no length; the largest is given in full.
    EXPECT_EQ(log.Calls(1)->DurationText, "0:00");
    EXPECT_EQ(log.Calls(2)->DurationText, "2562047788015215:30:07");
}

TEST_F(CallLog, MissingFileIsEmptyAndAMissingTableRaises) {
    EXPECT_EQ(TCallLog(FFolder.Path() + "missing.db", 0).Count(), 0);
    const std::string other = Write("CREATE TABLE something (x);");
    try {
        TCallLog log(other, 0);
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Error executing SQL.\r\nError [1]: SQL error or missing database.\r\n"
                  "\"SELECT * FROM call\": no such table: call");
    }
    const std::string noColumn = Write("CREATE TABLE call (address TEXT, date INTEGER);");
    EXPECT_THROW(TCallLog(noColumn, 0), ESQLiteException);
}

TEST_F(CallLog, RealIphone3gHistory) {
    const std::string source = std::string(KESTROW_REALDATA) + "/ios4-iphone3g/call_history.db";
    if (!std::filesystem::exists(source)) {
        GTEST_SKIP() << "shared real data not present";
    }
    TCallLog log(source, 0);
    ASSERT_EQ(log.Count(), 5);
    EXPECT_EQ(log.Calls(0)->Address, "6508870260");
    EXPECT_EQ(log.Calls(0)->CallKind, ckIncoming);
    EXPECT_EQ(log.Calls(0)->DurationText, "0:20");
    EXPECT_EQ(log.Calls(2)->CallKind, ckOutgoing); // flags 5
    EXPECT_EQ(log.Calls(3)->CallKind, ckMissed);   // flags 4, no duration
    EXPECT_EQ(log.Calls(4)->DurationText, "4:04");
    EXPECT_EQ(IsoLocalText(log.Calls(0)->Date), "2012-06-12T20:04:50");
}

} // namespace
} // namespace kestrow
