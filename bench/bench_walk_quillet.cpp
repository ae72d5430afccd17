#include "bench_walk_quillet.h"

#include <cstdio>
#include <cstdlib>

#include <quillet/Quillet.h>

namespace benchwalk {

// The date column is read as the host's CTime, which goes through local calendar time
// (mktime) on every row.
ServerWalkResult WalkQuilletSqlite(const std::string& sqliteFile) {
    ServerWalkResult result;
    IQuillet* quillet = CreateQuillet();
    if (!quillet) std::exit(2);
    quillet->SetConnectionString(CString("Provider=SQLite;Data Source=" + sqliteFile));
    double start = Now();
    if (!quillet->OpenRecordset("select id, born, amount, label from walk", 1, adOpenStatic, adLockReadOnly,
                                adCmdText)) {
        std::fprintf(stderr, "quillet-sqlite: %s\n", quillet->GetErrorText().GetString());
        std::exit(2);
    }
    long id = 0;
    CTime born;
    double amount = 0;
    CString label;
    while (!quillet->IsEOF()) {
        quillet->GetFieldLong("id", id);
        quillet->GetFieldTime("born", born);
        quillet->GetFieldDouble("amount", amount);
        quillet->GetFieldString("label", label);
        result.checksum += static_cast<double>(id) + static_cast<double>(born.GetTime() % 60) + amount + label.GetLength();
        quillet->MoveNext();
    }
    quillet->CloseRecordset();
    result.seconds = Now() - start;
    DeleteQuillet(quillet);
    return result;
}

}  // namespace benchwalk
