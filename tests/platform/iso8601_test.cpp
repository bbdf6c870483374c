#include <cmath>

#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "platform/iso8601.h"
#include "support/fixed_zone.h"

namespace kestrow {
namespace {

constexpr std::int64_t kMar4At050607 = 1299215167000; // 2011-03-04T05:06:07Z

std::int64_t Parse(const char* text) {
    const auto ms = ParseIso8601(text);
    EXPECT_TRUE(ms.has_value()) << text;
    return ms.value_or(-1);
}

TEST(Iso8601, CalendarDatesInBasicAndExtendedNotation) {
    EXPECT_EQ(Parse("2011-03-04T05:06:07Z"), kMar4At050607);
    EXPECT_EQ(Parse("20110304T050607Z"), kMar4At050607);
    EXPECT_EQ(Parse("2011-03-04t05:06:07z"), kMar4At050607);
    EXPECT_EQ(Parse("2011-03-04 05:06:07"), kMar4At050607);
    EXPECT_EQ(Parse("2011-03-04"), 1299196800000);
    EXPECT_EQ(Parse("2011-03"), 1298937600000);
    EXPECT_EQ(Parse("2011"), 1293840000000);
    EXPECT_EQ(Parse("2000-02-29"), 951782400000); // every 400 years a leap year after all
}

TEST(Iso8601, WeekAndOrdinalDates) {
    // 2011-03-04 is a Friday of ISO week 9 and day 63 of the year.
    EXPECT_EQ(Parse("2011-W09-5T05:06:07Z"), kMar4At050607);
    EXPECT_EQ(Parse("2011w095T050607Z"), kMar4At050607);
    EXPECT_EQ(Parse("2011-063T05:06:07Z"), kMar4At050607);
    EXPECT_EQ(Parse("2011063T050607Z"), kMar4At050607);
    EXPECT_EQ(Parse("2011-W09"), Parse("2011-02-28")); // Monday of the week
    // Week 1 of 2009 starts on 2008-12-29; 2009 has 53 weeks, 2011 only 52.
    EXPECT_EQ(Parse("2009-W01-1"), Parse("2008-12-29"));
    EXPECT_TRUE(ParseIso8601("2009-W53-7").has_value());
    EXPECT_FALSE(ParseIso8601("2011-W53-1").has_value());
    EXPECT_EQ(Parse("2012-366"), Parse("2012-12-31"));
    EXPECT_FALSE(ParseIso8601("2011-366").has_value());
}

TEST(Iso8601, FractionsAndReducedTimes) {
    EXPECT_EQ(Parse("2011-03-04T05:06:07.5Z"), kMar4At050607 + 500);
    EXPECT_EQ(Parse("2011-03-04T05:06:07,25Z"), kMar4At050607 + 250);
    EXPECT_EQ(Parse("2011-03-04T05:06.5Z"), Parse("2011-03-04T05:06:30Z"));
    EXPECT_EQ(Parse("2011-03-04T05,5Z"), Parse("2011-03-04T05:30:00Z"));
    EXPECT_EQ(Parse("2011-03-04T0506Z"), Parse("2011-03-04T05:06:00Z"));
    EXPECT_EQ(Parse("2011-03-04T24:00:00Z"), Parse("2011-03-05T00:00:00Z"));
}

TEST(Iso8601, ZoneDesignators) {
    EXPECT_EQ(Parse("2011-03-04T07:06:07+02:00"), kMar4At050607);
    EXPECT_EQ(Parse("2011-03-04T07:06:07+0200"), kMar4At050607);
    EXPECT_EQ(Parse("2011-03-04T07:06:07+02"), kMar4At050607);
    EXPECT_EQ(Parse("2011-03-04T00:36:07-04:30"), kMar4At050607);
}

TEST(Iso8601, RejectsAnythingElse) {
    for (const char* bad : {"",
                            "2011/03/04 12:00",
                            "2011-13-01",
                            "2011-02-29",
                            "1900-02-29",
                            "2100-02-29",
                            "2011-03-04T25:00",
                            "2011-03-04T05:60",
                            "2011-03-04T05:06:07Q",
                            "2011-03-04T",
                            "2011-03-04T05:06:07.",
                            "2011-03-04T05:06:07+2",
                            "2011-03-04T24:00:01",
                            "20110304 T",
                            "11-03-04",
                            "2011-03-04T05:06:07Z ",
                            "2011-W00-1",
                            "2011-W10-8",
                            "2011-000",
                            "201103"}) {
        EXPECT_FALSE(ParseIso8601(bad).has_value()) << bad;
    }
}

TEST(Iso8601, LocalTimeFollowsTheRuleOfThatDate) {
    test::TFixedZone zone("Europe/Berlin");
    double winter = 0;
    double summer = 0;
    ASSERT_TRUE(IsoDateToLocal("2011-03-04T05:06:07Z", winter));
    ASSERT_TRUE(IsoDateToLocal("2011-07-04T05:06:07Z", summer));
    // Whatever the offset today, March 4 is standard time (+1) and July 4 daylight time (+2).
    EXPECT_EQ(IsoLocalText(winter), "2011-03-04T06:06:07");
    EXPECT_EQ(IsoLocalText(summer), "2011-07-04T07:06:07");
}

TEST(Iso8601, TheExactSecondOfAChangeHasTheNewOffset) {
    test::TFixedZone zone("Europe/Berlin");
    const std::pair<const char*, const char*> cases[] = {
        {"2011-03-27T00:59:59Z", "2011-03-27T01:59:59"},
        {"2011-03-27T01:00:00Z", "2011-03-27T03:00:00"},
        {"2011-10-30T00:59:59Z", "2011-10-30T02:59:59"},
        {"2011-10-30T01:00:00Z", "2011-10-30T02:00:00"},
    };
    for (const auto& [utc, local] : cases) {
        double days = 0;
        ASSERT_TRUE(IsoDateToLocal(utc, days)) << utc;
        EXPECT_EQ(IsoLocalText(days), local) << utc;
        EXPECT_EQ(IsoLocalText(UtcDaysToLocal(UnixMsToDays(*ParseIso8601(utc)))), local) << utc;
    }
    {
        // Before 1970 an instant's second is found by flooring: 0.6 s before the change is still
        // daylight time.
        test::TFixedZone newYork("America/New_York");
        double days = 0;
        ASSERT_TRUE(IsoDateToLocal("1969-10-26T05:59:59.4Z", days));
        EXPECT_EQ(IsoLocalText(days), "1969-10-26T01:59:59");
    }
    // Every whole second of the hour across the change lands on its own second.
    for (int second = 0; second < 3600; ++second) {
        const std::int64_t ms = (std::int64_t{1301187600} - 1800 + second) * 1000; // around 2011-03-27T01:00Z
        const double local = UtcDaysToLocal(UnixMsToDays(ms));
        const std::int64_t offset = second < 1800 ? 3600 : 7200;
        EXPECT_EQ(std::llround((local - 25569.0) * 86400.0), ms / 1000 + offset) << second;
    }
}

TEST(Iso8601, FallbackDateKeepsTheDayAtMidnight) {
    EXPECT_EQ(IsoLocalText(FallbackDate("2011/03/04 12:00")), "2011-03-04T00:00:00");
    EXPECT_EQ(IsoLocalText(FallbackDate("abcd/xx/04")), "2000-01-04T00:00:00");
    EXPECT_EQ(IsoLocalText(FallbackDate("2011")), "2011-01-01T00:00:00");
    EXPECT_EQ(IsoLocalText(FallbackDate("2011-02-31")), "2011-02-01T00:00:00");
    // Each field is a decimal number however many of its characters the text has.
    EXPECT_EQ(IsoLocalText(FallbackDate("2011/03/4")), "2011-03-04T00:00:00");
    EXPECT_EQ(IsoLocalText(FallbackDate("2011/3")), "2011-03-01T00:00:00");
    EXPECT_EQ(IsoLocalText(FallbackDate("201")), "0201-01-01T00:00:00");
    EXPECT_EQ(IsoLocalText(FallbackDate("2011/0x/04")), "2011-01-04T00:00:00");
}

} // namespace
} // namespace kestrow
