#include "MemoryProvider.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <optional>

#include <dbplatform/dbplatform.h>

namespace memtest {
namespace {

using namespace dbplatform::provider;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool Same(const Value& a, const Value& b) {
    return a.kind == b.kind && a.integer == b.integer && a.real == b.real && a.bytes == b.bytes;
}

std::mutex& DatabasesMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, std::shared_ptr<MemoryDatabase>>& Databases() {
    static std::map<std::string, std::shared_ptr<MemoryDatabase>> databases;
    return databases;
}

// The rows of one query: a copy taken at Execute, as a statement's snapshot would be.
class MemoryRows : public ResultSet {
public:
    explicit MemoryRows(const MemoryTable& table) : table_(table) {}
    const std::vector<ColumnInfo>& Columns() const override { return table_.columns; }
    bool Fetch() override { return ++next_ <= table_.rows.size(); }
    CellView Cell(std::size_t column) override { return table_.rows[next_ - 1][column].View(); }

private:
    MemoryTable table_;
    std::size_t next_ = 0;
};

class MemorySession : public Session {
public:
    explicit MemorySession(std::shared_ptr<MemoryDatabase> database) : db_(std::move(database)) {}

    void SetCommandTimeout(long) override {}
    std::string DbmsName() override { return "MemoryTest"; }
    std::string DbmsVersion() override { return "1"; }
    // Every table, in name order (all are of one type): the tests here give no restrictions.
    std::vector<TableEntry> ListTables(const TableFilter&) override {
        std::vector<TableEntry> entries;
        for (const auto& [name, table] : db_->tables) entries.push_back(TableEntry{"", "", name, "TABLE"});
        std::sort(entries.begin(), entries.end(),
                  [](const TableEntry& a, const TableEntry& b) { return a.name < b.name; });
        return entries;
    }

    // Only "select * from <table>" is understood: the cursor is under test, not SQL.
    CommandResult Execute(const std::string& sql, const ExecuteOptions&) override {
        const std::string prefix = "select * from ";
        std::string lowered = Lower(sql);
        if (lowered.rfind(prefix, 0) != 0) throw _com_error(DB_E_ERRORSINCOMMAND, "Only select * from a table is understood.");
        MemoryTable* table = db_->Find(sql.substr(prefix.size()));
        if (!table) throw _com_error(DB_E_NOTABLE, "No such table: " + sql.substr(prefix.size()));
        CommandResult result;
        result.rows = std::make_unique<MemoryRows>(*table);
        return result;
    }

    void BeginTransaction() override {
        Enter(Call::Begin, "Begin");
        saved_ = db_->tables;
    }
    void CommitTransaction() override {
        Enter(Call::Commit, "Commit");
        saved_.reset();
    }
    void RollbackTransaction() override {
        Enter(Call::Rollback, "Rollback");
        if (saved_) db_->tables = std::move(*saved_);
        saved_.reset();
    }

    InsertedRow InsertRow(const std::string& tableName, const std::vector<ColumnWrite>& writes) override {
        InsertedRow inserted;
        std::optional<long> reported = Enter(Call::Insert, "Insert");
        MemoryTable& table = Table(tableName);
        if (reported == 0) return inserted;
        std::vector<Value> row(table.columns.size());
        for (const ColumnWrite& write : writes) row[Column(table, write.column)] = write.value;
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            if (!table.columns[c].key) continue;
            if (row[c].kind == ValueKind::Null) {
                std::int64_t next = 1;
                for (const auto& other : table.rows) next = std::max<std::int64_t>(next, other[c].integer + 1);
                row[c] = Int(next);
            }
            inserted.stored.emplace_back(table.columns[c].name, row[c]);
        }
        table.rows.push_back(std::move(row));
        inserted.rowsChanged = reported.value_or(1);
        return inserted;
    }

    long UpdateRow(const std::string& tableName, const std::vector<ColumnWrite>& writes, RowLocator* locator) override {
        std::optional<long> reported = Enter(Call::Update, "Update");
        MemoryTable& table = Table(tableName);
        if (reported == 0) return 0;
        auto row = Locate(table, *locator, &writes);
        if (row == table.rows.end()) return 0;
        for (const ColumnWrite& write : writes) (*row)[Column(table, write.column)] = write.value;
        for (auto& [name, value] : locator->columns) value = (*row)[Column(table, name)];
        return reported.value_or(1);
    }

    long DeleteRow(const std::string& tableName, const RowLocator& locator) override {
        std::optional<long> reported = Enter(Call::Delete, "Delete");
        MemoryTable& table = Table(tableName);
        if (reported == 0) return 0;
        auto row = Locate(table, locator, nullptr);
        if (row == table.rows.end()) return 0;
        table.rows.erase(row);
        return reported.value_or(1);
    }

private:
    // Logs the call and fires the first fault scripted for it, if its turn has come.
    // Returns the row count a scripted fault reports instead of the real one.
    std::optional<long> Enter(Call call, const std::string& name) {
        db_->log.push_back(name);
        bool write = call == Call::Insert || call == Call::Update || call == Call::Delete;
        for (auto fault = db_->faults.begin(); fault != db_->faults.end(); ++fault) {
            if (fault->call != call && !(write && fault->call == Call::AnyWrite)) continue;
            if (fault->skip > 0) {
                --fault->skip;
                return std::nullopt;
            }
            Fault fired = *fault;
            db_->faults.erase(fault);
            if (fired.hr != S_OK) throw _com_error(fired.hr, fired.text);
            if (fired.reportRows >= 0) return fired.reportRows;
            return std::nullopt;
        }
        return std::nullopt;
    }

    MemoryTable& Table(const std::string& name) {
        MemoryTable* table = db_->Find(name);
        if (!table) throw _com_error(DB_E_NOTABLE, "No such table: " + name);
        return *table;
    }

    static std::size_t Column(const MemoryTable& table, const std::string& name) {
        for (std::size_t c = 0; c < table.columns.size(); ++c)
            if (Lower(table.columns[c].name) == Lower(name)) return c;
        throw _com_error(DB_E_ERRORSINCOMMAND, "No such column: " + name);
    }

    // The first row holding the locator's values and, for an update, each written
    // column's original value.
    static std::vector<std::vector<Value>>::iterator Locate(MemoryTable& table, const RowLocator& locator,
                                                            const std::vector<ColumnWrite>* writes) {
        return std::find_if(table.rows.begin(), table.rows.end(), [&](const std::vector<Value>& row) {
            for (const auto& [name, value] : locator.columns)
                if (!Same(row[Column(table, name)], value)) return false;
            if (writes)
                for (const ColumnWrite& write : *writes)
                    if (!Same(row[Column(table, write.column)], write.original)) return false;
            return true;
        });
    }

    std::shared_ptr<MemoryDatabase> db_;
    std::optional<std::vector<std::pair<std::string, MemoryTable>>> saved_;
};

}  // namespace

MemoryTable* MemoryDatabase::Find(const std::string& name) {
    for (auto& [tableName, table] : tables)
        if (Lower(tableName) == Lower(name)) return &table;
    return nullptr;
}

std::shared_ptr<MemoryDatabase> Database(const std::string& name) {
    std::lock_guard<std::mutex> lock(DatabasesMutex());
    auto& database = Databases()[name];
    if (!database) database = std::make_shared<MemoryDatabase>();
    return database;
}

void RegisterMemoryProvider() {
    RegisterProvider("MemoryTest", [](const OpenRequest& request) -> std::unique_ptr<Session> {
        std::string name = request.properties.Get("Data Source").value_or("");
        return std::make_unique<MemorySession>(Database(name));
    });
}

Value Int(long long value) { return Value{ValueKind::Integer, static_cast<std::int64_t>(value), 0, {}}; }
Value Text(const std::string& value) { return Value{ValueKind::Text, 0, 0, value}; }

MemoryTable KeyedTable(const std::string& name, const std::vector<std::pair<long long, std::string>>& rows) {
    MemoryTable table;
    ColumnInfo id;
    id.name = id.baseColumn = "id";
    id.type = adInteger;
    id.baseTable = name;
    id.key = true;
    id.nullable = false;
    ColumnInfo text;
    text.name = text.baseColumn = "name";
    text.type = adVarWChar;
    text.definedSize = 50;
    text.baseTable = name;
    table.columns = {id, text};
    for (const auto& [key, value] : rows) table.rows.push_back({Int(key), Text(value)});
    return table;
}

}  // namespace memtest
