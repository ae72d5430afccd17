// Where a cursor stands over its rows, and the reading of those rows.
//
// A static cursor reads its rows lazily into a RowStore, only as far as a move or a
// read needs them, so that RecordCount is exact once asked for and an insert into an
// untouched cursor costs one INSERT. A forward-only cursor keeps only the current row,
// alternating between two one-row stores. Rows deleted from the cursor stay in the
// store, flagged, and every move passes over them.
//
// Invariants, checked after each change in debug builds:
//   - a current row is a row of the store;
//   - `deletedCount_` is the number of rows flagged deleted;
//   - once the provider's rows are exhausted the result set is gone, and a pending
//     re-read implies they are exhausted;
//   - only a forward-only cursor is ever "empty from the start" or has passed rows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <dbplatform/ado/Provider.h>
#include <dbplatform/automation/Variant.h>

#include "CursorColumns.h"
#include "RowStore.h"

namespace dbplatform::ado {

class CursorNavigation {
public:
    enum class Where { Unresolved, Bof, Row, Eof };
    struct Position {
        Where where = Where::Unresolved;
        std::size_t row = 0;
    };
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    CursorNavigation(std::shared_ptr<provider::Session> session, std::unique_ptr<provider::ResultSet> rows,
                     std::string sql, const CursorColumns& columns, bool forwardOnly);
    ~CursorNavigation();
    CursorNavigation(const CursorNavigation&) = delete;
    CursorNavigation& operator=(const CursorNavigation&) = delete;

    // Told how many rows a late read put in front of the store, so that row numbers
    // kept elsewhere (held batch changes, the row an AddNew left) follow.
    void OnRowsInFront(std::function<void(std::size_t)> shift) { rowsInFront_ = std::move(shift); }

    bool ForwardOnly() const { return forwardOnly_; }
    const RowStore& Store() const { return store_; }
    // Cells may be rewritten through this; flags only through SetFlags.
    RowStore& Store() { return store_; }
    bool Deleted(std::size_t row) const { return store_.Flags(row) & RowStore::kDeleted; }
    // Sets a row's flags, keeping the count of deleted rows.
    void SetFlags(std::size_t row, std::uint8_t flags);
    // Appends a row (after every row the query has, for a static cursor) and returns it.
    std::size_t AppendRow(const std::vector<provider::Value>& values, std::uint8_t flags);

    Position Current() const { return Position{where_, row_}; }
    bool OnRow() const { return where_ == Where::Row; }
    // On a row that is not deleted; without a deleted row in the store the row's flags
    // are not read (a walk asks this for every field it reads).
    bool OnVisibleRow() const { return where_ == Where::Row && (deletedCount_ == 0 || !Deleted(row_)); }
    std::size_t Row() const { return row_; }
    // Changes whenever the position does: chunk reads restart on a new position.
    std::uint64_t PositionStamp() const { return positionStamp_; }
    void Restore(Position position);
    void SetRow(std::size_t row);

    // The first row is found on first need, not at Open.
    void Resolve();
    void RefetchIfNeeded();
    void FetchAll();
    void PrepareForWrite();
    void RequireStatic() const;
    void RequireCurrentRow();

    long RecordCount();
    bool Bof();
    bool Eof();
    long AbsolutePosition();
    double Bookmark();
    void MoveToPosition(long position);
    void MoveToBookmark(const VARIANT& bookmark);
    void MoveFirst();
    void MoveNext();
    void MovePrevious();
    void MoveLast();
    void Move(long records, const VARIANT& start);

private:
    bool FetchInto(RowStore& target);
    bool FetchOne() { return FetchInto(store_); }
    void EnsureRows(std::size_t count);
    std::string LocatorKey(const RowStore& store, std::size_t row) const;
    std::size_t BookmarkRow(const VARIANT& bookmark);

    std::size_t NextVisible(std::ptrdiff_t from);
    std::ptrdiff_t PrevVisible(std::ptrdiff_t from);
    std::size_t FirstVisible() { return NextVisible(-1); }
    std::ptrdiff_t LastVisible();
    std::ptrdiff_t PastTheEnd();
    std::size_t StepForward(std::ptrdiff_t from, long count);
    std::ptrdiff_t StepBackward(std::ptrdiff_t from, long count);
    bool Empty();
    void SetBof();
    void SetEof();
    void ForwardAdvance(long count);
    void CheckInvariants() const;

    // Reading.
    std::shared_ptr<provider::Session> session_;
    std::unique_ptr<provider::ResultSet> rows_;
    std::string sql_;  // re-run when rows must be read after an early insert
    const CursorColumns& columns_;
    bool forwardOnly_;
    bool exhausted_ = false;
    bool needRefetch_ = false;
    std::function<void(std::size_t)> rowsInFront_;

    // The rows.
    RowStore store_;
    RowStore spare_;  // the forward-only walk alternates between two one-row stores
    std::size_t deletedCount_ = 0;
    bool forwardEmpty_ = false;
    std::size_t forwardPassed_ = 0;  // rows a forward-only cursor has moved past

    // The position.
    Where where_ = Where::Unresolved;
    std::size_t row_ = 0;
    std::uint64_t positionStamp_ = 0;
};

}  // namespace dbplatform::ado
