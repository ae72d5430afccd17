// The rows of one PostgreSQL query, read one at a time in libpq's single-row mode so that
// a large result is never held whole by libpq as well as by the cursor engine.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <libpq-fe.h>

#include <dbplatform/providers/postgresql/PgSession.h>

namespace dbplatform::provider::postgresql {

class PgRows : public ResultSet {
public:
    // `first` is the first result of the query (a row, or the empty end); `streaming`
    // says whether more results are still to come from the connection.
    PgRows(std::shared_ptr<PgLink> link, PGresult* first, bool streaming, std::vector<ColumnInfo> columns,
           std::vector<Oid> types);
    ~PgRows() override;

    const std::vector<ColumnInfo>& Columns() const override { return columns_; }
    bool Fetch() override;
    CellView Cell(std::size_t column) override;
    void ReadRow(CellView* cells, std::size_t count) override;

    // Reads what the connection still has for this query and keeps it, so that the
    // connection is free for another command.
    void BufferRemaining();

private:
    // Cell `column` of the current row; both exist.
    CellView CellOfRow(std::size_t column);
    PGresult* NextFromConnection();
    void EndStream();

    std::shared_ptr<PgLink> link_;
    std::vector<ColumnInfo> columns_;
    std::vector<ValueKind> kinds_;
    std::deque<PGresult*> pending_;
    PGresult* current_ = nullptr;
    int row_ = -1;
    bool streaming_ = false;
    PGresult* deferredError_ = nullptr;
    std::vector<std::string> decoded_;
};

}  // namespace dbplatform::provider::postgresql
