#include <dbplatform/datalink/OdbcDataSources.h>

#include <sql.h>
#include <sqlext.h>

namespace dbplatform::datalink {

std::vector<std::pair<std::string, std::string>> OdbcDataSources() {
    std::vector<std::pair<std::string, std::string>> sources;
    SQLHENV environment = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) return sources;
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR description[512];
    SQLSMALLINT nameLength = 0, descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSources(environment, direction, name, sizeof name, &nameLength, description,
                                        sizeof description, &descriptionLength))) {
        sources.emplace_back(reinterpret_cast<const char*>(name), reinterpret_cast<const char*>(description));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, environment);
    return sources;
}

}  // namespace dbplatform::datalink
