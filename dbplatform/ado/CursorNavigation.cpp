#include "CursorNavigation.h"

#include <cassert>
#include <cstring>
#include <limits>
#include <unordered_set>

#include <dbplatform/automation/VariantArgument.h>
#include <dbplatform/base/Diagnostics.h>

#include "AdoErrors.h"
#include "WholeIndex.h"

namespace dbplatform::ado {

using provider::CellView;
using provider::ValueKind;

CursorNavigation::CursorNavigation(std::shared_ptr<provider::Session> session,
                                   std::unique_ptr<provider::ResultSet> rows, std::string sql,
                                   const CursorColumns& columns, bool forwardOnly)
    : session_(std::move(session)),
      rows_(std::move(rows)),
      sql_(std::move(sql)),
      columns_(columns),
      forwardOnly_(forwardOnly),
      store_(columns.Count()),
      spare_(columns.Count()) {}

CursorNavigation::~CursorNavigation() {
    // The result set may refer to the session's handle: it goes first.
    rows_.reset();
}

void CursorNavigation::CheckInvariants() const {
#ifndef NDEBUG
    assert(where_ != Where::Row || row_ < store_.RowCount());
    assert(deletedCount_ <= store_.RowCount());
    assert(!exhausted_ || !rows_);
    assert(!needRefetch_ || exhausted_);
    assert(forwardOnly_ || (!forwardEmpty_ && forwardPassed_ == 0));
    // The full recount only while it is cheap: a store of one block.
    if (store_.RowCount() <= 1024) {
        std::size_t deleted = 0;
        for (std::size_t r = 0; r < store_.RowCount(); ++r) deleted += Deleted(r) ? 1 : 0;
        assert(deleted == deletedCount_);
    }
#endif
}

void CursorNavigation::SetFlags(std::size_t row, std::uint8_t flags) {
    bool wasDeleted = Deleted(row);
    store_.SetFlags(row, flags);
    bool isDeleted = Deleted(row);
    if (isDeleted && !wasDeleted) ++deletedCount_;
    else if (wasDeleted && !isDeleted) --deletedCount_;
    CheckInvariants();
}

std::size_t CursorNavigation::AppendRow(const std::vector<provider::Value>& values, std::uint8_t flags) {
    assert(values.size() == store_.ColumnCount());
    store_.AppendValues(values);
    std::size_t row = store_.RowCount() - 1;
    SetFlags(row, flags);
    return row;
}

// ---- Reading rows -------------------------------------------------------------

// Appends the provider's next row to `target`. The statement is freed as soon as it
// has no more rows.
bool CursorNavigation::FetchInto(RowStore& target) {
    DiagnosticScope scope("ADODB.Recordset", "Fetch", sql_);
    if (!rows_ || exhausted_) return false;
    if (!rows_->Fetch()) {
        exhausted_ = true;
        rows_.reset();
        return false;
    }
    target.AppendFrom(*rows_);
    return true;
}

void CursorNavigation::EnsureRows(std::size_t count) {
    RefetchIfNeeded();
    while (store_.RowCount() < count && FetchOne()) {
    }
}

void CursorNavigation::FetchAll() {
    RefetchIfNeeded();
    while (FetchOne()) {
    }
}

// A value-exact key of a row's locator, to recognise rows this cursor inserted itself
// when the query is read after the inserts.
std::string CursorNavigation::LocatorKey(const RowStore& store, std::size_t row) const {
    std::string key;
    for (std::size_t c : columns_.LocatorColumns()) {
        CellView cell = store.Cell(row, c);
        key += static_cast<char>(cell.kind);
        switch (cell.kind) {
            case ValueKind::Null: break;
            case ValueKind::Integer:
            case ValueKind::Boolean: key += std::to_string(cell.integer); break;
            case ValueKind::Double:
            case ValueKind::Date: {
                char bits[8];
                std::memcpy(bits, &cell.real, 8);
                key.append(bits, 8);
                break;
            }
            case ValueKind::Text:
            case ValueKind::Bytes:
                key += std::to_string(cell.bytes.size());
                key += ':';
                key += cell.bytes;
                break;
        }
        key += '\x1f';
    }
    return key;
}

// Rows were added to a cursor nobody had read yet (its statement was dropped so that
// the insert did not have to read the table). Now that rows are wanted, the query runs
// again; its rows come first, followed by the rows added here, which it skips.
void CursorNavigation::RefetchIfNeeded() {
    if (!needRefetch_) return;
    DiagnosticScope scope("ADODB.Recordset", "Requery", sql_);
    needRefetch_ = false;
    provider::ExecuteOptions options;
    options.forUpdate = true;
    provider::CommandResult result = session_->Execute(sql_, options);
    RowStore fresh(columns_.Count());
    if (result.rows) {
        std::unordered_set<std::string> known;
        for (std::size_t r = 0; r < store_.RowCount(); ++r) known.insert(LocatorKey(store_, r));
        RowStore probe(columns_.Count());
        while (result.rows->Fetch()) {
            probe.Clear();
            probe.AppendFrom(*result.rows);
            if (known.count(LocatorKey(probe, 0))) continue;
            fresh.AppendRowOf(probe, 0);
        }
    }
    result.rows.reset();
    std::size_t offset = fresh.RowCount();
    for (std::size_t r = 0; r < store_.RowCount(); ++r) fresh.AppendRowOf(store_, r);
    store_ = std::move(fresh);
    if (where_ == Where::Row) row_ += offset;
    exhausted_ = true;
    if (rowsInFront_) rowsInFront_(offset);
    CheckInvariants();
}

// Before a write, the provider's statement must not be left half read: some engines
// cannot run a second statement while one is streaming. A cursor nobody has read drops
// its statement (and reads the query again if rows are wanted later); one partly read
// reads the rest now. A forward-only cursor keeps streaming.
void CursorNavigation::PrepareForWrite() {
    if (forwardOnly_ || exhausted_ || !rows_) return;
    if (store_.RowCount() == 0) {
        rows_.reset();
        exhausted_ = true;
        needRefetch_ = true;
        return;
    }
    FetchAll();
}

// ---- Positions ----------------------------------------------------------------

std::size_t CursorNavigation::NextVisible(std::ptrdiff_t from) {
    std::size_t row = static_cast<std::size_t>(from + 1);
    for (;;) {
        if (row >= store_.RowCount()) {
            EnsureRows(row + 1);
            if (row >= store_.RowCount()) return npos;
        }
        if (!Deleted(row)) return row;
        ++row;
    }
}

std::ptrdiff_t CursorNavigation::PrevVisible(std::ptrdiff_t from) {
    std::ptrdiff_t row = from - 1;
    while (row >= 0 && Deleted(static_cast<std::size_t>(row))) --row;
    return row;
}

// The place after the last row, once every row is read.
std::ptrdiff_t CursorNavigation::PastTheEnd() {
    FetchAll();
    return static_cast<std::ptrdiff_t>(store_.RowCount());
}

std::ptrdiff_t CursorNavigation::LastVisible() { return PrevVisible(PastTheEnd()); }

std::size_t CursorNavigation::StepForward(std::ptrdiff_t from, long count) {
    if (deletedCount_ == 0) {
        long long target = static_cast<long long>(from) + count;
        EnsureRows(static_cast<std::size_t>(target) + 1);
        return static_cast<std::size_t>(target) < store_.RowCount() ? static_cast<std::size_t>(target) : npos;
    }
    std::size_t row = npos;
    for (long i = 0; i < count; ++i) {
        row = NextVisible(from);
        if (row == npos) return npos;
        from = static_cast<std::ptrdiff_t>(row);
    }
    return row;
}

std::ptrdiff_t CursorNavigation::StepBackward(std::ptrdiff_t from, long count) {
    if (deletedCount_ == 0) {
        long long target = static_cast<long long>(from) - count;
        return target >= 0 ? static_cast<std::ptrdiff_t>(target) : -1;
    }
    std::ptrdiff_t row = from;
    for (long i = 0; i < count; ++i) {
        row = PrevVisible(row);
        if (row < 0) return -1;
    }
    return row;
}

bool CursorNavigation::Empty() {
    if (forwardOnly_) return forwardEmpty_;
    return FirstVisible() == npos;
}

void CursorNavigation::Resolve() {
    if (where_ != Where::Unresolved) return;
    if (forwardOnly_) {
        if (FetchOne()) SetRow(store_.RowCount() - 1);
        else {
            forwardEmpty_ = true;
            SetBof();
        }
        return;
    }
    std::size_t first = FirstVisible();
    if (first == npos) SetBof();
    else SetRow(first);
}

void CursorNavigation::SetRow(std::size_t row) {
    where_ = Where::Row;
    row_ = row;
    ++positionStamp_;
    CheckInvariants();
}

void CursorNavigation::SetBof() {
    where_ = Where::Bof;
    ++positionStamp_;
}

void CursorNavigation::SetEof() {
    where_ = Where::Eof;
    ++positionStamp_;
}

void CursorNavigation::Restore(Position position) {
    where_ = position.where;
    row_ = position.row;
    ++positionStamp_;
    CheckInvariants();
}

void CursorNavigation::RequireStatic() const {
    if (forwardOnly_) RaiseAdo(adErrFeatureNotAvailableHr);
}

void CursorNavigation::RequireCurrentRow() {
    Resolve();
    if (where_ != Where::Row) RaiseAdo(adErrNoCurrentRecordHr);
    if (Deleted(row_)) RaiseAdo(DB_E_DELETEDROW);
}

bool CursorNavigation::Bof() {
    Resolve();
    return where_ == Where::Bof || (where_ == Where::Eof && Empty());
}

bool CursorNavigation::Eof() {
    Resolve();
    return where_ == Where::Eof || (where_ == Where::Bof && Empty());
}

long CursorNavigation::RecordCount() {
    if (forwardOnly_) return -1;
    FetchAll();
    return static_cast<long>(store_.RowCount() - deletedCount_);
}

long CursorNavigation::AbsolutePosition() {
    if (forwardOnly_) return adPosUnknown;
    RefetchIfNeeded();
    Resolve();
    if (where_ == Where::Bof) return adPosBOF;
    if (where_ == Where::Eof) return adPosEOF;
    if (Deleted(row_)) return adPosUnknown;
    if (deletedCount_ == 0) return static_cast<long>(row_ + 1);
    long position = 1;
    for (std::size_t r = 0; r < row_; ++r)
        if (!Deleted(r)) ++position;
    return position;
}

void CursorNavigation::MoveToPosition(long position) {
    if (position < 1) RaiseAdo(adErrInvalidArgumentHr);
    std::size_t row = StepForward(-1, position);
    if (row == npos) RaiseAdo(adErrInvalidArgumentHr);
    SetRow(row);
}

// Bookmarks of a static cursor are the row's place in the store plus one, as a double
// (what client cursors hand out); they stay valid across deletes and inserts.
double CursorNavigation::Bookmark() {
    RequireStatic();
    RefetchIfNeeded();
    RequireCurrentRow();
    return static_cast<double>(row_ + 1);
}

// The row a bookmark names; refused unless it is a row of this cursor not deleted.
std::size_t CursorNavigation::BookmarkRow(const VARIANT& bookmark) {
    RequireStatic();
    VARIANT number;
    VariantInit(&number);
    if (FAILED(VariantChangeType(&number, &bookmark, 0, VT_R8))) RaiseAdo(adErrInvalidArgumentHr);
    long long whole = WholeIndex(number.dblVal);
    if (whole < 1) RaiseAdo(adErrInvalidArgumentHr);
    std::size_t row = static_cast<std::size_t>(whole) - 1;
    EnsureRows(row + 1);
    if (row >= store_.RowCount() || Deleted(row)) RaiseAdo(adErrInvalidArgumentHr);
    return row;
}

void CursorNavigation::MoveToBookmark(const VARIANT& bookmark) { SetRow(BookmarkRow(bookmark)); }

void CursorNavigation::ForwardAdvance(long count) {
    for (long i = 0; i < count; ++i) {
        store_.Clear();
        deletedCount_ = 0;
        if (!FetchOne()) {
            SetEof();
            return;
        }
        ++forwardPassed_;
        SetRow(0);
    }
}

void CursorNavigation::MoveFirst() {
    if (forwardOnly_) {
        if (forwardEmpty_) RaiseAdo(adErrNoCurrentRecordHr);
        if (where_ == Where::Row && forwardPassed_ == 0 && row_ == 0) return;
        RaiseAdo(DB_E_CANTFETCHBACKWARDS);
    }
    std::size_t first = FirstVisible();
    if (first == npos) RaiseAdo(adErrNoCurrentRecordHr);
    SetRow(first);
}

void CursorNavigation::MoveNext() {
    if (where_ == Where::Eof) RaiseAdo(adErrNoCurrentRecordHr);
    if (where_ == Where::Bof && Empty()) RaiseAdo(adErrNoCurrentRecordHr);
    if (forwardOnly_) return ForwardAdvance(1);
    std::size_t next = NextVisible(where_ == Where::Bof ? -1 : static_cast<std::ptrdiff_t>(row_));
    if (next == npos) SetEof();
    else SetRow(next);
}

void CursorNavigation::MovePrevious() {
    if (forwardOnly_) RaiseAdo(DB_E_CANTFETCHBACKWARDS);
    if (where_ == Where::Bof) RaiseAdo(adErrNoCurrentRecordHr);
    if (where_ == Where::Eof && Empty()) RaiseAdo(adErrNoCurrentRecordHr);
    std::ptrdiff_t from = where_ == Where::Eof ? PastTheEnd() : static_cast<std::ptrdiff_t>(row_);
    std::ptrdiff_t previous = PrevVisible(from);
    if (previous < 0) SetBof();
    else SetRow(static_cast<std::size_t>(previous));
}

void CursorNavigation::MoveLast() {
    if (forwardOnly_) {
        if (forwardEmpty_) RaiseAdo(adErrNoCurrentRecordHr);
        if (where_ == Where::Eof) RaiseAdo(DB_E_CANTFETCHBACKWARDS);
        // Keep the last row read: fetch into the spare store and swap while rows come.
        for (;;) {
            spare_.Clear();
            if (!FetchInto(spare_)) break;
            std::swap(store_, spare_);
            deletedCount_ = 0;
            ++forwardPassed_;
            SetRow(0);
        }
        return;
    }
    std::ptrdiff_t last = LastVisible();
    if (last < 0) RaiseAdo(adErrNoCurrentRecordHr);
    SetRow(static_cast<std::size_t>(last));
}

void CursorNavigation::Move(long records, const VARIANT& startInput) {
    const VARIANT* start = &Dereferenced(startInput);
    bool fromCurrent = true;
    std::ptrdiff_t from = 0;
    bool missing = IsMissingArgument(*start);
    if (!missing) {
        if (start->vt == VT_R8 || start->vt == VT_R4) {
            fromCurrent = false;
            from = static_cast<std::ptrdiff_t>(BookmarkRow(*start));
        } else {
            VARIANT number;
            VariantInit(&number);
            if (FAILED(VariantChangeType(&number, start, 0, VT_I4))) RaiseAdo(adErrInvalidArgumentHr);
            switch (number.lVal) {
                case adBookmarkCurrent: break;
                case adBookmarkFirst: {
                    if (forwardOnly_) RaiseAdo(DB_E_CANTFETCHBACKWARDS);
                    std::size_t first = FirstVisible();
                    if (first == npos) RaiseAdo(adErrNoCurrentRecordHr);
                    fromCurrent = false;
                    from = static_cast<std::ptrdiff_t>(first);
                    break;
                }
                case adBookmarkLast: {
                    if (forwardOnly_) RaiseAdo(DB_E_CANTFETCHBACKWARDS);
                    std::ptrdiff_t last = LastVisible();
                    if (last < 0) RaiseAdo(adErrNoCurrentRecordHr);
                    fromCurrent = false;
                    from = last;
                    break;
                }
                default: RaiseAdo(adErrInvalidArgumentHr);
            }
        }
    }
    if (fromCurrent) {
        if (Empty()) RaiseAdo(adErrNoCurrentRecordHr);
        if (where_ == Where::Bof && records <= 0) RaiseAdo(adErrNoCurrentRecordHr);
        if (where_ == Where::Eof && records >= 0) RaiseAdo(adErrNoCurrentRecordHr);
        if (forwardOnly_) {
            if (records < 0) RaiseAdo(DB_E_CANTFETCHBACKWARDS);
            return ForwardAdvance(records);
        }
        if (records == 0) return;
        if (where_ == Where::Bof) from = -1;
        else if (where_ == Where::Eof) from = PastTheEnd();
        else from = static_cast<std::ptrdiff_t>(row_);
    }
    if (records > 0) {
        std::size_t row = StepForward(from, records);
        if (row == npos) SetEof();
        else SetRow(row);
    } else if (records < 0) {
        std::ptrdiff_t row = StepBackward(from, records == std::numeric_limits<long>::min() ? std::numeric_limits<long>::max() : -records);
        if (row < 0) SetBof();
        else SetRow(static_cast<std::size_t>(row));
    } else {
        SetRow(static_cast<std::size_t>(from));
    }
}

}  // namespace dbplatform::ado
