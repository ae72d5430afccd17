// The time getters' table of zone offsets against the conversion it stands in for: every
// answer must be CTime's own, in the gap and the repeated hour of a daylight-saving change,
// on a day a zone skipped, in half-hour zones, before 1970 and after 2038, and after the
// process changes its zone.
#include "../../quillet/LocalTimes.h"

#include <dbplatform/mfc/Time.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace {

// Sets TZ for one test and puts the previous zone back.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* previous = std::getenv("TZ");
        hadZone_ = previous != nullptr;
        if (hadZone_) previous_ = previous;
        Set(zone);
    }
    ~ZoneScope() {
        if (hadZone_) setenv("TZ", previous_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    void Set(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

private:
    bool hadZone_ = false;
    std::string previous_;
};

bool HaveZone(const char* zone) { return std::filesystem::exists(std::string("/usr/share/zoneinfo/") + zone); }

SYSTEMTIME Calendar(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return t;
}

std::time_t Plain(const SYSTEMTIME& t) { return CTime(t, -1).GetTime(); }

std::string Text(const SYSTEMTIME& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

TEST(LocalTimes, SingleTimesAgreeWithCTime) {
    struct Case {
        const char* zone;
        SYSTEMTIME calendar;
    } cases[] = {
        {"Europe/Berlin", Calendar(2024, 3, 31, 1, 59, 59)},   // last second before the gap
        {"Europe/Berlin", Calendar(2024, 3, 31, 2, 30, 0)},    // in the skipped hour
        {"Europe/Berlin", Calendar(2024, 3, 31, 3, 0, 0)},     // first second after it
        {"Europe/Berlin", Calendar(2024, 10, 27, 2, 30, 0)},   // in the repeated hour
        {"Europe/Berlin", Calendar(2024, 10, 27, 3, 0, 0)},
        {"Europe/Berlin", Calendar(2024, 10, 26, 23, 59, 59)}, // the day before a change
        {"Europe/Berlin", Calendar(2024, 10, 28, 0, 0, 0)},    // the day after it
        {"Europe/Berlin", Calendar(2024, 7, 1, 12, 0, 0)},
        {"Europe/Berlin", Calendar(1899, 12, 30, 0, 0, 0)},    // what a NULL date reads as
        {"Europe/Berlin", Calendar(1970, 1, 1, 0, 0, 0)},
        {"Europe/Berlin", Calendar(2040, 6, 15, 8, 0, 0)},     // past 32-bit seconds
        {"Europe/Berlin", Calendar(9999, 12, 31, 23, 59, 59)},
        {"Europe/Berlin", Calendar(100, 1, 1, 0, 0, 0)},
        {"Europe/Berlin", Calendar(2023, 2, 29, 10, 0, 0)},    // no such day: CTime normalises
        {"Europe/Berlin", Calendar(2024, 13, 1, 0, 0, 0)},     // no such month
        {"Europe/Berlin", Calendar(2024, 1, 1, 24, 0, 0)},     // no such hour
        {"Europe/Berlin", Calendar(2024, 1, 257, 0, 0, 0)},    // a day past what a byte holds
        {"Europe/Berlin", Calendar(2024, 257, 1, 0, 0, 0)},
        {"Europe/Berlin", Calendar(40000, 1, 1, 0, 0, 0)},
        {"America/New_York", Calendar(2024, 3, 10, 2, 30, 0)},
        {"America/New_York", Calendar(2024, 11, 3, 1, 30, 0)},
        {"Australia/Lord_Howe", Calendar(2024, 10, 6, 2, 15, 0)},  // half-hour gap
        {"Australia/Lord_Howe", Calendar(2024, 4, 7, 1, 45, 0)},   // half-hour repeat
        {"Pacific/Apia", Calendar(2011, 12, 30, 12, 0, 0)},        // a day the zone skipped
        {"Pacific/Apia", Calendar(2011, 12, 29, 23, 0, 0)},
        {"Pacific/Apia", Calendar(2011, 12, 31, 1, 0, 0)},
        {"Asia/Kolkata", Calendar(2024, 5, 5, 5, 30, 0)},
        {"UTC", Calendar(2024, 3, 31, 2, 30, 0)},
    };
    for (const Case& c : cases) {
        if (!HaveZone(c.zone)) GTEST_SKIP() << "TZDATA IS NOT INSTALLED: " << c.zone;
        ZoneScope scope(c.zone);
        quillet::LocalTimes times;
        // Twice: worked out, then from the table.
        EXPECT_EQ(times.FromCalendar(c.calendar), Plain(c.calendar)) << c.zone << " " << Text(c.calendar);
        EXPECT_EQ(times.FromCalendar(c.calendar), Plain(c.calendar)) << c.zone << " " << Text(c.calendar) << " again";
    }
}

// Every 7 minutes 13 seconds through a year of each zone (which passes through every
// change and lands in every gap and repeated hour), read by one table in that order and
// again backwards, as a walk over rows in any order does.
TEST(LocalTimes, YearsOfTimesAgreeWithCTime) {
    for (const char* zone : {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Pacific/Apia"}) {
        if (!HaveZone(zone)) GTEST_SKIP() << "TZDATA IS NOT INSTALLED: " << zone;
        ZoneScope scope(zone);
        quillet::LocalTimes times;
        const int year = std::string(zone) == "Pacific/Apia" ? 2011 : 2024;
        long mismatches = 0, compared = 0;
        for (int pass = 0; pass < 2; ++pass) {
            for (long step = 0; step < 366L * 24 * 60 * 60 / 433; ++step) {
                long seconds = pass == 0 ? step * 433 : (366L * 24 * 60 * 60 - 1) - step * 433;
                std::tm fields{};
                fields.tm_year = year - 1900;
                fields.tm_mday = 1 + static_cast<int>(seconds / 86400);
                fields.tm_sec = static_cast<int>(seconds % 86400);
                timegm(&fields);  // spreads the offset into calendar fields, no zone involved
                SYSTEMTIME calendar = Calendar(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                                               fields.tm_min, fields.tm_sec);
                ++compared;
                if (times.FromCalendar(calendar) != Plain(calendar)) {
                    if (++mismatches < 5) ADD_FAILURE() << zone << " " << Text(calendar);
                }
            }
        }
        EXPECT_EQ(mismatches, 0) << zone << " of " << compared;
    }
}

// A process that changes its zone gets the new zone's answers from a table that has
// already worked out days in the old one.
TEST(LocalTimes, FollowsAChangeOfZone) {
    if (!HaveZone("Europe/Berlin") || !HaveZone("Asia/Tokyo")) GTEST_SKIP() << "TZDATA IS NOT INSTALLED";
    ZoneScope scope("Europe/Berlin");
    quillet::LocalTimes times;
    const SYSTEMTIME noon = Calendar(2024, 7, 1, 12, 0, 0);
    const std::time_t inBerlin = times.FromCalendar(noon);
    EXPECT_EQ(inBerlin, Plain(noon));
    scope.Set("Asia/Tokyo");
    EXPECT_EQ(times.FromCalendar(noon), Plain(noon));
    EXPECT_EQ(times.FromCalendar(noon) - inBerlin, -7 * 3600);
    times.Forget();
    EXPECT_EQ(times.FromCalendar(noon), Plain(noon));
}

}  // namespace
