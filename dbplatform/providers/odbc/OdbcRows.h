// The rows of one ODBC statement, fetched forward one at a time; each row's cells are read
// with SQLGetData when the row is fetched (drivers need ascending column order).
//
// Numbers are read natively where the driver hands over what the server stores, and through
// their text where it would not: every number column of the SQLite driver (which turns a text
// in a number column into NULL, or into the number the text begins with, and truncates a
// real in an integer column), unsigned integers (which a signed 64-bit read wraps) and
// NUMERIC/DECIMAL columns (whose values may lie past the range of a double).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <dbplatform/providers/odbc/OdbcParameters.h>
#include <dbplatform/providers/odbc/OdbcSession.h>

namespace dbplatform::provider::odbc {

class OdbcRows : public ResultSet {
public:
    // Takes ownership of `statement`, which has a result set described by `columns`.
    OdbcRows(std::shared_ptr<OdbcLink> link, SQLHSTMT statement, std::vector<ColumnInfo> columns,
             std::vector<ValueKind> kinds);
    ~OdbcRows() override;

    // Gives the statement, prepared for `text`, back to the connection's keep when it is
    // done with, if its rows were read to the end (see KeptStatements). `parameters` are the
    // values bound to it, held for as long as the driver may read them.
    void KeepAfterUse(std::string text, std::uint64_t generation, std::unique_ptr<ParameterList> parameters = nullptr) {
        keptText_ = std::move(text);
        keptGeneration_ = generation;
        parameters_ = std::move(parameters);
    }

    const std::vector<ColumnInfo>& Columns() const override { return columns_; }
    bool Fetch() override;
    CellView Cell(std::size_t column) override;

private:
    struct CellData {
        ValueKind kind = ValueKind::Null;
        std::int64_t integer = 0;
        double real = 0;
        std::string bytes;
        bool notADate = false;  // a date column holding text that does not read as one
    };
    void ReadCell(std::size_t column);
    bool ReadLong(SQLUSMALLINT column, SQLSMALLINT cType, std::string* out);
    void ReadNumberAsText(SQLUSMALLINT column, ValueKind kind, CellData& cell);
    void ChooseNumberReadings();

    std::shared_ptr<OdbcLink> link_;
    SQLHSTMT statement_;
    std::vector<ColumnInfo> columns_;
    std::vector<ValueKind> kinds_;
    std::vector<CellData> cells_;
    std::vector<bool> numberAsText_;  // per column: read through its text (see above)
    bool done_ = false;
    std::string keptText_;  // the text the statement is kept prepared for; empty = not kept
    std::uint64_t keptGeneration_ = 0;
    std::unique_ptr<ParameterList> parameters_;
};

}  // namespace dbplatform::provider::odbc
