// The cursor engine: one implementation of ADO's Recordset semantics over any provider.
//
// A static cursor reads its rows lazily into a RowStore, only as far as a move or a
// read needs them, so that RecordCount is exact once asked for and an insert into an
// untouched cursor costs one INSERT. A forward-only cursor keeps only the current row.
// Writes go back immediately through the provider's InsertRow/UpdateRow/DeleteRow, or
// are held in the store until UpdateBatch in batch mode.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <dbplatform/ado/AdoEnums.h>
#include <dbplatform/ado/Provider.h>
#include <dbplatform/automation/Variant.h>

#include "RowStore.h"

namespace dbplatform::ado {

class TransactionState;

class Cursor {
public:
    struct Options {
        bool forwardOnly = false;
        LockTypeEnum lockType = adLockReadOnly;
        std::string sql;  // re-run when rows must be read after an early insert
        std::shared_ptr<const TransactionState> transaction;  // the connection's own transaction
    };

    Cursor(std::shared_ptr<provider::Session> session, std::unique_ptr<provider::ResultSet> rows, Options options);
    ~Cursor();

    // Fields: the columns the provider described, minus its row-identity columns.
    std::size_t FieldCount() const { return fields_.size(); }
    const provider::ColumnInfo& FieldInfo(std::size_t field) const { return columns_[fields_[field]]; }
    // A field by name (case-insensitive) or zero-based ordinal; 3265 when there is none.
    std::size_t FieldIndex(const VARIANT& index) const;
    bool FieldWritable(std::size_t field) const;

    bool Updatable() const { return updatable_; }
    bool ForwardOnly() const { return forwardOnly_; }
    bool BatchMode() const { return batch_; }
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
    void PutValue(std::size_t field, const VARIANT& value);
    void GetOriginalValue(std::size_t field, VARIANT* out);
    long ActualSize(std::size_t field);
    void GetChunk(std::size_t field, long length, VARIANT* out);
    void AppendChunk(std::size_t field, const VARIANT& data);

private:
    enum class Where { Unresolved, Bof, Row, Eof };
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    struct BatchChange {
        std::vector<provider::Value> originals;  // the whole row as read (empty for new rows)
        std::vector<bool> changed;
    };

    // Reading rows.
    bool FetchOne();
    void EnsureRows(std::size_t count);
    void FetchAll();
    void RefetchIfNeeded();
    void PrepareForWrite();
    std::string LocatorKey(const RowStore& store, std::size_t row) const;

    // Positions.
    bool Deleted(std::size_t row) const { return store_.Flags(row) & RowStore::kDeleted; }
    std::size_t NextVisible(std::ptrdiff_t from);
    std::ptrdiff_t PrevVisible(std::ptrdiff_t from);
    std::size_t FirstVisible() { return NextVisible(-1); }
    std::ptrdiff_t LastVisible();
    std::size_t StepForward(std::ptrdiff_t from, long count);
    std::ptrdiff_t StepBackward(std::ptrdiff_t from, long count);
    bool Empty();
    void Resolve();
    void SetRow(std::size_t row);
    void SetBof();
    void SetEof();
    void SaveBeforeMove();
    void ForwardAdvance(long count);
    void RequireStatic() const;
    void RequireUpdatable() const;
    void RequireCurrentRow();

    // Writing.
    std::size_t ColumnOfField(std::size_t field) const { return fields_[field]; }
    std::string WriteName(std::size_t column) const;
    std::optional<std::size_t> ColumnByWriteName(const std::string& name) const;
    provider::RowLocator LocatorOf(std::size_t row, const BatchChange* change) const;
    void ApplyLocator(std::size_t row, const provider::RowLocator& locator);
    std::vector<provider::ColumnWrite> PendingWrites(std::size_t row, bool withOriginals) const;
    void InsertPending();
    void UpdatePending();
    void DeleteRow(std::size_t row);
    void EndEdit();
    provider::Value CurrentValue(std::size_t column);

    std::shared_ptr<provider::Session> session_;
    std::unique_ptr<provider::ResultSet> rows_;
    bool exhausted_ = false;
    bool needRefetch_ = false;
    std::string sql_;
    std::shared_ptr<const TransactionState> transaction_;

    std::vector<provider::ColumnInfo> columns_;
    std::vector<std::size_t> fields_;
    std::vector<std::u16string> foldedNames_;  // per field, for name lookup without conversions
    std::vector<std::size_t> locatorColumns_;
    std::vector<bool> writable_;  // per column
    std::vector<VARTYPE> readTypes_;  // per column, the VARIANT type its values read as
    std::string table_;
    bool updatable_ = false;
    bool forwardOnly_ = false;
    bool batch_ = false;
    LockTypeEnum lockType_ = adLockReadOnly;

    RowStore store_;
    RowStore spare_;  // the forward-only walk alternates between two one-row stores
    std::size_t deletedCount_ = 0;
    bool forwardEmpty_ = false;
    std::size_t forwardPassed_ = 0;  // rows a forward-only cursor has moved past

    Where where_ = Where::Unresolved;
    std::size_t row_ = 0;

    EditModeEnum editMode_ = adEditNone;
    bool adding_ = false;
    Where beforeAddWhere_ = Where::Unresolved;
    std::size_t beforeAddRow_ = 0;
    std::vector<std::optional<provider::Value>> pending_;  // per column
    std::vector<bool> appendStarted_;                       // per column, in this edit
    std::vector<std::size_t> chunkOffsets_;                 // per column, on this row

    std::unordered_map<std::size_t, BatchChange> batchChanges_;
};

}  // namespace dbplatform::ado
