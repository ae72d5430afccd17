#include "Cursor.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include <dbplatform/base/CodePage.h>
#include <dbplatform/base/Diagnostics.h>
#include <dbplatform/com/ComError.h>

#include "AdoErrors.h"
#include "TransactionState.h"
#include "ValueConversion.h"

namespace dbplatform::ado {

using provider::CellView;
using provider::ColumnInfo;
using provider::ColumnWrite;
using provider::RowLocator;
using provider::Value;
using provider::ValueKind;

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y && std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

char16_t FoldUnit(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// A double that names a position: a whole number in a sane range, else -1 (also for
// NaN and values no integer type can hold).
long long WholeIndex(double value) {
    if (!(value >= 0 && value < 1e15)) return -1;
    long long whole = static_cast<long long>(value);
    return static_cast<double>(whole) == value ? whole : -1;
}

std::u16string Folded(std::u16string text) {
    for (char16_t& c : text) c = FoldUnit(c);
    return text;
}

}  // namespace

// Decides once, from the provider's column descriptions, whether rows can be written
// back and how a row is found again: by the table's key columns, else by the provider's
// row identity, else by every column of the table. The key comes first because a row
// identity such as PostgreSQL's ctid moves when anyone else updates the row.
Cursor::Cursor(std::shared_ptr<provider::Session> session, std::unique_ptr<provider::ResultSet> rows, Options options)
    : session_(std::move(session)),
      rows_(std::move(rows)),
      sql_(std::move(options.sql)),
      transaction_(std::move(options.transaction)),
      forwardOnly_(options.forwardOnly),
      lockType_(options.lockType) {
    columns_ = rows_->Columns();
    store_ = RowStore(columns_.size());
    spare_ = RowStore(columns_.size());
    bool oneTable = true;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        const ColumnInfo& column = columns_[c];
        if (column.rowIdentity) continue;
        fields_.push_back(c);
        foldedNames_.push_back(Folded(dbplatform::WideFromUtf8(column.name)));
        if (column.baseTable.empty()) continue;
        if (table_.empty()) table_ = column.baseTable;
        else if (!SameName(table_, column.baseTable)) oneTable = false;
    }
    updatable_ = lockType_ != adLockReadOnly && lockType_ != adLockUnspecified && oneTable && !table_.empty();
    batch_ = updatable_ && lockType_ == adLockBatchOptimistic;
    writable_.assign(columns_.size(), false);
    for (std::size_t c = 0; c < columns_.size(); ++c)
        writable_[c] = updatable_ && !columns_[c].rowIdentity && SameName(columns_[c].baseTable, table_);
    if (updatable_) {
        for (std::size_t c = 0; c < columns_.size(); ++c)
            if (columns_[c].key && writable_[c]) locatorColumns_.push_back(c);
        if (locatorColumns_.empty())
            for (std::size_t c = 0; c < columns_.size(); ++c)
                if (columns_[c].rowIdentity) locatorColumns_.push_back(c);
        if (locatorColumns_.empty())
            for (std::size_t c = 0; c < columns_.size(); ++c)
                if (writable_[c]) locatorColumns_.push_back(c);
    }
    for (const ColumnInfo& column : columns_) readTypes_.push_back(VarTypeOfColumn(column.type));
    pending_.assign(columns_.size(), std::nullopt);
    appendStarted_.assign(columns_.size(), false);
    chunkOffsets_.assign(columns_.size(), 0);
}

Cursor::~Cursor() {
    // The result set may refer to the session's handle: it goes first.
    rows_.reset();
}

std::size_t Cursor::FieldIndex(const VARIANT& index) const {
    const VARIANT* v = &index;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->byref) v = static_cast<const VARIANT*>(v->byref);
    if (v->vt == VT_BSTR) {
        // Called for every field read of a walk: lengths first, then the name as given
        // (callers mostly spell it in lower case), then the units folded one by one.
        const OLECHAR* text = v->bstrVal;
        const std::size_t length = SysStringLen(v->bstrVal);
        for (std::size_t f = 0; f < foldedNames_.size(); ++f) {
            const std::u16string& name = foldedNames_[f];
            if (name.size() != length) continue;
            const char16_t* folded = name.data();
            if (length && std::memcmp(text, folded, length * sizeof(char16_t)) == 0) return f;
            std::size_t i = 0;
            while (i < length && FoldUnit(text[i]) == folded[i]) ++i;
            if (i == length) return f;
        }
        RaiseAdo(adErrItemNotFoundHr);
    }
    long long ordinal = -1;
    switch (v->vt) {
        case VT_I1: ordinal = v->cVal; break;
        case VT_UI1: ordinal = v->bVal; break;
        case VT_I2: ordinal = v->iVal; break;
        case VT_UI2: ordinal = v->uiVal; break;
        case VT_I4: case VT_INT: ordinal = v->lVal; break;
        case VT_UI4: case VT_UINT: ordinal = v->ulVal; break;
        case VT_I8: ordinal = v->llVal; break;
        case VT_UI8: ordinal = v->ullVal > 0x7FFFFFFFull ? -1 : static_cast<long long>(v->ullVal); break;
        case VT_R4: ordinal = WholeIndex(v->fltVal); break;
        case VT_R8: ordinal = WholeIndex(v->dblVal); break;
        default: RaiseAdo(adErrItemNotFoundHr);
    }
    if (ordinal < 0 || static_cast<unsigned long long>(ordinal) >= fields_.size()) RaiseAdo(adErrItemNotFoundHr);
    return static_cast<std::size_t>(ordinal);
}

bool Cursor::FieldWritable(std::size_t field) const { return writable_[fields_[field]]; }

// ---- Reading rows -------------------------------------------------------------

bool Cursor::FetchOne() {
    DiagnosticScope scope("ADODB.Recordset", "Fetch", sql_);
    if (!rows_ || exhausted_) return false;
    if (!rows_->Fetch()) {
        exhausted_ = true;
        rows_.reset();  // frees the engine's statement as soon as it is done
        return false;
    }
    store_.AppendFrom(*rows_);
    return true;
}

void Cursor::EnsureRows(std::size_t count) {
    RefetchIfNeeded();
    while (store_.RowCount() < count && FetchOne()) {
    }
}

void Cursor::FetchAll() {
    RefetchIfNeeded();
    while (FetchOne()) {
    }
}

// A value-exact key of a row's locator, to recognise rows this cursor inserted itself
// when the query is read after the inserts.
std::string Cursor::LocatorKey(const RowStore& store, std::size_t row) const {
    std::string key;
    for (std::size_t c : locatorColumns_) {
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
void Cursor::RefetchIfNeeded() {
    if (!needRefetch_) return;
    DiagnosticScope scope("ADODB.Recordset", "Requery", sql_);
    needRefetch_ = false;
    provider::ExecuteOptions options;
    options.forUpdate = true;
    provider::CommandResult result = session_->Execute(sql_, options);
    RowStore fresh(columns_.size());
    if (result.rows) {
        std::unordered_set<std::string> known;
        for (std::size_t r = 0; r < store_.RowCount(); ++r) known.insert(LocatorKey(store_, r));
        RowStore probe(columns_.size());
        while (result.rows->Fetch()) {
            probe.Clear();
            probe.AppendFrom(*result.rows);
            if (known.count(LocatorKey(probe, 0))) continue;
            fresh.AppendRowOf(probe, 0);
        }
    }
    result.rows.reset();
    std::size_t offset = fresh.RowCount();
    std::unordered_map<std::size_t, BatchChange> moved;
    for (std::size_t r = 0; r < store_.RowCount(); ++r) fresh.AppendRowOf(store_, r);
    for (auto& [row, change] : batchChanges_) moved.emplace(row + offset, std::move(change));
    batchChanges_ = std::move(moved);
    store_ = std::move(fresh);
    if (where_ == Where::Row) row_ += offset;
    if (adding_ && beforeAddWhere_ == Where::Row) beforeAddRow_ += offset;
    exhausted_ = true;
}

// Before a write, the provider's statement must not be left half read: some engines
// cannot run a second statement while one is streaming. A cursor nobody has read drops
// its statement (and reads the query again if rows are wanted later); one partly read
// reads the rest now. A forward-only cursor keeps streaming.
void Cursor::PrepareForWrite() {
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

std::size_t Cursor::NextVisible(std::ptrdiff_t from) {
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

std::ptrdiff_t Cursor::PrevVisible(std::ptrdiff_t from) {
    std::ptrdiff_t row = from - 1;
    while (row >= 0 && Deleted(static_cast<std::size_t>(row))) --row;
    return row;
}

std::ptrdiff_t Cursor::LastVisible() {
    FetchAll();
    return PrevVisible(static_cast<std::ptrdiff_t>(store_.RowCount()));
}

std::size_t Cursor::StepForward(std::ptrdiff_t from, long count) {
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

std::ptrdiff_t Cursor::StepBackward(std::ptrdiff_t from, long count) {
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

bool Cursor::Empty() {
    if (forwardOnly_) return forwardEmpty_;
    return FirstVisible() == npos;
}

// The first row is found on first need, not at Open.
void Cursor::Resolve() {
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

void Cursor::SetRow(std::size_t row) {
    where_ = Where::Row;
    row_ = row;
    std::fill(chunkOffsets_.begin(), chunkOffsets_.end(), 0);
}

void Cursor::SetBof() {
    where_ = Where::Bof;
    std::fill(chunkOffsets_.begin(), chunkOffsets_.end(), 0);
}

void Cursor::SetEof() {
    where_ = Where::Eof;
    std::fill(chunkOffsets_.begin(), chunkOffsets_.end(), 0);
}

// Moving off a row with pending changes saves them, as ADO does. Every move passes
// here before it computes a row number: rows read late (after an early insert) go in
// front of the inserted ones, so the numbers must be settled first.
void Cursor::SaveBeforeMove() {
    if (editMode_ != adEditNone) Update();
    RefetchIfNeeded();
}

void Cursor::RequireStatic() const {
    if (forwardOnly_) RaiseAdo(adErrFeatureNotAvailableHr);
}

void Cursor::RequireUpdatable() const {
    if (!updatable_) RaiseNotUpdatable();
}

void Cursor::RequireCurrentRow() {
    Resolve();
    if (where_ != Where::Row) RaiseAdo(adErrNoCurrentRecordHr);
    if (Deleted(row_)) RaiseAdo(DB_E_DELETEDROW);
}

bool Cursor::Bof() {
    if (adding_) return false;
    Resolve();
    return where_ == Where::Bof || (where_ == Where::Eof && Empty());
}

bool Cursor::Eof() {
    if (adding_) return false;
    Resolve();
    return where_ == Where::Eof || (where_ == Where::Bof && Empty());
}

long Cursor::RecordCount() {
    if (forwardOnly_) return -1;
    FetchAll();
    return static_cast<long>(store_.RowCount() - deletedCount_);
}

long Cursor::AbsolutePosition() {
    if (forwardOnly_) return adPosUnknown;
    if (adding_) return adPosUnknown;
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

void Cursor::SetAbsolutePosition(long position) {
    RequireStatic();
    Resolve();
    SaveBeforeMove();
    if (position < 1) RaiseAdo(adErrInvalidArgumentHr);
    std::size_t row = StepForward(-1, position);
    if (row == npos) RaiseAdo(adErrInvalidArgumentHr);
    SetRow(row);
}

// Bookmarks of a static cursor are the row's place in the store plus one, as a double
// (what client cursors hand out); they stay valid across deletes and inserts.
void Cursor::GetBookmark(VARIANT* out) {
    RequireStatic();
    if (adding_) RaiseAdo(adErrNoCurrentRecordHr);
    RefetchIfNeeded();
    RequireCurrentRow();
    out->vt = VT_R8;
    out->dblVal = static_cast<double>(row_ + 1);
}

void Cursor::SetBookmark(const VARIANT& bookmark) {
    RequireStatic();
    Resolve();
    SaveBeforeMove();
    VARIANT number;
    VariantInit(&number);
    if (FAILED(VariantChangeType(&number, &bookmark, 0, VT_R8))) RaiseAdo(adErrInvalidArgumentHr);
    long long whole = WholeIndex(number.dblVal);
    if (whole < 1) RaiseAdo(adErrInvalidArgumentHr);
    std::size_t row = static_cast<std::size_t>(whole) - 1;
    EnsureRows(row + 1);
    if (row >= store_.RowCount() || Deleted(row)) RaiseAdo(adErrInvalidArgumentHr);
    SetRow(row);
}

void Cursor::ForwardAdvance(long count) {
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

void Cursor::MoveFirst() {
    Resolve();
    SaveBeforeMove();
    if (forwardOnly_) {
        if (forwardEmpty_) RaiseAdo(adErrNoCurrentRecordHr);
        if (where_ == Where::Row && forwardPassed_ == 0 && row_ == 0) return;
        RaiseAdo(DB_E_CANTFETCHBACKWARDS);
    }
    std::size_t first = FirstVisible();
    if (first == npos) RaiseAdo(adErrNoCurrentRecordHr);
    SetRow(first);
}

void Cursor::MoveNext() {
    Resolve();
    SaveBeforeMove();
    if (where_ == Where::Eof) RaiseAdo(adErrNoCurrentRecordHr);
    if (where_ == Where::Bof && Empty()) RaiseAdo(adErrNoCurrentRecordHr);
    if (forwardOnly_) return ForwardAdvance(1);
    std::size_t next = NextVisible(where_ == Where::Bof ? -1 : static_cast<std::ptrdiff_t>(row_));
    if (next == npos) SetEof();
    else SetRow(next);
}

void Cursor::MovePrevious() {
    Resolve();
    SaveBeforeMove();
    if (forwardOnly_) RaiseAdo(DB_E_CANTFETCHBACKWARDS);
    if (where_ == Where::Bof) RaiseAdo(adErrNoCurrentRecordHr);
    if (where_ == Where::Eof && Empty()) RaiseAdo(adErrNoCurrentRecordHr);
    std::ptrdiff_t from;
    if (where_ == Where::Eof) {
        FetchAll();
        from = static_cast<std::ptrdiff_t>(store_.RowCount());
    } else {
        from = static_cast<std::ptrdiff_t>(row_);
    }
    std::ptrdiff_t previous = PrevVisible(from);
    if (previous < 0) SetBof();
    else SetRow(static_cast<std::size_t>(previous));
}

void Cursor::MoveLast() {
    Resolve();
    SaveBeforeMove();
    if (forwardOnly_) {
        if (forwardEmpty_) RaiseAdo(adErrNoCurrentRecordHr);
        if (where_ == Where::Eof) RaiseAdo(DB_E_CANTFETCHBACKWARDS);
        // Keep the last row read: fetch into the spare store and swap while rows come.
        while (rows_ && !exhausted_) {
            if (!rows_->Fetch()) {
                exhausted_ = true;
                rows_.reset();
                break;
            }
            spare_.Clear();
            spare_.AppendFrom(*rows_);
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

void Cursor::Move(long records, const VARIANT& startInput) {
    Resolve();
    const VARIANT* start = &startInput;
    if (start->vt == (VT_BYREF | VT_VARIANT) && start->byref) start = static_cast<const VARIANT*>(start->byref);
    bool fromCurrent = true;
    std::ptrdiff_t from = 0;
    SaveBeforeMove();
    bool missing = start->vt == VT_EMPTY || (start->vt == VT_ERROR && start->scode == DISP_E_PARAMNOTFOUND);
    if (!missing) {
        if (start->vt == VT_R8 || start->vt == VT_R4) {
            RequireStatic();
            VARIANT number;
            VariantInit(&number);
            VariantChangeType(&number, start, 0, VT_R8);
            long long whole = WholeIndex(number.dblVal);
            if (whole < 1) RaiseAdo(adErrInvalidArgumentHr);
            std::size_t row = static_cast<std::size_t>(whole) - 1;
            EnsureRows(row + 1);
            if (row >= store_.RowCount() || Deleted(row)) RaiseAdo(adErrInvalidArgumentHr);
            fromCurrent = false;
            from = static_cast<std::ptrdiff_t>(row);
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
        else if (where_ == Where::Eof) {
            FetchAll();
            from = static_cast<std::ptrdiff_t>(store_.RowCount());
        } else {
            from = static_cast<std::ptrdiff_t>(row_);
        }
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

bool Cursor::Supports(long options) {
    long supported = 0;
    if (!forwardOnly_) supported |= adMovePrevious | adBookmark | adApproxPosition | adHoldRecords;
    if (updatable_) supported |= adAddNew | adDelete | adUpdate | adUpdateBatch;
    return (supported & options) == options;
}

// ---- Editing ------------------------------------------------------------------

EditModeEnum Cursor::EditMode() {
    if (editMode_ != adEditNone) return editMode_;
    if (where_ == Where::Row && Deleted(row_)) return adEditDelete;
    return adEditNone;
}

void Cursor::EndEdit() {
    editMode_ = adEditNone;
    adding_ = false;
    std::fill(pending_.begin(), pending_.end(), std::nullopt);
    std::fill(appendStarted_.begin(), appendStarted_.end(), false);
}

void Cursor::DiscardEdit() {
    if (adding_) {
        where_ = beforeAddWhere_;
        row_ = beforeAddRow_;
    }
    EndEdit();
}

void Cursor::AddNew() {
    RequireUpdatable();
    if (editMode_ != adEditNone) Update();
    beforeAddWhere_ = where_;
    beforeAddRow_ = row_;
    adding_ = true;
    editMode_ = adEditAdd;
    std::fill(pending_.begin(), pending_.end(), std::nullopt);
    std::fill(appendStarted_.begin(), appendStarted_.end(), false);
    std::fill(chunkOffsets_.begin(), chunkOffsets_.end(), 0);
}

void Cursor::CancelUpdate() {
    if (editMode_ == adEditNone) return;
    DiscardEdit();
}

std::string Cursor::WriteName(std::size_t column) const {
    const ColumnInfo& info = columns_[column];
    if (!info.rowIdentity && !info.baseColumn.empty()) return info.baseColumn;
    return info.name;
}

std::optional<std::size_t> Cursor::ColumnByWriteName(const std::string& name) const {
    for (std::size_t c : locatorColumns_)
        if (SameName(WriteName(c), name)) return c;
    for (std::size_t c = 0; c < columns_.size(); ++c)
        if (SameName(WriteName(c), name) && (writable_[c] || columns_[c].rowIdentity)) return c;
    return std::nullopt;
}

RowLocator Cursor::LocatorOf(std::size_t row, const BatchChange* change) const {
    RowLocator locator;
    for (std::size_t c : locatorColumns_) {
        Value value = change && !change->originals.empty() ? change->originals[c] : store_.GetValue(row, c);
        locator.columns.emplace_back(WriteName(c), std::move(value));
    }
    return locator;
}

void Cursor::ApplyLocator(std::size_t row, const RowLocator& locator) {
    for (const auto& [name, value] : locator.columns) {
        std::optional<std::size_t> column = ColumnByWriteName(name);
        if (column) store_.SetCell(row, *column, value.View());
    }
}

std::vector<ColumnWrite> Cursor::PendingWrites(std::size_t row, bool withOriginals) const {
    std::vector<ColumnWrite> writes;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (!pending_[c] || !writable_[c]) continue;
        ColumnWrite write;
        write.column = WriteName(c);
        write.type = columns_[c].type;
        write.value = *pending_[c];
        if (withOriginals) write.original = store_.GetValue(row, c);
        writes.push_back(std::move(write));
    }
    return writes;
}

// Inserts the new row with the columns that were set (the database fills the others)
// and appends it to the cursor, where it stays current.
void Cursor::InsertPending() {
    DiagnosticScope scope("ADODB.Recordset", "AddNew", sql_);
    std::vector<Value> values(columns_.size());
    for (std::size_t c = 0; c < columns_.size(); ++c)
        if (pending_[c]) values[c] = *pending_[c];
    if (batch_) {
        BatchChange change;
        change.changed.assign(columns_.size(), false);
        for (std::size_t c = 0; c < columns_.size(); ++c) change.changed[c] = pending_[c].has_value();
        if (!forwardOnly_) FetchAll();  // held rows go after the query's rows
        store_.AppendValues(values);
        std::size_t row = store_.RowCount() - 1;
        store_.SetFlags(row, RowStore::kBatchNew);
        batchChanges_[row] = std::move(change);
        EndEdit();
        SetRow(row);
        return;
    }
    PrepareForWrite();
    RowLocator locator;
    long changed = session_->InsertRow(table_, PendingWrites(0, false), &locator);
    if (changed != 1) RaiseAdo(DB_E_CONCURRENCYVIOLATION);
    store_.AppendValues(values);
    std::size_t row = store_.RowCount() - 1;
    ApplyLocator(row, locator);
    EndEdit();
    SetRow(row);
}

// Updates the changed columns of the current row, located by its locator and the
// original values of those columns; nothing in the cursor changes unless exactly one
// row in the database did.
void Cursor::UpdatePending() {
    DiagnosticScope scope("ADODB.Recordset", "Update", sql_);
    std::size_t row = row_;
    if (batch_) {
        std::uint8_t flags = store_.Flags(row);
        auto it = batchChanges_.find(row);
        if (it == batchChanges_.end()) {
            BatchChange change;
            change.changed.assign(columns_.size(), false);
            if (!(flags & RowStore::kBatchNew)) {
                change.originals.reserve(columns_.size());
                for (std::size_t c = 0; c < columns_.size(); ++c) change.originals.push_back(store_.GetValue(row, c));
            }
            it = batchChanges_.emplace(row, std::move(change)).first;
        }
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            if (!pending_[c]) continue;
            store_.SetCell(row, c, pending_[c]->View());
            it->second.changed[c] = true;
        }
        if (!(flags & RowStore::kBatchNew)) store_.SetFlags(row, flags | RowStore::kBatchModified);
        EndEdit();
        return;
    }
    PrepareForWrite();
    row = row_;  // a re-read may have moved the row in the store
    std::vector<ColumnWrite> writes = PendingWrites(row, true);
    if (!writes.empty()) {
        RowLocator locator = LocatorOf(row, nullptr);
        long changed = session_->UpdateRow(table_, writes, &locator);
        if (changed != 1) RaiseAdo(DB_E_CONCURRENCYVIOLATION);
        for (std::size_t c = 0; c < columns_.size(); ++c)
            if (pending_[c]) store_.SetCell(row, c, pending_[c]->View());
        ApplyLocator(row, locator);
    }
    EndEdit();
}

void Cursor::Update() {
    if (editMode_ == adEditNone) return;
    RequireUpdatable();
    if (adding_) InsertPending();
    else UpdatePending();
}

void Cursor::DeleteRow(std::size_t row) {
    DiagnosticScope scope("ADODB.Recordset", "Delete", sql_);
    std::uint8_t flags = store_.Flags(row);
    if (batch_) {
        if (flags & RowStore::kBatchNew) {
            store_.SetFlags(row, RowStore::kDeleted);
            batchChanges_.erase(row);
        } else {
            store_.SetFlags(row, flags | RowStore::kDeleted | RowStore::kBatchDeleted);
        }
        ++deletedCount_;
        return;
    }
    long changed = session_->DeleteRow(table_, LocatorOf(row, nullptr));
    if (changed != 1) RaiseAdo(DB_E_CONCURRENCYVIOLATION);
    store_.SetFlags(row, flags | RowStore::kDeleted);
    ++deletedCount_;
}

// Deletes the current row (which stays current, marked deleted, until the cursor
// moves) or every row of the cursor.
void Cursor::Delete(AffectEnum affect) {
    RequireUpdatable();
    if (affect == adAffectGroup) RaiseAdo(adErrFeatureNotAvailableHr);
    if (affect != adAffectCurrent && affect != adAffectAll && affect != adAffectAllChapters)
        RaiseAdo(adErrInvalidArgumentHr);
    if (adding_) {
        // The new row was never saved: deleting it is dropping it.
        DiscardEdit();
        return;
    }
    if (affect == adAffectCurrent) {
        RequireCurrentRow();
        EndEdit();
        if (!batch_) PrepareForWrite();
        DeleteRow(row_);
        return;
    }
    EndEdit();
    if (!forwardOnly_) FetchAll();
    for (std::size_t r = 0; r < store_.RowCount(); ++r)
        if (!Deleted(r)) DeleteRow(r);
}

// Sends every held change in one transaction (unless the connection already has one
// open, which then decides). The cursor changes only after the commit.
void Cursor::UpdateBatch() {
    DiagnosticScope scope("ADODB.Recordset", "UpdateBatch", sql_);
    if (editMode_ != adEditNone) Update();
    if (!batch_) return;
    if (batchChanges_.empty()) {
        bool anyDeleted = false;
        for (std::size_t r = 0; r < store_.RowCount() && !anyDeleted; ++r)
            anyDeleted = store_.Flags(r) & RowStore::kBatchDeleted;
        if (!anyDeleted) return;
    }
    PrepareForWrite();
    bool ownTransaction = !(transaction_ && transaction_->Open());
    std::vector<std::pair<std::size_t, RowLocator>> located;
    if (ownTransaction) session_->BeginTransaction();
    try {
        for (std::size_t r = 0; r < store_.RowCount(); ++r) {
            std::uint8_t flags = store_.Flags(r);
            auto it = batchChanges_.find(r);
            const BatchChange* change = it == batchChanges_.end() ? nullptr : &it->second;
            if (flags & RowStore::kBatchDeleted) {
                if (session_->DeleteRow(table_, LocatorOf(r, change)) != 1) RaiseAdo(DB_E_CONCURRENCYVIOLATION);
                continue;
            }
            if (!change || (flags & RowStore::kDeleted)) continue;
            std::vector<ColumnWrite> writes;
            for (std::size_t c = 0; c < columns_.size(); ++c) {
                if (!change->changed[c] || !writable_[c]) continue;
                ColumnWrite write;
                write.column = WriteName(c);
                write.type = columns_[c].type;
                write.value = store_.GetValue(r, c);
                if (!change->originals.empty()) write.original = change->originals[c];
                writes.push_back(std::move(write));
            }
            RowLocator locator;
            if (flags & RowStore::kBatchNew) {
                if (session_->InsertRow(table_, writes, &locator) != 1) RaiseAdo(DB_E_CONCURRENCYVIOLATION);
            } else {
                if (writes.empty()) continue;
                locator = LocatorOf(r, change);
                if (session_->UpdateRow(table_, writes, &locator) != 1) RaiseAdo(DB_E_CONCURRENCYVIOLATION);
            }
            located.emplace_back(r, std::move(locator));
        }
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
    for (auto& [row, locator] : located) ApplyLocator(row, locator);
    for (std::size_t r = 0; r < store_.RowCount(); ++r)
        store_.SetFlags(r, store_.Flags(r) & RowStore::kDeleted);
    batchChanges_.clear();
}

void Cursor::CancelBatch() {
    if (editMode_ != adEditNone) DiscardEdit();
    if (!batch_) return;
    for (std::size_t r = 0; r < store_.RowCount(); ++r) {
        std::uint8_t flags = store_.Flags(r);
        if (flags & RowStore::kBatchNew) {
            if (!(flags & RowStore::kDeleted)) ++deletedCount_;
            store_.SetFlags(r, RowStore::kDeleted);
        } else if (flags & RowStore::kBatchDeleted) {
            --deletedCount_;
            store_.SetFlags(r, 0);
        }
    }
    for (auto& [row, change] : batchChanges_) {
        if (change.originals.empty()) continue;
        for (std::size_t c = 0; c < columns_.size(); ++c) store_.SetCell(row, c, change.originals[c].View());
        store_.SetFlags(row, store_.Flags(row) & ~RowStore::kBatchModified);
    }
    batchChanges_.clear();
}

// ---- Values -------------------------------------------------------------------

// The value a field shows now: the pending one during an edit, else the stored one.
Value Cursor::CurrentValue(std::size_t column) {
    if (editMode_ != adEditNone && pending_[column]) return *pending_[column];
    if (adding_) return Value{};
    RequireCurrentRow();
    return store_.GetValue(row_, column);
}

void Cursor::GetValue(std::size_t field, VARIANT* out) {
    std::size_t column = fields_[field];
    // The common case of a walk: no edit, a current row that is not deleted.
    if (editMode_ == adEditNone && !adding_ && where_ == Where::Row && !Deleted(row_))
        return CellToVariantAs(store_.Cell(row_, column), readTypes_[column], out);
    if (editMode_ != adEditNone && pending_[column]) return CellToVariant(pending_[column]->View(), columns_[column].type, out);
    if (adding_) {
        out->vt = VT_NULL;
        return;
    }
    RequireCurrentRow();
    CellToVariant(store_.Cell(row_, column), columns_[column].type, out);
}

void Cursor::GetOriginalValue(std::size_t field, VARIANT* out) {
    std::size_t column = fields_[field];
    if (adding_) {
        out->vt = VT_NULL;
        return;
    }
    RequireCurrentRow();
    auto it = batchChanges_.find(row_);
    if (it != batchChanges_.end() && !it->second.originals.empty())
        return CellToVariant(it->second.originals[column].View(), columns_[column].type, out);
    CellToVariant(store_.Cell(row_, column), columns_[column].type, out);
}

// Converts first, so that a value the column cannot hold is refused before anything
// is held for writing.
void Cursor::PutValue(std::size_t field, const VARIANT& value) {
    RequireUpdatable();
    std::size_t column = fields_[field];
    if (!writable_[column]) RaiseAdo(adErrFeatureNotAvailableHr);
    if (!adding_) RequireCurrentRow();
    Value converted = VariantToValue(value, columns_[column].type);
    pending_[column] = std::move(converted);
    appendStarted_[column] = false;
    chunkOffsets_[column] = 0;
    if (editMode_ == adEditNone) editMode_ = adEditInProgress;
}

long Cursor::ActualSize(std::size_t field) {
    std::size_t column = fields_[field];
    Value value = CurrentValue(column);
    switch (value.kind) {
        case ValueKind::Null: return 0;
        case ValueKind::Text:
        case ValueKind::Bytes: return static_cast<long>(value.bytes.size());
        case ValueKind::Boolean: return 2;
        case ValueKind::Integer:
            switch (columns_[column].type) {
                case adTinyInt: case adUnsignedTinyInt: return 1;
                case adSmallInt: case adUnsignedSmallInt: return 2;
                case adBigInt: case adUnsignedBigInt: return 8;
                default: return value.integer >= std::numeric_limits<LONG>::min() &&
                                        value.integer <= std::numeric_limits<LONG>::max() ? 4 : 8;
            }
        case ValueKind::Double: return columns_[column].type == adSingle ? 4 : 8;
        case ValueKind::Date: return 8;
    }
    return 0;
}

// Text fields give their text in UTF-16 units, binary fields their bytes, each call
// continuing where the last one on this field and row stopped.
void Cursor::GetChunk(std::size_t field, long length, VARIANT* out) {
    if (length < 0) RaiseAdo(adErrInvalidArgumentHr);
    std::size_t column = fields_[field];
    Value value = CurrentValue(column);
    std::size_t& offset = chunkOffsets_[column];
    if (value.kind == ValueKind::Null) {
        out->vt = VT_NULL;
        return;
    }
    if (value.kind == ValueKind::Bytes) {
        if (offset >= value.bytes.size()) {
            out->vt = VT_NULL;
            return;
        }
        std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(length), value.bytes.size() - offset);
        BytesToVariant(std::string_view(value.bytes).substr(offset, take), out);
        offset += take;
        return;
    }
    if (value.kind != ValueKind::Text) RaiseAdo(adErrFeatureNotAvailableHr);
    std::u16string wide = dbplatform::WideFromUtf8(value.bytes);
    if (offset >= wide.size()) {
        out->vt = VT_NULL;
        return;
    }
    std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(length), wide.size() - offset);
    // A chunk longer than a BSTR holds is refused, not cut to the BSTR's UINT length.
    BSTR chunk = take <= dbplatform::kMaxBstrLength ? SysAllocStringLen(wide.data() + offset, static_cast<UINT>(take)) : nullptr;
    if (!chunk) throw _com_error(E_OUTOFMEMORY, "A text chunk of " + std::to_string(take) + " characters could not be made a BSTR.");
    out->vt = VT_BSTR;
    out->bstrVal = chunk;
    offset += take;
}

// The first chunk of an edit replaces the value; later ones append to it.
void Cursor::AppendChunk(std::size_t field, const VARIANT& data) {
    RequireUpdatable();
    std::size_t column = fields_[field];
    if (!writable_[column]) RaiseAdo(adErrFeatureNotAvailableHr);
    if (!adding_) RequireCurrentRow();
    DataTypeEnum type = columns_[column].type;
    if (!IsTextType(type) && !IsBinaryType(type)) RaiseAdo(adErrFeatureNotAvailableHr);
    Value chunk = VariantToValue(data, type);
    if (!appendStarted_[column] || !pending_[column] || pending_[column]->kind == ValueKind::Null) {
        pending_[column] = std::move(chunk);
    } else if (chunk.kind != ValueKind::Null) {
        pending_[column]->bytes += chunk.bytes;
    }
    appendStarted_[column] = true;
    if (editMode_ == adEditNone) editMode_ = adEditInProgress;
}

}  // namespace dbplatform::ado
