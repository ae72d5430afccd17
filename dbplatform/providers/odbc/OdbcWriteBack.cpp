// Writing one row back through ODBC: the statements come from the product's row dialect;
// what is left here is running them and reading the new row back as the product allows.
#include <dbplatform/providers/odbc/OdbcSession.h>

#include <algorithm>
#include <optional>

#include <dbplatform/base/AsciiText.h>
#include <dbplatform/providers/common/RowTargeting.h>
#include <dbplatform/providers/odbc/OdbcCalls.h>
#include <dbplatform/providers/odbc/OdbcErrors.h>
#include <dbplatform/providers/odbc/OdbcParameters.h>
#include <dbplatform/providers/odbc/OdbcRows.h>
#include <dbplatform/providers/odbc/OdbcTypes.h>

namespace dbplatform::provider::odbc {
namespace {

AddParameter Collect(ParameterList* parameters) {
    return [parameters](const Value& value, DataTypeEnum type) { return parameters->Add(value, type); };
}

}  // namespace

// Reads the rows of `source` (taken over) and keeps the first as stored, its identity
// (the first column, when `identityFirst`) last; returns how many rows there were.
long OdbcSession::ReadStoredRow(SQLHSTMT source, bool identityFirst, StoredRow* stored) {
    std::vector<ColumnInfo> described;
    std::vector<ValueKind> kinds = KindsOf(source, &described);
    if (identityFirst && product_.identityReadsAsText && !kinds.empty()) kinds[0] = ValueKind::Text;
    return ReadRows(source, std::move(described), std::move(kinds), identityFirst, stored);
}

// ReadStoredRow with the columns of `source` already known; a `keptText` gives the
// statement back to the keep, prepared for that text, once its rows are read, and
// `parameters` (bound to it) are held until then.
long OdbcSession::ReadRows(SQLHSTMT source, std::vector<ColumnInfo> described, std::vector<ValueKind> kinds,
                           bool identityFirst, StoredRow* stored, const std::string& keptText,
                           std::uint64_t keptGeneration, std::unique_ptr<ParameterList> parameters) {
    const std::size_t count = kinds.size();
    OdbcRows rows(link_, source, std::move(described), std::move(kinds));
    if (!keptText.empty()) rows.KeepAfterUse(keptText, keptGeneration, std::move(parameters));
    long found = 0;
    while (rows.Fetch()) {
        if (++found > 1) continue;
        stored->clear();
        stored->reserve(count);
        for (std::size_t i = identityFirst ? 1 : 0; i < count; ++i)
            stored->emplace_back(rows.Columns()[i].name, Value::FromCell(rows.Cell(i)));
        if (identityFirst) stored->emplace_back(kRowIdentityName, Value::FromCell(rows.Cell(0)));
    }
    return found;
}

// The new row of a product without a row identity: the key as written, or the one the
// server generated, then the stored row (defaults included) read back by that key.
// Without a key, the values written are all that locate the row.
OdbcSession::StoredRow OdbcSession::StoredByKey(const std::string& table, const std::vector<ColumnWrite>& columns) {
    const RowDialect& dialect = product_.rows;
    std::vector<std::string> keys = KeyColumns(table);
    RowLocator found;
    bool keyKnown = !keys.empty();
    for (const std::string& key : keys) {
        auto written = std::find_if(columns.begin(), columns.end(),
                                    [&](const ColumnWrite& write) { return EqualNoCase(write.column, key); });
        if (written == columns.end()) keyKnown = false;
        else found.columns.emplace_back(key, written->value);
    }
    if (!keyKnown && keys.size() == 1 && !dialect.generatedKey.empty()) {
        found.columns.clear();
        Statement lookup(link_);
        Run(lookup.handle(), dialect.generatedKey, nullptr, link_->commandTimeout);
        if (SQL_SUCCEEDED(SQLFetch(lookup.handle()))) {
            SQLBIGINT id = 0;
            SQLLEN indicator = 0;
            CheckOdbc(SQLGetData(lookup.handle(), 1, SQL_C_SBIGINT, &id, sizeof id, &indicator), SQL_HANDLE_STMT,
                      lookup.handle());
            if (indicator == SQL_NULL_DATA) id = 0;
            found.columns.emplace_back(keys[0], Value{ValueKind::Integer, id, 0, {}});
            keyKnown = id != 0;
        }
    }
    if (keyKnown) {
        ParameterList keyValues;
        Statement lookup(link_);
        Run(lookup.handle(), SelectByKeyStatement(dialect, table, found, Collect(&keyValues)), &keyValues,
            link_->commandTimeout);
        StoredRow stored;
        if (ReadStoredRow(lookup.Release(), false, &stored) == 1) return stored;
    } else if (keys.empty()) {
        for (const ColumnWrite& write : columns) found.columns.emplace_back(write.column, write.value);
    }
    return found.columns;
}

InsertedRow OdbcSession::InsertRow(const std::string& table, const std::vector<ColumnWrite>& columns) {
    if (product_.storesNaNAsNull) RefuseNaN(columns);
    const RowDialect& dialect = product_.rows;
    ParameterList parameters;
    const std::string sql = InsertStatement(dialect, table, columns, Collect(&parameters));
    Statement statement(link_);
    InsertedRow inserted;
    if (!Run(statement.handle(), sql, &parameters, link_->commandTimeout)) return inserted;
    switch (dialect.readBack) {
        case RowDialect::ReadBack::Returning:
            if (HasResultSet(statement.handle()))
                inserted.rowsChanged = ReadStoredRow(statement.Release(), true, &inserted.stored);
            break;
        case RowDialect::ReadBack::ByIdentity:
            inserted.rowsChanged = RowCount(statement.handle());
            if (inserted.rowsChanged == 1) {
                // The identity now, before another insert on the connection moves it on;
                // the stored row when the engine needs it (see InsertedRow::storedLater).
                const std::optional<SQLBIGINT> identity = LastIdentity();
                if (!identity) break;
                inserted.stored.emplace_back(kRowIdentityName, Value{ValueKind::Integer, *identity, 0, {}});
                inserted.storedLater = [this, table, id = *identity] {
                    StoredRow stored;
                    ReadInsertedRow(table, id, &stored);
                    return stored;
                };
            }
            break;
        case RowDialect::ReadBack::ByKey:
            inserted.rowsChanged = RowCount(statement.handle());
            if (inserted.rowsChanged == 1) inserted.stored = StoredByKey(table, columns);
            break;
    }
    if (inserted.rowsChanged != 1) inserted.stored.clear();
    return inserted;
}

// A product that moves a row on update (PostgreSQL's ctid) returns its new identity.
long OdbcSession::UpdateRow(const std::string& table, const std::vector<ColumnWrite>& columns, RowLocator* locator) {
    if (columns.empty()) return 1;
    if (product_.storesNaNAsNull) RefuseNaN(columns);
    const RowDialect& dialect = product_.rows;
    ParameterList parameters;
    const std::string sql = UpdateStatement(dialect, table, columns, *locator, {}, Collect(&parameters));
    Statement statement(link_);
    if (!Run(statement.handle(), sql, &parameters, link_->commandTimeout)) return 0;
    long updated = 0;
    std::optional<Value> newIdentity;
    if (dialect.readBack == RowDialect::ReadBack::Returning) {
        if (!HasResultSet(statement.handle())) return 0;
        OdbcRows rows(link_, statement.Release(), std::vector<ColumnInfo>(1), {ValueKind::Text});
        while (rows.Fetch())
            if (++updated == 1) newIdentity = Value{ValueKind::Text, 0, 0, std::string(rows.Cell(0).bytes)};
    } else {
        updated = RowCount(statement.handle());
    }
    if (updated == 1) FollowUpdate(dialect, columns, newIdentity ? &*newIdentity : nullptr, locator);
    return updated;
}

long OdbcSession::DeleteRow(const std::string& table, const RowLocator& locator) {
    ParameterList parameters;
    const std::string sql = DeleteStatement(product_.rows, table, locator, {}, Collect(&parameters));
    Statement statement(link_);
    if (!Run(statement.handle(), sql, &parameters, link_->commandTimeout)) return 0;
    return RowCount(statement.handle());
}

}  // namespace dbplatform::provider::odbc
