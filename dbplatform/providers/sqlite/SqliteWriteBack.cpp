// Writing one row back: parameterised INSERT, UPDATE and DELETE that change at most one
// row, located by its key or its rowid, and for updates also by the values it had when
// it was read, so that a row changed by someone else since is left alone.
#include <sqlite3.h>

#include <algorithm>
#include <cmath>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/base/AsciiText.h>
#include <dbplatform/com/ComError.h>
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

using provider::ColumnWrite;
using provider::RowLocator;
using provider::Value;
using provider::ValueKind;

bool IsColumnOf(const TableShape& shape, std::string_view name) {
    return std::any_of(shape.columns.begin(), shape.columns.end(),
                       [&](const std::string& column) { return EqualNoCase(column, name); });
}

// A locator entry names the row identity either by the identity column's own name or by
// one of SQLite's names for the rowid, unless a real column carries that name.
bool IsIdentity(const TableShape& shape, std::string_view name) {
    if (EqualNoCase(name, kRowIdentityName)) return true;
    bool rowidName = EqualNoCase(name, "rowid") || EqualNoCase(name, "_rowid_") || EqualNoCase(name, "oid");
    return rowidName && !IsColumnOf(shape, name);
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
            ThrowError(DISP_E_TYPEMISMATCH, "The value \"" + value.bytes + "\" is not a date.");
        }
    }
    return stored;
}

// SQLite stores a NaN as NULL without a word, and the row written could then no longer be
// located by the value the cursor holds for it: refused before anything is written.
void RefuseNaN(const ColumnWrite& column) {
    if (column.value.kind == ValueKind::Double && std::isnan(column.value.real))
        ThrowError(DB_E_CANTCONVERTVALUE,
                   "NaN cannot be stored in column " + column.column + ": SQLite would store it as NULL.");
}

// "column holds the value it had when read", for the value's kind: NULL through IS NULL,
// dates through their canonical text, Booleans as truth, bytes whatever their storage.
std::string ConditionOn(const std::string& column, const Value& read, Bindings* bindings) {
    const std::string quoted = QuoteIdentifier(column);
    switch (read.kind) {
        case ValueKind::Null: return quoted + " IS NULL";
        case ValueKind::Date:
            bindings->values.push_back(StorageForm(read, adDBTimeStamp, false));
            return "canonical_date_text(" + quoted + ") = ?";
        case ValueKind::Boolean:
            bindings->values.push_back(StorageForm(read, adBoolean, false));
            return "(" + quoted + " <> 0) = ?";
        case ValueKind::Bytes:
            bindings->values.push_back(read);
            return "CAST(" + quoted + " AS BLOB) = ?";
        default:
            bindings->values.push_back(read);
            return quoted + " = ?";
    }
}

// The WHERE clause that reaches exactly the located row, or none. Where the locator is
// not known to be unique (no rowid, no complete key) the row is picked by its rowid
// through a LIMIT 1 subquery, so that of two identical rows only one changes.
std::string WhereOneRow(const std::string& table, const TableShape& shape, const RowLocator& locator,
                        const std::vector<ColumnWrite>* originals, Bindings* bindings) {
    std::vector<std::string> conditions;
    bool unique = false;
    std::vector<std::string> locatedColumns;
    for (const auto& [name, value] : locator.columns) {
        if (IsIdentity(shape, name) && !shape.rowidName.empty()) {
            bindings->values.push_back(value);
            conditions.push_back(shape.rowidName + " = ?");
            unique = true;
        } else {
            conditions.push_back(ConditionOn(name, value, bindings));
            locatedColumns.push_back(name);
        }
    }
    if (!shape.keyColumns.empty()) {
        unique = unique || std::all_of(shape.keyColumns.begin(), shape.keyColumns.end(), [&](const std::string& key) {
                     return std::any_of(locatedColumns.begin(), locatedColumns.end(),
                                        [&](const std::string& located) { return EqualNoCase(located, key); });
                 });
    }
    if (originals) {
        for (const ColumnWrite& column : *originals) conditions.push_back(ConditionOn(column.column, column.original, bindings));
    }
    if (conditions.empty()) ThrowError(E_FAIL, "Cannot locate the row in " + table + ": no key, row identity or value.");
    std::string where;
    for (const std::string& condition : conditions) where += (where.empty() ? "" : " AND ") + condition;
    if (unique) return " WHERE " + where;
    if (shape.hasRowid && !shape.rowidName.empty()) {
        return " WHERE " + shape.rowidName + " = (SELECT " + shape.rowidName + " FROM " + QuoteIdentifier(table) +
               " WHERE " + where + " LIMIT 1)";
    }
    if (sqlite3_compileoption_used("ENABLE_UPDATE_DELETE_LIMIT")) return " WHERE " + where + " LIMIT 1";
    ThrowError(E_FAIL, "Cannot locate a single row in " + table + ": the locator does not cover its primary key.");
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

// The new row's locator holds the names the caller asked for, else every column and the
// row identity (only the key where there is no rowid), with the values as stored:
// defaults and conversions included.
long SqliteSession::InsertRow(const std::string& table, const std::vector<ColumnWrite>& columns, RowLocator* locator) {
    const TableShape shape = ShapeOf(table);
    std::string sql = "INSERT INTO " + QuoteIdentifier(table);
    Bindings bindings;
    if (columns.empty()) {
        sql += " DEFAULT VALUES";
    } else {
        std::string names, marks;
        for (const ColumnWrite& column : columns) {
            names += (names.empty() ? "" : ", ") + QuoteIdentifier(column.column);
            marks += marks.empty() ? "?" : ", ?";
            RefuseNaN(column);
            bindings.values.push_back(StorageForm(column.value, column.type, true));
        }
        sql += " (" + names + ") VALUES (" + marks + ")";
    }
    const long changed = RunCachedChange(sql, bindings);
    if (!locator) return changed;
    const sqlite3_int64 rowid = sqlite3_last_insert_rowid(db_);

    std::vector<std::string> names;
    for (const auto& entry : locator->columns) names.push_back(entry.first);
    if (names.empty() && shape.hasRowid) {
        // Every column as stored, and the identity: the caller takes whichever of them
        // locate its rows, and sees the defaults the database filled in.
        names = shape.columns;
        names.emplace_back(kRowIdentityName);
    }
    if (names.empty()) names = shape.keyColumns;
    locator->columns.clear();

    if (shape.hasRowid && !shape.rowidName.empty()) {
        std::string select;
        for (const std::string& name : names) {
            select += (select.empty() ? "" : ", ") + (IsIdentity(shape, name) ? shape.rowidName : QuoteIdentifier(name));
        }
        sqlite3_stmt* stored = Cached("SELECT " + select + " FROM " + QuoteIdentifier(table) + " WHERE " +
                                      shape.rowidName + " = ?");
        sqlite3_bind_int64(stored, 1, rowid);
        const bool found = sqlite3_step(stored) == SQLITE_ROW;
        for (std::size_t i = 0; i < names.size(); ++i) {
            Value value;
            if (found) value = Value::FromCell(ReadCell(stored, static_cast<int>(i), ReadingOfColumn(stored, static_cast<int>(i))));
            if (IsIdentity(shape, names[i])) value = Value{ValueKind::Integer, rowid, 0, {}};
            locator->columns.emplace_back(names[i], std::move(value));
        }
        sqlite3_reset(stored);
        return changed;
    }
    for (const std::string& name : names) {
        auto written = std::find_if(columns.begin(), columns.end(),
                                    [&](const ColumnWrite& column) { return EqualNoCase(column.column, name); });
        locator->columns.emplace_back(name, written != columns.end() ? written->value : Value{});
    }
    return changed;
}

// Only the given columns are set, and only if the row still holds their original
// values. The locator follows the row: a changed key column, or a changed INTEGER
// PRIMARY KEY (which is the rowid), moves it.
long SqliteSession::UpdateRow(const std::string& table, const std::vector<ColumnWrite>& columns, RowLocator* locator) {
    const TableShape shape = ShapeOf(table);
    const RowLocator empty;
    const RowLocator& where = locator ? *locator : empty;
    Bindings bindings;
    if (columns.empty()) {
        std::string sql = "SELECT 1 FROM " + QuoteIdentifier(table) + WhereOneRow(table, shape, where, nullptr, &bindings);
        Statement statement = Prepare(sql);
        bindings.Bind(db_, statement.get());
        int rc = sqlite3_step(statement.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) ThrowSqliteError(db_, rc);
        return rc == SQLITE_ROW ? 1 : 0;
    }
    std::string assignments;
    for (const ColumnWrite& column : columns) {
        assignments += (assignments.empty() ? "" : ", ") + QuoteIdentifier(column.column) + " = ?";
        RefuseNaN(column);
        bindings.values.push_back(StorageForm(column.value, column.type, true));
    }
    std::string sql = "UPDATE " + QuoteIdentifier(table) + " SET " + assignments +
                      WhereOneRow(table, shape, where, &columns, &bindings);
    const long changed = RunCachedChange(sql, bindings);
    if (changed != 1 || !locator) return changed;
    for (auto& [name, value] : locator->columns) {
        if (IsIdentity(shape, name)) {
            if (shape.integerKey.empty()) continue;
            for (const ColumnWrite& column : columns) {
                if (EqualNoCase(column.column, shape.integerKey) && column.value.kind == ValueKind::Integer) value = column.value;
            }
            continue;
        }
        for (const ColumnWrite& column : columns) {
            if (EqualNoCase(column.column, name)) value = column.value;
        }
    }
    return changed;
}

long SqliteSession::DeleteRow(const std::string& table, const RowLocator& locator) {
    const TableShape shape = ShapeOf(table);
    Bindings bindings;
    std::string sql = "DELETE FROM " + QuoteIdentifier(table) + WhereOneRow(table, shape, locator, nullptr, &bindings);
    return RunCachedChange(sql, bindings);
}

}  // namespace dbplatform::sqlite
