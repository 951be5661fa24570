#include <gtest/gtest.h>

#include <cstdlib>

#include "ole_date.h"

TEST(OleDate, CalendarFieldsRoundTrip) {
    // Known serials: 1899-12-30 is day 0, 1900-01-01 day 2, 2000-01-01 day 36526.
    EXPECT_DOUBLE_EQ(OleDate::FromFields(1899, 12, 30).m_dt, 0.0);
    EXPECT_DOUBLE_EQ(OleDate::FromFields(1900, 1, 1).m_dt, 2.0);
    EXPECT_DOUBLE_EQ(OleDate::FromFields(2000, 1, 1).m_dt, 36526.0);
    EXPECT_DOUBLE_EQ(OleDate::FromFields(2000, 1, 1, 12).m_dt, 36526.5);

    const OleDate leap = OleDate::FromFields(2024, 2, 29, 23, 59, 59);
    ASSERT_TRUE(leap.IsValid());
    EXPECT_EQ(leap.Format(), "2024-02-29 23:59:59");
    EXPECT_EQ(OleDate::Parse("2024-02-29 23:59:59"), leap);
    EXPECT_EQ(OleDate::Parse("2024-02-29").Format(), "2024-02-29 00:00:00");
}

TEST(OleDate, ImpossibleDatesAreInvalid) {
    EXPECT_FALSE(OleDate::FromFields(2023, 2, 29).IsValid());
    EXPECT_FALSE(OleDate::FromFields(2023, 13, 1).IsValid());
    EXPECT_FALSE(OleDate::FromFields(2023, 4, 31).IsValid());
    EXPECT_FALSE(OleDate::FromFields(2023, 1, 1, 24, 0).IsValid());
    EXPECT_FALSE(OleDate::Parse("yesterday").IsValid());
    EXPECT_EQ(OleDate::FromFields(2023, 0, 1).Format(), "");
}

TEST(OleDate, UnixTimeGoesThroughLocalTime) {
    setenv("TZ", "Asia/Shanghai", 1);
    tzset();
    const OleDate epoch = OleDate::LocalEpoch();
    EXPECT_EQ(epoch.Format(), "1970-01-01 08:00:00");
    EXPECT_EQ(epoch.ToUnixTime(), 0);
    const OleDate later = OleDate::FromUnixTime(1700000000);
    EXPECT_EQ(later.ToUnixTime(), 1700000000);
}
