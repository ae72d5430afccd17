#include <dbplatform/providers/odbc/OdbcKeptStatements.h>

#include <algorithm>

namespace dbplatform::provider::odbc {

SQLHSTMT KeptStatements::Take(const std::string& text, const std::string& schemaVersion) {
    if (schemaVersion.empty() || schemaVersion != schemaVersion_) {
        Forget();
        schemaVersion_ = schemaVersion;
        return SQL_NULL_HSTMT;
    }
    auto kept = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) { return entry.text == text; });
    if (kept == entries_.end()) return SQL_NULL_HSTMT;
    SQLHSTMT handle = kept->handle;
    entries_.erase(kept);
    return handle;
}

void KeptStatements::GiveBack(const std::string& text, std::uint64_t generation, SQLHSTMT handle) {
    const bool known = std::any_of(entries_.begin(), entries_.end(), [&](const Entry& entry) { return entry.text == text; });
    if (generation != generation_ || schemaVersion_.empty() || known) {
        SQLFreeHandle(SQL_HANDLE_STMT, handle);
        return;
    }
    if (entries_.size() >= kLimit) {
        SQLFreeHandle(SQL_HANDLE_STMT, entries_.front().handle);
        entries_.erase(entries_.begin());
    }
    entries_.push_back(Entry{text, handle});
}

void KeptStatements::Forget() {
    for (const Entry& entry : entries_) SQLFreeHandle(SQL_HANDLE_STMT, entry.handle);
    entries_.clear();
    schemaVersion_.clear();
    ++generation_;
}

}  // namespace dbplatform::provider::odbc
