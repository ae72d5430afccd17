#include <quillet/Identifiers.h>
#include <quillet/TableDefinitionCheck.h>

namespace quillet {

namespace {

// A column that the statement uses: its name and type are pasted, so both are checked.
// Pairs with an empty name or type are left out of the statement and need no check.
bool IsSafeColumn(const CString& name, const CString& type) {
    if (name.IsEmpty() || type.IsEmpty()) return true;
    return IsPlainIdentifier(name.str()) && IsColumnWords(type.str());
}

POSITION HeadOf(const CStringList* list) { return list ? list->GetHeadPosition() : nullptr; }

}  // namespace

// The walk stops where the composer's walk stops: when either list ends.
bool IsSafeTableDefinition(const CString& table, const CStringList* names, const CStringList* types) {
    if (!IsPlainIdentifier(table.str())) return false;
    for (POSITION name = HeadOf(names), type = HeadOf(types); name && type;)
        if (!IsSafeColumn(names->GetNext(name), types->GetNext(type))) return false;
    return true;
}

// The walk stops where the composer's walk stops: when any of the five lists ends. The
// nullability text of a used row is pasted as well.
bool IsSafeTableDefinition(const CString& table, const CStringList* names, const CStringList* types,
                           const CStringList* sizes, const CStringList* extras, const CStringList* nullability) {
    if (!IsPlainIdentifier(table.str())) return false;
    POSITION name = HeadOf(names), type = HeadOf(types), size = HeadOf(sizes), extra = HeadOf(extras),
             null = HeadOf(nullability);
    while (name && type && size && extra && null) {
        const CString& columnName = names->GetNext(name);
        const CString& columnType = types->GetNext(type);
        sizes->GetNext(size);
        extras->GetNext(extra);
        const CString& columnNull = nullability->GetNext(null);
        if (!IsSafeColumn(columnName, columnType)) return false;
        if (!columnName.IsEmpty() && !columnType.IsEmpty() && !IsColumnWords(columnNull.str())) return false;
    }
    return true;
}

}  // namespace quillet
