// Automation dates, calendar time and the canonical date-time text.
//
// An automation date is days since 1899-12-30 00:00. Before that day the integer part
// counts days backwards while the fraction still counts time forwards within the day
// (-1.25 is 1899-12-29 06:00), so the day and the time of day are always split as
// trunc(date) and |date - trunc(date)|, never with floor().
#include <dbplatform/automation/DateTime.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr long long kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (any month/day normalised by
// the caller). The usual era-based civil calendar arithmetic.
constexpr long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

void CivilFromDays(long long days, long long* year, unsigned* month, unsigned* day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    *month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    *year = static_cast<long long>(yearOfEra) + era * 400 + (*month <= 2);
}

constexpr long long kEpoch = DaysFromCivil(1899, 12, 30);
constexpr long long kFirstDay = DaysFromCivil(100, 1, 1) - kEpoch;    // -657434
constexpr long long kLastDay = DaysFromCivil(9999, 12, 31) - kEpoch;  // 2958465
static_assert(kFirstDay == -657434 && kLastDay == 2958465);

// Day number (since 1899-12-30) plus seconds into that day -> automation date.
// A fraction of a second just short of midnight can round the sum up to the next whole
// day (and, before the epoch, to a day two days off); the result is kept inside its day.
DATE ComposeDate(long long day, double secondOfDay) {
    const double fraction = secondOfDay / static_cast<double>(kSecondsPerDay);
    const double whole = static_cast<double>(day);
    if (day >= 0) {
        const double date = whole + fraction;
        return date < whole + 1 ? date : std::nextafter(whole + 1, whole);
    }
    const double date = whole - fraction;
    return date > whole - 1 ? date : std::nextafter(whole - 1, whole);
}

// Any count of seconds since 1899-12-30 00:00 (negative allowed) -> automation date.
DATE DateFromTotalSeconds(long long total) {
    long long day = total / kSecondsPerDay;
    long long second = total % kSecondsPerDay;
    if (second < 0) second += kSecondsPerDay, --day;
    return ComposeDate(day, static_cast<double>(second));
}

// Splits a valid date into its day number and the second of that day, rounded to the
// nearest second. A time that rounds up to midnight moves to the next day, except past
// the last representable second, which stays 9999-12-31 23:59:59.
void SplitDate(DATE date, long long* day, long long* second) {
    double whole = std::trunc(date);
    // Milliseconds first, then seconds: a time read as 09.5 s is stored as 09.4999999...
    // in a double, and must still round up like the text it came from.
    long long milliseconds = std::llround(std::fabs(date - whole) * static_cast<double>(kSecondsPerDay) * 1000.0);
    long long seconds = (milliseconds + 500) / 1000;
    long long number = static_cast<long long>(whole);
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        ++number;
    }
    if (number > kLastDay) {
        number = kLastDay;
        seconds = kSecondsPerDay - 1;
    }
    *day = number;
    *second = seconds;
}

// The calendar fields of a valid date, its time rounded to the nearest second as
// SplitDate rounds it.
struct CalendarFields {
    long long dayNumber;  // days since 1899-12-30
    long long year;
    unsigned month, day;
    unsigned weekday;  // 0 Sunday .. 6 Saturday
    long long hour, minute, second;
};

CalendarFields FieldsOfDate(DATE date) {
    CalendarFields fields{};
    long long second;
    SplitDate(date, &fields.dayNumber, &second);
    CivilFromDays(fields.dayNumber + kEpoch, &fields.year, &fields.month, &fields.day);
    fields.weekday = static_cast<unsigned>(((fields.dayNumber % 7) + 7 + 6) % 7);  // 1899-12-30 was a Saturday
    fields.hour = second / 3600;
    fields.minute = second / 60 % 60;
    fields.second = second % 60;
    return fields;
}

// Seconds since 1970-01-01 00:00 of calendar fields read as UTC. Fields may be out of
// their usual ranges (as mktime allows); they are normalised arithmetically.
long long SecondsFromFields(const std::tm& fields) {
    long long year = 1900LL + fields.tm_year + fields.tm_mon / 12;
    int month = fields.tm_mon % 12;
    if (month < 0) month += 12, --year;
    return (DaysFromCivil(year, static_cast<unsigned>(month + 1), 1) + fields.tm_mday - 1) * kSecondsPerDay +
           fields.tm_hour * 3600LL + fields.tm_min * 60LL + fields.tm_sec;
}

// A cursor over the text being parsed; every read is bounds-checked.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}
    bool AtEnd() const { return position_ == text_.size(); }
    bool Take(char expected) {
        if (AtEnd() || text_[position_] != expected) return false;
        ++position_;
        return true;
    }
    char Peek() const { return AtEnd() ? '\0' : text_[position_]; }
    // Reads between `fewest` and `most` decimal digits.
    bool Digits(int fewest, int most, int* value) {
        int count = 0;
        int result = 0;
        while (count < most && !AtEnd() && text_[position_] >= '0' && text_[position_] <= '9') {
            result = result * 10 + (text_[position_] - '0');
            ++position_;
            ++count;
        }
        *value = result;
        return count >= fewest;
    }
    // Reads one or more digits as the fraction of a second.
    bool Fraction(double* value) {
        double scale = 0.1;
        double result = 0;
        std::size_t start = position_;
        while (!AtEnd() && text_[position_] >= '0' && text_[position_] <= '9') {
            result += (text_[position_] - '0') * scale;
            scale /= 10;
            ++position_;
        }
        *value = result;
        return position_ > start;
    }

private:
    std::string_view text_;
    std::size_t position_ = 0;
};

std::string_view TrimBlanks(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

bool dbplatform::IsValidDate(DATE date) {
    return std::isfinite(date) && date > static_cast<double>(kFirstDay - 1) &&
           date < static_cast<double>(kLastDay + 1);
}

// The grammar: YYYY{-|/}M{M}{-|/}D{D} [{T| }H{H}:MM[:SS[.f...]]], the same separator
// twice in the date, surrounding blanks ignored. Calendar-impossible dates (2005-02-30)
// and times (24:00, 12:60) are refused, not normalised, because a typo must not turn
// into a different day.
namespace {

// Days before each month of a common year; a leap year has one more from March on.
constexpr int kDaysBefore[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int kDaysIn[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
// Days from 0001-01-01 to 1899-12-30, in the count DateOfFields uses.
constexpr long long kEpochFromYearOne = 693593;
static_assert(DaysFromCivil(1, 1, 1) + kEpochFromYearOne == kEpoch);

// The calendar check and composition every accepted text ends in. Years here are
// 100..9999 (four digits, the smaller refused), so the day count needs no era
// arithmetic: whole years since year 1, then the month's days.
HRESULT DateOfFields(int year, int month, int day, int hour, int minute, int second, double fraction, DATE* date) {
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        return DISP_E_TYPEMISMATCH;
    const unsigned y = static_cast<unsigned>(year);
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    const int leapDay = leap && month > 2 ? 1 : 0;
    if (day > kDaysIn[month] + (leap && month == 2 ? 1 : 0)) return DISP_E_TYPEMISMATCH;
    const unsigned before = y - 1;
    const long long dayNumber = static_cast<long long>(before * 365 + before / 4 - before / 100 + before / 400) +
                                kDaysBefore[month] + leapDay + day - 1 - kEpochFromYearOne;
    *date = ComposeDate(dayNumber, hour * 3600.0 + minute * 60.0 + second + fraction);
    return S_OK;
}

// True when every byte of `word` that `mask` selects is an ASCII digit: its high
// nibble is 3, and adding 6 leaves it 3 (0x3A..0x3F become 0x40..0x45). A byte that
// fails the first test makes the answer false whatever a carry out of it does.
constexpr bool DigitsAt(std::uint64_t word, std::uint64_t mask) {
    const std::uint64_t high = 0xF0F0F0F0F0F0F0F0ull & mask, three = 0x3030303030303030ull & mask;
    return (word & high) == three && ((word + 0x0606060606060606ull) & high) == three;
}

// Byte k of the result is 10 x digit k + digit k+1, for the digit pairs of a word
// whose digits were checked (separator bytes give values that are never used).
constexpr std::uint64_t Pairs(std::uint64_t word) {
    const std::uint64_t units = word & 0x0F0F0F0F0F0F0F0Full;
    return units * 10 + (units >> 8);
}

// The canonical "YYYY-MM-DD HH:MM:SS" (as every date is stored and written), read at
// fixed places as three overlapping eight-byte words: a cursor parses one per row.
// False for any other text, which then goes through the full grammar; the fields are
// those the grammar would read.
bool CanonicalFields(std::string_view text, int fields[6]) {
    if (text.size() != 19) return false;
    std::uint64_t date, day, time;  // bytes 0..7 "YYYY-MM-", 8..15 "DD HH:MM", 11..18 "HH:MM:SS"
    std::memcpy(&date, text.data(), 8);
    std::memcpy(&day, text.data() + 8, 8);
    std::memcpy(&time, text.data() + 11, 8);
    if constexpr (std::endian::native != std::endian::little) {
        date = __builtin_bswap64(date);
        day = __builtin_bswap64(day);
        time = __builtin_bswap64(time);
    }
    const bool separators = (date & 0xFF0000FF00000000ull) == 0x2D00002D00000000ull &&
                            (day & 0x0000000000FF0000ull) == 0x0000000000200000ull &&
                            (time & 0x0000FF0000FF0000ull) == 0x00003A00003A0000ull;
    if (!separators || !DigitsAt(date, 0x00FFFF00FFFFFFFFull) || !DigitsAt(day, 0x000000000000FFFFull) ||
        !DigitsAt(time, 0xFFFF00FFFF00FFFFull))
        return false;
    const std::uint64_t datePairs = Pairs(date), dayPairs = Pairs(day), timePairs = Pairs(time);
    fields[0] = static_cast<int>(datePairs & 0xFF) * 100 + static_cast<int>((datePairs >> 16) & 0xFF);
    fields[1] = static_cast<int>((datePairs >> 40) & 0xFF);
    fields[2] = static_cast<int>(dayPairs & 0xFF);
    fields[3] = static_cast<int>(timePairs & 0xFF);
    fields[4] = static_cast<int>((timePairs >> 24) & 0xFF);
    fields[5] = static_cast<int>((timePairs >> 48) & 0xFF);
    return true;
}

}  // namespace

HRESULT dbplatform::DateFromText(std::string_view text, DATE* date) {
    if (date == nullptr) return E_POINTER;
    int fields[6];
    if (CanonicalFields(text, fields))
        return DateOfFields(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], 0, date);
    Reader reader(TrimBlanks(text));
    int year, month, day;
    if (!reader.Digits(4, 4, &year)) return DISP_E_TYPEMISMATCH;
    char separator = reader.Peek();
    if (separator != '-' && separator != '/') return DISP_E_TYPEMISMATCH;
    reader.Take(separator);
    if (!reader.Digits(1, 2, &month) || !reader.Take(separator) || !reader.Digits(1, 2, &day))
        return DISP_E_TYPEMISMATCH;
    int hour = 0, minute = 0, second = 0;
    double fraction = 0;
    if (!reader.AtEnd()) {
        if (!reader.Take('T') && !reader.Take(' ')) return DISP_E_TYPEMISMATCH;
        if (!reader.Digits(1, 2, &hour) || !reader.Take(':') || !reader.Digits(2, 2, &minute))
            return DISP_E_TYPEMISMATCH;
        if (reader.Take(':')) {
            if (!reader.Digits(2, 2, &second)) return DISP_E_TYPEMISMATCH;
            if (reader.Take('.') && !reader.Fraction(&fraction)) return DISP_E_TYPEMISMATCH;
        }
        if (!reader.AtEnd()) return DISP_E_TYPEMISMATCH;
    }
    return DateOfFields(year, month, day, hour, minute, second, fraction, date);
}

// An invalid date (NaN, out of range) gives the empty text.
std::string dbplatform::TextFromDate(DATE date) {
    if (!IsValidDate(date)) return std::string();
    const CalendarFields f = FieldsOfDate(date);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02lld:%02lld:%02lld", f.year, f.month, f.day, f.hour,
                  f.minute, f.second);
    return buffer;
}

HRESULT dbplatform::CanonicalDateText(std::string_view text, std::string* canonical) {
    DATE date;
    HRESULT hr = DateFromText(text, &date);
    if (FAILED(hr)) return hr;
    *canonical = TextFromDate(date);
    return S_OK;
}

// Local calendar fields may be out of their usual ranges (as mktime allows); they are
// normalised arithmetically. The time zone is not consulted: the fields already are
// local time.
DATE dbplatform::DateFromLocalTime(const std::tm& local) {
    return DateFromTotalSeconds(SecondsFromFields(local) - kEpoch * kSecondsPerDay);
}

// tm_isdst is -1 (unknown): the date carries no daylight-saving information.
// An invalid date gives a tm with tm_mday 0, which no real date has.
std::tm dbplatform::LocalTimeFromDate(DATE date) {
    std::tm local{};
    local.tm_isdst = -1;
    if (!IsValidDate(date)) return local;
    const CalendarFields f = FieldsOfDate(date);
    local.tm_year = static_cast<int>(f.year - 1900);
    local.tm_mon = static_cast<int>(f.month) - 1;
    local.tm_mday = static_cast<int>(f.day);
    local.tm_hour = static_cast<int>(f.hour);
    local.tm_min = static_cast<int>(f.minute);
    local.tm_sec = static_cast<int>(f.second);
    local.tm_wday = static_cast<int>(f.weekday);
    local.tm_yday = static_cast<int>(f.dayNumber + kEpoch - DaysFromCivil(f.year, 1, 1));
    return local;
}

DATE dbplatform::DateFromUnixTime(std::time_t seconds) {
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) return 0;
    return DateFromLocalTime(local);
}

std::time_t dbplatform::UnixTimeFromDate(DATE date) {
    if (!IsValidDate(date)) return -1;
    return UnixTimeFromLocalTime(LocalTimeFromDate(date));
}

// The fields read as UTC, shifted by the zone's offsets a day before, at and a day after
// that instant, give the candidates (offsets change at most once a day anywhere). A
// candidate counts only when localtime_r gives back exactly the asked fields (and flag),
// which localtime_r decides without re-reading the zone file. In the repeated hour two
// candidates match; without a flag the earlier is taken, as mktime does.
std::time_t dbplatform::UnixTimeFromLocalTime(const std::tm& local) {
    const long long asUtc = SecondsFromFields(local);
    std::tm wanted{};
    const std::time_t wantedTime = static_cast<std::time_t>(asUtc);
    bool found = false;
    std::time_t best = 0;
    if (gmtime_r(&wantedTime, &wanted) != nullptr) {
        for (long long probe : {asUtc - kSecondsPerDay, asUtc, asUtc + kSecondsPerDay}) {
            const std::time_t probeTime = static_cast<std::time_t>(probe);
            std::tm atProbe{};
            if (localtime_r(&probeTime, &atProbe) == nullptr) continue;
            const std::time_t candidate = static_cast<std::time_t>(asUtc - atProbe.tm_gmtoff);
            std::tm got{};
            if (localtime_r(&candidate, &got) == nullptr) continue;
            const bool same = got.tm_year == wanted.tm_year && got.tm_mon == wanted.tm_mon &&
                              got.tm_mday == wanted.tm_mday && got.tm_hour == wanted.tm_hour &&
                              got.tm_min == wanted.tm_min && got.tm_sec == wanted.tm_sec &&
                              (local.tm_isdst < 0 || (got.tm_isdst > 0) == (local.tm_isdst > 0));
            if (same && (!found || candidate < best)) best = candidate, found = true;
        }
    }
    if (found) return best;
    std::tm copy = local;
    return std::mktime(&copy);
}

INT SystemTimeToVariantTime(SYSTEMTIME* systemTime, DATE* date) {
    if (systemTime == nullptr || date == nullptr) return FALSE;
    const SYSTEMTIME& t = *systemTime;
    if (t.wYear < 100 || t.wYear > 9999 || t.wMonth < 1 || t.wMonth > 12 || t.wDay > 31 || t.wHour > 23 ||
        t.wMinute > 59 || t.wSecond > 59)
        return FALSE;
    // Day 0 is the last day of the previous month, day 31 of a 30-day month the 1st of
    // the next: the day is added to the month's first day.
    long long dayNumber = DaysFromCivil(t.wYear, t.wMonth, 1) - kEpoch + t.wDay - 1;
    if (dayNumber < kFirstDay || dayNumber > kLastDay) return FALSE;
    *date = ComposeDate(dayNumber, t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond);
    return TRUE;
}

INT VariantTimeToSystemTime(DATE date, SYSTEMTIME* systemTime) {
    if (systemTime == nullptr || !dbplatform::IsValidDate(date)) return FALSE;
    const CalendarFields f = FieldsOfDate(date);
    systemTime->wYear = static_cast<WORD>(f.year);
    systemTime->wMonth = static_cast<WORD>(f.month);
    systemTime->wDay = static_cast<WORD>(f.day);
    systemTime->wDayOfWeek = static_cast<WORD>(f.weekday);
    systemTime->wHour = static_cast<WORD>(f.hour);
    systemTime->wMinute = static_cast<WORD>(f.minute);
    systemTime->wSecond = static_cast<WORD>(f.second);
    systemTime->wMilliseconds = 0;
    return TRUE;
}
