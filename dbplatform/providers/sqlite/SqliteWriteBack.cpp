// Writing one row back: parameterised INSERT, UPDATE and DELETE that change at most one
// row, located by its key or its rowid, and for updates also by the values it had when
// it was read, so that a row changed by someone else since is left alone.
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/base/AsciiText.h>
#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/common/Failure.h>
#include <dbplatform/providers/common/Identifiers.h>
#include <dbplatform/providers/common/RowDialects.h>
#include <dbplatform/providers/sqlite/SqliteErrors.h>
#include <dbplatform/providers/sqlite/SqliteResultSet.h>
#include <dbplatform/providers/sqlite/SqliteSession.h>
#include <dbplatform/providers/sqlite/SqliteTypes.h>

namespace dbplatform::sqlite {

// Values bound in order to the '?' of a statement.
struct Bindings {
    std::vector<provider::Value> values;

    void Bind(sqlite3* db, sqlite3_stmt* statement) const {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const provider::Value& value = values[i];
            const int index = static_cast<int>(i + 1);
            int rc = SQLITE_OK;
            switch (value.kind) {
                case provider::ValueKind::Null: rc = sqlite3_bind_null(statement, index); break;
                case provider::ValueKind::Integer:
                case provider::ValueKind::Boolean: rc = sqlite3_bind_int64(statement, index, value.integer); break;
                case provider::ValueKind::Double: rc = sqlite3_bind_double(statement, index, value.real); break;
                case provider::ValueKind::Date:
                case provider::ValueKind::Text:
                    // The 64-bit forms take the whole length; SQLite refuses one past its
                    // limit with SQLITE_TOOBIG instead of storing a cut value.
                    rc = sqlite3_bind_text64(statement, index, value.bytes.c_str(), value.bytes.size(),
                                             SQLITE_TRANSIENT, SQLITE_UTF8);
                    break;
                case provider::ValueKind::Bytes:
                    // An empty blob bound from a null pointer would become NULL.
                    rc = value.bytes.empty() ? sqlite3_bind_zeroblob(statement, index, 0)
                                             : sqlite3_bind_blob64(statement, index, value.bytes.data(),
                                                                   value.bytes.size(), SQLITE_TRANSIENT);
                    break;
            }
            if (rc != SQLITE_OK) ThrowSqliteError(db, rc);
        }
    }
};

namespace {

using namespace provider;

// The rows of `table` as this provider finds them again: by the rowid under whichever of
// its names no column shadows (each of those names also means it in a locator).
RowDialect DialectOf(const TableShape& shape) {
    const std::string rowidName = shape.hasRowid ? shape.rowidName : std::string();
    RowDialect dialect =
        EmbeddedSqliteRowDialect(rowidName, sqlite3_compileoption_used("ENABLE_UPDATE_DELETE_LIMIT") != 0);
    if (!rowidName.empty()) {
        for (const char* alias : {"rowid", "_rowid_", "oid"}) {
            const bool shadowed = std::any_of(shape.columns.begin(), shape.columns.end(),
                                              [&](const std::string& column) { return EqualNoCase(column, alias); });
            if (!shadowed) dialect.identityAliases.emplace_back(alias);
        }
    }
    return dialect;
}

// A value as SQLite stores it: dates as canonical text, Booleans as 0/1. A new value for
// a date column that arrives as text must read as a date, else nothing is written.
Value StorageForm(const Value& value, DataTypeEnum type, bool isNewValue) {
    Value stored = value;
    if (value.kind == ValueKind::Date) {
        stored.kind = ValueKind::Text;
        stored.bytes = TextFromDate(value.real);
    } else if (value.kind == ValueKind::Boolean) {
        stored.kind = ValueKind::Integer;
        stored.integer = value.integer != 0;
    } else if (isNewValue && value.kind == ValueKind::Text && type == adDBTimeStamp) {
        if (FAILED(CanonicalDateText(value.bytes, &stored.bytes))) {
            ThrowFailure(FailureKind::NotADate, "The value \"" + value.bytes + "\" is not a date.");
        }
    }
    return stored;
}

// The columns to write in the form SQLite stores them. A NaN is refused before anything
// is written: SQLite would store it as NULL without a word, and the row written could
// then no longer be located by the value the cursor holds for it.
std::vector<ColumnWrite> StoredWrites(const std::vector<ColumnWrite>& columns) {
    std::vector<ColumnWrite> stored = columns;
    for (ColumnWrite& column : stored) {
        if (column.value.kind == ValueKind::Double && std::isnan(column.value.real))
            ThrowFailure(FailureKind::Conversion,
                         "NaN cannot be stored in column " + column.column + ": SQLite would store it as NULL.");
        column.value = StorageForm(column.value, column.type, true);
    }
    return stored;
}

// Collects the statement's values in order; values read back (originals, the locator)
// are compared in their stored form.
AddParameter Collect(Bindings* bindings) {
    return [bindings](const Value& value, DataTypeEnum type) {
        bindings->values.push_back(StorageForm(value, type, false));
        return std::string("?");
    };
}

Reading ReadingOfColumn(sqlite3_stmt* statement, int column) {
    const char* declared = sqlite3_column_decltype(statement, column);
    return declared && *declared ? ReadingFor(MapDeclaredType(declared).type) : Reading::AsStored;
}

}  // namespace


sqlite3_stmt* SqliteSession::Cached(const std::string& sql) {
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
        // Bounded: a session writing to many tables keeps only the latest statements.
        if (statements_.size() >= 64) statements_.clear();
        found = statements_.emplace(sql, Prepare(sql)).first;
    }
    sqlite3_stmt* statement = found->second.get();
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return statement;
}

long SqliteSession::RunCachedChange(const std::string& sql, const Bindings& bindings) {
    sqlite3_stmt* statement = Cached(sql);
    bindings.Bind(db_, statement);
    CommandClock::Window window(*clock_);  // a row written back is a command of its own
    try {
        RunToEnd(statement);
    } catch (const _com_error&) {
        clock_->Rethrow();
    }
    sqlite3_reset(statement);
    return static_cast<long>(sqlite3_changes64(db_));
}

// The new row as stored, defaults and conversions included, with its row identity last;
// a table without rowid gives its key as written.
provider::InsertedRow SqliteSession::InsertRow(const std::string& table, const std::vector<ColumnWrite>& columns) {
    const TableShape shape = ShapeOf(table);
    const RowDialect dialect = DialectOf(shape);
    Bindings bindings;
    provider::InsertedRow inserted;
    inserted.rowsChanged = RunCachedChange(InsertStatement(dialect, table, StoredWrites(columns), Collect(&bindings)), bindings);
    if (inserted.rowsChanged != 1) return inserted;
    if (dialect.readBack == RowDialect::ReadBack::ByIdentity) {
        sqlite3_stmt* stored = Cached(SelectInsertedStatement(dialect, table));
        const int rc = sqlite3_step(stored);
        if (rc == SQLITE_DONE) {
            // A trigger took the row away again: its identity is all there is.
            sqlite3_reset(stored);
            inserted.stored.emplace_back(kRowIdentityName, Value{ValueKind::Integer, sqlite3_last_insert_rowid(db_), 0, {}});
            return inserted;
        }
        if (rc != SQLITE_ROW) {
            sqlite3_reset(stored);
            ThrowSqliteError(db_, rc);
        }
        const int count = sqlite3_column_count(stored);
        for (int i = 1; i < count; ++i)
            inserted.stored.emplace_back(sqlite3_column_name(stored, i), Value::FromCell(ReadCell(stored, i, ReadingOfColumn(stored, i))));
        inserted.stored.emplace_back(kRowIdentityName, Value{ValueKind::Integer, sqlite3_column_int64(stored, 0), 0, {}});
        sqlite3_reset(stored);
        return inserted;
    }
    for (const std::string& key : shape.keyColumns) {
        auto written = std::find_if(columns.begin(), columns.end(),
                                    [&](const ColumnWrite& column) { return EqualNoCase(column.column, key); });
        inserted.stored.emplace_back(key, written != columns.end() ? written->value : Value{});
    }
    return inserted;
}

// Only the given columns are set, and only if the row still holds their original
// values. The locator follows the row: a changed key column, or a changed INTEGER
// PRIMARY KEY (which is the rowid), moves it.
long SqliteSession::UpdateRow(const std::string& table, const std::vector<ColumnWrite>& columns, RowLocator* locator) {
    const TableShape shape = ShapeOf(table);
    const RowDialect dialect = DialectOf(shape);
    const RowLocator empty;
    const RowLocator& where = locator ? *locator : empty;
    Bindings bindings;
    if (columns.empty()) {
        Statement statement = Prepare(ExistsStatement(dialect, table, where, shape.keyColumns, Collect(&bindings)));
        bindings.Bind(db_, statement.get());
        int rc = sqlite3_step(statement.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) ThrowSqliteError(db_, rc);
        return rc == SQLITE_ROW ? 1 : 0;
    }
    const long changed = RunCachedChange(
        UpdateStatement(dialect, table, StoredWrites(columns), where, shape.keyColumns, Collect(&bindings)), bindings);
    if (changed != 1 || !locator) return changed;
    std::optional<Value> movedIdentity;
    for (const ColumnWrite& column : columns) {
        if (!shape.integerKey.empty() && EqualNoCase(column.column, shape.integerKey) &&
            column.value.kind == ValueKind::Integer)
            movedIdentity = column.value;
    }
    FollowUpdate(dialect, columns, movedIdentity ? &*movedIdentity : nullptr, locator);
    return changed;
}

long SqliteSession::DeleteRow(const std::string& table, const RowLocator& locator) {
    const TableShape shape = ShapeOf(table);
    Bindings bindings;
    return RunCachedChange(DeleteStatement(DialectOf(shape), table, locator, shape.keyColumns, Collect(&bindings)), bindings);
}

}  // namespace dbplatform::sqlite
