#include "LocalTimes.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdint>
#include <optional>

#include <dbplatform/mfc/Time.h>

namespace quillet {

namespace {

constexpr long long kSecondsPerDay = 86400;

// The calendar's day of `t`, when its fields name one real second of the calendar (nothing
// a normalisation would move).
std::optional<std::chrono::sys_days> DayOf(const SYSTEMTIME& t) {
    // The calendar types keep a year in 16 signed bits and a day and a month in one byte:
    // larger fields are refused first (automation dates end in 9999).
    if (t.wYear < 1 || t.wYear > 9999 || t.wMonth > 12 || t.wDay > 31) return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year{t.wYear}, std::chrono::month{t.wMonth},
                                           std::chrono::day{t.wDay}};
    if (!date.ok() || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59) return std::nullopt;
    return std::chrono::sys_days{date};
}

}  // namespace

LocalTimes::Zone LocalTimes::CurrentZone() { return Zone{tzname[0], tzname[1], timezone, daylight}; }

// The C library's conversion tries the offsets in force a day before, at and a day after
// the fields read as UTC, and keeps a candidate that reads back as the same fields. When
// the offset is one and the same over every instant those steps can touch for any time
// of the day, each of them finds that offset and the candidate reads back: the result is
// the fields as UTC minus the offset. Offsets are sampled every twelve hours from two days
// before the day to three days after it; zones never change their offset twice within
// twelve hours, so equal samples mean no change between them.
long LocalTimes::PlainOffset(long long day) {
    long offset = kNotPlain;
    for (long long sample = (day - 2) * kSecondsPerDay; sample <= (day + 3) * kSecondsPerDay; sample += kSecondsPerDay / 2) {
        const std::time_t at = static_cast<std::time_t>(sample);
        std::tm local{};
        if (localtime_r(&at, &local) == nullptr) return kNotPlain;
        if (offset == kNotPlain) offset = local.tm_gmtoff;
        else if (local.tm_gmtoff != offset) return kNotPlain;
    }
    if (offset <= -kSecondsPerDay || offset >= kSecondsPerDay) return kNotPlain;
    return offset;
}

long LocalTimes::OffsetOf(long long day) {
    assert(day > kNoDay && day <= INT32_MAX);
    if (slots_.empty()) slots_.assign(kSlots, Slot{kNoDay, static_cast<std::int32_t>(kNotPlain)});
    // Multiplied by 2^64 / golden ratio, so that days a whole number of years or months
    // apart still land in different slots.
    Slot& slot = slots_[(static_cast<std::uint64_t>(day) * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
    if (slot.day == static_cast<std::int32_t>(day)) return slot.offset;
    auto known = offsets_.find(day);
    if (known == offsets_.end()) {
        if (offsets_.size() >= kMaxDays) offsets_.clear();
        known = offsets_.emplace(day, PlainOffset(day)).first;
        // Reading the zone's offsets may have loaded the zone for the first time.
        zone_ = CurrentZone();
    }
    slot = Slot{static_cast<std::int32_t>(day), static_cast<std::int32_t>(known->second)};
    return slot.offset;
}

std::time_t LocalTimes::FromCalendar(const SYSTEMTIME& calendar) {
    const std::optional<std::chrono::sys_days> calendarDay = DayOf(calendar);
    if (!calendarDay) return CTime(calendar, -1).GetTime();
    const Zone zone = CurrentZone();
    if (forgotten_ || !(zone == zone_)) {
        std::fill(slots_.begin(), slots_.end(), Slot{kNoDay, static_cast<std::int32_t>(kNotPlain)});
        offsets_.clear();
        forgotten_ = false;
        zone_ = zone;
    }
    const long long day = calendarDay->time_since_epoch().count();
    const long offset = OffsetOf(day);
    if (offset == kNotPlain) return CTime(calendar, -1).GetTime();
    const long long local = day * kSecondsPerDay + calendar.wHour * 3600LL + calendar.wMinute * 60LL + calendar.wSecond;
    return static_cast<std::time_t>(local - offset);
}

void LocalTimes::Forget() { forgotten_ = true; }

}  // namespace quillet
