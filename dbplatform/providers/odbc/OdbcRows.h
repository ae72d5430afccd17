// The rows of one ODBC statement, fetched forward one at a time; each row's cells are read
// with SQLGetData when the row is fetched (drivers need ascending column order).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <dbplatform/providers/odbc/OdbcSession.h>

namespace dbplatform::provider::odbc {

class OdbcRows : public ResultSet {
public:
    // Takes ownership of `statement`, which has a result set described by `columns`.
    OdbcRows(std::shared_ptr<OdbcLink> link, SQLHSTMT statement, std::vector<ColumnInfo> columns,
             std::vector<ValueKind> kinds);
    ~OdbcRows() override;

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

    std::shared_ptr<OdbcLink> link_;
    SQLHSTMT statement_;
    std::vector<ColumnInfo> columns_;
    std::vector<ValueKind> kinds_;
    std::vector<CellData> cells_;
    bool done_ = false;
};

}  // namespace dbplatform::provider::odbc
