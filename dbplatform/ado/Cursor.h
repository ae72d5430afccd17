// The cursor engine: one implementation of ADO's Recordset semantics over any provider.
//
// The cursor composes parts with one job each: its columns (CursorColumns), its
// position over the rows read so far and their reading (CursorNavigation over a
// RowStore), the edit of the current row (EditBuffer), the changes a batch cursor holds
// (BatchLog) and the writing of rows back (RowWriter). Writes go back immediately
// through the provider's InsertRow/UpdateRow/DeleteRow, or are held in the store until
// UpdateBatch in batch mode.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <dbplatform/ado/AdoEnums.h>
#include <dbplatform/ado/Provider.h>
#include <dbplatform/automation/Variant.h>

#include "BatchLog.h"
#include "CursorColumns.h"
#include "CursorNavigation.h"
#include "EditBuffer.h"
#include "RowStore.h"
#include "RowWriter.h"

namespace dbplatform::ado {

class TransactionState;

class Cursor {
public:
    struct Options {
        bool forwardOnly = false;
        LockTypeEnum lockType = adLockReadOnly;
        std::string sql;  // re-run when rows must be read after an early insert
        std::shared_ptr<const TransactionState> transaction;  // the connection's own transaction is open
    };

    Cursor(std::shared_ptr<provider::Session> session, std::unique_ptr<provider::ResultSet> rows, Options options);
    ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    // Fields: the columns the provider described, minus its row-identity columns.
    std::size_t FieldCount() const { return columns_.FieldCount(); }
    const provider::ColumnInfo& FieldInfo(std::size_t field) const { return columns_.Info(columns_.ColumnOfField(field)); }
    // A field by name (case-insensitive) or zero-based ordinal; 3265 when there is none.
    std::size_t FieldIndex(const VARIANT& index) const { return columns_.FieldIndex(index); }
    bool FieldWritable(std::size_t field) const { return columns_.Writable(columns_.ColumnOfField(field)); }

    bool Updatable() const { return columns_.Updatable(); }
    bool ForwardOnly() const { return navigation_.ForwardOnly(); }
    bool BatchMode() const { return columns_.Batch(); }
    LockTypeEnum LockType() const { return lockType_; }

    long RecordCount();
    bool Bof();
    bool Eof();
    long AbsolutePosition();
    void SetAbsolutePosition(long position);
    void GetBookmark(VARIANT* out);
    void SetBookmark(const VARIANT& bookmark);

    void MoveFirst();
    void MoveNext();
    void MovePrevious();
    void MoveLast();
    void Move(long records, const VARIANT& start);
    bool Supports(long options);

    void AddNew();
    void Update();
    void CancelUpdate();
    void Delete(AffectEnum affect);
    void UpdateBatch();
    void CancelBatch();
    EditModeEnum EditMode();
    // Drops a pending edit without saving it (the recordset is being released).
    void DiscardEdit();

    void GetValue(std::size_t field, VARIANT* out);
    // GetValue, except that a text the field reads as a BSTR stays where the store keeps
    // it: true with `text` viewing its UTF-8 bytes, else false with `out` as GetValue fills it.
    bool ReadInPlace(std::size_t field, VARIANT* out, std::string_view* text);
    void PutValue(std::size_t field, const VARIANT& value);
    void GetOriginalValue(std::size_t field, VARIANT* out);
    long ActualSize(std::size_t field);
    void GetChunk(std::size_t field, long length, VARIANT* out);
    void AppendChunk(std::size_t field, const VARIANT& data);

private:
    void SaveBeforeMove();
    void RequireUpdatable() const;
    // Before a value is set: the cursor can write it, and there is a row to set it on.
    std::size_t WritableColumn(std::size_t field);
    std::vector<provider::ColumnWrite> PendingWrites(std::size_t row, bool withOriginals) const;
    void InsertPending();
    // Shows the values the database stored in the row this cursor inserted last, where
    // the provider left reading them until the row is looked at. Every method that reads
    // a value or a position, moves, or writes calls it first, so no other work on the
    // cursor comes between the insert and the read (the row's number still holds).
    void ReadInsertedRowIfPending() {
        if (insertedRowToRead_) ReadInsertedRow();
    }
    void ReadInsertedRow();
    void UpdatePending();
    void DeleteRow(std::size_t row);
    provider::Value CurrentValue(std::size_t column);

    std::shared_ptr<provider::Session> session_;
    std::string sql_;
    std::shared_ptr<const TransactionState> transaction_;
    LockTypeEnum lockType_;
    CursorColumns columns_;
    CursorNavigation navigation_;
    RowWriter writer_;
    EditBuffer edit_;
    BatchLog batchLog_;
    struct InsertedRowToRead {
        std::size_t row;
        StoredRowReader read;
    };
    std::optional<InsertedRowToRead> insertedRowToRead_;
};

}  // namespace dbplatform::ado
