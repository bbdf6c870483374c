#include <clocale>

#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "support/fixed_zone.h"

namespace kestrow {
namespace {

TEST(DateTime, DayCountsRoundTripThroughCivilDates) {
    EXPECT_EQ(DaysOf(1970, 1, 1), kUnixEpochDays);
    EXPECT_EQ(DaysOf(2001, 1, 1), kDeviceEpochDays);
    EXPECT_EQ(DaysOf(1899, 12, 30), 0);
    for (double days : {36892.5, 40606.2542, 1.0, 73050.99998}) {
        const TCivilDateTime c = CivilOf(days);
        EXPECT_NEAR(DaysOf(c.Year, c.Month, c.Day) +
                        (c.Hour * 3600 + c.Minute * 60 + c.Second) / kSecondsPerDay,
                    days, 1.0 / kSecondsPerDay);
    }
    // Almost a full second rounds up rather than showing the second before.
    EXPECT_EQ(IsoLocalText(DaysOf(2012, 5, 10) + (3600 - 0.0001) / kSecondsPerDay), "2012-05-10T01:00:00");
}

TEST(DateTime, TextLeavesOutMidnightAndZero) {
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(DateTimeText(0), "");
    EXPECT_EQ(DateTimeText(DaysOf(2012, 5, 10)), "05/10/12");
    EXPECT_EQ(DateTimeText(DaysOf(2012, 5, 10) + 0.5), "05/10/12 12:00:00");
    EXPECT_EQ(DateText(DaysOf(2012, 5, 10) + 0.5), "05/10/12");
    EXPECT_EQ(IsoLocalText(0), "");
}

TEST(DateTime, LocalOffsetComesFromTheZone) {
    {
        test::TFixedZone zone("UTC");
        EXPECT_EQ(LocalUtcOffset(), 0);
        EXPECT_EQ(UtcDaysToLocal(40000.25), 40000.25);
    }
    test::TFixedZone zone("Asia/Kolkata");
    EXPECT_EQ(LocalUtcOffset(), 19800);
}

} // namespace
} // namespace kestrow
