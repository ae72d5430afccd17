// CTime: seconds since 1970 UTC, made from and read as the C library's local time.
#include <dbplatform/mfc/Time.h>

#include <string>

#include <dbplatform/automation/DateTime.h>

namespace {
std::time_t FromLocal(int year, int month, int day, int hour, int minute, int second, int daylightSaving) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    // Negative lets mktime decide; any positive value means daylight-saving time.
    local.tm_isdst = daylightSaving < 0 ? -1 : (daylightSaving > 0 ? 1 : 0);
    return dbplatform::UnixTimeFromLocalTime(local);
}

// A time that localtime_r cannot convert reads as the epoch's fields of zero, never as
// whatever the stack held.
std::tm Local(std::time_t time) {
    std::tm local{};
    if (!localtime_r(&time, &local)) local = std::tm{};
    return local;
}
}  // namespace

// Out-of-range fields normalise as mktime does (month 13 is January of the next year);
// a time mktime cannot represent gives -1.
CTime::CTime(int year, int month, int day, int hour, int minute, int second, int daylightSaving)
    : time_(FromLocal(year, month, day, hour, minute, second, daylightSaving)) {}

// Milliseconds and the day of the week are ignored.
CTime::CTime(const SYSTEMTIME& systemTime, int daylightSaving)
    : time_(FromLocal(systemTime.wYear, systemTime.wMonth, systemTime.wDay, systemTime.wHour,
                      systemTime.wMinute, systemTime.wSecond, daylightSaving)) {}

CTime CTime::GetCurrentTime() { return CTime(std::time(nullptr)); }

int CTime::GetYear() const { return Local(time_).tm_year + 1900; }
int CTime::GetMonth() const { return Local(time_).tm_mon + 1; }
int CTime::GetDay() const { return Local(time_).tm_mday; }
int CTime::GetHour() const { return Local(time_).tm_hour; }
int CTime::GetMinute() const { return Local(time_).tm_min; }
int CTime::GetSecond() const { return Local(time_).tm_sec; }
int CTime::GetDayOfWeek() const { return Local(time_).tm_wday + 1; }

std::tm* CTime::GetLocalTm(std::tm* out) const {
    if (!out) return nullptr;
    return localtime_r(&time_, out);
}

std::tm* CTime::GetGmtTm(std::tm* out) const {
    if (!out) return nullptr;
    return gmtime_r(&time_, out);
}

// FALSE when the time has no local calendar form or its year does not fit SYSTEMTIME.
BOOL CTime::GetAsSystemTime(SYSTEMTIME& systemTime) const {
    std::tm local{};
    if (!localtime_r(&time_, &local)) return FALSE;
    int year = local.tm_year + 1900;
    if (year < 1601 || year > 30827) return FALSE;
    systemTime.wYear = static_cast<WORD>(year);
    systemTime.wMonth = static_cast<WORD>(local.tm_mon + 1);
    systemTime.wDayOfWeek = static_cast<WORD>(local.tm_wday);
    systemTime.wDay = static_cast<WORD>(local.tm_mday);
    systemTime.wHour = static_cast<WORD>(local.tm_hour);
    systemTime.wMinute = static_cast<WORD>(local.tm_min);
    systemTime.wSecond = static_cast<WORD>(local.tm_sec);
    systemTime.wMilliseconds = 0;
    return TRUE;
}

// strftime has no way to say "needs more room" apart from returning 0, which is also
// its answer for an empty result; the buffer grows a few times before the result is
// taken to be empty.
CString CTime::Format(const char* format) const {
    if (!format || !*format) return CString();
    std::tm local{};
    if (!localtime_r(&time_, &local)) return CString();
    std::string buffer;
    for (std::size_t size = 128; size <= 65536; size *= 4) {
        buffer.resize(size);
        std::size_t written = std::strftime(buffer.data(), size, format, &local);
        if (written > 0) {
            buffer.resize(written);
            return CString(buffer);
        }
    }
    return CString();
}
