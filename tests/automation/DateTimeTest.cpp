#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <dbplatform/automation/DateTime.h>

namespace {

TEST(DateText, AcceptedFormsGiveTheCanonicalText) {
    const struct {
        const char* text;
        const char* canonical;
    } cases[] = {
        {"2005-03-07", "2005-03-07 00:00:00"},
        {"2005/03/07", "2005-03-07 00:00:00"},
        {"2005-3-7", "2005-03-07 00:00:00"},
        {"2005/3/07", "2005-03-07 00:00:00"},
        {"2005-03-07 14:05", "2005-03-07 14:05:00"},
        {"2005-03-07 14:05:09", "2005-03-07 14:05:09"},
        {"2005-03-07T14:05:09", "2005-03-07 14:05:09"},
        {"2005/03/07T4:05", "2005-03-07 04:05:00"},
        {"2005-03-07 14:05:09.4", "2005-03-07 14:05:09"},
        {"2005-03-07 14:05:09.5", "2005-03-07 14:05:10"},
        {"2005-03-07 14:05:09.123456789", "2005-03-07 14:05:09"},
        {"2005-12-31 23:59:59.6", "2006-01-01 00:00:00"},
        {"  2005-03-07 14:05  ", "2005-03-07 14:05:00"},
        {"2004-02-29", "2004-02-29 00:00:00"},
        {"2000-02-29 23:00", "2000-02-29 23:00:00"},
        {"0100-01-01", "0100-01-01 00:00:00"},
        {"9999-12-31 23:59:59", "9999-12-31 23:59:59"},
        {"9999-12-31 23:59:59.9", "9999-12-31 23:59:59"},  // never rounds past the last day
        {"1899-12-29 06:00", "1899-12-29 06:00:00"},
        {"1600-02-29 12:30:45", "1600-02-29 12:30:45"},
    };
    for (const auto& c : cases) {
        std::string canonical;
        ASSERT_EQ(dbplatform::CanonicalDateText(c.text, &canonical), S_OK) << c.text;
        EXPECT_EQ(canonical, c.canonical) << c.text;
        EXPECT_EQ(canonical.size(), 19u);
    }
}

TEST(DateText, RefusedForms) {
    const char* refused[] = {
        "", "   ", "2005", "2005-03", "05-03-07", "2005-13-01", "2005-00-10", "2005-03-00", "2005-02-30",
        "1900-02-29", "2005-04-31", "2005-03-07 24:00", "2005-03-07 12:60", "2005-03-07 12:5",
        "2005-03-07 12:05:60", "2005-03-07 12:05:5", "2005-03-07 123:05", "2005-03-07  12:05",
        "2005-03/07", "0099-12-31", "10000-01-01", "2005-03-07 12:05:09.", "2005-03-07 12:05:09x",
        "2005-03-07x", "March 7, 2005", "07/03/2005", "2005-03-07 12", "+2005-03-07", "2005-003-07",
        "2005-03-07t12:00", "2005-03-07 12:05.5", "2005-03-07T", "2005-03-07 -1:00", "20050307",
    };
    for (const char* text : refused) {
        DATE date = 123;
        EXPECT_EQ(dbplatform::DateFromText(text, &date), DISP_E_TYPEMISMATCH) << "\"" << text << "\"";
        EXPECT_EQ(date, 123);
    }
    // An embedded NUL is part of the text, not its end.
    DATE date;
    EXPECT_EQ(dbplatform::DateFromText(std::string_view("2005-03-07\0", 11), &date), DISP_E_TYPEMISMATCH);
}

// Texts of the stored shape are read at fixed places; the same text with a 'T' takes
// the full grammar. Both must give the same date, or both refuse it.
TEST(DateText, StoredShapeAgreesWithTheFullGrammar) {
    std::vector<std::string> texts = {
        "2005-03-07 12:05:09", "1899-12-30 00:00:00", "1899-12-29 23:59:59", "0100-01-01 00:00:00",
        "9999-12-31 23:59:59", "2000-02-29 06:00:00", "1900-02-29 00:00:00", "2005-02-30 10:00:00",
        "2005-13-01 00:00:00", "2005-00-10 00:00:00", "2005-03-00 00:00:00", "2005-03-07 24:00:00",
        "2005-03-07 12:60:00", "2005-03-07 12:05:60", "0099-12-31 23:59:59", "0000-01-01 00:00:00",
    };
    for (int year : {1601, 1899, 1900, 1970, 2004, 2026}) {
        for (int month = 1; month <= 12; ++month) {
            for (int day : {1, 15, 28, 29, 30, 31}) {
                char text[32];
                std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, (day * 7) % 24,
                              (day * 13) % 60, (month * 17) % 60);
                texts.push_back(text);
            }
        }
    }
    for (const std::string& text : texts) {
        std::string other = text;
        other[10] = 'T';
        DATE fixed = 123, general = 456;
        HRESULT fixedHr = dbplatform::DateFromText(text, &fixed);
        HRESULT generalHr = dbplatform::DateFromText(other, &general);
        ASSERT_EQ(fixedHr, generalHr) << text;
        if (SUCCEEDED(fixedHr)) EXPECT_EQ(fixed, general) << text;
        else EXPECT_EQ(fixed, 123) << text;
    }
}

// Every character of a stored-shape text replaced in turn by its neighbours and by
// bytes that look alike to a careless digit test: the quick reading must answer as the
// full grammar does for the same text (a leading blank sends it there).
TEST(DateText, StoredShapeWithAnyCharacterReplacedAgreesWithTheFullGrammar) {
    const std::string base = "2004-02-29 23:59:58";
    const std::vector<char> replacements = {'0', '9', '/', ':', '-', ' ', 'T', '.', 'a', '\0', '\x10', '\x3a',
                                            '\x40', '\x7f', '\x80', '\xb0', '\xf9', '\xfa', '\xff'};
    for (std::size_t position = 0; position < base.size(); ++position) {
        for (char replacement : replacements) {
            std::string text = base;
            text[position] = replacement;
            DATE quick = 123, general = 456;
            HRESULT quickHr = dbplatform::DateFromText(text, &quick);
            HRESULT generalHr = dbplatform::DateFromText(" " + text, &general);
            const std::string what = "position " + std::to_string(position) + " byte " +
                                     std::to_string(static_cast<unsigned char>(replacement));
            ASSERT_EQ(quickHr, generalHr) << what;
            if (SUCCEEDED(quickHr)) EXPECT_EQ(quick, general) << what;
            else EXPECT_EQ(quick, 123) << what;
        }
    }
}

// The day count of a text against the calendar arithmetic of the SYSTEMTIME conversion:
// the first and last days of every month of every year, and every day of the years
// where leap rules and the ends of the range lie.
TEST(DateText, DayNumbersAgreeWithTheSystemTimeConversion) {
    auto check = [](int year, int month, int day) {
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d 12:34:56", year, month, day);
        DATE fromText = 0;
        HRESULT hr = dbplatform::DateFromText(text, &fromText);
        SYSTEMTIME time{};
        time.wYear = static_cast<WORD>(year);
        time.wMonth = static_cast<WORD>(month);
        time.wDay = static_cast<WORD>(day);
        time.wHour = 12;
        time.wMinute = 34;
        time.wSecond = 56;
        DATE fromSystemTime = 0;
        SYSTEMTIME back{};
        // SystemTimeToVariantTime rolls a day past the month's end into the next month:
        // such a day is one the text must refuse.
        const bool real = SystemTimeToVariantTime(&time, &fromSystemTime) &&
                          VariantTimeToSystemTime(fromSystemTime, &back) && back.wDay == day && back.wMonth == month;
        if (!real) {
            EXPECT_EQ(hr, DISP_E_TYPEMISMATCH) << text;
            return;
        }
        ASSERT_EQ(hr, S_OK) << text;
        EXPECT_EQ(fromText, fromSystemTime) << text;
    };
    for (int year = 100; year <= 9999; ++year)
        for (int month = 1; month <= 12; ++month)
            for (int day : {1, 28, 29, 30, 31}) check(year, month, day);
    for (int year : {100, 101, 1600, 1700, 1899, 1900, 2000, 2023, 2024, 2100, 9999})
        for (int month = 1; month <= 12; ++month)
            for (int day = 2; day <= 27; ++day) check(year, month, day);
}

// Automation dates: days since 1899-12-30; before it the integer part is negative and
// the fraction still counts forwards in the day.
TEST(AutomationDate, ValuesAroundAndBeforeTheEpoch) {
    const struct {
        const char* text;
        DATE date;
    } cases[] = {
        {"1899-12-30 00:00:00", 0},         {"1900-01-01 00:00:00", 2},
        {"1900-01-04 06:00:00", 5.25},      {"1899-12-29 06:00:00", -1.25},
        {"1899-12-18 12:00:00", -12.5},     {"1899-12-29 00:00:00", -1},
        {"0100-01-01 00:00:00", -657434},   {"9999-12-31 00:00:00", 2958465},
        {"1899-12-30 18:00:00", 0.75},      {"2000-01-01 00:00:00", 36526},
    };
    for (const auto& c : cases) {
        DATE date;
        ASSERT_EQ(dbplatform::DateFromText(c.text, &date), S_OK) << c.text;
        EXPECT_DOUBLE_EQ(date, c.date) << c.text;
        EXPECT_EQ(dbplatform::TextFromDate(c.date), c.text);
    }
    // -0.25 and 0.25 are the same moment.
    EXPECT_EQ(dbplatform::TextFromDate(-0.25), "1899-12-30 06:00:00");
    EXPECT_EQ(dbplatform::TextFromDate(0.25), "1899-12-30 06:00:00");
    EXPECT_EQ(dbplatform::TextFromDate(-1.0 - 86399.6 / 86400), "1899-12-30 00:00:00");  // rounds across midnight
    EXPECT_EQ(dbplatform::TextFromDate(2958466.0), "");
    EXPECT_FALSE(dbplatform::IsValidDate(-657435.0));
    EXPECT_TRUE(dbplatform::IsValidDate(-657434.99));
}

// Every second-resolution date, on either side of the epoch, survives text and back.
TEST(AutomationDate, CanonicalTextRoundTrips) {
    for (long long step = -657434LL * 86400; step < 2958466LL * 86400; step += 86400LL * 997 + 3607) {
        long long day = step / 86400;
        long long second = step % 86400;
        if (second < 0) second += 86400, --day;
        DATE date = day >= 0 ? day + second / 86400.0 : day - second / 86400.0;
        std::string text = dbplatform::TextFromDate(date);
        ASSERT_EQ(text.size(), 19u) << date;
        DATE back;
        ASSERT_EQ(dbplatform::DateFromText(text, &back), S_OK) << text;
        EXPECT_EQ(dbplatform::TextFromDate(back), text);
        EXPECT_NEAR(back, date, 1e-6) << text;
    }
}

TEST(SystemTime, ConversionsNormaliseDaysAndRefuseBadMonths) {
    const struct {
        SYSTEMTIME in;
        INT ok;
        const char* text;
    } cases[] = {
        {{2001, 2, 0, 29, 10, 0, 0, 0}, TRUE, "2001-03-01 10:00:00"},
        {{2001, 3, 0, 0, 0, 0, 0, 0}, TRUE, "2001-02-28 00:00:00"},
        {{2001, 1, 0, 5, 1, 2, 3, 999}, TRUE, "2001-01-05 01:02:03"},  // milliseconds ignored
        {{2001, 13, 0, 1, 0, 0, 0, 0}, FALSE, ""},
        {{2001, 0, 0, 1, 0, 0, 0, 0}, FALSE, ""},
        {{99, 12, 0, 31, 0, 0, 0, 0}, FALSE, ""},
        {{100, 1, 0, 0, 0, 0, 0, 0}, FALSE, ""},
        {{1899, 12, 0, 29, 6, 0, 0, 0}, TRUE, "1899-12-29 06:00:00"},
    };
    for (auto c : cases) {
        DATE date = 0;
        ASSERT_EQ(SystemTimeToVariantTime(&c.in, &date), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(dbplatform::TextFromDate(date), c.text);
        }
    }
    SYSTEMTIME out;
    ASSERT_EQ(VariantTimeToSystemTime(5.25 + 0.6 / 86400, &out), TRUE);
    EXPECT_EQ(out.wYear, 1900);
    EXPECT_EQ(out.wMonth, 1);
    EXPECT_EQ(out.wDay, 4);
    EXPECT_EQ(out.wDayOfWeek, 4);  // a Thursday
    EXPECT_EQ(out.wHour, 6);
    EXPECT_EQ(out.wSecond, 1);
    EXPECT_EQ(out.wMilliseconds, 0);
    EXPECT_EQ(VariantTimeToSystemTime(-1e7, &out), FALSE);
}

// Across a daylight-saving change the local calendar time follows the zone's rules.
TEST(LocalTime, UnixTimeAcrossDaylightSaving) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin"))
        GTEST_SKIP() << "TZDATA IS NOT INSTALLED: daylight-saving conversions not tested";
    const char* previous = std::getenv("TZ");
    std::string saved = previous != nullptr ? previous : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const struct {
        std::time_t unix;
        const char* local;
    } cases[] = {
        {1616893199, "2021-03-28 01:59:59"},  // last second of winter time
        {1616893200, "2021-03-28 03:00:00"},  // first second of summer time
        {1635641999, "2021-10-31 02:59:59"},  // last second of summer time
        {1609459200, "2021-01-01 01:00:00"},
        {0, "1970-01-01 01:00:00"},
    };
    for (const auto& c : cases) {
        DATE date = dbplatform::DateFromUnixTime(c.unix);
        EXPECT_EQ(dbplatform::TextFromDate(date), c.local);
        if (c.unix != 1635641999) {  // the repeated hour is ambiguous
            EXPECT_EQ(dbplatform::UnixTimeFromDate(date), c.unix) << c.local;
        }
        std::tm local = dbplatform::LocalTimeFromDate(date);
        EXPECT_DOUBLE_EQ(dbplatform::DateFromLocalTime(local), date);
    }
    if (previous != nullptr)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(LocalTime, CalendarFieldsNormalise) {
    std::tm local{};
    local.tm_year = 2005 - 1900;
    local.tm_mon = 13;   // February of the next year
    local.tm_mday = 29;  // 2006 has no 29 February: 1 March
    local.tm_hour = 25;  // one hour into the next day
    EXPECT_EQ(dbplatform::TextFromDate(dbplatform::DateFromLocalTime(local)), "2006-03-02 01:00:00");
    std::tm back = dbplatform::LocalTimeFromDate(-1.25);
    EXPECT_EQ(back.tm_year, -1);
    EXPECT_EQ(back.tm_mon, 11);
    EXPECT_EQ(back.tm_mday, 29);
    EXPECT_EQ(back.tm_hour, 6);
    EXPECT_EQ(back.tm_wday, 5);  // a Friday
    EXPECT_EQ(back.tm_yday, 362);
}

}  // namespace

namespace {

// The local-time conversion avoids mktime for speed; it must still agree with mktime on
// every instant and daylight-saving flag, including the gap and the repeated hour, in
// zones with whole-hour, half-hour and no changes.
TEST(LocalTime, AgreesWithTheCLibraryInEveryZone) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    const char* zones[] = {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kolkata", "UTC"};
    for (const char* zone : zones) {
        if (!std::filesystem::exists(std::string("/usr/share/zoneinfo/") + zone)) continue;
        setenv("TZ", zone, 1);
        tzset();
        long mismatches = 0;
        for (long long t = 1698000000LL - 160LL * 86400; t < 1698000000LL + 160LL * 86400; t += 3 * 1799) {
            const std::time_t instant = static_cast<std::time_t>(t);
            std::tm local{};
            ASSERT_NE(localtime_r(&instant, &local), nullptr);
            for (int flag : {-1, 0, 1}) {
                std::tm viaLibrary = local;
                viaLibrary.tm_isdst = flag;
                std::tm viaOurs = viaLibrary;
                if (std::mktime(&viaLibrary) != dbplatform::UnixTimeFromLocalTime(viaOurs)) ++mismatches;
            }
        }
        EXPECT_EQ(mismatches, 0) << zone;
    }
    if (saved) setenv("TZ", previous.c_str(), 1); else unsetenv("TZ");
    tzset();
}

}  // namespace

namespace {

// A fraction of a second just short of midnight must not carry the date past its day:
// the last representable second stays, other days round to the next midnight, and the
// text reads back the same.
TEST(DateText, FractionsJustShortOfMidnight) {
    struct Case {
        const char* text;
        const char* canonical;
    };
    const Case cases[] = {
        {"9999-12-31 23:59:59.999999999999999999999999999999999", "9999-12-31 23:59:59"},
        {"2005-12-19 23:59:59.9999999999999999", "2005-12-20 00:00:00"},
        {"1800-05-05 23:59:59.99999999999999999999", "1800-05-06 00:00:00"},
        {"1899-12-29 23:59:59.9999999999999", "1899-12-30 00:00:00"},
    };
    for (const Case& c : cases) {
        DATE date = 0;
        ASSERT_EQ(dbplatform::DateFromText(c.text, &date), S_OK) << c.text;
        const std::string text = dbplatform::TextFromDate(date);
        EXPECT_EQ(text, c.canonical) << c.text;
        DATE again = 0;
        ASSERT_EQ(dbplatform::DateFromText(text, &again), S_OK) << text;
        EXPECT_EQ(dbplatform::TextFromDate(again), text);
    }
}

}  // namespace
