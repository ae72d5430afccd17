// The walk through a static read-only client Recordset on PostgreSQL (libpq provider) and
// on the SQLite file through the ODBC provider, read with GetCollect.
#include "bench_walk_servers.h"

#include <ctime>
#include <cstdio>
#include <cstdlib>

#include <dbplatform/dbplatform.h>

namespace benchwalk {
namespace {

// CPU time of this process, as the other walks measure it: the server's share of a
// PostgreSQL walk is not counted, only what the client spends on the rows.
double Now() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

ServerWalkResult WalkRecordset(const std::string& connectionString, const std::string& table, const char* name) {
    ServerWalkResult result;
    CoInitialize(nullptr);
    {
        _ConnectionPtr connection;
        _RecordsetPtr recordset;
        if (FAILED(connection.CreateInstance("ADODB.Connection")) || FAILED(recordset.CreateInstance("ADODB.Recordset")))
            std::exit(2);
        try {
            double start = Now();
            connection->Open(_bstr_t(connectionString.c_str()), _bstr_t(""), _bstr_t(""), -1);
            const _variant_t id("id"), born("born"), amount("amount"), label("label");
            recordset->PutCursorLocation(adUseClient);
            std::string query = "select id, born, amount, label from " + table;
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
            connection->Close();
            result.seconds = Now() - start;
        } catch (const _com_error& error) {
            std::fprintf(stderr, "%s: %s\n", name, static_cast<const char*>(error.Description()));
            std::exit(2);
        }
    }
    CoUninitialize();
    return result;
}

}  // namespace

ServerWalkResult WalkRecordsetPg(const std::string& sqliteFile) {
    if (PostgresConnectionString().empty()) std::exit(2);
    return WalkRecordset(PostgresConnectionString(), PostgresTableFor(sqliteFile), "recordset-pg");
}

ServerWalkResult WalkRecordsetOdbc(const std::string& sqliteFile) {
    return WalkRecordset(SqliteOdbcConnectionString(sqliteFile), "walk", "recordset-odbc");
}

}  // namespace benchwalk
