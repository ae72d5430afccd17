#include <dbplatform/providers/odbc/OdbcTableKeys.h>

#include <cctype>

#include <dbplatform/base/AsciiText.h>

namespace dbplatform::provider::odbc {

std::string_view SchemaBoundFacts::FirstWord(std::string_view sql) {
    std::size_t start = 0;
    while (start < sql.size() && std::isspace(static_cast<unsigned char>(sql[start]))) ++start;
    std::size_t end = start;
    while (end < sql.size() && std::isalpha(static_cast<unsigned char>(sql[end]))) ++end;
    return sql.substr(start, end - start);
}

// Only the first word is read; a text starting with a comment or anything unusual
// counts as a possible change, which costs one catalog read and nothing else.
bool SchemaBoundFacts::MayChangeSchema(std::string_view sql) {
    const std::string_view word = FirstWord(sql);
    for (const char* harmless : {"SELECT", "INSERT", "UPDATE", "DELETE", "BEGIN", "COMMIT", "END"})
        if (EqualNoCase(word, harmless)) return false;
    return true;
}

bool SchemaBoundFacts::EndsOrStartsTransaction(std::string_view sql) {
    const std::string_view word = FirstWord(sql);
    for (const char* control : {"BEGIN", "COMMIT", "END", "ROLLBACK", "SAVEPOINT", "RELEASE"})
        if (EqualNoCase(word, control)) return true;
    return false;
}

}  // namespace dbplatform::provider::odbc
