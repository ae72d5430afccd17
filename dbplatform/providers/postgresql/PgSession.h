// A session on a PostgreSQL server through libpq.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <libpq-fe.h>

#include <dbplatform/ado/Provider.h>

namespace dbplatform::provider::postgresql {

class PgRows;

// What the catalog says about one table: its name and, per column number, the column's
// name, whether it may be NULL and whether it is part of the primary key.
struct TableShape {
    struct Column {
        std::string name;
        bool nullable = true;
        bool key = false;
    };
    std::string name;
    std::map<int, Column> columns;
};

// The connection shared by a session and the rows it streams. A libpq connection carries
// one command at a time, so before another command is sent the rows still streaming are
// read to their end and held (`Quiesce`).
struct PgLink {
    PGconn* connection = nullptr;
    PgRows* streaming = nullptr;
    std::map<Oid, TableShape> tables;
    long commandTimeout = 30;  // seconds for each wait on a command; 0 = none

    ~PgLink();
    void Quiesce();
};

class PgSession : public Session {
public:
    // Connects; throws _com_error(E_FAIL, libpq's message) when the server refuses.
    explicit PgSession(const OpenRequest& request);

    CommandResult Execute(const std::string& sql, const ExecuteOptions& options) override;
    void SetCommandTimeout(long seconds) override { link_->commandTimeout = seconds; }
    std::vector<TableEntry> ListTables(const TableFilter& filter) override;
    std::string DbmsName() override;
    std::string DbmsVersion() override;

    void BeginTransaction() override;
    void CommitTransaction() override;
    void RollbackTransaction() override;
    bool ConnectionLost() override;

    InsertedRow InsertRow(const std::string& table, const std::vector<ColumnWrite>& columns) override;
    long UpdateRow(const std::string& table, const std::vector<ColumnWrite>& columns, RowLocator* locator) override;
    long DeleteRow(const std::string& table, const RowLocator& locator) override;

private:
    CommandResult RunStreaming(const std::vector<ColumnInfo>* described);
    CommandResult RunForUpdate(const std::string& sql);
    std::vector<ColumnInfo> Describe(PGresult* result, bool withBaseTables);
    const TableShape* ShapeOf(Oid table, int column);
    void RunCommand(const char* sql);

    std::shared_ptr<PgLink> link_;
};

}  // namespace dbplatform::provider::postgresql
