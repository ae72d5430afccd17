// quillet-sql: the text of one field value.
#pragma once

#include <dbplatform/automation/Variant.h>

#include "quillet-sql-format.h"

namespace quilletsql {

// The cell that shows `value`. Numbers are written in the C locale with as many digits as
// give the value back exactly (never a decimal comma); dates as "YYYY-MM-DD HH:MM:SS";
// byte arrays as 0x and hexadecimal digits, cut after `maxBytes` bytes with the full size
// named; NULL and empty values as no text. A value of a type it cannot show names the type.
Cell CellFromVariant(const VARIANT& value, std::size_t maxBytes = 64);

}  // namespace quilletsql
