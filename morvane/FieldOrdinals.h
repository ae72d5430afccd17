// Field positions of an open recordset, found once for a whole list of names. Writing
// the 250 profile values by name searches the recordset's fields for every value, which
// for a table of 254 columns is the square of its width in name comparisons.
// Internal to libMorvane; not installed.
#pragma once

#include <string>
#include <vector>

#include <dbplatform/dbplatform.h>

namespace morvane {

// The zero-based ordinal of each of `names` among the fields of `recordset`, found as a
// lookup by name finds it (the first field of that name, A-Z folded), or -1 where there
// is none: the caller then uses the name, so that the lookup's own failure is raised.
std::vector<long> FieldOrdinals(const _RecordsetPtr& recordset, const std::vector<std::string>& names);

}  // namespace morvane
