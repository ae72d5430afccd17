// Facts about tables (their key columns, the shape of a row read back after an insert),
// kept across statements for as long as the schema they were read under stands. Reading
// them is a catalog call or a described statement per table (on SQLite a full column and
// index listing, or the driver's metadata for every column), made for every updatable
// result or every insert; a store that uses the same tables again and again would
// otherwise read the same answer every time.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dbplatform::provider::odbc {

class SchemaBoundFacts {
public:
    // Whether running `sql` may change a table's definition or undo such a change (DDL,
    // a rollback, anything not plainly a query, a row change or a transaction's start or
    // commit). A version number alone does not tell: a rolled-back change brings the
    // earlier number back, and a later change may reach the number the kept facts carry.
    static bool MayChangeSchema(std::string_view sql);
    // Whether `sql` only starts, ends or marks a transaction (it reads no table).
    static bool EndsOrStartsTransaction(std::string_view sql);

private:
    // The leading letters of `sql`, after blanks.
    static std::string_view FirstWord(std::string_view sql);
};

// One fact of type T per table, all read under one schema version.
template <class T>
class SchemaBoundCache : public SchemaBoundFacts {
public:
    // The fact about `table` read under `schemaVersion`, or null when none is kept for
    // it. A version other than the one the kept facts were read under forgets them all.
    const T* Find(const std::string& table, const std::string& schemaVersion) {
        if (schemaVersion.empty() || schemaVersion != schemaVersion_) {
            Forget();
            return nullptr;
        }
        auto kept = facts_.find(table);
        return kept == facts_.end() ? nullptr : &kept->second;
    }
    // Keeps `fact` about `table`, read under `schemaVersion` (an empty version keeps nothing).
    void Keep(const std::string& table, const std::string& schemaVersion, T fact) {
        if (schemaVersion.empty()) return;
        if (schemaVersion != schemaVersion_) {
            Forget();
            schemaVersion_ = schemaVersion;
        }
        facts_[table] = std::move(fact);
    }
    void Forget() {
        facts_.clear();
        schemaVersion_.clear();
    }

private:
    std::string schemaVersion_;
    std::map<std::string, T> facts_;
};

// The key columns of tables.
using TableKeyCache = SchemaBoundCache<std::vector<std::string>>;

}  // namespace dbplatform::provider::odbc
