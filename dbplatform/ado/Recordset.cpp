#include <dbplatform/automation/SafeArray.h>
#include <dbplatform/automation/VariantArgument.h>
#include <dbplatform/base/Diagnostics.h>
#include <dbplatform/com/ComError.h>

#include "AdoErrors.h"
#include "ConnectionImpl.h"
#include "RecordsetImpl.h"
#include "TableName.h"
#include "ValueConversion.h"

namespace dbplatform::ado {
namespace {

bool IsMissing(const VARIANT& input) { return IsMissingArgument(Dereferenced(input)); }

ConnectionImpl* ConnectionOf(IDispatch* object) {
    if (!object) return nullptr;
    _Connection* connection = nullptr;
    if (FAILED(object->QueryInterface(_Connection::iid, reinterpret_cast<void**>(&connection))) || !connection)
        return nullptr;
    ConnectionImpl* impl = dynamic_cast<ConnectionImpl*>(connection);
    connection->Release();
    return impl;
}

}  // namespace

// Releasing the last reference discards a pending edit: only an explicit Update saves.
RecordsetImpl::~RecordsetImpl() {
    if (IsOpen()) slot_->cursor->DiscardEdit();
}

Cursor& RecordsetImpl::OpenCursor() {
    if (!IsOpen()) RaiseAdo(adErrObjectClosedHr);
    return *slot_->cursor;
}

void RecordsetImpl::PutCacheSize(long size) {
    if (size <= 0) RaiseAdo(adErrInvalidArgumentHr);
    cacheSize_ = size;
}

void RecordsetImpl::PutCursorLocation(CursorLocationEnum location) {
    if (IsOpen()) RaiseAdo(adErrObjectOpenHr);
    if (location != adUseNone && location != adUseServer && location != adUseClient) RaiseAdo(adErrInvalidArgumentHr);
    location_ = location;
    locationSet_ = true;
}

void RecordsetImpl::PutCursorType(CursorTypeEnum type) {
    if (IsOpen()) RaiseAdo(adErrObjectOpenHr);
    if (type < adOpenUnspecified || type > adOpenStatic) RaiseAdo(adErrInvalidArgumentHr);
    cursorType_ = type;
}

void RecordsetImpl::PutLockType(LockTypeEnum type) {
    if (IsOpen()) RaiseAdo(adErrObjectOpenHr);
    if (type != adLockUnspecified && (type < adLockReadOnly || type > adLockBatchOptimistic))
        RaiseAdo(adErrInvalidArgumentHr);
    lockType_ = type;
}

_variant_t RecordsetImpl::GetActiveConnection() {
    if (!connection_) return _variant_t();
    return _variant_t(static_cast<IDispatch*>(connection_.GetInterfacePtr()), true);
}

void RecordsetImpl::PutActiveConnection(const _variant_t& input) {
    if (IsOpen()) RaiseAdo(adErrObjectOpenHr);
    const VARIANT& v = Dereferenced(input);
    if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
        IDispatch* object = v.vt == VT_DISPATCH ? v.pdispVal : nullptr;
        if (v.vt == VT_UNKNOWN && v.punkVal) {
            IDispatch* dispatch = nullptr;
            if (SUCCEEDED(v.punkVal->QueryInterface(IDispatch::iid, reinterpret_cast<void**>(&dispatch)))) {
                object = dispatch;
                dispatch->Release();  // the caller's variant still holds it
            }
        }
        return PutRefActiveConnection(object);
    }
    if (v.vt == VT_BSTR) {
        pendingConnectionString_ = Utf8OfBstr(v.bstrVal);
        connection_ = nullptr;
        return;
    }
    if (v.vt == VT_EMPTY || v.vt == VT_NULL) {
        connection_ = nullptr;
        pendingConnectionString_.clear();
        return;
    }
    RaiseAdo(adErrInvalidArgumentHr);
}

void RecordsetImpl::PutRefActiveConnection(IDispatch* object) {
    if (IsOpen()) RaiseAdo(adErrObjectOpenHr);
    if (!object) {
        connection_ = nullptr;
        return;
    }
    ConnectionImpl* connection = ConnectionOf(object);
    if (!connection) RaiseAdo(adErrInvalidConnectionHr);
    connection_ = _ConnectionPtr(connection);
    pendingConnectionString_.clear();
}

// Opens `source` on the given connection (an object, or a connection string that gets
// a connection of its own). Client cursors are always static; only a server-side
// forward-only cursor streams. A statement without rows leaves the recordset closed.
HRESULT RecordsetImpl::Open(const _variant_t& sourceInput, const _variant_t& connectionInput,
                            CursorTypeEnum cursorType, LockTypeEnum lockType, long options) {
    if (IsOpen()) RaiseAdo(adErrObjectOpenHr);
    const VARIANT& source = Dereferenced(sourceInput);
    std::string sql;
    if (source.vt == VT_BSTR) sql = Utf8OfBstr(source.bstrVal);
    else if (IsMissing(source)) sql = source_;
    else RaiseAdo(adErrInvalidArgumentHr);
    if (sql.empty()) RaiseAdo(adErrInvalidArgumentHr);
    RequireNoNul(sql);
    // A table command names one table; its source never becomes statement text of its own.
    if (options != adCmdUnspecified && (options & (adCmdTable | adCmdTableDirect))) {
        RequireTableName(sql);
        sql = "select * from " + sql;
    }
    DiagnosticScope scope("ADODB.Recordset", "Open", sql);  // `sql` is final from here on

    _ConnectionPtr connection;
    const VARIANT& given = Dereferenced(connectionInput);
    if (given.vt == VT_DISPATCH || given.vt == VT_UNKNOWN) {
        IDispatch* object = nullptr;
        if (given.vt == VT_DISPATCH) object = given.pdispVal;
        else if (given.punkVal) {
            given.punkVal->QueryInterface(IDispatch::iid, reinterpret_cast<void**>(&object));
            if (object) object->Release();
        }
        ConnectionImpl* impl = ConnectionOf(object);
        if (!impl) RaiseAdo(adErrInvalidConnectionHr);
        connection = _ConnectionPtr(impl);
    } else if (given.vt == VT_BSTR || (IsMissing(given) && !connection_ && !pendingConnectionString_.empty())) {
        std::string text = given.vt == VT_BSTR ? Utf8OfBstr(given.bstrVal) : pendingConnectionString_;
        ConnectionImpl* impl = new ConnectionImpl();
        connection = _ConnectionPtr(impl, false);
        impl->OpenWith(text);
    } else if (IsMissing(given) || given.vt == VT_NULL) {
        connection = connection_;
    } else {
        RaiseAdo(adErrInvalidArgumentHr);
    }
    if (!connection) RaiseAdo(adErrInvalidConnectionHr);
    ConnectionImpl* impl = static_cast<ConnectionImpl*>(connection.GetInterfacePtr());
    if (!impl->IsOpen()) RaiseAdo(adErrInvalidConnectionHr);

    if (cursorType == adOpenUnspecified) cursorType = cursorType_;
    if (lockType == adLockUnspecified) lockType = lockType_ == adLockUnspecified ? adLockReadOnly : lockType_;
    if (lockType < adLockReadOnly || lockType > adLockBatchOptimistic) RaiseAdo(adErrInvalidArgumentHr);
    CursorLocationEnum location = locationSet_ ? location_ : impl->GetCursorLocation();
    bool forwardOnly = location != adUseClient && (cursorType == adOpenForwardOnly || cursorType == adOpenUnspecified);

    const auto& session = impl->Session();
    provider::ExecuteOptions executeOptions;
    executeOptions.forUpdate = lockType != adLockReadOnly;
    provider::CommandResult result = session->Execute(sql, executeOptions);

    connection_ = connection;
    source_ = sql;
    lockType_ = lockType;
    cursorType_ = forwardOnly ? adOpenForwardOnly : adOpenStatic;
    if (!result.rows) return S_OK;
    Cursor::Options cursorOptions;
    cursorOptions.forwardOnly = forwardOnly;
    cursorOptions.lockType = lockType;
    cursorOptions.sql = sql;
    slot_ = impl->OpenCursor(std::move(result.rows), std::move(cursorOptions));
    ++generation_;
    return S_OK;
}

void RecordsetImpl::OpenOver(ConnectionImpl* connection, std::unique_ptr<provider::ResultSet> rows,
                             const std::string& sql, bool forwardOnly) {
    connection_ = _ConnectionPtr(connection);
    source_ = sql;
    lockType_ = adLockReadOnly;
    cursorType_ = forwardOnly ? adOpenForwardOnly : adOpenStatic;
    Cursor::Options cursorOptions;
    cursorOptions.forwardOnly = forwardOnly;
    cursorOptions.lockType = adLockReadOnly;
    cursorOptions.sql = sql;
    slot_ = connection->OpenCursor(std::move(rows), std::move(cursorOptions));
    ++generation_;
}

// Closing during an edit is refused and the edit kept, so that nothing typed into a
// row is lost without the caller choosing Update or CancelUpdate.
HRESULT RecordsetImpl::Close() {
    Cursor& cursor = OpenCursor();
    EditModeEnum mode = cursor.EditMode();
    if (mode == adEditInProgress || mode == adEditAdd) RaiseAdo(adErrIllegalOperationHr);
    slot_.reset();
    return S_OK;
}

long RecordsetImpl::GetRecordCount() { return OpenCursor().RecordCount(); }
VARIANT_BOOL RecordsetImpl::GetBOF() { return OpenCursor().Bof() ? VARIANT_TRUE : VARIANT_FALSE; }
VARIANT_BOOL RecordsetImpl::GetadoEOF() { return OpenCursor().Eof() ? VARIANT_TRUE : VARIANT_FALSE; }
long RecordsetImpl::GetAbsolutePosition() { return OpenCursor().AbsolutePosition(); }
void RecordsetImpl::PutAbsolutePosition(long position) { OpenCursor().SetAbsolutePosition(position); }

_variant_t RecordsetImpl::GetBookmark() {
    _variant_t bookmark;
    OpenCursor().GetBookmark(&bookmark);
    return bookmark;
}

void RecordsetImpl::PutBookmark(const _variant_t& bookmark) { OpenCursor().SetBookmark(bookmark); }

HRESULT RecordsetImpl::MoveFirst() {
    OpenCursor().MoveFirst();
    return S_OK;
}
HRESULT RecordsetImpl::MoveNext() {
    OpenCursor().MoveNext();
    return S_OK;
}
HRESULT RecordsetImpl::MovePrevious() {
    OpenCursor().MovePrevious();
    return S_OK;
}
HRESULT RecordsetImpl::MoveLast() {
    OpenCursor().MoveLast();
    return S_OK;
}
HRESULT RecordsetImpl::Move(long records, const _variant_t& start) {
    OpenCursor().Move(records, start);
    return S_OK;
}

VARIANT_BOOL RecordsetImpl::Supports(CursorOptionEnum options) {
    return OpenCursor().Supports(static_cast<long>(options)) ? VARIANT_TRUE : VARIANT_FALSE;
}

// Field lists and value lists: one field and one value, or two arrays of equal length.
void RecordsetImpl::AssignFields(const _variant_t& fieldsInput, const _variant_t& valuesInput) {
    Cursor& cursor = OpenCursor();
    const VARIANT& fields = Dereferenced(fieldsInput);
    const VARIANT& values = Dereferenced(valuesInput);
    if ((fields.vt & VT_ARRAY) == 0) {
        if (IsMissing(values)) RaiseAdo(adErrInvalidArgumentHr);
        cursor.PutValue(cursor.FieldIndex(fields), values);
        return;
    }
    if (fields.vt != (VT_ARRAY | VT_VARIANT) || values.vt != (VT_ARRAY | VT_VARIANT) || !fields.parray ||
        !values.parray)
        RaiseAdo(adErrInvalidArgumentHr);
    LONG fieldLower = 0, fieldUpper = -1, valueLower = 0, valueUpper = -1;
    SafeArrayGetLBound(fields.parray, 1, &fieldLower);
    SafeArrayGetUBound(fields.parray, 1, &fieldUpper);
    SafeArrayGetLBound(values.parray, 1, &valueLower);
    SafeArrayGetUBound(values.parray, 1, &valueUpper);
    if (fieldUpper - fieldLower != valueUpper - valueLower) RaiseAdo(adErrInvalidArgumentHr);
    for (LONG i = 0; i <= fieldUpper - fieldLower; ++i) {
        _variant_t field, value;
        LONG fieldIndex = fieldLower + i, valueIndex = valueLower + i;
        if (FAILED(SafeArrayGetElement(fields.parray, &fieldIndex, &field)) ||
            FAILED(SafeArrayGetElement(values.parray, &valueIndex, &value)))
            RaiseAdo(adErrInvalidArgumentHr);
        cursor.PutValue(cursor.FieldIndex(field), value);
    }
}

HRESULT RecordsetImpl::AddNew(const _variant_t& fieldList, const _variant_t& values) {
    Cursor& cursor = OpenCursor();
    cursor.AddNew();
    if (!IsMissing(fieldList)) {
        AssignFields(fieldList, values);
        cursor.Update();
    }
    return S_OK;
}

HRESULT RecordsetImpl::Update(const _variant_t& fields, const _variant_t& values) {
    Cursor& cursor = OpenCursor();
    if (!IsMissing(fields)) AssignFields(fields, values);
    cursor.Update();
    return S_OK;
}

HRESULT RecordsetImpl::CancelUpdate() {
    OpenCursor().CancelUpdate();
    return S_OK;
}

HRESULT RecordsetImpl::Delete(AffectEnum affect) {
    OpenCursor().Delete(affect);
    return S_OK;
}

HRESULT RecordsetImpl::UpdateBatch(AffectEnum affect) {
    Cursor& cursor = OpenCursor();
    if (affect == adAffectGroup) RaiseAdo(adErrFeatureNotAvailableHr);
    if (affect == adAffectCurrent) {
        cursor.Update();
        if (!cursor.BatchMode()) return S_OK;
    }
    cursor.UpdateBatch();
    return S_OK;
}

HRESULT RecordsetImpl::CancelBatch(AffectEnum affect) {
    Cursor& cursor = OpenCursor();
    if (affect == adAffectGroup) RaiseAdo(adErrFeatureNotAvailableHr);
    cursor.CancelBatch();
    return S_OK;
}

EditModeEnum RecordsetImpl::GetEditMode() { return OpenCursor().EditMode(); }

_variant_t RecordsetImpl::GetCollect(const _variant_t& index) {
    Cursor& cursor = OpenCursor();
    _variant_t value;
    cursor.GetValue(cursor.FieldIndex(index), &value);
    return value;
}

void RecordsetImpl::PutCollect(const _variant_t& index, const _variant_t& value) {
    Cursor& cursor = OpenCursor();
    cursor.PutValue(cursor.FieldIndex(index), value);
}

}  // namespace dbplatform::ado
