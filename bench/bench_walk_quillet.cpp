#include "bench_walk_quillet.h"

#include <cstdio>
#include <cstdlib>

#include <quillet/Quillet.h>

namespace benchwalk {

namespace {

// Opens `query` through Quillet on `connectionString` and reads every row with the typed
// getters, by name or by position. The clock covers connecting (the connection gate opens
// the database on demand), the walk and closing, as the raw loops count theirs. The date
// column is read as the host's CTime, which goes through local calendar time on every row.
ServerWalkResult WalkQuillet(const std::string& connectionString, const std::string& query, const char* name,
                             bool byIndex) {
    ServerWalkResult result;
    IQuillet* quillet = CreateQuillet();
    if (!quillet) std::exit(2);
    quillet->SetConnectionString(CString(connectionString));
    double start = Now();
    if (!quillet->OpenRecordset(CString(query), 1, adOpenStatic, adLockReadOnly, adCmdText)) {
        std::fprintf(stderr, "%s: %s\n", name, quillet->GetErrorText().GetString());
        std::exit(2);
    }
    long id = 0;
    CTime born;
    double amount = 0;
    CString label;
    while (!quillet->IsEOF()) {
        if (byIndex) {
            quillet->GetFieldLongAt(0, id);
            quillet->GetFieldTimeAt(1, born);
            quillet->GetFieldDoubleAt(2, amount);
            quillet->GetFieldStringAt(3, label);
        } else {
            quillet->GetFieldLong("id", id);
            quillet->GetFieldTime("born", born);
            quillet->GetFieldDouble("amount", amount);
            quillet->GetFieldString("label", label);
        }
        result.checksum += static_cast<double>(id) + static_cast<double>(born.GetTime() % 60) + amount + label.GetLength();
        quillet->MoveNext();
    }
    quillet->CloseRecordset();
    quillet->CloseDatabase();
    result.seconds = Now() - start;
    DeleteQuillet(quillet);
    return result;
}

const char* kQuery = "select id, born, amount, label from walk";

}  // namespace

ServerWalkResult WalkQuilletSqlite(const std::string& sqliteFile) {
    return WalkQuillet("Provider=SQLite;Data Source=" + sqliteFile, kQuery, "quillet-sqlite", false);
}

ServerWalkResult WalkQuilletSqliteIndex(const std::string& sqliteFile) {
    return WalkQuillet("Provider=SQLite;Data Source=" + sqliteFile, kQuery, "quillet-sqlite-index", true);
}

ServerWalkResult WalkQuilletPg(const std::string& sqliteFile) {
    if (PostgresConnectionString().empty()) std::exit(2);
    return WalkQuillet(PostgresConnectionString(), "select id, born, amount, label from " + PostgresTableFor(sqliteFile),
                       "quillet-pg", false);
}

ServerWalkResult WalkQuilletOdbc(const std::string& sqliteFile) {
    return WalkQuillet(SqliteOdbcConnectionString(sqliteFile), kQuery, "quillet-odbc", false);
}

}  // namespace benchwalk
