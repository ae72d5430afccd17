// Local calendar time to seconds since 1970 for the time getters, at the cost of a table
// lookup instead of the zone's rules on every row.
#pragma once

#include <climits>
#include <cstdint>
#include <ctime>
#include <unordered_map>
#include <vector>

#include <dbplatform/base/WinTypes.h>

namespace quillet {

class LocalTimes {
public:
    // Exactly CTime(calendar, -1).GetTime(). A day whose zone offset is the same from two
    // days before it to three days after is converted with that offset, remembered per
    // day; any other day (a daylight-saving change near it, fields out of range, a time
    // the C library cannot convert) goes through CTime itself, every time.
    std::time_t FromCalendar(const SYSTEMTIME& calendar);
    // Forgets the remembered days before the next conversion (also done by itself when the
    // C library's zone changes).
    void Forget();

private:
    struct Zone {
        const char* standardName = nullptr;
        const char* daylightName = nullptr;
        long secondsWest = 0;
        int hasDaylight = 0;
        bool operator==(const Zone&) const = default;
    };
    static Zone CurrentZone();
    // The offset east of UTC that holds over the whole of day `day` (days since 1970) and
    // the days around it, or kNotPlain.
    static long PlainOffset(long long day);

    static constexpr long kNotPlain = 1L << 30;
    static constexpr std::size_t kMaxDays = 1 << 14;

    // The day's offset from the slot of its day number, else from the table of every day
    // seen, else worked out and put into both.
    long OffsetOf(long long day);

    // Eight bytes: days of years 1 to 9999 and offsets within a day fit 32 bits.
    struct Slot {
        std::int32_t day;
        std::int32_t offset;
    };
    static constexpr unsigned kSlotBits = 14;
    static constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;

    static constexpr std::int32_t kNoDay = INT32_MIN;

    Zone zone_;
    bool forgotten_ = false;
    std::vector<Slot> slots_;  // kSlots, or empty until the first time is read
    std::unordered_map<long long, long> offsets_;
};

}  // namespace quillet
