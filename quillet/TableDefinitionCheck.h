// Checks of the values a host passes to the table-creating operations, made before any
// statement is composed, so that a refused call neither sends anything nor changes the
// object.
#pragma once

#include <dbplatform/mfc/String.h>
#include <dbplatform/mfc/StringList.h>

namespace quillet {

// The table is a plain identifier, and in every name/type pair that the statement will
// use (both lists still have elements, both texts non-empty) the name is a plain
// identifier and the type holds column words only. Null lists count as empty.
bool IsSafeTableDefinition(const CString& table, const CStringList* names, const CStringList* types);
// The same for rows of the five lists walked in step, whose nullability texts must hold
// column words only too. Sizes are read as numbers and extras are never used, so neither
// is looked at.
bool IsSafeTableDefinition(const CString& table, const CStringList* names, const CStringList* types,
                           const CStringList* sizes, const CStringList* extras, const CStringList* nullability);

}  // namespace quillet
