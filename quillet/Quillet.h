// Quillet: a general database interface. A host creates an object with CreateQuillet,
// uses it only through IQuillet and frees it with DeleteQuillet. Hosts call the
// operations through the virtual table, so their order below is part of the binary
// interface and must never change: new operations may only be added at the end.
//
// Threads: separate IQuillet objects work on separate threads at once; one object
// (with the recordset GetRecordset hands out) is used by one thread at a time.
// OpenDatabase calls CoInitialize on its thread itself.
#pragma once

#include <dbplatform/ado/Ado.h>
#include <dbplatform/automation/Variant.h>
#include <dbplatform/mfc/Object.h>
#include <dbplatform/mfc/String.h>
#include <dbplatform/mfc/StringList.h>
#include <dbplatform/mfc/Time.h>

#if defined(QUILLET_BUILDING)
#define QUILLET_API __attribute__((visibility("default")))
#else
#define QUILLET_API
#endif

// The product behind a connection string, recognised from the text alone.
enum DatabaseKind {
    DB_OTHER = 0,
    DB_ACCESS = 1,
    DB_ORACLE = 2,
    DB_EXCEL = 3,
    DB_MYSQL = 4,  // also every connection string that names the MSDASQL provider
    DB_POSTGRESQL = 5,
};

class IQuillet : public CObject {
public:
    virtual ~IQuillet() = default;

    virtual CString GetErrorText() = 0;
    virtual int EditConnectionString(CString& connStr) = 0;
    virtual void SetConnectionString(CString connStr) = 0;
    virtual CString GetConnectionString() = 0;
    virtual int OpenDatabase() = 0;
    virtual int CloseDatabase() = 0;
    virtual int IsDatabaseOpen() = 0;
    virtual _ConnectionPtr GetConnection() = 0;
    virtual void SetConnection(_ConnectionPtr connection) = 0;
    virtual int CreateTable(CString table, CStringList* names, CStringList* types) = 0;
    virtual int CreateTableEx(CString table, CStringList* names, CStringList* types, CStringList* sizes,
                              CStringList* extras, CStringList* nullability) = 0;
    virtual int DropTable(CString table) = 0;
    virtual int GetTableNames(CStringList* names) = 0;
    virtual CString GetFieldName(int index) = 0;
    virtual int GetColumnNames(CString table, CStringList* names) = 0;
    virtual int OpenRecordset(CString sql, int translate, long cursorType, long lockType, long options) = 0;
    virtual int ExecuteSql(CString sql, long options) = 0;
    virtual CString TranslateSql(CString sql) = 0;
    virtual int OpenQuery(CString table, CStringList* columns, CString keyColumn, CString lowerBound,
                          CString upperBound, CString keyType, CString orderColumn, CString orderSuffix,
                          int top) = 0;
    virtual CString GetLastSql() = 0;
    virtual _RecordsetPtr GetRecordset() = 0;
    virtual int GetDatabaseKind() = 0;
    virtual int IsRecordsetOpen() = 0;
    virtual int CloseRecordset() = 0;
    virtual long GetRecordCount() = 0;
    virtual long GetFieldCount() = 0;
    virtual int AddNew() = 0;
    virtual int Update() = 0;
    virtual int UpdateBatch(long affectRecords) = 0;
    virtual int Delete(long affectRecords) = 0;
    virtual int MoveFirst() = 0;
    virtual int MovePrevious() = 0;
    virtual int MoveNext() = 0;
    virtual int MoveLast() = 0;
    virtual int Move(long numRecords, VARIANT start) = 0;
    virtual long GetAbsolutePosition() = 0;
    virtual int SetAbsolutePosition(long position) = 0;
    virtual int IsEOF() = 0;
    virtual int IsBOF() = 0;
    virtual int SetFieldChunk(const char* name, const unsigned char* data, long length) = 0;
    virtual int SetFieldTime(const char* name, const CTime& value) = 0;
    virtual int SetFieldBool(const char* name, const bool& value) = 0;
    virtual int SetFieldByte(const char* name, const unsigned char& value) = 0;
    virtual int SetFieldShort(const char* name, const short& value) = 0;
    virtual int SetFieldInt(const char* name, const int& value) = 0;
    virtual int SetFieldLong(const char* name, const long& value) = 0;
    virtual int SetFieldFloat(const char* name, const float& value) = 0;
    virtual int SetFieldDouble(const char* name, const double& value) = 0;
    virtual int SetFieldString(const char* name, const CString& value) = 0;
    virtual int SetFieldValue(const char* name, const VARIANT& value) = 0;
    virtual int SetFieldChunkAt(long index, const unsigned char* data, long length) = 0;
    virtual int SetFieldTimeAt(long index, const CTime& value) = 0;
    virtual int SetFieldBoolAt(long index, const bool& value) = 0;
    virtual int SetFieldByteAt(long index, const unsigned char& value) = 0;
    virtual int SetFieldShortAt(long index, const short& value) = 0;
    virtual int SetFieldIntAt(long index, const int& value) = 0;
    virtual int SetFieldLongAt(long index, const long& value) = 0;
    virtual int SetFieldFloatAt(long index, const float& value) = 0;
    virtual int SetFieldDoubleAt(long index, const double& value) = 0;
    virtual int SetFieldStringAt(long index, const CString& value) = 0;
    virtual int SetFieldValueAt(long index, const VARIANT& value) = 0;
    virtual int GetFieldChunk(const char* name, unsigned char*& buffer, long& length) = 0;
    virtual int GetFieldTime(const char* name, CTime& value) = 0;
    virtual int GetFieldBool(const char* name, bool& value) = 0;
    virtual int GetFieldChar(const char* name, char& value) = 0;
    virtual int GetFieldShort(const char* name, short& value) = 0;
    virtual int GetFieldInt(const char* name, int& value) = 0;
    virtual int GetFieldLong(const char* name, long& value) = 0;
    virtual int GetFieldFloat(const char* name, float& value) = 0;
    virtual int GetFieldDouble(const char* name, double& value) = 0;
    virtual int GetFieldString(const char* name, CString& value) = 0;
    virtual int GetFieldValue(const char* name, VARIANT& value) = 0;
    virtual int GetFieldChunkAt(long index, unsigned char*& buffer, long& length) = 0;
    virtual int GetFieldTimeAt(long index, CTime& value) = 0;
    virtual int GetFieldBoolAt(long index, bool& value) = 0;
    virtual int GetFieldCharAt(long index, char& value) = 0;
    virtual int GetFieldShortAt(long index, short& value) = 0;
    virtual int GetFieldIntAt(long index, int& value) = 0;
    virtual int GetFieldLongAt(long index, long& value) = 0;
    virtual int GetFieldFloatAt(long index, float& value) = 0;
    virtual int GetFieldDoubleAt(long index, double& value) = 0;
    virtual int GetFieldStringAt(long index, CString& value) = 0;
    virtual int GetFieldValueAt(long index, VARIANT& value) = 0;
    virtual long GetFieldActualSizeAt(long index) = 0;
    virtual long GetFieldActualSize(const char* name) = 0;
    virtual long GetFieldType(const char* name) = 0;
    virtual long GetFieldTypeAt(long index) = 0;
    virtual void SetVarcharLength(int length) = 0;
    virtual void SetCacheSize(int size) = 0;
    virtual int Supports(long cursorOptions) = 0;
    virtual int GetRowIndex() = 0;
};

extern "C" {
// A new, independent object, or null when memory cannot be had.
QUILLET_API IQuillet* CreateQuillet();
// Closes and frees an object made by CreateQuillet; null is ignored.
QUILLET_API void DeleteQuillet(IQuillet* object);
}
