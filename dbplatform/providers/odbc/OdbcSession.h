// A session on an ODBC data source through unixODBC.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <dbplatform/providers/odbc/OdbcApi.h>

#include <dbplatform/ado/Provider.h>
#include <dbplatform/providers/common/SingleTableSelect.h>
#include <dbplatform/providers/odbc/OdbcProduct.h>
#include <dbplatform/providers/odbc/OdbcInsertedRow.h>
#include <dbplatform/providers/odbc/OdbcKeptStatements.h>
#include <dbplatform/providers/odbc/OdbcParameters.h>
#include <dbplatform/providers/odbc/OdbcTableKeys.h>

namespace dbplatform::provider::odbc {

// The environment and connection handles, shared by a session and the rows it hands out
// so that rows outliving their session still have a connection under them.
struct OdbcLink {
    SQLHENV environment = SQL_NULL_HENV;
    SQLHDBC connection = SQL_NULL_HDBC;
    bool connected = false;
    long commandTimeout = 30;  // seconds for each call that runs or fetches; 0 = none
    bool numbersAsText = false;  // every number column is read through its text (OdbcRows)
    // Queries kept prepared for their next run (the SQLite driver runs a prepared statement
    // with parameters again without preparing it anew), and the schema version's query.
    KeptStatements keptStatements;
    SQLHSTMT schemaVersionStatement = SQL_NULL_HSTMT;
    ~OdbcLink();
};

// A statement handle freed at the end of its scope (or handed over with Release).
class Statement {
public:
    explicit Statement(const std::shared_ptr<OdbcLink>& link);
    // Takes over `handle`, allocated before (a kept statement).
    explicit Statement(SQLHSTMT handle) : handle_(handle) {}
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT handle() const { return handle_; }
    SQLHSTMT Release() {
        SQLHSTMT handle = handle_;
        handle_ = SQL_NULL_HSTMT;
        return handle;
    }

private:
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
};

class OdbcSession : public Session {
public:
    // Connects with SQLDriverConnect; throws _com_error(E_FAIL, the driver's diagnostics).
    explicit OdbcSession(const OpenRequest& request);

    CommandResult Execute(const std::string& sql, const ExecuteOptions& options) override;
    void SetCommandTimeout(long seconds) override { link_->commandTimeout = seconds; }
    std::vector<TableEntry> ListTables(const TableFilter& filter) override;
    std::string DbmsName() override { return dbmsName_; }
    std::string DbmsVersion() override { return dbmsVersion_; }

    void BeginTransaction() override;
    void CommitTransaction() override;
    void RollbackTransaction() override;
    bool ConnectionLost() override;

    InsertedRow InsertRow(const std::string& table, const std::vector<ColumnWrite>& columns) override;
    long UpdateRow(const std::string& table, const std::vector<ColumnWrite>& columns, RowLocator* locator) override;
    long DeleteRow(const std::string& table, const RowLocator& locator) override;

private:
    void Connect(const std::string& text, long timeoutSeconds);
    std::string Info(SQLUSMALLINT item);
    std::vector<ColumnInfo> Describe(SQLHSTMT statement, bool forUpdate, const std::optional<SingleTableSelect>& shape,
                                     bool identityAdded, const std::string& schemaVersion,
                                     std::vector<ValueKind>* kinds);
    std::vector<std::string> KeyColumns(const std::string& table, const std::string& schemaVersion = "");
    std::vector<std::string> ReadKeyColumns(const std::string& table);
    std::string SchemaVersion();
    std::string ReadSchemaAgainIfChanged();
    using StoredRow = std::vector<std::pair<std::string, Value>>;
    long ReadStoredRow(SQLHSTMT source, bool identityFirst, StoredRow* stored);
    long ReadRows(SQLHSTMT source, std::vector<ColumnInfo> described, std::vector<ValueKind> kinds, bool identityFirst,
                  StoredRow* stored, const std::string& keptText = "", std::uint64_t keptGeneration = 0,
                  std::unique_ptr<ParameterList> parameters = nullptr);
    std::optional<SQLBIGINT> LastIdentity();
    void ReadInsertedRow(const std::string& table, SQLBIGINT identity, StoredRow* stored);
    void ReadKeptInsertedRow(const InsertedRowShape& shape, const std::string& schemaVersion, SQLBIGINT identity,
                             StoredRow* stored);
    // A query run: its statement and result code, and where its texts became parameters,
    // the parameters and the text the statement is kept prepared for.
    struct QueryRun {
        SQLRETURN rc = SQL_ERROR;
        std::unique_ptr<Statement> statement;
        std::unique_ptr<ParameterList> parameters;
        std::string keptText;  // empty: the statement is not kept
        std::uint64_t generation = 0;
    };
    QueryRun RunQuery(const std::string& text, const std::string& schemaVersion);
    QueryRun RunKept(std::string text, const std::string& schemaVersion, std::unique_ptr<ParameterList> parameters);
    StoredRow StoredByKey(const std::string& table, const std::vector<ColumnWrite>& columns);
    void EndTransaction(SQLSMALLINT completion);

    std::shared_ptr<OdbcLink> link_;
    std::string dbmsName_;
    std::string dbmsVersion_;
    OdbcProduct product_;  // the product behind the driver, with the driver's quote character
    std::string seenSchemaVersion_;  // the version the engine's copy of the schema was last checked at
    std::string catalog_;  // the current database, passed to catalog functions on MariaDB
    TableKeyCache tableKeys_;  // key columns read under the schema version that still stands
    // How the row just inserted into a table reads back, under the same rule.
    SchemaBoundCache<InsertedRowShape> insertedRows_;
};

}  // namespace dbplatform::provider::odbc
