// What the ODBC session does differently for the product behind the driver: how it finds
// a row again, and the few ways the product's driver must be met.
#pragma once

#include <string_view>

#include <dbplatform/providers/common/RowDialects.h>

namespace dbplatform::provider::odbc {

struct OdbcProduct {
    Product product = Product::Other;
    RowDialect rows;                     // the caller sets rows.quote from the driver
    // PostgreSQL: only tables have a ctid, and the catalog is asked first, since a
    // failing statement would abort the caller's transaction.
    bool identityOnlyOnTables = false;
    // SQLite: a view (or a table without rowid) has none; the query runs again without.
    bool identityMayBeMissing = false;
    bool identityReadsAsText = false;    // PostgreSQL's tid, whatever the driver calls it
    bool lowerCasesUnquotedNames = false;  // PostgreSQL stores an unquoted name in lower case
    // MariaDB counts an UPDATE that writes the values a row already has as no change;
    // write-back needs the rows found (FOUND_ROWS), which the driver's OPTION=2 asks for.
    bool needsFoundRowsOption = false;
    bool catalogIsDatabase = false;      // MariaDB: catalog functions take the current database
    bool storesNaNAsNull = false;        // SQLite: a NaN would become NULL without a word
    // SQLite: the driver turns a text in a number column into NULL (or the number it
    // begins with) and cuts a real in an integer column; its text is the value stored.
    bool readsNumbersAsText = false;
    // Whether the driver's best row identifier (SQLSpecialColumns) may stand in for a
    // missing primary key: not where it would name the row identity pseudo-column.
    bool bestRowIdIsKey = true;
    // A query whose one value changes with every change of any table's definition, made
    // by any connection (SQLite's schema cookie): key columns read under one value hold
    // until it changes. Null where the product has none; keys are then read every time.
    const char* schemaVersionQuery = nullptr;
};

// The description for the DBMS name the driver reports (SQL_DBMS_NAME).
OdbcProduct OdbcProductOf(std::string_view dbmsName);

}  // namespace dbplatform::provider::odbc
