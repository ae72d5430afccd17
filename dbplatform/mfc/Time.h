// CTime: seconds since 1970-01-01 UTC, built from and read as local calendar time.
#pragma once

#include <ctime>

#include <dbplatform/base/WinTypes.h>
#include <dbplatform/mfc/String.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

class CTime {
public:
    CTime() noexcept = default;
    CTime(std::time_t time) noexcept : time_(time) {}
    // Local calendar time; daylightSaving -1 lets the C library decide, 0 standard time,
    // 1 daylight-saving time (as mktime's tm_isdst).
    CTime(int year, int month, int day, int hour, int minute, int second, int daylightSaving = -1);
    CTime(const SYSTEMTIME& systemTime, int daylightSaving = -1);

    static CTime GetCurrentTime();
    std::time_t GetTime() const noexcept { return time_; }

    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const;  // 1 = Sunday
    std::tm* GetLocalTm(std::tm* out) const;
    std::tm* GetGmtTm(std::tm* out) const;
    BOOL GetAsSystemTime(SYSTEMTIME& systemTime) const;
    CString Format(const char* format) const;  // strftime on local time

    bool operator==(CTime other) const noexcept { return time_ == other.time_; }
    bool operator!=(CTime other) const noexcept { return time_ != other.time_; }
    bool operator<(CTime other) const noexcept { return time_ < other.time_; }
    bool operator>(CTime other) const noexcept { return time_ > other.time_; }
    bool operator<=(CTime other) const noexcept { return time_ <= other.time_; }
    bool operator>=(CTime other) const noexcept { return time_ >= other.time_; }

private:
    std::time_t time_ = 0;
};

DBPLATFORM_PUBLIC_END
