// The current recordset: opening it, moving through it, adding, saving and deleting rows,
// and the object's own row counter.
#include <quillet/CQuillet.h>

namespace quillet {

namespace {
// MoveLast's row counter when the cursor cannot count its rows.
constexpr int kUnknownLastRow = 99999999;
}  // namespace

// rowIndex is reset before any check, so even a refused open leaves it at -1.
int CQuillet::OpenRecordset(CString sql, int translate, long cursorType, long lockType, long options) {
    rowIndex = -1;
    if (!PassConnectionGate()) return 0;
    if (sql.IsEmpty()) {
        lastError = "No SQL";
        return 0;
    }
    if (translate) sql = TranslateSql(sql);
    fields.Forget();
    localTimes.Forget();
    try {
        if (recordset) {
            if (recordset->GetState() == adStateOpen) Check(recordset->Close());
            recordset = nullptr;
        }
        if (FAILED(CreateRunningObject(CLSID_Recordset, recordset)) || !recordset) {
            recordset = nullptr;
            lastError = "Fail to create recordset";
            return 0;
        }
        recordset->PutCacheSize(cacheSize);
        lastSql = sql;
        recordset->PutCursorLocation(adUseClient);
        _variant_t activeConnection(static_cast<IDispatch*>(connection.GetInterfacePtr()));
        Check(recordset->Open(_variant_t(sql.GetString()), activeConnection, static_cast<CursorTypeEnum>(cursorType),
                              static_cast<LockTypeEnum>(lockType), options));
        return 1;
    } catch (const _com_error& error) {
        lastError = DescriptionOf(error);
        return 0;
    }
}

// Open check, then one call; a COM error stores its system message and changes nothing else.
template <class Call>
int CQuillet::RunRecordsetCall(Call call) {
    if (!IsRecordsetOpen()) return 0;
    try {
        call();
        return 1;
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        return 0;
    }
}

int CQuillet::MoveFirst() {
    int result = RunRecordsetCall([&] { Check(recordset->MoveFirst()); });
    if (result) rowIndex = 0;
    return result;
}

int CQuillet::MovePrevious() {
    int result = RunRecordsetCall([&] { Check(recordset->MovePrevious()); });
    if (result) --rowIndex;
    return result;
}

int CQuillet::MoveNext() {
    int result = RunRecordsetCall([&] { Check(recordset->MoveNext()); });
    if (result) ++rowIndex;
    return result;
}

int CQuillet::MoveLast() {
    int result = RunRecordsetCall([&] { Check(recordset->MoveLast()); });
    if (result) {
        long count = GetRecordCount();
        rowIndex = count == -1 ? kUnknownLastRow : static_cast<int>(count - 1);
    }
    return result;
}

// The caller's start value is released on every path.
int CQuillet::Move(long numRecords, VARIANT start) {
    _variant_t startValue;
    startValue.Attach(start);
    int result = RunRecordsetCall([&] { Check(recordset->Move(numRecords, startValue)); });
    if (result) rowIndex = static_cast<int>(numRecords);
    return result;
}

int CQuillet::SetAbsolutePosition(long position) {
    return RunRecordsetCall([&] { recordset->PutAbsolutePosition(position); });
}

int CQuillet::Update() {
    return RunRecordsetCall([&] { Check(recordset->Update(vtMissing, vtMissing)); });
}

int CQuillet::UpdateBatch(long affectRecords) {
    return RunRecordsetCall([&] { Check(recordset->UpdateBatch(static_cast<AffectEnum>(affectRecords))); });
}

int CQuillet::Delete(long affectRecords) {
    return RunRecordsetCall([&] { Check(recordset->Delete(static_cast<AffectEnum>(affectRecords))); });
}

int CQuillet::AddNew() {
    if (!IsRecordsetOpen()) return 0;
    try {
        if (recordset->Supports(adAddNew) == VARIANT_FALSE) {
            lastError = "Recordset not Support AddNew";
            return 0;
        }
        Check(recordset->AddNew(vtMissing, vtMissing));
        return 1;
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        return 0;
    }
}

// Each answer keeps its fallback when the recordset is closed or the call fails.
long CQuillet::GetRecordCount() {
    long count = -1;
    RunRecordsetCall([&] { count = recordset->GetRecordCount(); });
    return count;
}

long CQuillet::GetAbsolutePosition() {
    long position = -1;
    RunRecordsetCall([&] { position = recordset->GetAbsolutePosition(); });
    return position;
}

// A position at the end is the safe answer when nothing can be read: loops stop.
int CQuillet::IsEOF() {
    int atEnd = 1;
    RunRecordsetCall([&] { atEnd = recordset->GetadoEOF() == VARIANT_TRUE ? 1 : 0; });
    return atEnd;
}

int CQuillet::IsBOF() {
    int atStart = 1;
    RunRecordsetCall([&] { atStart = recordset->GetBOF() == VARIANT_TRUE ? 1 : 0; });
    return atStart;
}

int CQuillet::Supports(long cursorOptions) {
    try {
        if (!IsRecordsetOpen()) return 0;
        return recordset->Supports(static_cast<CursorOptionEnum>(cursorOptions)) == VARIANT_TRUE ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

void CQuillet::SetVarcharLength(int length) {
    if (length > 0) varcharLen = length;
}

void CQuillet::SetCacheSize(int size) {
    if (size > 0) cacheSize = size;
}

int CQuillet::GetRowIndex() { return rowIndex; }

}  // namespace quillet
