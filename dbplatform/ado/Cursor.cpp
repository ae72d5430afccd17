#include "Cursor.h"

#include <cassert>

#include <dbplatform/base/Diagnostics.h>
#include <dbplatform/com/ComError.h>

#include "AdoErrors.h"
#include "TransactionState.h"

namespace dbplatform::ado {

using provider::ColumnWrite;
using provider::RowLocator;
using provider::Value;

// The parts share the column list; rows a late read puts in front of the store move
// the row numbers the edit and the batch log keep.
Cursor::Cursor(std::shared_ptr<provider::Session> session, std::unique_ptr<provider::ResultSet> rows, Options options)
    : session_(std::move(session)),
      sql_(std::move(options.sql)),
      transaction_(std::move(options.transaction)),
      lockType_(options.lockType),
      columns_(rows->Columns(), options.lockType),
      navigation_(session_, std::move(rows), sql_, columns_, options.forwardOnly),
      writer_(session_, columns_),
      edit_(columns_.Count()),
      batchLog_(columns_, navigation_) {
    navigation_.OnRowsInFront([this](std::size_t count) {
        batchLog_.RowsInFront(count);
        edit_.RowsInFront(count);
        if (insertedRowToRead_) insertedRowToRead_->row += count;
    });
}

Cursor::~Cursor() = default;

// ---- Positions ----------------------------------------------------------------

// Moving off a row with pending changes saves them, as ADO does. Every move passes
// here before it computes a row number: rows read late (after an early insert) go in
// front of the inserted ones, so the numbers must be settled first.
void Cursor::SaveBeforeMove() {
    if (edit_.Active()) Update();
    navigation_.RefetchIfNeeded();
}

void Cursor::RequireUpdatable() const {
    if (!columns_.Updatable()) RaiseNotUpdatable();
}

// During an AddNew the new row is neither at BOF nor at EOF, and has no position.
bool Cursor::Bof() {
    ReadInsertedRowIfPending();
    return !edit_.Adding() && navigation_.Bof();
}

bool Cursor::Eof() {
    ReadInsertedRowIfPending();
    return !edit_.Adding() && navigation_.Eof();
}

long Cursor::RecordCount() {
    ReadInsertedRowIfPending();
    return navigation_.RecordCount();
}

long Cursor::AbsolutePosition() {
    ReadInsertedRowIfPending();
    if (edit_.Adding()) return adPosUnknown;
    return navigation_.AbsolutePosition();
}

void Cursor::SetAbsolutePosition(long position) {
    ReadInsertedRowIfPending();
    navigation_.RequireStatic();
    navigation_.Resolve();
    SaveBeforeMove();
    navigation_.MoveToPosition(position);
}

void Cursor::GetBookmark(VARIANT* out) {
    ReadInsertedRowIfPending();
    navigation_.RequireStatic();
    if (edit_.Adding()) RaiseAdo(adErrNoCurrentRecordHr);
    double bookmark = navigation_.Bookmark();
    out->vt = VT_R8;
    out->dblVal = bookmark;
}

void Cursor::SetBookmark(const VARIANT& bookmark) {
    ReadInsertedRowIfPending();
    navigation_.RequireStatic();
    navigation_.Resolve();
    SaveBeforeMove();
    navigation_.MoveToBookmark(bookmark);
}

void Cursor::MoveFirst() {
    ReadInsertedRowIfPending();
    navigation_.Resolve();
    SaveBeforeMove();
    navigation_.MoveFirst();
}

void Cursor::MoveNext() {
    ReadInsertedRowIfPending();
    navigation_.Resolve();
    SaveBeforeMove();
    navigation_.MoveNext();
}

void Cursor::MovePrevious() {
    ReadInsertedRowIfPending();
    navigation_.Resolve();
    SaveBeforeMove();
    navigation_.MovePrevious();
}

void Cursor::MoveLast() {
    ReadInsertedRowIfPending();
    navigation_.Resolve();
    SaveBeforeMove();
    navigation_.MoveLast();
}

void Cursor::Move(long records, const VARIANT& start) {
    ReadInsertedRowIfPending();
    navigation_.Resolve();
    SaveBeforeMove();
    navigation_.Move(records, start);
}

bool Cursor::Supports(long options) {
    long supported = 0;
    if (!navigation_.ForwardOnly()) supported |= adMovePrevious | adBookmark | adApproxPosition | adHoldRecords;
    if (columns_.Updatable()) supported |= adAddNew | adDelete | adUpdate | adUpdateBatch;
    return (supported & options) == options;
}

// ---- Editing ------------------------------------------------------------------

EditModeEnum Cursor::EditMode() {
    if (edit_.Active()) return edit_.Mode();
    if (navigation_.OnRow() && navigation_.Deleted(navigation_.Row())) return adEditDelete;
    return adEditNone;
}

void Cursor::DiscardEdit() {
    if (edit_.Adding()) navigation_.Restore(edit_.AddedFrom());
    edit_.End();
}

void Cursor::AddNew() {
    ReadInsertedRowIfPending();
    RequireUpdatable();
    if (edit_.Active()) Update();
    edit_.BeginAdd(navigation_.Current());
}

void Cursor::CancelUpdate() {
    if (!edit_.Active()) return;
    DiscardEdit();
}

std::vector<ColumnWrite> Cursor::PendingWrites(std::size_t row, bool withOriginals) const {
    std::vector<ColumnWrite> writes;
    for (std::size_t c = 0; c < columns_.Count(); ++c) {
        const std::optional<Value>& pending = edit_.Pending(c);
        if (!pending || !columns_.Writable(c)) continue;
        ColumnWrite write;
        write.column = columns_.WriteName(c);
        write.type = columns_.Type(c);
        write.value = *pending;
        if (withOriginals) write.original = navigation_.Store().GetValue(row, c);
        writes.push_back(std::move(write));
    }
    return writes;
}

// Inserts the new row with the columns that were set (the database fills the others)
// and appends it to the cursor, where it stays current.
void Cursor::InsertPending() {
    DiagnosticScope scope("ADODB.Recordset", "AddNew", sql_);
    std::vector<std::optional<Value>> pending(columns_.Count());
    for (std::size_t c = 0; c < columns_.Count(); ++c) pending[c] = edit_.Pending(c);
    if (columns_.Batch()) {
        std::size_t row = batchLog_.HoldNew(pending);
        edit_.End();
        navigation_.SetRow(row);
        return;
    }
    navigation_.PrepareForWrite();
    StoredRowReader storedLater;
    RowLocator locator = writer_.Insert(PendingWrites(0, false), &storedLater);
    std::vector<Value> values(columns_.Count());
    for (std::size_t c = 0; c < columns_.Count(); ++c)
        if (pending[c]) values[c] = *pending[c];
    std::size_t row = navigation_.AppendRow(values, 0);
    writer_.ApplyLocator(navigation_.Store(), row, locator);
    edit_.End();
    navigation_.SetRow(row);
    assert(!insertedRowToRead_);
    if (storedLater) insertedRowToRead_ = InsertedRowToRead{row, std::move(storedLater)};
}

// A failed read is reported once, by the call that needed it; the row keeps the values
// written, which is what the cursor shows where the row is gone, too.
void Cursor::ReadInsertedRow() {
    assert(insertedRowToRead_);
    InsertedRowToRead pending = std::move(*insertedRowToRead_);
    insertedRowToRead_.reset();
    DiagnosticScope scope("ADODB.Recordset", "Update", sql_);
    RowLocator stored{pending.read()};
    if (!stored.columns.empty()) writer_.ApplyLocator(navigation_.Store(), pending.row, stored);
}

// Updates the changed columns of the current row, located by its locator and the
// original values of those columns; nothing in the cursor changes unless exactly one
// row in the database did.
void Cursor::UpdatePending() {
    DiagnosticScope scope("ADODB.Recordset", "Update", sql_);
    if (columns_.Batch()) {
        std::vector<std::optional<Value>> pending(columns_.Count());
        for (std::size_t c = 0; c < columns_.Count(); ++c) pending[c] = edit_.Pending(c);
        batchLog_.HoldUpdate(navigation_.Row(), pending);
        edit_.End();
        return;
    }
    navigation_.PrepareForWrite();
    std::size_t row = navigation_.Row();  // a re-read may have moved the row in the store
    std::vector<ColumnWrite> writes = PendingWrites(row, true);
    if (!writes.empty()) {
        RowLocator locator = writer_.LocatorOf(navigation_.Store(), row, nullptr);
        writer_.Update(writes, locator);
        for (std::size_t c = 0; c < columns_.Count(); ++c)
            if (edit_.Pending(c)) navigation_.Store().SetCell(row, c, edit_.Pending(c)->View());
        writer_.ApplyLocator(navigation_.Store(), row, locator);
    }
    edit_.End();
}

void Cursor::Update() {
    ReadInsertedRowIfPending();
    if (!edit_.Active()) return;
    RequireUpdatable();
    if (edit_.Adding()) InsertPending();
    else UpdatePending();
}

void Cursor::DeleteRow(std::size_t row) {
    DiagnosticScope scope("ADODB.Recordset", "Delete", sql_);
    if (columns_.Batch()) return batchLog_.HoldDelete(row);
    writer_.Delete(writer_.LocatorOf(navigation_.Store(), row, nullptr));
    navigation_.SetFlags(row, navigation_.Store().Flags(row) | RowStore::kDeleted);
}

// Deletes the current row (which stays current, marked deleted, until the cursor
// moves) or every row of the cursor.
void Cursor::Delete(AffectEnum affect) {
    ReadInsertedRowIfPending();
    RequireUpdatable();
    if (affect == adAffectGroup) RaiseAdo(adErrFeatureNotAvailableHr);
    if (affect != adAffectCurrent && affect != adAffectAll && affect != adAffectAllChapters)
        RaiseAdo(adErrInvalidArgumentHr);
    if (edit_.Adding()) {
        // The new row was never saved: deleting it is dropping it.
        DiscardEdit();
        return;
    }
    if (affect == adAffectCurrent) {
        navigation_.RequireCurrentRow();
        edit_.End();
        if (!columns_.Batch()) navigation_.PrepareForWrite();
        DeleteRow(navigation_.Row());
        return;
    }
    edit_.End();
    if (!navigation_.ForwardOnly()) navigation_.FetchAll();
    for (std::size_t r = 0; r < navigation_.Store().RowCount(); ++r)
        if (!navigation_.Deleted(r)) DeleteRow(r);
}

// Sends every held change in one transaction (unless the connection already has one
// open, which then decides). The cursor changes only after the commit.
void Cursor::UpdateBatch() {
    ReadInsertedRowIfPending();
    DiagnosticScope scope("ADODB.Recordset", "UpdateBatch", sql_);
    if (edit_.Active()) Update();
    if (!columns_.Batch()) return;
    if (!batchLog_.AnyHeld()) return;
    navigation_.PrepareForWrite();
    bool ownTransaction = !(transaction_ && transaction_->Open());
    BatchLog::Located located;
    if (ownTransaction) session_->BeginTransaction();
    try {
        located = batchLog_.Send(writer_);
        if (ownTransaction) session_->CommitTransaction();
    } catch (...) {
        if (ownTransaction) {
            try {
                session_->RollbackTransaction();
            } catch (...) {
            }
        }
        throw;
    }
    batchLog_.Settle(located, writer_);
}

void Cursor::CancelBatch() {
    ReadInsertedRowIfPending();
    if (edit_.Active()) DiscardEdit();
    if (!columns_.Batch()) return;
    batchLog_.Cancel();
}

}  // namespace dbplatform::ado
