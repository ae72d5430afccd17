// CQuillet: the one implementation of IQuillet. Never exposed to hosts, who see only the
// interface and the two factory functions.
#pragma once

#include <quillet/Quillet.h>

#include <dbplatform/com/ComError.h>

#include <string_view>

#include "FieldCache.h"
#include "LocalTimes.h"

namespace quillet {

// A field of the current row, chosen by name or by zero-based position.
struct FieldKey {
    const char* name;
    long index;
    bool byName;
    static FieldKey Named(const char* fieldName) { return {fieldName, 0, true}; }
    static FieldKey At(long fieldIndex) { return {nullptr, fieldIndex, false}; }
    // The key as ADO takes it: VT_BSTR for a name, VT_I4 for a position.
    _variant_t ToVariant() const;
};

// The two texts of a COM error that operations store: the system message of its code,
// and the description the provider attached (empty when none).
CString SystemMessageOf(const _com_error& error);
CString DescriptionOf(const _com_error& error);

class CQuillet final : public IQuillet {
public:
    CQuillet();
    ~CQuillet() override;
    CQuillet(const CQuillet&) = delete;
    CQuillet& operator=(const CQuillet&) = delete;

    CString GetErrorText() override;
    int EditConnectionString(CString& connStr) override;
    void SetConnectionString(CString connStr) override;
    CString GetConnectionString() override;
    int OpenDatabase() override;
    int CloseDatabase() override;
    int IsDatabaseOpen() override;
    _ConnectionPtr GetConnection() override;
    void SetConnection(_ConnectionPtr connection) override;
    int CreateTable(CString table, CStringList* names, CStringList* types) override;
    int CreateTableEx(CString table, CStringList* names, CStringList* types, CStringList* sizes,
                      CStringList* extras, CStringList* nullability) override;
    int DropTable(CString table) override;
    int GetTableNames(CStringList* names) override;
    CString GetFieldName(int index) override;
    int GetColumnNames(CString table, CStringList* names) override;
    int OpenRecordset(CString sql, int translate, long cursorType, long lockType, long options) override;
    int ExecuteSql(CString sql, long options) override;
    CString TranslateSql(CString sql) override;
    int OpenQuery(CString table, CStringList* columns, CString keyColumn, CString lowerBound, CString upperBound,
                  CString keyType, CString orderColumn, CString orderSuffix, int top) override;
    CString GetLastSql() override;
    _RecordsetPtr GetRecordset() override;
    int GetDatabaseKind() override;
    int IsRecordsetOpen() override;
    int CloseRecordset() override;
    long GetRecordCount() override;
    long GetFieldCount() override;
    int AddNew() override;
    int Update() override;
    int UpdateBatch(long affectRecords) override;
    int Delete(long affectRecords) override;
    int MoveFirst() override;
    int MovePrevious() override;
    int MoveNext() override;
    int MoveLast() override;
    int Move(long numRecords, VARIANT start) override;
    long GetAbsolutePosition() override;
    int SetAbsolutePosition(long position) override;
    int IsEOF() override;
    int IsBOF() override;
    int SetFieldChunk(const char* name, const unsigned char* data, long length) override;
    int SetFieldTime(const char* name, const CTime& value) override;
    int SetFieldBool(const char* name, const bool& value) override;
    int SetFieldByte(const char* name, const unsigned char& value) override;
    int SetFieldShort(const char* name, const short& value) override;
    int SetFieldInt(const char* name, const int& value) override;
    int SetFieldLong(const char* name, const long& value) override;
    int SetFieldFloat(const char* name, const float& value) override;
    int SetFieldDouble(const char* name, const double& value) override;
    int SetFieldString(const char* name, const CString& value) override;
    int SetFieldValue(const char* name, const VARIANT& value) override;
    int SetFieldChunkAt(long index, const unsigned char* data, long length) override;
    int SetFieldTimeAt(long index, const CTime& value) override;
    int SetFieldBoolAt(long index, const bool& value) override;
    int SetFieldByteAt(long index, const unsigned char& value) override;
    int SetFieldShortAt(long index, const short& value) override;
    int SetFieldIntAt(long index, const int& value) override;
    int SetFieldLongAt(long index, const long& value) override;
    int SetFieldFloatAt(long index, const float& value) override;
    int SetFieldDoubleAt(long index, const double& value) override;
    int SetFieldStringAt(long index, const CString& value) override;
    int SetFieldValueAt(long index, const VARIANT& value) override;
    int GetFieldChunk(const char* name, unsigned char*& buffer, long& length) override;
    int GetFieldTime(const char* name, CTime& value) override;
    int GetFieldBool(const char* name, bool& value) override;
    int GetFieldChar(const char* name, char& value) override;
    int GetFieldShort(const char* name, short& value) override;
    int GetFieldInt(const char* name, int& value) override;
    int GetFieldLong(const char* name, long& value) override;
    int GetFieldFloat(const char* name, float& value) override;
    int GetFieldDouble(const char* name, double& value) override;
    int GetFieldString(const char* name, CString& value) override;
    int GetFieldValue(const char* name, VARIANT& value) override;
    int GetFieldChunkAt(long index, unsigned char*& buffer, long& length) override;
    int GetFieldTimeAt(long index, CTime& value) override;
    int GetFieldBoolAt(long index, bool& value) override;
    int GetFieldCharAt(long index, char& value) override;
    int GetFieldShortAt(long index, short& value) override;
    int GetFieldIntAt(long index, int& value) override;
    int GetFieldLongAt(long index, long& value) override;
    int GetFieldFloatAt(long index, float& value) override;
    int GetFieldDoubleAt(long index, double& value) override;
    int GetFieldStringAt(long index, CString& value) override;
    int GetFieldValueAt(long index, VARIANT& value) override;
    long GetFieldActualSizeAt(long index) override;
    long GetFieldActualSize(const char* name) override;
    long GetFieldType(const char* name) override;
    long GetFieldTypeAt(long index) override;
    void SetVarcharLength(int length) override;
    void SetCacheSize(int size) override;
    int Supports(long cursorOptions) override;
    int GetRowIndex() override;

private:
    // The connection gate of the operations that work on the database: true when the
    // connection is open (opening it on demand from the unconnected state).
    bool PassConnectionGate();
    // One navigation or editing call under the common error handling.
    template <class Call>
    int RunRecordsetCall(Call call);

    // Field access shared by the by-name and by-position forms.
    int ReadValue(const FieldKey& key, VARIANT& value);
    // The field's value through Collect, or through its cached field object.
    _variant_t FetchValue(const FieldKey& key);
    // A typed getter's read: 0 when the field cannot be read (reported as ReadValue does),
    // 1 with the value in `fetched`, or 2 with a text's UTF-8 bytes in `*text` where the
    // recordset keeps them, for a caller that passes `text`.
    int FetchTyped(const FieldKey& key, VARIANT& fetched, std::string_view* text);
    int WriteValue(const FieldKey& key, const VARIANT& value);
    // Fetches a field for a typed getter and converts it to `type`: 0 when the field
    // cannot be read or converted (value untouched), else 1 with the value (zero for NULL).
    template <class Value, class Extract>
    int ReadNumber(const FieldKey& key, VARTYPE type, Value& value, Extract extract);
    int ReadBool(const FieldKey& key, bool& value);
    int ReadString(const FieldKey& key, CString& value);
    int ReadTime(const FieldKey& key, CTime& value);
    int WriteChunk(const FieldKey& key, const unsigned char* data, long length);
    int ReadChunk(const FieldKey& key, unsigned char*& buffer, long length);
    int WriteTime(const FieldKey& key, const CTime& value);
    long ReadActualSize(const FieldKey& key);
    long ReadType(const FieldKey& key);

    CString lastError;
    CString connStr;
    _ConnectionPtr connection;
    _RecordsetPtr recordset;
    CString lastSql;
    int cacheSize = 500;
    int varcharLen = 255;
    int rowIndex = -1;
    FieldCache fields;       // of `recordset`, forgotten when it closes or is replaced
    LocalTimes localTimes;   // for the time getters
};

// Creates an ADO object of class `clsid` the way the platform's components are started:
// any class context, as IUnknown, put into its running state, then queried for Interface.
template <class Interface>
HRESULT CreateRunningObject(const CLSID& clsid, _com_ptr_t<Interface>& object) {
    object = nullptr;
    IUnknown* unknown = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                                  IUnknown::iid, reinterpret_cast<void**>(&unknown));
    if (FAILED(hr)) return hr;
    if (!unknown) return E_POINTER;
    OleRun(unknown);
    Interface* typed = nullptr;
    hr = unknown->QueryInterface(Interface::iid, reinterpret_cast<void**>(&typed));
    unknown->Release();
    if (FAILED(hr)) return hr;
    object.Attach(typed);
    return S_OK;
}

// Throws the platform's exception for a failing result, as the wrappers do.
inline void Check(HRESULT hr) {
    if (FAILED(hr)) _com_issue_error(hr);
}

}  // namespace quillet
