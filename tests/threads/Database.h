// A connection of the test's own on one database target, with the few calls the
// threading and ownership tests make through it.
#pragma once

#include <filesystem>
#include <string>

#include <dbplatform/dbplatform.h>

#include "TestDatabases.h"

namespace threadtest {

// The targets these tests run on: the embedded engine (one file per user) and a server.
inline const testdb::Target kTargets[] = {testdb::Target::SqliteNative, testdb::Target::PostgresNative};

// A table of `id integer primary key, name varchar(40)` under a name unique to the
// process and `who`, on `target`; for SQLite in a file of its own. Dropped again (and
// the file removed) when the object goes.
class Database {
public:
    Database(testdb::Target target, const std::string& who)
        : table(testdb::UniqueName("thr_" + who)),
          sqliteFile(target == testdb::Target::SqliteNative ? testdb::TempSqliteFile("thr_" + who) : ""),
          connectionString(testdb::ConnectionString(target, sqliteFile)) {}
    ~Database() {
        if (!sqliteFile.empty()) std::filesystem::remove(sqliteFile);
    }

    _ConnectionPtr Connect() const {
        _ConnectionPtr connection;
        if (FAILED(connection.CreateInstance("ADODB.Connection"))) throw _com_error(E_FAIL);
        connection->Open(_bstr_t(connectionString), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
        return connection;
    }
    void CreateTable(const _ConnectionPtr& connection) const {
        try {
            connection->Execute(_bstr_t("drop table " + table), nullptr, adCmdText);
        } catch (const _com_error&) {
        }
        connection->Execute(_bstr_t("create table " + table + " (id integer primary key, name varchar(40))"), nullptr,
                            adCmdText);
    }
    void DropTable(const _ConnectionPtr& connection) const {
        connection->Execute(_bstr_t("drop table " + table), nullptr, adCmdText);
    }
    // A client-side static recordset over `sql`.
    _RecordsetPtr Open(const _ConnectionPtr& connection, const std::string& sql, LockTypeEnum lock) const {
        _RecordsetPtr recordset;
        if (FAILED(recordset.CreateInstance("ADODB.Recordset"))) throw _com_error(E_FAIL);
        recordset->PutCursorLocation(adUseClient);
        recordset->Open(_variant_t(sql.c_str()), _variant_t(static_cast<IDispatch*>(connection)), adOpenStatic, lock,
                        adCmdText);
        return recordset;
    }
    // Adds rows first..last (name "row <id>") and sends them with UpdateBatch.
    void AddBatch(const _RecordsetPtr& recordset, long first, long last) const {
        for (long id = first; id <= last; ++id) {
            recordset->AddNew(vtMissing, vtMissing);
            recordset->PutCollect(_variant_t("id"), _variant_t(id));
            recordset->PutCollect(_variant_t("name"), _variant_t(("row " + std::to_string(id)).c_str()));
        }
        recordset->UpdateBatch(adAffectAll);
    }
    long Count(const _ConnectionPtr& connection) const {
        _RecordsetPtr rows = Open(connection, "select count(*) from " + table, adLockReadOnly);
        return static_cast<long>(rows->GetCollect(_variant_t(0L)));
    }

    const std::string table;
    const std::string sqliteFile;  // empty on a server
    const std::string connectionString;
};

}  // namespace threadtest
