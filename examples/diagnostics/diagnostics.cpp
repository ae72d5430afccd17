// The diagnostics channel: Quillet reports a failure with a short fixed text, the channel
// receives the full cause (provider description, object, operation, SQL) for the host's log.
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include <dbplatform/dbplatform.h>
#include <quillet/Quillet.h>

int main() {
    // The handler runs on the failing thread, possibly on several threads at once: guard
    // what it shares. It must not throw.
    std::mutex mutex;
    std::vector<dbplatform::DiagnosticRecord> records;
    dbplatform::SetDiagnosticHandler([&](const dbplatform::DiagnosticRecord& record) {
        std::lock_guard<std::mutex> lock(mutex);
        records.push_back(record);
    });

    IQuillet* db = CreateQuillet();
    if (db == nullptr) return 1;
    // The password never reaches a record: the channel masks it.
    db->SetConnectionString("Provider=SQLite;Data Source=:memory:;Password=not-shown");
    int opened = db->OpenRecordset("select * from [matrix_bl_roof_angle]", 1, adOpenStatic, adLockReadOnly, adCmdText);
    std::printf("OpenRecordset: %d, GetErrorText: %s\n", opened, db->GetErrorText().GetString());
    DeleteQuillet(db);

    // An empty function restores the default (the DBPLATFORM_LOG destination).
    dbplatform::SetDiagnosticHandler({});
    std::lock_guard<std::mutex> lock(mutex);
    for (const dbplatform::DiagnosticRecord& r : records)
        std::printf("channel: 0x%08X %s.%s: %s [%s]\n", static_cast<unsigned>(r.hr), r.source.c_str(),
                    r.operation.c_str(), r.description.c_str(), r.sql.c_str());
    bool namedCause = false;
    for (const dbplatform::DiagnosticRecord& r : records)
        if (r.description.find("no such table") != std::string::npos) namedCause = true;
    return opened == 0 && namedCause ? 0 : 1;
}
