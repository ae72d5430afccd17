// Automation dates (days since 1899-12-30; before that day the integer part is negative
// and the fraction still counts forward in the day), calendar time, and the canonical
// date-time text "YYYY-MM-DD HH:MM:SS".
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include <dbplatform/base/HResult.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

// Milliseconds are ignored; out-of-range days normalise (2001-02-29 is 2001-03-01);
// a month outside 1..12 or a year outside 100..9999 gives FALSE.
INT SystemTimeToVariantTime(SYSTEMTIME* systemTime, DATE* date);
// Rounds to the nearest second; wMilliseconds is 0.
INT VariantTimeToSystemTime(DATE date, SYSTEMTIME* systemTime);

namespace dbplatform {
// True for a finite automation date between 0100-01-01 00:00:00 and 9999-12-31 23:59:59.
bool IsValidDate(DATE date);

// Reads the accepted date-time forms: YYYY-MM-DD, YYYY/MM/DD, with " HH:MM" or
// " HH:MM:SS" (a 'T' or a blank between), an optional fraction of seconds, one- or
// two-digit month, day and hour, years 100..9999. Anything else: DISP_E_TYPEMISMATCH.
HRESULT DateFromText(std::string_view text, DATE* date);
// The canonical 19-character text, rounded to the nearest second.
std::string TextFromDate(DATE date);
// Canonical text of a date-time text in any accepted form; DISP_E_TYPEMISMATCH otherwise.
HRESULT CanonicalDateText(std::string_view text, std::string* canonical);

// Local calendar time (the C library's time zone) <-> automation date.
DATE DateFromLocalTime(const std::tm& local);
std::tm LocalTimeFromDate(DATE date);
// Seconds since 1970 UTC <-> automation date, through local calendar time.
DATE DateFromUnixTime(std::time_t seconds);
std::time_t UnixTimeFromDate(DATE date);  // -1 when the date is not representable
// mktime without its cost: the C library re-reads the zone file on every mktime call when TZ
// is unset. Fields may be out of range (normalised as mktime does); tm_isdst -1 lets the
// zone decide, 0 or 1 choose in the repeated hour. Falls back to mktime only for a time in
// a daylight-saving gap or a flag that the zone contradicts.
std::time_t UnixTimeFromLocalTime(const std::tm& local);
}  // namespace dbplatform

DBPLATFORM_PUBLIC_END
