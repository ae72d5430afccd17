#include <dbplatform/providers/sqlite/SqliteResultSet.h>

#include <sqlite3.h>

#include <string>

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

// No allocation: text and blobs are views into SQLite's own buffers, valid until the
// next step. sqlite3_column_text is called before sqlite3_column_bytes, as SQLite asks.
provider::CellView ReadCell(sqlite3_stmt* statement, int column, Reading reading) {
    provider::CellView cell;
    switch (sqlite3_column_type(statement, column)) {
        case SQLITE_INTEGER: {
            std::int64_t value = sqlite3_column_int64(statement, column);
            if (reading == Reading::Boolean) {
                cell.kind = provider::ValueKind::Boolean;
                cell.integer = value != 0;
            } else if (reading == Reading::Real) {
                cell.kind = provider::ValueKind::Double;
                cell.real = static_cast<double>(value);
            } else {
                cell.kind = provider::ValueKind::Integer;
                cell.integer = value;
            }
            break;
        }
        case SQLITE_FLOAT:
            cell.kind = provider::ValueKind::Double;
            cell.real = sqlite3_column_double(statement, column);
            break;
        case SQLITE_TEXT: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
            int size = sqlite3_column_bytes(statement, column);
            cell.bytes = text ? std::string_view(text, static_cast<std::size_t>(size)) : std::string_view();
            cell.kind = reading == Reading::Bytes ? provider::ValueKind::Bytes : provider::ValueKind::Text;
            if (reading == Reading::Date) {
                DATE date = 0;
                if (SUCCEEDED(ReadStoredDate(cell.bytes, &date))) {
                    cell.kind = provider::ValueKind::Date;
                    cell.real = date;
                    cell.bytes = {};
                }
            }
            break;
        }
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(statement, column);
            int size = sqlite3_column_bytes(statement, column);
            cell.kind = provider::ValueKind::Bytes;
            cell.bytes = data ? std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(size))
                              : std::string_view();
            break;
        }
        default:
            break;
    }
    return cell;
}

// Describes every column from SQLite's metadata. Columns without a declared type (an
// expression) are typed from the storage class of their first value, so the first row
// is read ahead here when there is such a column.
SqliteResultSet::SqliteResultSet(sqlite3* db, Statement statement, const std::string& identityTable,
                                 const std::string& identityName)
    : db_(db), statement_(std::move(statement)) {
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
            DeclaredType mapped = MapDeclaredType(declared);
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
            DeclaredType mapped = TypeOfStorageClass(aheadHasRow_ ? sqlite3_column_type(stmt, i) : SQLITE_NULL);
            columns_[static_cast<std::size_t>(i)].type = mapped.type;
            columns_[static_cast<std::size_t>(i)].definedSize = mapped.definedSize;
        }
    }
    for (int i = 0; i < count; ++i) {
        readings_[static_cast<std::size_t>(i)] = ReadingFor(columns_[static_cast<std::size_t>(i)].type);
    }
}

bool SqliteResultSet::Step() {
    int rc = sqlite3_step(statement_.get());
    if (rc == SQLITE_ROW) return true;
    done_ = true;
    std::string message = rc == SQLITE_DONE ? std::string() : std::string(sqlite3_errmsg(db_));
    // Resetting ends the statement's read transaction, so that other connections may
    // write while the cursor keeps the rows it has read.
    sqlite3_reset(statement_.get());
    if (rc == SQLITE_DONE) return false;
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

}  // namespace dbplatform::sqlite
