// How the platform reads a VARIANT handed in as an argument: a caller may pass the
// value itself or a reference to it (VT_BYREF | VT_VARIANT, as late-bound callers pass
// variables), and may leave an optional argument out. Internal to the platform: not
// installed.
#pragma once

#include <dbplatform/automation/Variant.h>
#include <dbplatform/base/HResult.h>

namespace dbplatform {

// The VARIANT that `value` stands for: the one it points to when it is
// VT_BYREF | VT_VARIANT with a non-null pointer, else `value` itself. Exactly one level
// is followed: a reference to a reference comes back as the inner reference, which no
// caller accepts as a value, so a cycle of references cannot loop. A null reference is
// returned as it is (its type still says VT_BYREF) and is refused by the caller's type
// checks like any other unexpected type. Any other VT_BYREF type is not unwrapped.
inline const VARIANT& Dereferenced(const VARIANT& value) {
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.byref) return *static_cast<const VARIANT*>(value.byref);
    return value;
}

// Whether an (already dereferenced) optional argument was left out: VT_EMPTY, or
// VT_ERROR with DISP_E_PARAMNOTFOUND (vtMissing). VT_NULL is a value, not a missing one.
inline bool IsMissingArgument(const VARIANT& value) {
    return value.vt == VT_EMPTY || (value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND);
}

}  // namespace dbplatform
