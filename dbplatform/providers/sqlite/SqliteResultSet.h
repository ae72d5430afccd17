// The rows of one SQLite statement, read forward once, cell by cell without copying.
#pragma once

#include <cstdint>
#include <vector>

#include <dbplatform/ado/Provider.h>
#include <dbplatform/providers/sqlite/SqliteSession.h>

namespace dbplatform::sqlite {

// How a column's stored values are handed out, decided once per column from its type.
enum class Reading : std::uint8_t {
    AsStored,  // the storage class decides
    Date,      // text read as a date; other values as stored
    Boolean,   // integers as 0/1
    Real,      // integers widened to double
    Bytes,     // text handed out as bytes
};

Reading ReadingFor(DataTypeEnum type);

// The value of `column` of the current row of `statement`, read as `reading` says.
// A date column holding text that is not a date hands that text out unchanged: the
// value stays visible (and writable back) instead of failing every read of the table
// or turning into a silent NULL.
provider::CellView ReadCell(sqlite3_stmt* statement, int column, Reading reading);

class SqliteResultSet final : public provider::ResultSet {
public:
    // `identityTable` is non-empty when column 0 is the row identity added for that table.
    // Each fetch runs in a window of its own of the session's command timeout (`clock`).
    SqliteResultSet(sqlite3* db, std::shared_ptr<CommandClock> clock, Statement statement,
                    const std::string& identityTable, const std::string& identityName);

    const std::vector<provider::ColumnInfo>& Columns() const override { return columns_; }
    bool Fetch() override;
    provider::CellView Cell(std::size_t column) override;
    void ReadRow(provider::CellView* cells, std::size_t count) override;

private:
    // Steps once; returns true on a row, false at the end (and releases the statement's
    // read lock); throws the mapped error.
    bool Step();

    sqlite3* db_;
    std::shared_ptr<CommandClock> clock_;  // declared first: outlives the statement
    Statement statement_;
    std::vector<provider::ColumnInfo> columns_;
    std::vector<Reading> readings_;
    bool stepped_ = false;   // a row was read ahead to type untyped columns
    bool aheadHasRow_ = false;
    bool done_ = false;
};

}  // namespace dbplatform::sqlite
