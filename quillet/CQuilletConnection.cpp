// Connection management: the connection string, opening and closing, lending and adopting
// the connection, the connection gate, the database kind and the data-link dialog.
#include <quillet/CQuillet.h>
#include <quillet/SqlDialect.h>

#include <dbplatform/datalink/DataLinks.h>

namespace quillet {

void CQuillet::SetConnectionString(CString text) { connStr = text; }

CString CQuillet::GetConnectionString() { return connStr; }

int CQuillet::GetDatabaseKind() { return DatabaseKindOf(connStr.str()); }

// A failed Open leaves the new connection object in place (stale): the gate then reports
// it instead of retrying with the same string on every call.
int CQuillet::OpenDatabase() {
    CoInitialize(nullptr);
    if (connStr.IsEmpty()) {
        lastError = "ConnectionString Is Empty";
        CloseDatabase();
        return 0;
    }
    if (connection) CloseDatabase();
    connection = nullptr;
    if (FAILED(CreateRunningObject(CLSID_Connection, connection)) || !connection) {
        connection = nullptr;
        lastError = "Fail to open database!";
        return 0;
    }
    try {
        Check(connection->Open(_bstr_t(connStr.GetString()), _bstr_t(""), _bstr_t(""), adConnectUnspecified));
        return 1;
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        return 0;
    }
}

int CQuillet::CloseDatabase() {
    CloseRecordset();
    if (!IsDatabaseOpen()) return 1;
    try {
        Check(connection->Close());
        connection = nullptr;
        return 1;
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        return 0;
    }
}

int CQuillet::IsDatabaseOpen() {
    if (!connection) return 0;
    try {
        return connection->GetState() == adStateOpen ? 1 : 0;
    } catch (const _com_error&) {
        return 0;
    }
}

_ConnectionPtr CQuillet::GetConnection() { return connection; }

void CQuillet::SetConnection(_ConnectionPtr adopted) {
    CloseDatabase();
    if (adopted != connection) connection = adopted;
}

bool CQuillet::PassConnectionGate() {
    if (connection) {
        long state = 0;
        try {
            state = connection->GetState();
        } catch (const _com_error& error) {
            lastError = SystemMessageOf(error);
            return false;
        }
        if (state != adStateOpen) {
            lastError = "Database Is not open";
            return false;
        }
        return true;
    }
    if (connStr.IsEmpty()) {
        lastError = "ConnectionString Is Empty";
        return false;
    }
    return OpenDatabase() != 0;
}

_RecordsetPtr CQuillet::GetRecordset() { return recordset; }

// Reading State of a closed recordset is allowed, so this is not expected to throw.
int CQuillet::IsRecordsetOpen() {
    if (!recordset) return 0;
    return recordset->GetState() == adStateOpen ? 1 : 0;
}

int CQuillet::CloseRecordset() {
    fields.Forget();
    try {
        if (IsRecordsetOpen()) {
            Check(recordset->Close());
            recordset = nullptr;
        }
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        return 0;
    }
    rowIndex = -1;
    return 1;
}

// The dialog edits a text only: the object's own connection string and connection stay
// as they are until the host stores the result.
int CQuillet::EditConnectionString(CString& text) {
    _com_ptr_t<IDataSourceLocator> locator;
    _ConnectionPtr privateConnection;
    int result = 0;
    try {
        Check(CreateRunningObject(CLSID_DataLinks, locator));
        if (text.IsEmpty()) {
            IDispatch* created = nullptr;
            Check(locator->PromptNew(&created));
            IDispatchPtr dispatch(created, false);
            _ConnectionPtr linked;
            if (dispatch) {
                HRESULT hr = dispatch->QueryInterface(_Connection::iid, reinterpret_cast<void**>(&linked));
                if (FAILED(hr) && hr != E_NOINTERFACE) _com_issue_error(hr);
            }
            if (!linked) {
                lastError = "Database linker is NULL";
            } else {
                text = CString(static_cast<const char*>(linked->GetConnectionString()));
                result = 1;
            }
        } else {
            Check(CreateRunningObject(CLSID_Connection, privateConnection));
            privateConnection->PutConnectionString(_bstr_t(text.GetString()));
            IDispatchPtr dispatch;
            Check(privateConnection->QueryInterface(IDispatch::iid, reinterpret_cast<void**>(&dispatch)));
            IDispatch* edited = dispatch.GetInterfacePtr();
            VARIANT_BOOL accepted = VARIANT_FALSE;
            Check(locator->PromptEdit(&edited, &accepted));
            if (accepted == VARIANT_TRUE) {
                text = CString(static_cast<const char*>(privateConnection->GetConnectionString()));
                result = 1;
            } else {
                lastError = "Fail to modify connectionstring";
            }
        }
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        result = 0;
    }
    try {
        if (privateConnection && privateConnection->GetState() == adStateOpen) privateConnection->Close();
    } catch (const _com_error&) {
    }
    return result;
}

}  // namespace quillet
