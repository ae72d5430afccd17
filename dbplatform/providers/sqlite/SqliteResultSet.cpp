#include <dbplatform/providers/sqlite/SqliteResultSet.h>

#include <sqlite3.h>

#include <algorithm>
#include <string>

#include <dbplatform/ado/CommandTimeout.h>
#include <dbplatform/automation/DateTime.h>
#include <dbplatform/providers/sqlite/SqliteErrors.h>
#include <dbplatform/providers/sqlite/SqliteTypes.h>

namespace dbplatform::sqlite {

Reading ReadingFor(DataTypeEnum type) {
    switch (type) {
        case adDBTimeStamp: return Reading::Date;
        case adBoolean: return Reading::Boolean;
        case adDouble:
        case adSingle:
        case adNumeric: return Reading::Real;
        case adLongVarBinary: return Reading::Bytes;
        default: return Reading::AsStored;
    }
}

namespace {

// No allocation: text and blobs are views into SQLite's own buffers, valid until the
// next step. The text is asked for before its length, as SQLite asks. The cell is
// written field by field where it lives: a whole cell returned through the stack and
// copied on costs a stalled load per cell in a walk.
void ReadValue(sqlite3_value* value, Reading reading, provider::CellView* cell) {
    cell->integer = 0;
    cell->real = 0;
    cell->bytes = {};
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER: {
            std::int64_t number = sqlite3_value_int64(value);
            if (reading == Reading::Boolean) {
                cell->kind = provider::ValueKind::Boolean;
                cell->integer = number != 0;
            } else if (reading == Reading::Real) {
                cell->kind = provider::ValueKind::Double;
                cell->real = static_cast<double>(number);
            } else {
                cell->kind = provider::ValueKind::Integer;
                cell->integer = number;
            }
            return;
        }
        case SQLITE_FLOAT:
            cell->kind = provider::ValueKind::Double;
            cell->real = sqlite3_value_double(value);
            return;
        case SQLITE_TEXT: {
            const char* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
            int size = sqlite3_value_bytes(value);
            std::string_view bytes = text ? std::string_view(text, static_cast<std::size_t>(size)) : std::string_view();
            if (reading == Reading::Date) {
                DATE date = 0;
                if (SUCCEEDED(DateFromText(bytes, &date))) {
                    cell->kind = provider::ValueKind::Date;
                    cell->real = date;
                    return;
                }
            }
            cell->kind = reading == Reading::Bytes ? provider::ValueKind::Bytes : provider::ValueKind::Text;
            cell->bytes = bytes;
            return;
        }
        case SQLITE_BLOB: {
            const void* data = sqlite3_value_blob(value);
            int size = sqlite3_value_bytes(value);
            cell->kind = provider::ValueKind::Bytes;
            cell->bytes = data ? std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size))
                               : std::string_view();
            return;
        }
        default:
            cell->kind = provider::ValueKind::Null;
            return;
    }
}

}  // namespace

provider::CellView ReadCell(sqlite3_stmt* statement, int column, Reading reading) {
    provider::CellView cell;
    ReadValue(sqlite3_column_value(statement, column), reading, &cell);
    return cell;
}

// Describes every column from SQLite's metadata. Columns without a declared type (an
// expression) are typed from the storage class of their first value, so the first row
// is read ahead here when there is such a column.
SqliteResultSet::SqliteResultSet(sqlite3* db, std::shared_ptr<CommandClock> clock, Statement statement,
                                 const std::string& identityTable, const std::string& identityName)
    : db_(db), clock_(std::move(clock)), statement_(std::move(statement)) {
    sqlite3_stmt* stmt = statement_.get();
    const int count = sqlite3_column_count(stmt);
    columns_.resize(static_cast<std::size_t>(count));
    readings_.resize(static_cast<std::size_t>(count));
    std::vector<int> untyped;
    for (int i = 0; i < count; ++i) {
        provider::ColumnInfo& info = columns_[static_cast<std::size_t>(i)];
        const char* name = sqlite3_column_name(stmt, i);
        info.name = name ? name : "";
        if (i == 0 && !identityTable.empty()) {
            info.name = kRowIdentityName;
            info.type = adBigInt;
            info.definedSize = 8;
            info.nullable = false;
            info.baseTable = identityTable;
            info.baseColumn = identityName;
            info.rowIdentity = true;
            continue;
        }
        const char* declared = sqlite3_column_decltype(stmt, i);
        if (declared && *declared) {
            ColumnType mapped = MapDeclaredType(declared);
            info.type = mapped.type;
            info.definedSize = mapped.definedSize;
        } else {
            untyped.push_back(i);
        }
        const char* table = sqlite3_column_table_name(stmt, i);
        const char* origin = sqlite3_column_origin_name(stmt, i);
        const char* database = sqlite3_column_database_name(stmt, i);
        if (table && origin) {
            info.baseTable = table;
            info.baseColumn = origin;
            int notNull = 0, primaryKey = 0, autoIncrement = 0;
            if (sqlite3_table_column_metadata(db_, database, table, origin, nullptr, nullptr, &notNull, &primaryKey,
                                              &autoIncrement) == SQLITE_OK) {
                info.nullable = notNull == 0;
                info.key = primaryKey != 0;
            }
        }
    }
    // With the identity added, the key is not complete in this result: a part of it
    // would locate several rows, so only the identity may locate them.
    if (!identityTable.empty()) {
        for (provider::ColumnInfo& info : columns_) info.key = false;
    }
    if (!untyped.empty()) {
        aheadHasRow_ = Step();
        stepped_ = true;
        for (int i : untyped) {
            ColumnType mapped = TypeOfStorageClass(aheadHasRow_ ? sqlite3_column_type(stmt, i) : SQLITE_NULL);
            columns_[static_cast<std::size_t>(i)].type = mapped.type;
            columns_[static_cast<std::size_t>(i)].definedSize = mapped.definedSize;
        }
    }
    for (int i = 0; i < count; ++i) {
        readings_[static_cast<std::size_t>(i)] = ReadingFor(columns_[static_cast<std::size_t>(i)].type);
    }
}

// A step that the command timeout stopped (interrupted, or given up waiting for a lock)
// ends the rows with the timeout error; the statement is reset, so the connection stays
// usable.
bool SqliteResultSet::Step() {
    CommandClock::Window window(*clock_);
    int rc = sqlite3_step(statement_.get());
    if (rc == SQLITE_ROW) return true;
    done_ = true;
    std::string message = rc == SQLITE_DONE ? std::string() : std::string(sqlite3_errmsg(db_));
    // Resetting ends the statement's read transaction, so that other connections may
    // write while the cursor keeps the rows it has read.
    sqlite3_reset(statement_.get());
    if (rc == SQLITE_DONE) return false;
    if (clock_->TimedOut()) provider::ThrowQueryTimeout();
    ThrowError(HResultFromSqlite(rc, message), message);
}

bool SqliteResultSet::Fetch() {
    if (stepped_) {
        stepped_ = false;
        return aheadHasRow_;
    }
    if (done_) return false;
    return Step();
}

provider::CellView SqliteResultSet::Cell(std::size_t column) {
    if (column >= readings_.size() || done_) return provider::CellView{};
    return ReadCell(statement_.get(), static_cast<int>(column), readings_[column]);
}

// The whole row in one call: a large walk reads every cell of every row. The
// connection has no mutex (see the session's open), so the values sqlite3_column_value
// hands out may be read directly.
void SqliteResultSet::ReadRow(provider::CellView* cells, std::size_t count) {
    if (done_) {
        for (std::size_t c = 0; c < count; ++c) cells[c] = provider::CellView{};
        return;
    }
    sqlite3_stmt* statement = statement_.get();
    const std::size_t known = std::min(count, readings_.size());
    for (std::size_t c = 0; c < known; ++c)
        ReadValue(sqlite3_column_value(statement, static_cast<int>(c)), readings_[c], &cells[c]);
    for (std::size_t c = known; c < count; ++c) cells[c] = provider::CellView{};
}

}  // namespace dbplatform::sqlite
