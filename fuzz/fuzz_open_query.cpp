// OpenQuery's composer with fuzzed names and bounds, translated for DB_OTHER, DB_MYSQL and
// DB_POSTGRESQL. Whatever the values, an accepted query must be one select of one table
// whose where clause compares the key column with at most two literals:
//  - read as text, it has exactly that shape; on MySQL no string literal holds a
//    backslash, so that both of the server's backslash modes read the same literals;
//  - SQLite prepares it as one statement with nothing left over, reading that table only
//    and calling no function.
// Input: kind byte, top byte, key type byte, then NUL-separated fields: table, columns
// (separated by 0x01), key, lower bound, upper bound, order column, order suffix.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <dbplatform/providers/sqlite/GenericDialect.h>
#include <quillet/Quillet.h>
#include <quillet/SqlDialect.h>

namespace {

[[noreturn]] void Broken() { std::abort(); }

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    for (;;) {
        std::size_t at = text.find(separator);
        parts.emplace_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

bool IsIdentifierByte(char ch) {
    const unsigned char byte = static_cast<unsigned char>(ch);
    return byte >= 0x80 || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           ch == '_' || ch == '$';
}

char Lower(char ch) { return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// Reads the translated text against the one shape it may have:
//   select [top N] (* | Q(,Q)*) from T[.T]* [where Q op L [and Q op L] [order by Q] [asc|desc]] [limit]
// where Q is a quoted identifier, T a run of identifier bytes, L a string or a number,
// and every Q of the where clause is the same key column.
class ShapeReader {
public:
    ShapeReader(std::string_view text, int kind) : text_(text), kind_(kind) {
        open_ = kind == DB_MYSQL ? '`' : kind == DB_POSTGRESQL ? '"' : '[';
        close_ = kind == DB_MYSQL ? '`' : kind == DB_POSTGRESQL ? '"' : ']';
    }

    void Read() {
        Word("select");
        if (kind_ == DB_OTHER && TryWord("top")) Number();
        Blanks();
        if (!Take('*')) {
            QuotedName();
            while (Take(',')) QuotedName();
        }
        Word("from");
        Blanks();
        IdentifierRun();
        while (position_ < text_.size() && text_[position_] == '.') ++position_, IdentifierRun();
        if (TryWord("where")) {
            std::string key = Condition();
            if (TryWord("and") && Condition() != key) Broken();
            if (TryWord("order")) {
                Word("by");
                Blanks();
                QuotedName();
            }
            if (!TryWord("asc")) TryWord("desc");
        }
        if (kind_ == DB_MYSQL && TryWord("limit")) {
            Number();
            Blanks();
            if (!Take(',')) Broken();
            Number();
        } else if (kind_ == DB_POSTGRESQL && TryWord("limit")) {
            Number();
        }
        Blanks();
        if (position_ != text_.size()) Broken();
    }

private:
    void Blanks() {
        while (position_ < text_.size() && (text_[position_] == ' ' || text_[position_] == '\t' ||
                                            text_[position_] == '\r' || text_[position_] == '\n'))
            ++position_;
    }
    bool Take(char ch) {
        Blanks();
        if (position_ < text_.size() && text_[position_] == ch) return ++position_, true;
        return false;
    }
    bool TryWord(std::string_view word) {
        Blanks();
        if (position_ + word.size() > text_.size() || !SameIgnoringCase(text_.substr(position_, word.size()), word))
            return false;
        std::size_t end = position_ + word.size();
        if (end < text_.size() && IsIdentifierByte(text_[end])) return false;
        position_ = end;
        return true;
    }
    void Word(std::string_view word) {
        if (!TryWord(word)) Broken();
    }
    std::string IdentifierRun() {
        std::size_t start = position_;
        while (position_ < text_.size() && IsIdentifierByte(text_[position_])) ++position_;
        if (position_ == start) Broken();
        return std::string(text_.substr(start, position_ - start));
    }
    std::string QuotedName() {
        if (!Take(open_)) Broken();
        std::string name = IdentifierRun();
        if (position_ >= text_.size() || text_[position_] != close_) Broken();
        ++position_;
        return name;
    }
    void Digits() {
        std::size_t start = position_;
        while (position_ < text_.size() && text_[position_] >= '0' && text_[position_] <= '9') ++position_;
        if (position_ == start) Broken();
    }
    void Number() {
        Blanks();
        Digits();
    }
    // [sign] digits [. digits] [e [sign] digits], or [sign] . digits [...]
    void SignedDecimal() {
        Blanks();
        if (position_ < text_.size() && (text_[position_] == '+' || text_[position_] == '-')) ++position_;
        if (position_ < text_.size() && text_[position_] == '.') {
            ++position_;
            Digits();
        } else {
            Digits();
            if (position_ < text_.size() && text_[position_] == '.') ++position_, Digits();
        }
        if (position_ < text_.size() && (text_[position_] == 'e' || text_[position_] == 'E')) {
            ++position_;
            if (position_ < text_.size() && (text_[position_] == '+' || text_[position_] == '-')) ++position_;
            Digits();
        }
        if (position_ < text_.size() && IsIdentifierByte(text_[position_])) Broken();
    }
    // A string with its inner quotes doubled. On MySQL it holds no backslash, which the
    // server reads as an escape in one mode and as itself in the other.
    void StringLiteral() {
        ++position_;
        for (;;) {
            if (position_ >= text_.size()) Broken();
            char ch = text_[position_++];
            if (ch == '\\' && kind_ == DB_MYSQL) Broken();
            if (ch != '\'') continue;
            if (position_ < text_.size() && text_[position_] == '\'') {
                ++position_;
                continue;
            }
            return;
        }
    }
    std::string Condition() {
        Blanks();
        std::string key = QuotedName();
        Blanks();
        if (text_.substr(position_, 2) != ">=" && text_.substr(position_, 2) != "<=") Broken();
        position_ += 2;
        Blanks();
        if (position_ < text_.size() && text_[position_] == '\'') StringLiteral();
        else SignedDecimal();
        return key;
    }

    std::string_view text_;
    int kind_;
    char open_, close_;
    std::size_t position_ = 0;
};

struct Expected {
    std::string schema, table;
    bool everyColumn = false;  // select *
    int selects = 0;
};

// Counts the selects, and refuses every read of another table and any other action.
int Authorize(void* context, int action, const char* first, const char* second, const char* database, const char*) {
    auto* expected = static_cast<Expected*>(context);
    switch (action) {
        case SQLITE_SELECT: ++expected->selects; return SQLITE_OK;
        case SQLITE_READ:
            if (!first || !SameIgnoringCase(first, expected->table)) Broken();
            if (!expected->schema.empty() && (!database || !SameIgnoringCase(database, expected->schema))) Broken();
            if (!expected->everyColumn && second && SameIgnoringCase(second, "zz_unnamed_column")) Broken();
            return SQLITE_OK;
        default: Broken();
    }
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// Creates the table with the named columns and one the query never names, then
// prepares the query. A statement that SQLite refuses runs nothing and is fine (a name
// may be a keyword); one that it accepts must be exactly one select of that table.
void PrepareOnSqlite(const std::string& sql, const std::string& table, const std::vector<std::string>& names,
                     bool everyColumn) {
    std::vector<std::string> parts = Split(table, '.');
    if (parts.size() > 2) return;
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) Broken();
    Expected expected;
    expected.table = parts.back();
    expected.everyColumn = everyColumn;
    std::string qualified = Quoted(parts.back());
    if (parts.size() == 2) {
        expected.schema = parts[0];
        if (!SameIgnoringCase(parts[0], "main") && !SameIgnoringCase(parts[0], "temp"))
            sqlite3_exec(db, ("ATTACH ':memory:' AS " + Quoted(parts[0])).c_str(), nullptr, nullptr, nullptr);
        qualified = Quoted(parts[0]) + "." + qualified;
    }
    std::string create = "CREATE TABLE " + qualified + " (zz_unnamed_column";
    std::vector<std::string> created{"zz_unnamed_column"};
    for (const auto& name : names) {
        bool seen = false;
        for (const auto& other : created) seen = seen || SameIgnoringCase(name, other);
        if (seen || name.empty()) continue;
        created.push_back(name);
        create += ", " + Quoted(name);
    }
    create += ")";
    if (sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, "CREATE TABLE zz_other_table (x)", nullptr, nullptr, nullptr) == SQLITE_OK) {
        sqlite3_set_authorizer(db, Authorize, &expected);
        sqlite3_stmt* statement = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &statement, &tail) == SQLITE_OK &&
            statement) {
            if (tail != sql.c_str() + sql.size()) Broken();
            if (expected.selects != 1 || !sqlite3_stmt_readonly(statement) ||
                sqlite3_bind_parameter_count(statement) != 0)
                Broken();
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    static const int kinds[] = {DB_OTHER, DB_MYSQL, DB_POSTGRESQL};
    static const char* keyTypes[] = {"varchar", "datetime", "int", "varchar2", "Date Time"};
    const int kind = kinds[data[0] % 3];
    const int top = data[1] % 4 == 0 ? data[1] / 4 : 0;
    const char* keyType = keyTypes[data[2] % 5];
    std::vector<std::string> fields = Split(std::string_view(reinterpret_cast<const char*>(data + 3), size - 3), '\0');
    fields.resize(7);
    const std::string& table = fields[0];

    CStringList columns;
    std::vector<std::string> names;
    bool everyColumn = true;
    for (const auto& column : Split(fields[1], '\x01')) {
        columns.AddTail(CString(column));
        names.push_back(column);
        everyColumn = everyColumn && column.find_first_not_of(' ') == std::string::npos;
    }
    names.push_back(fields[2]);
    names.push_back(fields[5]);
    for (auto& name : names) std::erase(name, ' ');

    CString text;
    if (quillet::ComposeOneTableQuery(CString(table), &columns, CString(fields[2]), CString(fields[3]),
                                      CString(fields[4]), keyType, CString(fields[5]), CString(fields[6]), top, kind,
                                      &text) != quillet::QueryComposition::Composed)
        return 0;
    const std::string translated = quillet::TranslateForKind(text, kind).str();
    ShapeReader(translated, kind).Read();

    std::string bareTable = table;
    std::erase(bareTable, ' ');
    const std::string forSqlite =
        kind == DB_OTHER ? dbplatform::sqlite::RewriteGenericDialect(translated) : translated;
    PrepareOnSqlite(forSqlite, bareTable, names, everyColumn);
    return 0;
}
