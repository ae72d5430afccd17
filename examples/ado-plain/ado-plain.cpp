// Plain ADO, as Windows hosts write it with the #import wrappers: _ConnectionPtr,
// _RecordsetPtr, properties through GetX()/PutX(), every failure thrown as _com_error.
// Usage: ado-plain [CONNECTION-STRING]   (default: an in-memory SQLite database)
#include <cstdio>

#include <dbplatform/dbplatform.h>

namespace {

// What a failure says: ErrorMessage() is the fixed system text for the HRESULT ("IDispatch
// error #3092"), Description() is what the provider said ("near \"selec\": syntax error").
void Report(const char* what, const _com_error& error) {
    const _bstr_t description = error.Description();
    std::printf("%s failed: 0x%08X\n  ErrorMessage(): %s\n  Description():  %s\n", what,
                static_cast<unsigned>(error.Error()), error.ErrorMessage(),
                description.length() ? static_cast<const char*>(description) : "(none)");
}

}  // namespace

int main(int argc, char** argv) {
    const char* connectionString = argc > 1 ? argv[1] : "Provider=SQLite;Data Source=:memory:";
    if (FAILED(CoInitialize(nullptr))) return 1;
    int status = 0;
    try {
        _ConnectionPtr connection;
        // By ProgID as on Windows; CLSID_Connection works too (there is no __uuidof).
        HRESULT hr = connection.CreateInstance("ADODB.Connection");
        if (FAILED(hr)) _com_issue_error(hr);
        connection->Open(connectionString, "", "", adConnectUnspecified);

        connection->Execute("create table furnace (id integer primary key, name varchar(20), volume double precision)",
                            nullptr, adCmdText);
        connection->Execute("insert into furnace values (1, 'BF1', 2500.0), (2, 'BF2', 4350.5)", nullptr, adCmdText);

        _RecordsetPtr recordset;
        recordset.CreateInstance("ADODB.Recordset");
        recordset->Open("select id, name, volume from furnace order by id", _variant_t(connection.GetInterfacePtr()),
                        adOpenStatic, adLockReadOnly, adCmdText);
        std::printf("%ld furnaces\n", recordset->GetRecordCount());
        // Windows code reads `rs->adoEOF` or `rs->EOF`; here it is the getter GetadoEOF().
        while (!recordset->GetadoEOF()) {
            FieldsPtr fields = recordset->GetFields();
            long id = fields->GetItem("id")->GetValue();
            _bstr_t name = fields->GetItem("name")->GetValue();
            double volume = recordset->GetCollect("volume");
            std::printf("  %ld %s %.1f m3\n", id, static_cast<const char*>(name), volume);
            recordset->MoveNext();
        }
        recordset->Close();

        // A statement the product refuses: the exception carries both texts.
        try {
            connection->Execute("selec * from furnace", nullptr, adCmdText);
            std::printf("a wrong statement was accepted\n");
            status = 1;
        } catch (const _com_error& error) {
            Report("selec", error);
        }
        connection->Close();
    } catch (const _com_error& error) {
        Report("the example", error);
        status = 1;
    }
    CoUninitialize();
    return status;
}
