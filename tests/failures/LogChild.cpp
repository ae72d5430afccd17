// A host that fails twice (an Open of a missing file, a query of a missing table), run
// by the diagnostics tests with DBPLATFORM_LOG set as each case needs.
#include <dbplatform/dbplatform.h>

int main() {
    _ConnectionPtr connection;
    if (FAILED(connection.CreateInstance("ADODB.Connection"))) return 2;
    try {
        connection->Open(_bstr_t("Provider=SQLite;Data Source=/nonexistent-dir/h5.db;Password=child_secret"), _bstr_t(),
                         _bstr_t(), adConnectUnspecified);
        return 3;
    } catch (const _com_error&) {
    }
    try {
        connection->Open(_bstr_t("Provider=SQLite;Data Source=:memory:"), _bstr_t(), _bstr_t(), adConnectUnspecified);
        connection->Execute(_bstr_t("select *\nfrom missing_table"), nullptr, adCmdText);
        return 4;
    } catch (const _com_error&) {
    }
    return 0;
}
