// The ADO object model as hosts use it through the #import-style wrappers: properties
// as GetX()/PutX(), methods by their ADO names, every failure thrown as _com_error.
//
// Threads: separate connections work on separate threads at once. A connection and the
// recordsets, fields and properties obtained from it are one unit, used by one thread
// at a time (several threads may take turns); a reference to any of them may be
// released on any thread. Give each thread its own connection rather than sharing one.
#pragma once

#include <string>
#include <string_view>

#include <dbplatform/ado/AdoEnums.h>
#include <dbplatform/automation/BstrT.h>
#include <dbplatform/automation/SafeArray.h>
#include <dbplatform/automation/VariantT.h>
#include <dbplatform/com/ComPtr.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

struct Field;
struct Fields;
struct Property;
struct Properties;
struct _Recordset;
struct _Connection;
using FieldPtr = _com_ptr_t<Field>;
using FieldsPtr = _com_ptr_t<Fields>;
using PropertyPtr = _com_ptr_t<Property>;
using PropertiesPtr = _com_ptr_t<Properties>;
using _RecordsetPtr = _com_ptr_t<_Recordset>;
using _ConnectionPtr = _com_ptr_t<_Connection>;

inline constexpr CLSID CLSID_Connection{0x00000514, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
inline constexpr CLSID CLSID_Recordset{0x00000535, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

struct Property : IDispatch {
    static constexpr IID iid{0x00000503, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
    virtual _bstr_t GetName() = 0;
    virtual _variant_t GetValue() = 0;
};

struct Properties : IDispatch {
    static constexpr IID iid{0x00000504, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
    virtual long GetCount() = 0;
    virtual PropertyPtr GetItem(const _variant_t& index) = 0;  // name or ordinal; 3265 when unknown
};

struct Field : IDispatch {
    static constexpr IID iid{0x0000054C, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
    virtual _bstr_t GetName() = 0;
    virtual _variant_t GetValue() = 0;
    virtual void PutValue(const _variant_t& value) = 0;
    virtual DataTypeEnum GetType() = 0;
    virtual long GetDefinedSize() = 0;
    virtual long GetActualSize() = 0;
    virtual long GetAttributes() = 0;
    virtual _variant_t GetOriginalValue() = 0;
    virtual HRESULT AppendChunk(const _variant_t& data) = 0;
    virtual _variant_t GetChunk(long length) = 0;
};

struct Fields : IDispatch {
    static constexpr IID iid{0x0000054D, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
    virtual long GetCount() = 0;
    virtual FieldPtr GetItem(const _variant_t& index) = 0;  // name (case-insensitive) or ordinal
};

struct _Recordset : IDispatch {
    static constexpr IID iid{0x0000054F, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
    virtual long GetCacheSize() = 0;
    virtual void PutCacheSize(long size) = 0;
    virtual CursorLocationEnum GetCursorLocation() = 0;
    virtual void PutCursorLocation(CursorLocationEnum location) = 0;
    virtual CursorTypeEnum GetCursorType() = 0;
    virtual void PutCursorType(CursorTypeEnum type) = 0;
    virtual LockTypeEnum GetLockType() = 0;
    virtual void PutLockType(LockTypeEnum type) = 0;
    virtual _variant_t GetActiveConnection() = 0;
    virtual void PutActiveConnection(const _variant_t& connection) = 0;
    virtual void PutRefActiveConnection(IDispatch* connection) = 0;
    virtual _bstr_t GetSource() = 0;

    virtual HRESULT Open(const _variant_t& source, const _variant_t& activeConnection, CursorTypeEnum cursorType,
                         LockTypeEnum lockType, long options) = 0;
    virtual HRESULT Close() = 0;
    virtual long GetState() = 0;
    virtual long GetRecordCount() = 0;
    virtual VARIANT_BOOL GetBOF() = 0;
    virtual VARIANT_BOOL GetadoEOF() = 0;
    virtual long GetAbsolutePosition() = 0;  // 1-based, or a PositionEnum value
    virtual void PutAbsolutePosition(long position) = 0;
    virtual _variant_t GetBookmark() = 0;
    virtual void PutBookmark(const _variant_t& bookmark) = 0;

    virtual HRESULT MoveFirst() = 0;
    virtual HRESULT MoveNext() = 0;
    virtual HRESULT MovePrevious() = 0;
    virtual HRESULT MoveLast() = 0;
    virtual HRESULT Move(long records, const _variant_t& start = vtMissing) = 0;
    virtual VARIANT_BOOL Supports(CursorOptionEnum options) = 0;

    virtual HRESULT AddNew(const _variant_t& fieldList = vtMissing, const _variant_t& values = vtMissing) = 0;
    virtual HRESULT Update(const _variant_t& fields = vtMissing, const _variant_t& values = vtMissing) = 0;
    virtual HRESULT CancelUpdate() = 0;
    virtual HRESULT Delete(AffectEnum affect = adAffectCurrent) = 0;
    virtual HRESULT UpdateBatch(AffectEnum affect = adAffectAll) = 0;
    virtual HRESULT CancelBatch(AffectEnum affect = adAffectAll) = 0;
    virtual EditModeEnum GetEditMode() = 0;

    virtual _variant_t GetCollect(const _variant_t& index) = 0;
    virtual void PutCollect(const _variant_t& index, const _variant_t& value) = 0;
    virtual FieldsPtr GetFields() = 0;
};

struct _Connection : IDispatch {
    static constexpr IID iid{0x00000550, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
    virtual _bstr_t GetConnectionString() = 0;
    virtual void PutConnectionString(const _bstr_t& text) = 0;
    virtual long GetConnectionTimeout() = 0;
    virtual void PutConnectionTimeout(long seconds) = 0;
    virtual long GetCommandTimeout() = 0;
    virtual void PutCommandTimeout(long seconds) = 0;
    virtual CursorLocationEnum GetCursorLocation() = 0;
    virtual void PutCursorLocation(CursorLocationEnum location) = 0;
    virtual long GetState() = 0;
    virtual _bstr_t GetProvider() = 0;
    virtual PropertiesPtr GetProperties() = 0;  // "DBMS Name", "DBMS Version"

    virtual HRESULT Open(const _bstr_t& connectionString, const _bstr_t& userId, const _bstr_t& password,
                         long options) = 0;
    virtual HRESULT Close() = 0;
    // `recordsAffected` may be null. The recordset is closed for statements without rows.
    virtual _RecordsetPtr Execute(const _bstr_t& commandText, VARIANT* recordsAffected, long options) = 0;
    virtual _RecordsetPtr OpenSchema(SchemaEnum schema, const _variant_t& restrictions = vtMissing,
                                     const _variant_t& schemaId = vtMissing) = 0;
    virtual long BeginTrans() = 0;
    virtual HRESULT CommitTrans() = 0;
    virtual HRESULT RollbackTrans() = 0;
};

namespace dbplatform {
// `value` as one value of a connection string: unchanged when it reads back as itself,
// else quoted (a ';', a leading quote or '=', blanks at either end), so that a value a
// host did not write itself can never add or replace a key of the string it goes into.
std::string ConnectionStringValue(std::string_view value);

// Field::GetValue for a reader that takes a text where the recordset keeps it, instead of
// as a new BSTR: returns true with `text` viewing the text's UTF-8 bytes (`value` cleared)
// when GetValue would give a VT_BSTR; the view holds until the recordset moves, changes or
// closes. Otherwise returns false with `value` (cleared first) holding exactly what GetValue
// gives. Fails as GetValue does; a null argument is E_POINTER.
bool GetFieldValueInPlace(Field* field, VARIANT* value, std::string_view* text);
}  // namespace dbplatform

DBPLATFORM_PUBLIC_END
