// The product-specific side of Quillet: recognising the database kind from a connection
// string, rewriting the generic SQL dialect for a kind, the column type words of table
// creation, and the texts of the statements and queries that the object composes.
// Free functions, so that they can be checked without a database.
#pragma once

#include <string>

#include <dbplatform/mfc/String.h>
#include <dbplatform/mfc/StringList.h>

namespace quillet {

// DB_EXCEL, DB_ACCESS, DB_ORACLE, DB_MYSQL, DB_POSTGRESQL or DB_OTHER, by plain
// case-sensitive substring tests in that order.
int DatabaseKindOf(const std::string& connectionString);
// The first of those tests alone: does the string point at an Excel workbook?
bool IsExcelConnection(const std::string& connectionString);

// The generic dialect rewritten for `kind`: date-time literals, the row limit, identifier
// quotes and Excel sheet names.
CString TranslateForKind(const CString& sql, int kind);
// Only the identifier-quote step: [ and ] become " (Oracle, PostgreSQL) or ` (MySQL).
CString QuoteIdentifiersForKind(const CString& sql, int kind);

// The column type text of a generic type word (upper-cased, trimmed, rewritten by kind).
CString ColumnTypeText(const CString& type, int kind, int varcharLength);

// "CREATE TABLE [T]  (...)" from name/type pairs, before translation. False when the name
// list is empty but the type list is not (nothing to build).
bool ComposeCreateTable(const CString& table, const CStringList* names, const CStringList* types, int kind,
                        int varcharLength, CString* statement);
// The same from name/type/size/extra/nullability rows. A size given with the type word
// "VARCHAR" changes `varcharLength` (when positive) for this and later statements.
CString ComposeCreateTableEx(const CString& table, const CStringList* names, const CStringList* types,
                             const CStringList* sizes, const CStringList* extras, const CStringList* nullability,
                             int kind, int* varcharLength);
// A built CREATE TABLE statement without any column (every pair skipped) that must not be
// sent to `kind`, and the text that says why.
bool RefusesAsColumnless(const CString& statement, int kind);
extern const char* const kNoColumnRefusal;
// Whether a built CREATE or DROP statement goes through the translator for `kind`.
bool TranslatesCreateStatement(int kind);

// The one-table select of OpenQuery in the generic dialect, for a connection of `kind`.
// NoTable: the table is empty once its spaces are removed. RefusedName: a table, column,
// key or order name is not a plain identifier, or the suffix is not a direction.
// RefusedBound: a bound is not one literal of the key's type. Only Composed sets `text`.
enum class QueryComposition { Composed, NoTable, RefusedName, RefusedBound };
QueryComposition ComposeOneTableQuery(CString table, const CStringList* columns, CString keyColumn,
                                      CString lowerBound, CString upperBound, CString keyType, CString orderColumn,
                                      const CString& orderSuffix, int top, int kind, CString* text);

}  // namespace quillet
