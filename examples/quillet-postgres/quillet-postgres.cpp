// Quillet on a PostgreSQL server. The connection string comes from the environment, so
// no password is written into the program:
//   QUILLET_EXAMPLE_PG="Provider=PostgreSQL;Data Source=db.plant:5432;Location=burden;User ID=model;Password=…"
// (the test suite's DBPLATFORM_TEST_PG is used when QUILLET_EXAMPLE_PG is unset).
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include <quillet/Quillet.h>

int main() {
    const char* connection = std::getenv("QUILLET_EXAMPLE_PG");
    if (connection == nullptr || *connection == '\0') connection = std::getenv("DBPLATFORM_TEST_PG");
    if (connection == nullptr || *connection == '\0') {
        std::fprintf(stderr, "quillet-postgres: set QUILLET_EXAMPLE_PG to a connection string\n");
        return 2;
    }

    IQuillet* db = CreateQuillet();
    if (db == nullptr) return 1;
    db->SetConnectionString(connection);
    std::printf("database kind %d (5 is PostgreSQL)\n", db->GetDatabaseKind());

    // A table of this process's own, so that two runs at once do not meet.
    CString table;
    table.Format("quillet_example_%d", static_cast<int>(getpid()));
    CString create;
    create.Format("create table [%s] ([charge] integer, [taken] timestamp, [weight] double precision)",
                  table.GetString());
    CString insert;
    insert.Format("insert into [%s] values (1, #2026-12-08 06:00:00#, 31.5), (2, #2026-12-08 06:06:00#, 29.25), "
                  "(3, #2026-12-08 06:12:00#, 30.75)",
                  table.GetString());
    CString query;
    query.Format("select top 1 [charge], [weight] from [%s] where [taken] > #2026-12-08 06:01:00# order by [charge]",
                 table.GetString());

    int status = 0;
    // ExecuteSql runs the text as given; TranslateSql turns the generic dialect into PostgreSQL's.
    if (!db->ExecuteSql(db->TranslateSql(create), adCmdText) || !db->ExecuteSql(db->TranslateSql(insert), adCmdText)) {
        std::fprintf(stderr, "quillet-postgres: %s\n", db->GetErrorText().GetString());
        status = 1;
    } else if (!db->OpenRecordset(query, 1, adOpenStatic, adLockReadOnly, adCmdText)) {
        std::fprintf(stderr, "quillet-postgres: query failed: %s\n", db->GetErrorText().GetString());
        status = 1;
    } else {
        std::printf("sent: %s\n", db->GetLastSql().GetString());
        int charge = 0;
        double weight = 0;
        db->GetFieldInt("charge", charge);
        db->GetFieldDouble("weight", weight);
        std::printf("first charge after 06:01: %d, %.2f t\n", charge, weight);
        if (charge != 2) status = 1;
    }
    db->DropTable(table);
    db->CloseDatabase();
    DeleteQuillet(db);
    return status;
}
