// A provider over tables held in memory, for testing the cursor engine's failure paths
// without a server. Each data source is a named `MemoryDatabase` the test fills and
// inspects directly; a connection opens it with "Provider=MemoryTest;Data Source=<name>".
// The database keeps a log of the calls the engine made, and a script of faults: a
// write or transaction call can fail with a chosen HRESULT and text, or report a row
// count other than the one it changed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <dbplatform/ado/Provider.h>

namespace memtest {

using dbplatform::provider::ColumnInfo;
using dbplatform::provider::Value;

// The provider calls a fault can target. `AnyWrite` matches inserts, updates and deletes.
enum class Call { Insert, Update, Delete, AnyWrite, Begin, Commit, Rollback };

struct Fault {
    Call call = Call::AnyWrite;
    int skip = 0;              // matching calls let through before this one fires
    HRESULT hr = S_OK;         // a failure: thrown as _com_error(hr, text)
    std::string text;
    long reportRows = -1;      // else (>= 0): the write reports this many rows changed;
                               // 0 leaves the table alone, more applies the write once
};

struct MemoryTable {
    std::vector<ColumnInfo> columns;
    std::vector<std::vector<Value>> rows;
};

struct MemoryDatabase {
    std::vector<std::pair<std::string, MemoryTable>> tables;
    std::vector<Fault> faults;     // each fires once, then is gone
    std::vector<std::string> log;  // "Begin", "Insert", "Update", "Delete", "Commit", "Rollback"

    MemoryTable* Find(const std::string& name);
};

// The database behind Data Source=`name`, created empty on first use.
std::shared_ptr<MemoryDatabase> Database(const std::string& name);

// Registers the provider under "MemoryTest" (idempotent).
void RegisterMemoryProvider();

Value Int(long long value);
Value Text(const std::string& value);

// A table `name` with an integer key "id" and a text column "name", holding `rows`.
MemoryTable KeyedTable(const std::string& name, const std::vector<std::pair<long long, std::string>>& rows);

}  // namespace memtest
