#include <dbplatform/providers/postgresql/PgSession.h>

#include <poll.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/common/Failure.h>
#include <dbplatform/providers/common/Identifiers.h>
#include <dbplatform/providers/common/RowDialects.h>
#include <dbplatform/providers/common/SingleTableSelect.h>
#include <dbplatform/providers/common/TableListing.h>
#include <dbplatform/providers/common/ValueText.h>
#include <dbplatform/providers/postgresql/PgCommandTimeout.h>
#include <dbplatform/providers/postgresql/PgConnectParams.h>
#include <dbplatform/providers/postgresql/PgErrors.h>
#include <dbplatform/providers/postgresql/PgRows.h>
#include <dbplatform/providers/postgresql/PgTypes.h>

namespace dbplatform::provider::postgresql {
namespace {

constexpr Oid kTidOid = 27;

// NOTICEs (DROP ... IF EXISTS and friends) are not errors and must not reach stderr.
void SwallowNotice(void*, const char*) {}

// Statement parameters in libpq's form, text except for byte arrays.
class Params {
public:
    // Adds `value`, written for a column of `type`; returns its "$n".
    std::string Add(const Value& value, DataTypeEnum type) {
        std::string text;
        bool isNull = false;
        int format = 0;
        Oid oid = 0;
        switch (value.kind) {
            case ValueKind::Null: isNull = true; break;
            case ValueKind::Integer: text = std::to_string(value.integer); break;
            case ValueKind::Boolean: text = value.integer ? "true" : "false"; break;
            case ValueKind::Double:
                text = type == adSingle ? TextFromFloat(static_cast<float>(value.real)) : TextFromDouble(value.real);
                break;
            case ValueKind::Date: text = TextFromDate(value.real); break;
            case ValueKind::Text: text = value.bytes; break;
            case ValueKind::Bytes:
                text = value.bytes;
                format = 1;
                oid = kByteaOid;
                break;
        }
        texts_.push_back(std::move(text));
        nulls_.push_back(isNull);
        formats_.push_back(format);
        types_.push_back(oid);
        std::string marker(1, '$');
        marker += std::to_string(texts_.size());
        return marker;
    }

    // Runs `sql` with the parameters, waiting at most `timeoutSeconds` (0 = no limit).
    PGresult* Run(PGconn* connection, const std::string& sql, long timeoutSeconds) {
        std::vector<const char*> values;
        std::vector<int> lengths;
        for (std::size_t i = 0; i < texts_.size(); ++i) {
            values.push_back(nulls_[i] ? nullptr : texts_[i].c_str());
            // libpq takes int lengths; a longer value is refused rather than sent cut.
            if (texts_[i].size() > static_cast<std::size_t>(INT_MAX))
                throw _com_error(E_INVALIDARG, "A value of " + std::to_string(texts_[i].size()) + " bytes is too long to send.");
            lengths.push_back(static_cast<int>(texts_[i].size()));
        }
        return Bounded(connection, timeoutSeconds, [&] {
            PGresult* result = PQexecParams(connection, sql.c_str(), static_cast<int>(texts_.size()), types_.data(),
                                            values.data(), lengths.data(), formats_.data(), 0);
            ExecStatusType status = PQresultStatus(result);
            if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) ThrowResultError(connection, result);
            return result;
        });
    }

private:
    std::vector<std::string> texts_;
    std::vector<bool> nulls_;
    std::vector<int> formats_;
    std::vector<Oid> types_;
};

// Frees a PGresult at the end of a scope.
struct ResultHolder {
    PGresult* result;
    ~ResultHolder() { PQclear(result); }
};

// Rows found again by their ctid. Names come from the catalog exactly as stored (an
// unquoted name was folded to lower case when it was created), so they are always quoted.
const RowDialect& Dialect() {
    static const RowDialect dialect = RowDialectOf(Product::PostgreSQL);
    return dialect;
}

AddParameter Collect(Params* params) {
    return [params](const Value& value, DataTypeEnum type) { return params->Add(value, type); };
}

// Whether the table `shape` reads is a plain table (with a ctid), not a view.
bool HasRowIdentity(PGconn* connection, const SingleTableSelect& shape) {
    const char* values[] = {shape.written.c_str()};
    PGresult* result = PQexecParams(connection, RelationKindQuery("$1").c_str(), 1, nullptr, values, nullptr, nullptr, 0);
    bool table = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1 &&
                 RelationKindHasRowIdentity(PQgetvalue(result, 0, 0));
    PQclear(result);
    return table;
}

Value ValueOfText(const char* text, Oid type) {
    Value value;
    value.kind = TypeForOid(type, -1).kind;
    switch (value.kind) {
        case ValueKind::Integer: IntegerFromText(text, &value.integer); break;
        case ValueKind::Boolean: value.integer = text[0] == 't'; break;
        case ValueKind::Double: DoubleFromText(text, &value.real); break;
        case ValueKind::Date: DateFromServerText(text, &value.real); break;
        case ValueKind::Bytes:
            if (std::strncmp(text, "\\x", 2) == 0) BytesFromHex(text + 2, &value.bytes);
            break;
        default: value.bytes = text; break;
    }
    return value;
}

}  // namespace

PgLink::~PgLink() {
    if (connection) PQfinish(connection);
}

void PgLink::Quiesce() {
    if (streaming) streaming->BufferRemaining();
}

PgSession::PgSession(const OpenRequest& request) : link_(std::make_shared<PgLink>()) {
    auto params = LibpqParams(request);
    std::vector<const char*> keywords;
    std::vector<const char*> values;
    for (const auto& [keyword, value] : params) {
        keywords.push_back(keyword.c_str());
        values.push_back(value.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    link_->connection = PQconnectdbParams(keywords.data(), values.data(), 0);
    if (link_->connection == nullptr) throw _com_error(E_OUTOFMEMORY, "out of memory");
    if (PQstatus(link_->connection) != CONNECTION_OK)
        ThrowFailure(FailureKind::Unavailable, TrimMessage(PQerrorMessage(link_->connection)));
    PQsetNoticeProcessor(link_->connection, SwallowNotice, nullptr);
}

void PgSession::RunCommand(const char* sql) {
    link_->Quiesce();
    PGresult* result = PQexec(link_->connection, sql);
    ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) ThrowResultError(link_->connection, result);
    PQclear(result);
}

const TableShape* PgSession::ShapeOf(Oid table, int column) {
    auto found = link_->tables.find(table);
    if (found != link_->tables.end() && found->second.columns.count(column)) return &found->second;
    // Unknown, or the table gained columns since it was read: (re)load it.
    std::string oidText = std::to_string(table);
    const char* values[] = {oidText.c_str()};
    PGresult* result = PQexecParams(
        link_->connection,
        "SELECT c.relname, a.attnum, a.attname, a.attnotnull, COALESCE(a.attnum = ANY(i.indkey), false) "
        "FROM pg_class c JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
        "LEFT JOIN pg_index i ON i.indrelid = c.oid AND i.indisprimary WHERE c.oid = $1::oid",
        1, nullptr, values, nullptr, nullptr, 0);
    if (PQresultStatus(result) != PGRES_TUPLES_OK) ThrowResultError(link_->connection, result);
    ResultHolder holder{result};
    if (PQntuples(result) == 0) return nullptr;
    TableShape shape;
    shape.name = PQgetvalue(result, 0, 0);
    for (int row = 0; row < PQntuples(result); ++row) {
        TableShape::Column info;
        info.name = PQgetvalue(result, row, 2);
        info.nullable = PQgetvalue(result, row, 3)[0] != 't';
        info.key = PQgetvalue(result, row, 4)[0] == 't';
        shape.columns[std::atoi(PQgetvalue(result, row, 1))] = info;
    }
    auto& stored = link_->tables[table] = std::move(shape);
    return stored.columns.count(column) ? &stored : nullptr;
}

std::vector<ColumnInfo> PgSession::Describe(PGresult* result, bool withBaseTables) {
    std::vector<ColumnInfo> columns;
    for (int field = 0; field < PQnfields(result); ++field) {
        Oid type = PQftype(result, field);
        ColumnType mapped = TypeForOid(type, PQfmod(result, field));
        ColumnInfo column;
        column.name = PQfname(result, field);
        column.type = mapped.type;
        column.definedSize = mapped.definedSize;
        column.rowIdentity = type == kTidOid && column.name == kRowIdentityName;
        Oid table = PQftable(result, field);
        int tableColumn = PQftablecol(result, field);
        if (withBaseTables && !column.rowIdentity && table != InvalidOid && tableColumn > 0) {
            if (const TableShape* shape = ShapeOf(table, tableColumn)) {
                const TableShape::Column& info = shape->columns.at(tableColumn);
                column.baseTable = shape->name;
                column.baseColumn = info.name;
                column.nullable = info.nullable;
                column.key = info.key;
            }
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

// Takes the results of the command just sent: the first row set streams from here on;
// commands without rows give their count of affected rows.
CommandResult PgSession::RunStreaming(const std::vector<ColumnInfo>* described) {
    PGconn* connection = link_->connection;
    CommandResult outcome;
    while (PGresult* result = PQgetResult(connection)) {
        ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK) {
            std::vector<ColumnInfo> columns = described ? *described : Describe(result, false);
            std::vector<Oid> types;
            for (int field = 0; field < PQnfields(result); ++field) types.push_back(PQftype(result, field));
            bool more = status == PGRES_SINGLE_TUPLE;
            if (!more) {
                PQclear(result);
                result = nullptr;
                while (PGresult* rest = PQgetResult(connection)) PQclear(rest);
            }
            outcome.rows = std::make_unique<PgRows>(link_, result, more, std::move(columns), std::move(types));
            return outcome;
        }
        if (status == PGRES_FATAL_ERROR) {
            while (PGresult* rest = PQgetResult(connection)) PQclear(rest);
            ThrowResultError(connection, result);
        }
        if (status == PGRES_COMMAND_OK) {
            const char* count = PQcmdTuples(result);
            outcome.recordsAffected = *count ? std::atol(count) : -1;
        }
        PQclear(result);
    }
    return outcome;
}

// A query whose rows may be written back: described before it runs, so that the base
// tables and keys can be read from the catalog while the connection is still free.
CommandResult PgSession::RunForUpdate(const std::string& sql) {
    PGconn* connection = link_->connection;
    std::string text = sql;
    auto shape = FindSingleTableSelect(sql);
    // Only tables have a ctid (a view has none). Asked first, because a failed statement
    // would abort the caller's transaction.
    if (shape && HasRowIdentity(connection, *shape)) text = WithIdentityColumn(sql, *shape, "ctid");
    PGresult* prepared = PQprepare(connection, "", text.c_str(), 0, nullptr);
    if (PQresultStatus(prepared) != PGRES_COMMAND_OK) {
        std::string message = TrimMessage(PQresultErrorMessage(prepared));
        if (message.find("multiple commands") == std::string::npos) ThrowResultError(connection, prepared);
        // Several statements cannot be prepared: they run as they are, without the
        // description of their base tables.
        PQclear(prepared);
        if (!PQsendQuery(connection, sql.c_str()))
            ThrowFailure(FailureKind::Unavailable, TrimMessage(PQerrorMessage(connection)));
        PQsetSingleRowMode(connection);
        return RunStreaming(nullptr);
    }
    PQclear(prepared);
    PGresult* description = PQdescribePrepared(connection, "");
    if (PQresultStatus(description) != PGRES_COMMAND_OK) ThrowResultError(connection, description);
    std::vector<ColumnInfo> columns;
    bool hasRows = PQnfields(description) > 0;
    try {
        columns = Describe(description, true);
    } catch (...) {
        PQclear(description);
        throw;
    }
    PQclear(description);
    // The catalog queries of Describe reuse the unnamed statement: send the text again.
    if (!PQsendQuery(connection, text.c_str()))
        ThrowFailure(FailureKind::Unavailable, TrimMessage(PQerrorMessage(connection)));
    PQsetSingleRowMode(connection);
    return RunStreaming(hasRows ? &columns : nullptr);
}

// The command timeout covers the catalog questions of a query for update as well as the
// query up to its first row; the rows after it are bounded fetch by fetch (PgRows).
CommandResult PgSession::Execute(const std::string& sql, const ExecuteOptions& options) {
    link_->Quiesce();
    return Bounded(link_->connection, link_->commandTimeout, [&] {
        if (options.forUpdate) return RunForUpdate(sql);
        if (!PQsendQuery(link_->connection, sql.c_str()))
            ThrowFailure(FailureKind::Unavailable, TrimMessage(PQerrorMessage(link_->connection)));
        PQsetSingleRowMode(link_->connection);
        return RunStreaming(nullptr);
    });
}

std::vector<TableEntry> PgSession::ListTables(const TableFilter& filter) {
    link_->Quiesce();
    PGresult* result = PQexec(link_->connection,
                              "SELECT table_catalog, table_schema, table_name, table_type FROM information_schema.tables");
    if (PQresultStatus(result) != PGRES_TUPLES_OK) ThrowResultError(link_->connection, result);
    ResultHolder holder{result};
    std::vector<TableEntry> entries;
    for (int row = 0; row < PQntuples(result); ++row) {
        TableEntry entry{PQgetvalue(result, row, 0), PQgetvalue(result, row, 1), PQgetvalue(result, row, 2), ""};
        std::string kind = PQgetvalue(result, row, 3);
        bool system = entry.schema == "pg_catalog" || entry.schema == "information_schema";
        bool view = kind == "VIEW";
        entry.type = system ? (view ? "SYSTEM VIEW" : "SYSTEM TABLE") : (view ? "VIEW" : "TABLE");
        entries.push_back(std::move(entry));
    }
    return FilterAndSortTables(std::move(entries), filter, NameMatch::Exact);
}

std::string PgSession::DbmsName() { return "PostgreSQL"; }

std::string PgSession::DbmsVersion() {
    const char* version = PQparameterStatus(link_->connection, "server_version");
    std::string text = version ? version : "";
    // "15.18 (Debian 15.18-0+deb12u1)": the number is what callers compare.
    std::size_t blank = text.find(' ');
    return blank == std::string::npos ? text : text.substr(0, blank);
}

void PgSession::BeginTransaction() { RunCommand("BEGIN"); }
void PgSession::CommitTransaction() { RunCommand("COMMIT"); }
void PgSession::RollbackTransaction() { RunCommand("ROLLBACK"); }

// libpq marks the connection bad when a command meets a closed socket. A server that
// ended the session (pg_terminate_backend, a restart) has sent its last message and
// closed the socket already, so whatever is waiting there is read first: the message,
// then the end of the stream. Only what is already there is read; nothing is sent.
bool PgSession::ConnectionLost() {
    PGconn* connection = link_->connection;
    for (int read = 0; read < 8 && PQstatus(connection) != CONNECTION_BAD && !link_->streaming; ++read) {
        pollfd waiting{PQsocket(connection), POLLIN, 0};
        if (waiting.fd < 0 || ::poll(&waiting, 1, 0) != 1) break;
        if (!PQconsumeInput(connection)) break;
    }
    return PQstatus(connection) == CONNECTION_BAD;
}

// The stored row comes back whole (RETURNING), so that defaults and a generated key (a
// serial) reach the cursor, with the ctid that locates it.
InsertedRow PgSession::InsertRow(const std::string& table, const std::vector<ColumnWrite>& columns) {
    link_->Quiesce();
    Params params;
    const std::string sql = InsertStatement(Dialect(), table, columns, Collect(&params));
    PGresult* result = params.Run(link_->connection, sql, link_->commandTimeout);
    ResultHolder holder{result};
    InsertedRow inserted;
    inserted.rowsChanged = PQntuples(result);
    if (inserted.rowsChanged != 1) return inserted;
    for (int field = 1; field < PQnfields(result); ++field) {
        Value value;
        if (!PQgetisnull(result, 0, field)) value = ValueOfText(PQgetvalue(result, 0, field), PQftype(result, field));
        inserted.stored.emplace_back(PQfname(result, field), std::move(value));
    }
    inserted.stored.emplace_back(kRowIdentityName, Value{ValueKind::Text, 0, 0, PQgetvalue(result, 0, 0)});
    return inserted;
}

// An UPDATE writes a new row version: the old ctid no longer finds it, so the new one
// comes back with RETURNING.
long PgSession::UpdateRow(const std::string& table, const std::vector<ColumnWrite>& columns, RowLocator* locator) {
    if (columns.empty()) return 1;
    link_->Quiesce();
    Params params;
    const std::string sql = UpdateStatement(Dialect(), table, columns, *locator, {}, Collect(&params));
    PGresult* result = params.Run(link_->connection, sql, link_->commandTimeout);
    ResultHolder holder{result};
    long updated = PQntuples(result);
    if (updated == 1) {
        const Value identity{ValueKind::Text, 0, 0, PQgetvalue(result, 0, 0)};
        FollowUpdate(Dialect(), columns, &identity, locator);
    }
    return updated;
}

long PgSession::DeleteRow(const std::string& table, const RowLocator& locator) {
    link_->Quiesce();
    Params params;
    const std::string sql = DeleteStatement(Dialect(), table, locator, {}, Collect(&params));
    PGresult* result = params.Run(link_->connection, sql, link_->commandTimeout);
    ResultHolder holder{result};
    return std::atol(PQcmdTuples(result));
}

}  // namespace dbplatform::provider::postgresql
