#include <dbplatform/providers/odbc/OdbcRows.h>

#include <algorithm>
#include <cassert>

#include <dbplatform/base/AsciiText.h>
#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/common/Failure.h>
#include <dbplatform/providers/odbc/OdbcCommandTimeout.h>
#include <dbplatform/providers/odbc/OdbcErrors.h>
#include <dbplatform/providers/common/ValueText.h>

namespace dbplatform::provider::odbc {
namespace {

// Reads a fixed-size value of C type `cType` into `value`; false for NULL.
template <class T>
bool ReadFixed(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT cType, T* value) {
    SQLLEN indicator = 0;
    CheckOdbc(SQLGetData(statement, column, cType, value, sizeof *value, &indicator), SQL_HANDLE_STMT, statement);
    return indicator != SQL_NULL_DATA;
}

// True when the driver describes result column `column` as unsigned.
bool IsUnsigned(SQLHSTMT statement, SQLUSMALLINT column) {
    SQLLEN isUnsigned = SQL_FALSE;
    if (!SQL_SUCCEEDED(SQLColAttribute(statement, column, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned)))
        return false;
    return isUnsigned == SQL_TRUE;
}

}  // namespace

OdbcRows::OdbcRows(std::shared_ptr<OdbcLink> link, SQLHSTMT statement, std::vector<ColumnInfo> columns,
                   std::vector<ValueKind> kinds)
    : link_(std::move(link)), statement_(statement), columns_(std::move(columns)), kinds_(std::move(kinds)),
      cells_(columns_.size()) {
    assert(kinds_.size() == columns_.size());
    ChooseNumberReadings();
}

// Decides once per statement which number columns are read through their text. The SQLite
// driver's own number conversions run on the text it keeps anyway, so reading that text costs
// no more than the native read.
void OdbcRows::ChooseNumberReadings() {
    numberAsText_.assign(columns_.size(), false);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const ValueKind kind = kinds_[i];
        if (kind != ValueKind::Integer && kind != ValueKind::Double && kind != ValueKind::Boolean) continue;
        const SQLUSMALLINT column = static_cast<SQLUSMALLINT>(i + 1);
        numberAsText_[i] = link_->numbersAsText || columns_[i].type == adNumeric ||
                           (kind == ValueKind::Integer && IsUnsigned(statement_, column));
    }
}

OdbcRows::~OdbcRows() {
    if (done_ && !keptText_.empty()) {
        // A kept statement must not point at values about to be freed.
        if (parameters_) SQLFreeStmt(statement_, SQL_RESET_PARAMS);
        link_->keptStatements.GiveBack(keptText_, keptGeneration_, statement_);
        return;
    }
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

// Reads a text or binary value in pieces; false for NULL. The first piece goes to a small
// buffer: some drivers (the SQLite one) fill the whole buffer they are given, so its size
// is paid on every cell. A longer value continues straight into `out`, in pieces of the
// length the driver says remains (bounded, in case it says too much), or doubling where
// it cannot tell.
bool OdbcRows::ReadLong(SQLUSMALLINT column, SQLSMALLINT cType, std::string* out) {
    constexpr SQLLEN kFirstPiece = 128;
    constexpr SQLLEN kLargestPiece = SQLLEN{1} << 20;
    const SQLLEN terminator = cType == SQL_C_CHAR ? 1 : 0;
    char first[kFirstPiece + 1];
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(statement_, column, cType, first, kFirstPiece + terminator, &indicator);
    if (rc == SQL_NO_DATA) {
        out->clear();
        return true;
    }
    CheckOdbc(rc, SQL_HANDLE_STMT, statement_);
    if (indicator == SQL_NULL_DATA) {
        out->clear();
        return false;
    }
    SQLLEN piece = (indicator == SQL_NO_TOTAL || indicator > kFirstPiece) ? kFirstPiece : indicator;
    out->assign(first, static_cast<std::size_t>(piece));
    SQLLEN room = kFirstPiece;
    while (rc != SQL_SUCCESS) {
        // The rest: a warning without truncation ends at the next call's SQL_NO_DATA.
        // Never less than a first piece, so that each call moves on by a good stretch.
        room = indicator != SQL_NO_TOTAL && indicator > piece ? std::clamp(indicator - piece, kFirstPiece, kLargestPiece)
                                                                : std::min(room * 2, kLargestPiece);
        const std::size_t have = out->size();
        out->resize(have + static_cast<std::size_t>(room + terminator));
        rc = SQLGetData(statement_, column, cType, out->data() + have, room + terminator, &indicator);
        if (rc == SQL_NO_DATA) {
            out->resize(have);
            return true;
        }
        CheckOdbc(rc, SQL_HANDLE_STMT, statement_);
        piece = (indicator == SQL_NO_TOTAL || indicator > room) ? room : std::max<SQLLEN>(indicator, 0);
        out->resize(have + static_cast<std::size_t>(piece));
    }
    return true;
}

// Reads a number column through its text and keeps the value as stored: an integer in an
// integer column, a real wherever it is stored (a real in an integer column is not cut to its
// integer part), and a text that is no number as that text, so that converting it to a number
// fails instead of yielding NULL or the number it begins with.
void OdbcRows::ReadNumberAsText(SQLUSMALLINT column, ValueKind kind, CellData& cell) {
    if (!ReadLong(column, SQL_C_CHAR, &cell.bytes)) return;
    std::int64_t integer = 0;
    double real = 0;
    switch (ReadStoredNumber(cell.bytes, &integer, &real)) {
        case StoredNumber::Integer:
            if (kind == ValueKind::Double) {
                cell.kind = ValueKind::Double;
                cell.real = static_cast<double>(integer);
            } else {
                cell.kind = kind;
                cell.integer = kind == ValueKind::Boolean ? integer != 0 : integer;
            }
            return;
        case StoredNumber::Real:
            cell.kind = ValueKind::Double;
            cell.real = real;
            return;
        case StoredNumber::NotANumber:
            cell.kind = ValueKind::Text;
            return;
    }
}

void OdbcRows::ReadCell(std::size_t index) {
    CellData& cell = cells_[index];
    cell.kind = ValueKind::Null;
    cell.notADate = false;
    SQLUSMALLINT column = static_cast<SQLUSMALLINT>(index + 1);
    if (numberAsText_[index]) return ReadNumberAsText(column, kinds_[index], cell);
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
        ThrowFailure(FailureKind::NotADate, "The value '" + cell.bytes + "' of column " + columns_[column].name +
                                                  " is not a date");
    return CellView{cell.kind, cell.integer, cell.real, cell.bytes};
}

}  // namespace dbplatform::provider::odbc
