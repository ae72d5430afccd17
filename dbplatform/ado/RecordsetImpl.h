// The ADO Recordset object: properties, the open/close life cycle and the mapping of
// each call onto the cursor engine.
//
// Threads: a recordset belongs with its connection (ConnectionImpl.h): the two are used
// by one thread at a time, never one each on two threads at once.
#pragma once

#include <memory>
#include <string>

#include <dbplatform/ado/Ado.h>
#include <dbplatform/ado/Provider.h>

#include "AdoObject.h"
#include "Cursor.h"
#include "OpenCursors.h"

namespace dbplatform::ado {

class ConnectionImpl;

class RecordsetImpl : public AdoObject<_Recordset> {
public:
    RecordsetImpl() = default;

    long GetCacheSize() override { return cacheSize_; }
    void PutCacheSize(long size) override;
    CursorLocationEnum GetCursorLocation() override { return location_; }
    void PutCursorLocation(CursorLocationEnum location) override;
    CursorTypeEnum GetCursorType() override { return cursorType_; }
    void PutCursorType(CursorTypeEnum type) override;
    LockTypeEnum GetLockType() override { return lockType_; }
    void PutLockType(LockTypeEnum type) override;
    _variant_t GetActiveConnection() override;
    void PutActiveConnection(const _variant_t& connection) override;
    void PutRefActiveConnection(IDispatch* connection) override;
    _bstr_t GetSource() override { return _bstr_t(source_); }

    HRESULT Open(const _variant_t& source, const _variant_t& activeConnection, CursorTypeEnum cursorType,
                 LockTypeEnum lockType, long options) override;
    HRESULT Close() override;
    long GetState() override { return IsOpen() ? adStateOpen : adStateClosed; }
    long GetRecordCount() override;
    VARIANT_BOOL GetBOF() override;
    VARIANT_BOOL GetadoEOF() override;
    long GetAbsolutePosition() override;
    void PutAbsolutePosition(long position) override;
    _variant_t GetBookmark() override;
    void PutBookmark(const _variant_t& bookmark) override;

    HRESULT MoveFirst() override;
    HRESULT MoveNext() override;
    HRESULT MovePrevious() override;
    HRESULT MoveLast() override;
    HRESULT Move(long records, const _variant_t& start) override;
    VARIANT_BOOL Supports(CursorOptionEnum options) override;

    HRESULT AddNew(const _variant_t& fieldList, const _variant_t& values) override;
    HRESULT Update(const _variant_t& fields, const _variant_t& values) override;
    HRESULT CancelUpdate() override;
    HRESULT Delete(AffectEnum affect) override;
    HRESULT UpdateBatch(AffectEnum affect) override;
    HRESULT CancelBatch(AffectEnum affect) override;
    EditModeEnum GetEditMode() override;

    _variant_t GetCollect(const _variant_t& index) override;
    void PutCollect(const _variant_t& index, const _variant_t& value) override;
    FieldsPtr GetFields() override;

    // For Connection.Execute and OpenSchema: opens over rows already produced.
    void OpenOver(ConnectionImpl* connection, std::unique_ptr<provider::ResultSet> rows, const std::string& sql,
                  bool forwardOnly);
    // The open cursor, or 3704.
    Cursor& OpenCursor();
    // Changes whenever the recordset is opened again, so that old Field objects know.
    unsigned Generation() const { return generation_; }

private:
    ~RecordsetImpl() override;
    // Open until Close, or until its connection closes (which empties the slot).
    bool IsOpen() const { return slot_ && slot_->cursor; }
    void AssignFields(const _variant_t& fields, const _variant_t& values);

    long cacheSize_ = 1;
    CursorLocationEnum location_ = adUseServer;
    bool locationSet_ = false;
    CursorTypeEnum cursorType_ = adOpenForwardOnly;
    LockTypeEnum lockType_ = adLockReadOnly;
    _ConnectionPtr connection_;
    std::string pendingConnectionString_;
    std::string source_;
    std::shared_ptr<CursorSlot> slot_;  // the connection holds it weakly
    unsigned generation_ = 0;
};

}  // namespace dbplatform::ado
