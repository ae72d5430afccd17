// Commands and queries on the connection: translation, execution, the table statements,
// the schema listings and the one-table query.
#include <quillet/CQuillet.h>
#include <quillet/Identifiers.h>
#include <quillet/SqlDialect.h>
#include <quillet/TableDefinitionCheck.h>

#include <dbplatform/automation/SafeArray.h>

namespace quillet {

CString CQuillet::TranslateSql(CString sql) { return TranslateForKind(sql, GetDatabaseKind()); }

// Runs the text as given (never translated); the recordset that Execute returns, closed
// for statements without rows, becomes the current one.
int CQuillet::ExecuteSql(CString sql, long options) {
    if (!PassConnectionGate()) return 0;
    try {
        if (recordset && recordset->GetState() == adStateOpen) Check(recordset->Close());
    } catch (const _com_error& error) {
        lastError = DescriptionOf(error);
        return 0;
    }
    lastSql = sql;
    try {
        _RecordsetPtr result = connection->Execute(_bstr_t(sql.GetString()), nullptr, options);
        recordset = result;
        return 1;
    } catch (const _com_error& error) {
        lastError = DescriptionOf(error);
        return 0;
    }
}

// Names and type words are pasted into the statement, so a value that could change its
// shape is refused before anything is composed or sent.
int CQuillet::CreateTable(CString table, CStringList* names, CStringList* types) {
    if (!IsSafeTableDefinition(table, names, types)) {
        lastError = SystemMessageOf(_com_error(E_INVALIDARG));
        return 0;
    }
    int kind = GetDatabaseKind();
    CString statement;
    if (!ComposeCreateTable(table, names, types, kind, varcharLen, &statement)) return 0;
    if (RefusesAsColumnless(statement, kind)) {  // nothing is sent
        lastError = kNoColumnRefusal;
        CloseRecordset();
        return 0;
    }
    if (TranslatesCreateStatement(kind)) statement = TranslateSql(statement);
    int result = ExecuteSql(statement, adCmdText);
    CloseRecordset();
    return result;
}

int CQuillet::CreateTableEx(CString table, CStringList* names, CStringList* types, CStringList* sizes,
                            CStringList* extras, CStringList* nullability) {
    if (!IsSafeTableDefinition(table, names, types, sizes, extras, nullability)) {
        lastError = SystemMessageOf(_com_error(E_INVALIDARG));
        return 0;
    }
    int kind = GetDatabaseKind();
    int length = varcharLen;
    CString statement = ComposeCreateTableEx(table, names, types, sizes, extras, nullability, kind, &length);
    SetVarcharLength(length);
    if (RefusesAsColumnless(statement, kind)) {  // nothing is sent
        lastError = kNoColumnRefusal;
        CloseRecordset();
        return 0;
    }
    if (TranslatesCreateStatement(kind)) statement = TranslateSql(statement);
    int result = ExecuteSql(statement, adCmdText);
    CloseRecordset();
    return result;
}

// Only a table name, optionally schema-qualified, is taken; each part is bracketed on its
// own so that public.t names table t of schema public. A refused name sends nothing.
int CQuillet::DropTable(CString table) {
    if (!IsTableName(table.str())) {
        lastError = SystemMessageOf(_com_error(E_INVALIDARG));
        return 0;
    }
    CString statement = "DROP TABLE " + BracketedTableName(table);
    int result = ExecuteSql(TranslateSql(statement), adCmdText);
    CloseRecordset();
    return result;
}

namespace {

// Appends TABLE_NAME of every row of a schema recordset, then closes it.
void AppendTableNames(const _RecordsetPtr& schema, CStringList* names) {
    while (schema->GetadoEOF() == VARIANT_FALSE) {
        _bstr_t name = schema->GetCollect(_variant_t("TABLE_NAME"));
        names->AddTail(CString(static_cast<const char*>(name)));
        Check(schema->MoveNext());
    }
    Check(schema->Close());
}

// The restriction list of a tables schema: catalog, schema and name open, the type given.
_variant_t TableTypeRestriction(const char* tableType) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 4);
    if (!array) _com_issue_error(E_OUTOFMEMORY);
    _variant_t type(tableType);
    LONG index = 3;
    HRESULT hr = SafeArrayPutElement(array, &index, &type);
    if (FAILED(hr)) {
        SafeArrayDestroy(array);
        _com_issue_error(hr);
    }
    VARIANT restriction;
    VariantInit(&restriction);
    restriction.vt = VT_ARRAY | VT_VARIANT;
    restriction.parray = array;
    return _variant_t(restriction, false);
}

}  // namespace

// Access and the default kinds list tables, then views, and leave out system tables;
// other products list whatever their provider's table schema holds.
int CQuillet::GetTableNames(CStringList* names) {
    if (names) names->RemoveAll();
    if (!PassConnectionGate()) return 0;
    if (!names) return 0;
    int kind = GetDatabaseKind();
    try {
        if (kind == DB_OTHER || kind == DB_ACCESS) {
            for (const char* tableType : {"TABLE", "VIEW"})
                AppendTableNames(connection->OpenSchema(adSchemaTables, TableTypeRestriction(tableType)), names);
        } else {
            AppendTableNames(connection->OpenSchema(adSchemaTables), names);
        }
        return 1;
    } catch (const _com_error& error) {
        lastError = DescriptionOf(error);
        return 0;
    }
}

// The table is opened as a table command, so only a table name (an Excel sheet with its
// '$', optionally a schema-qualified name) is taken; a refused one sends nothing.
int CQuillet::GetColumnNames(CString table, CStringList* names) {
    if (!IsTableName(table.str())) {
        lastError = SystemMessageOf(_com_error(E_INVALIDARG));
        return 0;
    }
    if (!PassConnectionGate()) return 0;
    if (!names) return 0;
    CString source = QuoteIdentifiersForKind(BracketedTableName(table), GetDatabaseKind());
    try {
        CLSID recordsetClass;
        Check(dbplatform::ClassIdFromProgId("ADODB.Recordset", &recordsetClass));
        _RecordsetPtr columns;
        Check(CreateRunningObject(recordsetClass, columns));
        _variant_t activeConnection(static_cast<IDispatch*>(connection.GetInterfacePtr()));
        Check(columns->Open(_variant_t(source.GetString()), activeConnection, adOpenStatic, adLockOptimistic,
                            adCmdTable));
        FieldsPtr fields = columns->GetFields();
        long count = fields->GetCount();
        for (long i = 0; i < count; ++i)
            names->AddTail(CString(static_cast<const char*>(fields->GetItem(_variant_t(static_cast<int>(i)))->GetName())));
        return 1;
    } catch (const _com_error& error) {
        lastError = DescriptionOf(error);
        return 0;
    }
}

CString CQuillet::GetFieldName(int index) {
    try {
        return CString(static_cast<const char*>(recordset->GetFields()->GetItem(_variant_t(index))->GetName()));
    } catch (...) {
        return CString();
    }
}

// A refused value sends nothing: the current recordset and the last SQL text stay as they were.
int CQuillet::OpenQuery(CString table, CStringList* columns, CString keyColumn, CString lowerBound,
                        CString upperBound, CString keyType, CString orderColumn, CString orderSuffix, int top) {
    CString text;
    switch (ComposeOneTableQuery(table, columns, keyColumn, lowerBound, upperBound, keyType, orderColumn, orderSuffix,
                                 top, GetDatabaseKind(), &text)) {
        case QueryComposition::NoTable: return 0;
        case QueryComposition::RefusedName: lastError = SystemMessageOf(_com_error(E_INVALIDARG)); return 0;
        case QueryComposition::RefusedBound: lastError = SystemMessageOf(_com_error(DISP_E_TYPEMISMATCH)); return 0;
        case QueryComposition::Composed: break;
    }
    return OpenRecordset(text, 1, adOpenStatic, adLockOptimistic, adCmdText);
}

}  // namespace quillet
