#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/mfc/Time.h>

namespace {

// Berlin: standard time UTC+1, daylight-saving time UTC+2; in 2024 the clocks went
// forward on 31 March at 02:00 and back on 27 October at 03:00.
class CTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
};

TEST_F(CTimeTest, LocalCalendarTimeToSecondsAcrossDaylightSaving) {
    struct Case {
        const char* what;
        int year, month, day, hour, minute, second, daylightSaving;
        std::time_t expected;
    };
    const Case cases[] = {
        {"winter, library decides", 2024, 1, 15, 12, 0, 0, -1, 1705316400},
        {"summer, library decides", 2024, 7, 1, 12, 0, 0, -1, 1719828000},
        {"repeated hour, first pass (summer time)", 2024, 10, 27, 2, 30, 0, 1, 1729989000},
        {"repeated hour, second pass (standard time)", 2024, 10, 27, 2, 30, 0, 0, 1729992600},
        {"last second before the spring change", 2024, 3, 31, 1, 59, 59, -1, 1711846799},
        {"first second after the spring change", 2024, 3, 31, 3, 0, 0, -1, 1711846800},
        {"month 13 normalises into the next year", 2023, 13, 15, 12, 0, 0, -1, 1705316400},
    };
    for (const Case& c : cases) {
        CTime time(c.year, c.month, c.day, c.hour, c.minute, c.second, c.daylightSaving);
        EXPECT_EQ(time.GetTime(), c.expected) << c.what;
    }
}

TEST_F(CTimeTest, GettersReadLocalCalendarTime) {
    struct Case {
        std::time_t seconds;
        int year, month, day, hour, minute, second, dayOfWeek;
        const char* formatted;
    };
    const Case cases[] = {
        {1729989000, 2024, 10, 27, 2, 30, 0, 1, "2024-10-27 02:30:00 CEST"},
        {1729992600, 2024, 10, 27, 2, 30, 0, 1, "2024-10-27 02:30:00 CET"},
        {1711846799, 2024, 3, 31, 1, 59, 59, 1, "2024-03-31 01:59:59 CET"},
        {1711846800, 2024, 3, 31, 3, 0, 0, 1, "2024-03-31 03:00:00 CEST"},
        {1705316400, 2024, 1, 15, 12, 0, 0, 2, "2024-01-15 12:00:00 CET"},
    };
    for (const Case& c : cases) {
        CTime time(c.seconds);
        EXPECT_EQ(time.GetYear(), c.year) << c.seconds;
        EXPECT_EQ(time.GetMonth(), c.month) << c.seconds;
        EXPECT_EQ(time.GetDay(), c.day) << c.seconds;
        EXPECT_EQ(time.GetHour(), c.hour) << c.seconds;
        EXPECT_EQ(time.GetMinute(), c.minute) << c.seconds;
        EXPECT_EQ(time.GetSecond(), c.second) << c.seconds;
        EXPECT_EQ(time.GetDayOfWeek(), c.dayOfWeek) << c.seconds;
        EXPECT_STREQ(time.Format("%Y-%m-%d %H:%M:%S %Z"), c.formatted) << c.seconds;

        SYSTEMTIME systemTime{};
        ASSERT_TRUE(time.GetAsSystemTime(systemTime));
        EXPECT_EQ(systemTime.wHour, c.hour);
        EXPECT_EQ(systemTime.wDayOfWeek, c.dayOfWeek - 1);
        EXPECT_EQ(systemTime.wMilliseconds, 0);
        // Back from the calendar fields with the same daylight-saving flag: the same instant.
        std::tm local{};
        ASSERT_NE(time.GetLocalTm(&local), nullptr);
        EXPECT_EQ(CTime(systemTime, local.tm_isdst).GetTime(), c.seconds);
    }
}

// The automation date carries local calendar time and no daylight-saving flag, so both
// passes through the repeated hour read as the same wall-clock text.
TEST_F(CTimeTest, AutomationDateAcrossTheAutumnChange) {
    for (std::time_t seconds : {std::time_t{1729989000}, std::time_t{1729992600}}) {
        DATE date = dbplatform::DateFromUnixTime(CTime(seconds).GetTime());
        EXPECT_EQ(dbplatform::TextFromDate(date), "2024-10-27 02:30:00") << seconds;
    }
    DATE summer = dbplatform::DateFromUnixTime(CTime(2024, 7, 1, 12, 0, 0).GetTime());
    EXPECT_EQ(dbplatform::TextFromDate(summer), "2024-07-01 12:00:00");
    EXPECT_EQ(dbplatform::UnixTimeFromDate(summer), 1719828000);
}

TEST_F(CTimeTest, FormatOfNothingIsEmpty) {
    CTime time(1705316400);
    EXPECT_STREQ(time.Format(""), "");
    EXPECT_STREQ(time.Format(nullptr), "");
    EXPECT_EQ(time.Format("%H").GetLength(), 2);
    EXPECT_EQ(time.GetGmtTm(nullptr), nullptr);
}

}  // namespace
