// The key columns of tables, kept across statements for as long as the schema they were
// read under stands. Reading them is a catalog call per table (on SQLite a full column
// and index listing), made for every updatable result; a store that opens the same
// tables again and again would otherwise read the same answer every time.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace dbplatform::provider::odbc {

class TableKeyCache {
public:
    // The keys of `table` read under `schemaVersion`, or null when there are none kept
    // for it. A version other than the one the kept keys were read under forgets them all.
    const std::vector<std::string>* Find(const std::string& table, const std::string& schemaVersion);
    // Keeps `keys` of `table`, read under `schemaVersion` (an empty version keeps nothing).
    void Keep(const std::string& table, const std::string& schemaVersion, std::vector<std::string> keys);
    void Forget();

    // Whether running `sql` may change a table's keys or undo such a change (DDL, a
    // rollback, anything not plainly a query, a row change or a transaction's start or
    // commit). A version number alone does not tell: a rolled-back change brings the
    // earlier number back, and a later change may reach the number the kept keys carry.
    static bool MayChangeSchema(std::string_view sql);

private:
    std::string schemaVersion_;
    std::map<std::string, std::vector<std::string>> keys_;
};

}  // namespace dbplatform::provider::odbc
