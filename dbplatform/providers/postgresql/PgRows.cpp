#include <dbplatform/providers/postgresql/PgRows.h>

#include <cassert>
#include <string>

#include <dbplatform/com/ComError.h>
#include <dbplatform/providers/common/Failure.h>
#include <dbplatform/providers/common/ValueText.h>
#include <dbplatform/providers/postgresql/PgCommandTimeout.h>
#include <dbplatform/providers/postgresql/PgErrors.h>
#include <dbplatform/providers/postgresql/PgTypes.h>

namespace dbplatform::provider::postgresql {

PgRows::PgRows(std::shared_ptr<PgLink> link, PGresult* first, bool streaming, std::vector<ColumnInfo> columns,
               std::vector<Oid> types)
    : link_(std::move(link)), columns_(std::move(columns)), streaming_(streaming), decoded_(columns_.size()) {
    for (std::size_t i = 0; i < types.size(); ++i) kinds_.push_back(TypeForOid(types[i], -1).kind);
    if (first) pending_.push_back(first);
    if (streaming_) link_->streaming = this;
}

PgRows::~PgRows() {
    if (streaming_) {
        // Abandoned early: ask the server to stop sending rows nobody will read, then
        // take what is already on its way so that the connection is usable again.
        if (PGcancel* cancel = PQgetCancel(link_->connection)) {
            char error[256];
            PQcancel(cancel, error, sizeof error);
            PQfreeCancel(cancel);
        }
        while (PGresult* result = PQgetResult(link_->connection)) PQclear(result);
        EndStream();
    }
    PQclear(current_);
    for (PGresult* result : pending_) PQclear(result);
    PQclear(deferredError_);
}

void PgRows::EndStream() {
    streaming_ = false;
    if (link_->streaming == this) link_->streaming = nullptr;
}

// The next result of this query from the connection: a one-row result, or null at the
// end. A failure ends the stream and is thrown.
PGresult* PgRows::NextFromConnection() {
    while (streaming_) {
        PGresult* result = PQgetResult(link_->connection);
        if (result == nullptr) {
            EndStream();
            return nullptr;
        }
        ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_SINGLE_TUPLE) return result;
        if (status == PGRES_FATAL_ERROR) {
            while (PGresult* rest = PQgetResult(link_->connection)) PQclear(rest);
            EndStream();
            ThrowResultError(link_->connection, result);
        }
        // The zero-row result that closes the set, or results of statements that follow.
        PQclear(result);
    }
    return nullptr;
}

void PgRows::BufferRemaining() {
    while (streaming_) {
        PGresult* result = PQgetResult(link_->connection);
        if (result == nullptr) break;
        ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_SINGLE_TUPLE) {
            pending_.push_back(result);
        } else if (status == PGRES_FATAL_ERROR && deferredError_ == nullptr) {
            deferredError_ = result;
        } else {
            PQclear(result);
        }
    }
    EndStream();
}

bool PgRows::Fetch() {
    if (current_ && row_ + 1 < PQntuples(current_)) {
        ++row_;
        return true;
    }
    PQclear(current_);
    current_ = nullptr;
    row_ = -1;
    for (;;) {
        PGresult* next = nullptr;
        if (!pending_.empty()) {
            next = pending_.front();
            pending_.pop_front();
        } else if (deferredError_) {
            PGresult* error = deferredError_;
            deferredError_ = nullptr;
            ThrowResultError(link_->connection, error);
        } else {
            // Only a wait on the server counts against the command timeout, each fetch
            // anew: rows the host reads slowly are never cut off. A row libpq has already
            // received needs no watch (the usual case; a watch costs a cancel object).
            PGconn* connection = link_->connection;
            if (!PQisBusy(connection)) next = NextFromConnection();
            else next = Bounded(connection, link_->commandTimeout, [this] { return NextFromConnection(); });
            if (next == nullptr) return false;
        }
        if (PQntuples(next) > 0) {
            current_ = next;
            row_ = 0;
            return true;
        }
        PQclear(next);
    }
}

CellView PgRows::Cell(std::size_t column) {
    if (current_ == nullptr || column >= columns_.size()) return CellView{};
    return CellOfRow(column);
}

// The row store reads every cell of a row in one call: no check per cell of what holds
// for the whole row.
void PgRows::ReadRow(CellView* cells, std::size_t count) {
    if (current_ == nullptr) {
        for (std::size_t c = 0; c < count; ++c) cells[c] = CellView{};
        return;
    }
    for (std::size_t c = 0; c < count; ++c) cells[c] = c < columns_.size() ? CellOfRow(c) : CellView{};
}

// Only an empty value can be NULL (libpq gives a NULL the length 0), so most cells need
// no separate question for it.
CellView PgRows::CellOfRow(std::size_t column) {
    assert(current_ != nullptr && column < columns_.size());
    CellView cell;
    const int field = static_cast<int>(column);
    const int length = PQgetlength(current_, row_, field);
    if (length == 0 && PQgetisnull(current_, row_, field)) return cell;
    std::string_view text(PQgetvalue(current_, row_, field), static_cast<std::size_t>(length));
    switch (kinds_[column]) {
        case ValueKind::Integer:
            cell.kind = ValueKind::Integer;
            if (!IntegerFromText(text, &cell.integer))
                ThrowFailure(FailureKind::Conversion, "not an integer: " + std::string(text));
            break;
        case ValueKind::Boolean:
            cell.kind = ValueKind::Boolean;
            cell.integer = text == "t" ? 1 : 0;
            break;
        case ValueKind::Double:
            cell.kind = ValueKind::Double;
            if (!DoubleFromText(text, &cell.real))
                ThrowFailure(FailureKind::Conversion, "not a number: " + std::string(text));
            break;
        case ValueKind::Date:
            cell.kind = ValueKind::Date;
            if (!DateFromServerText(text, &cell.real))
                ThrowFailure(FailureKind::NotADate, "not a date: " + std::string(text));
            break;
        case ValueKind::Bytes:
            cell.kind = ValueKind::Bytes;
            if (text.size() >= 2 && text[0] == '\\' && text[1] == 'x') {
                if (!BytesFromHex(text.substr(2), &decoded_[column]))
                    ThrowFailure(FailureKind::Conversion, "malformed bytea value");
                cell.bytes = decoded_[column];
            } else {
                cell.bytes = text;
            }
            break;
        default:
            cell.kind = ValueKind::Text;
            cell.bytes = text;
            break;
    }
    return cell;
}

}  // namespace dbplatform::provider::postgresql
