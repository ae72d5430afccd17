#include <dbplatform/providers/odbc/OdbcRows.h>

#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/odbc/OdbcCommandTimeout.h>
#include <dbplatform/providers/odbc/OdbcErrors.h>
#include <dbplatform/providers/odbc/ValueText.h>

namespace dbplatform::provider::odbc {
namespace {

// Reads a fixed-size value of C type `cType` into `value`; false for NULL.
template <class T>
bool ReadFixed(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT cType, T* value) {
    SQLLEN indicator = 0;
    CheckOdbc(SQLGetData(statement, column, cType, value, sizeof *value, &indicator), SQL_HANDLE_STMT, statement);
    return indicator != SQL_NULL_DATA;
}

}  // namespace

OdbcRows::OdbcRows(std::shared_ptr<OdbcLink> link, SQLHSTMT statement, std::vector<ColumnInfo> columns,
                   std::vector<ValueKind> kinds)
    : link_(std::move(link)), statement_(statement), columns_(std::move(columns)), kinds_(std::move(kinds)),
      cells_(columns_.size()) {}

OdbcRows::~OdbcRows() {
    SQLCloseCursor(statement_);
    SQLFreeHandle(SQL_HANDLE_STMT, statement_);
}

// Each fetch is bounded on its own: a driver that steps the engine row by row (the
// SQLite driver) does a query's work here, not at execute.
bool OdbcRows::Fetch() {
    if (done_) return false;
    SQLRETURN rc = Bounded(statement_, link_->commandTimeout, [this] { return SQLFetch(statement_); });
    if (rc == SQL_NO_DATA) {
        done_ = true;
        SQLCloseCursor(statement_);
        return false;
    }
    CheckOdbc(rc, SQL_HANDLE_STMT, statement_);
    for (std::size_t column = 0; column < columns_.size(); ++column) ReadCell(column);
    return true;
}

// Reads a text or binary value in pieces; false for NULL.
bool OdbcRows::ReadLong(SQLUSMALLINT column, SQLSMALLINT cType, std::string* out) {
    out->clear();
    char chunk[8192];
    const SQLLEN room = cType == SQL_C_CHAR ? sizeof chunk - 1 : sizeof chunk;
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(statement_, column, cType, chunk, sizeof chunk, &indicator);
        if (rc == SQL_NO_DATA) return true;
        CheckOdbc(rc, SQL_HANDLE_STMT, statement_);
        if (indicator == SQL_NULL_DATA) return false;
        SQLLEN piece = (indicator == SQL_NO_TOTAL || indicator > room) ? room : indicator;
        out->append(chunk, static_cast<std::size_t>(piece));
        if (rc == SQL_SUCCESS) return true;
    }
}

void OdbcRows::ReadCell(std::size_t index) {
    CellData& cell = cells_[index];
    cell.kind = ValueKind::Null;
    cell.notADate = false;
    SQLUSMALLINT column = static_cast<SQLUSMALLINT>(index + 1);
    switch (kinds_[index]) {
        case ValueKind::Integer: {
            SQLBIGINT value = 0;
            if (!ReadFixed(statement_, column, SQL_C_SBIGINT, &value)) return;
            cell.kind = ValueKind::Integer;
            cell.integer = value;
            return;
        }
        case ValueKind::Boolean: {
            unsigned char value = 0;
            if (!ReadFixed(statement_, column, SQL_C_BIT, &value)) return;
            cell.kind = ValueKind::Boolean;
            cell.integer = value ? 1 : 0;
            return;
        }
        case ValueKind::Double: {
            double value = 0;
            if (!ReadFixed(statement_, column, SQL_C_DOUBLE, &value)) return;
            cell.kind = ValueKind::Double;
            cell.real = value;
            return;
        }
        case ValueKind::Date:
            // Read as text and parsed here: the SQLite driver turns text it cannot read
            // into a NULL, or into today's date, without a word.
            if (!ReadLong(column, SQL_C_CHAR, &cell.bytes)) return;
            cell.kind = ValueKind::Date;
            cell.notADate = !DateFromServerText(cell.bytes, &cell.real);
            return;
        case ValueKind::Bytes:
            if (!ReadLong(column, SQL_C_BINARY, &cell.bytes)) return;
            cell.kind = ValueKind::Bytes;
            return;
        default:
            if (!ReadLong(column, SQL_C_CHAR, &cell.bytes)) return;
            cell.kind = ValueKind::Text;
            return;
    }
}

CellView OdbcRows::Cell(std::size_t column) {
    if (column >= cells_.size()) return {};
    const CellData& cell = cells_[column];
    if (cell.notADate)
        throw _com_error(DISP_E_TYPEMISMATCH, "The value '" + cell.bytes + "' of column " + columns_[column].name +
                                                  " is not a date");
    return CellView{cell.kind, cell.integer, cell.real, cell.bytes};
}

}  // namespace dbplatform::provider::odbc
