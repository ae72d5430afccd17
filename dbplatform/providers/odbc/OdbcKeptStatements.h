// Query statements kept prepared on a connection for the next run of the same text.
//
// The SQLite driver prepares a text given to SQLExecDirect anew on every run, and with the
// preparation it reads the catalog's metadata of every result column: for a short query on
// a wide table (a row read back after an insert) that is most of the work. A statement made
// with SQLPrepare runs again on SQLExecute without either, but only if it has parameters (the
// driver prepares one without any again as well), so only such statements are kept. Each
// run still binds its values afresh.
//
// A kept statement must hold no lock: the SQLite driver does not reset a statement when its
// cursor is closed, so one closed in the middle of its rows would keep its read transaction
// (in rollback-journal mode, every writer of the file would wait on it). Only a statement
// whose rows were read to the end, where the engine ends the statement's reading itself,
// comes back into the keep; any other is freed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <dbplatform/providers/odbc/OdbcApi.h>

namespace dbplatform::provider::odbc {

class KeptStatements {
public:
    KeptStatements() = default;
    ~KeptStatements() { Forget(); }
    KeptStatements(const KeptStatements&) = delete;
    KeptStatements& operator=(const KeptStatements&) = delete;

    // The handle prepared for `text`, taken out of the keep (the caller owns it now), or
    // SQL_NULL_HSTMT. The statements are kept under one schema version: another version
    // (any connection changed a table's definition) frees them all, as does an empty one.
    SQLHSTMT Take(const std::string& text, const std::string& schemaVersion);
    // The generation a statement prepared or taken now belongs to; Forget starts a new one.
    std::uint64_t Generation() const { return generation_; }
    // Takes `handle` (prepared for `text`, its rows read to the end and its cursor closed)
    // back into the keep, if its generation still stands and no handle for `text` is kept;
    // else frees it. The oldest statement makes room past the limit.
    void GiveBack(const std::string& text, std::uint64_t generation, SQLHSTMT handle);
    // Frees every kept statement; handles out now are freed when given back.
    void Forget();

    static constexpr std::size_t kLimit = 32;

private:
    struct Entry {
        std::string text;
        SQLHSTMT handle;
    };
    std::vector<Entry> entries_;  // oldest first
    std::string schemaVersion_;
    std::uint64_t generation_ = 0;
};

}  // namespace dbplatform::provider::odbc
