// The walk through a static read-only client Recordset on PostgreSQL (libpq provider) and
// on the SQLite file through the ODBC provider, read with GetCollect.
#include "bench_walk_servers.h"

#include <cstdio>
#include <cstdlib>

#include <dbplatform/dbplatform.h>

namespace benchwalk {

ServerWalkResult WalkRecordset(const std::string& connectionString, const std::string& query, const char* name,
                               bool timeConnecting) {
    ServerWalkResult result;
    CoInitialize(nullptr);
    {
        _ConnectionPtr connection;
        _RecordsetPtr recordset;
        if (FAILED(connection.CreateInstance("ADODB.Connection")) || FAILED(recordset.CreateInstance("ADODB.Recordset")))
            std::exit(2);
        try {
            double start = timeConnecting ? Now() : 0;
            connection->Open(_bstr_t(connectionString.c_str()), _bstr_t(""), _bstr_t(""), -1);
            const _variant_t id("id"), born("born"), amount("amount"), label("label");
            if (!timeConnecting) start = Now();
            recordset->PutCursorLocation(adUseClient);
            recordset->Open(_variant_t(query.c_str()), _variant_t(static_cast<IDispatch*>(connection)), adOpenStatic,
                            adLockReadOnly, adCmdText);
            while (recordset->GetadoEOF() != VARIANT_TRUE) {
                result.checksum += static_cast<double>(recordset->GetCollect(id));
                result.checksum += static_cast<double>(recordset->GetCollect(born));
                result.checksum += static_cast<double>(recordset->GetCollect(amount));
                _variant_t text = recordset->GetCollect(label);
                result.checksum += SysStringLen(text.bstrVal);
                recordset->MoveNext();
            }
            recordset->Close();
            if (!timeConnecting) result.seconds = Now() - start;
            connection->Close();
            if (timeConnecting) result.seconds = Now() - start;
        } catch (const _com_error& error) {
            std::fprintf(stderr, "%s: %s\n", name, static_cast<const char*>(error.Description()));
            std::exit(2);
        }
    }
    CoUninitialize();
    return result;
}

ServerWalkResult WalkRecordsetPg(const std::string& sqliteFile) {
    if (PostgresConnectionString().empty()) std::exit(2);
    return WalkRecordset(PostgresConnectionString(), "select id, born, amount, label from " + PostgresTableFor(sqliteFile),
                         "recordset-pg", true);
}

ServerWalkResult WalkRecordsetOdbc(const std::string& sqliteFile) {
    return WalkRecordset(SqliteOdbcConnectionString(sqliteFile), "select id, born, amount, label from walk",
                         "recordset-odbc", true);
}

}  // namespace benchwalk
