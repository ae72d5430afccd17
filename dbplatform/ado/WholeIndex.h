// Doubles that name a place: field ordinals and bookmarks arrive as VT_R4/VT_R8.
#pragma once

namespace dbplatform::ado {

// A double that names a position: a whole number in a sane range, else -1 (also for
// NaN and values no integer type can hold).
inline long long WholeIndex(double value) {
    if (!(value >= 0 && value < 1e15)) return -1;
    long long whole = static_cast<long long>(value);
    return static_cast<double>(whole) == value ? whole : -1;
}

}  // namespace dbplatform::ado
