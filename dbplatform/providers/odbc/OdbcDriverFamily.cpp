#include <dbplatform/providers/odbc/OdbcDriverFamily.h>

#include <string.h>

#include <dbplatform/base/AsciiText.h>
#include <dbplatform/providers/odbc/OdbcApi.h>

#include <algorithm>
#include <cctype>
#include <optional>

namespace dbplatform::provider::odbc {
namespace {

// A driver name as the DRIVER key gives it, one level of braces removed.
std::string Unbraced(std::string_view value) {
    if (value.size() < 2 || value.front() != '{' || value.back() != '}') return std::string(value);
    std::string inner;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        inner += value[i];
        if (value[i] == '}' && value[i + 1] == '}') ++i;
    }
    return inner;
}

// An ODBC 3 environment handle for the driver manager's catalogues, freed on scope exit.
class Environment {
public:
    Environment() {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle_))) handle_ = SQL_NULL_HENV;
        else SQLSetEnvAttr(handle_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    ~Environment() {
        if (handle_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, handle_);
    }
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;
    SQLHENV handle() const { return handle_; }

private:
    SQLHENV handle_ = SQL_NULL_HENV;
};

// The driver named by data source `dsn` (its "Driver" entry), if the source exists.
std::optional<std::string> DriverOfDataSource(SQLHENV environment, const std::string& dsn) {
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR description[512];
    SQLSMALLINT nameLength = 0, descriptionLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;
         SQL_SUCCEEDED(SQLDataSources(environment, direction, name, sizeof name, &nameLength, description,
                                      sizeof description, &descriptionLength));
         direction = SQL_FETCH_NEXT) {
        if (EqualNoCase(reinterpret_cast<const char*>(name), dsn))
            return std::string(reinterpret_cast<const char*>(description));
    }
    return std::nullopt;
}

// The library registered for driver `driver` (its "Driver=" attribute), if registered.
std::optional<std::string> LibraryOfDriver(SQLHENV environment, const std::string& driver) {
    SQLCHAR description[512];
    SQLCHAR attributes[4096];
    SQLSMALLINT descriptionLength = 0, attributesLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;
         SQL_SUCCEEDED(SQLDrivers(environment, direction, description, sizeof description, &descriptionLength,
                                  attributes, sizeof attributes, &attributesLength));
         direction = SQL_FETCH_NEXT) {
        if (!EqualNoCase(reinterpret_cast<const char*>(description), driver)) continue;
        // "key=value\0key=value\0\0", cut short by the buffer at worst.
        const char* at = reinterpret_cast<const char*>(attributes);
        const char* end = at + std::min<std::size_t>(sizeof attributes, std::max<SQLSMALLINT>(attributesLength, 0));
        while (at < end && *at) {
            std::string_view pair(at, strnlen(at, static_cast<std::size_t>(end - at)));
            if (pair.size() > 7 && StartsWithNoCase(pair, "Driver=")) return std::string(pair.substr(7));
            at += pair.size() + 1;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

DriverFamily DriverFamilyOfName(std::string_view libraryOrName) {
    std::string name = AsciiLowered(libraryOrName);
    if (auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    if (name.find("sqlite") != std::string::npos) return DriverFamily::NoBraces;
    for (const char* mariadb : {"maodbc", "myodbc", "mariadb", "mysql"})
        if (name.find(mariadb) != std::string::npos) return DriverFamily::PartialBraces;
    return DriverFamily::Standard;
}

DriverFamily DriverFamilyOf(const OpenRequest& request) {
    Environment environment;
    std::optional<std::string> driver;
    if (auto named = request.properties.Get("DRIVER")) {
        driver = Unbraced(*named);
    } else {
        std::optional<std::string> dsn = request.properties.Get("DSN");
        if (!dsn) dsn = request.properties.Get("Data Source");
        if (dsn && environment.handle() != SQL_NULL_HENV) driver = DriverOfDataSource(environment.handle(), Unbraced(*dsn));
    }
    if (!driver) return DriverFamily::Standard;
    bool isPath = driver->find('/') != std::string::npos || AsciiLowered(*driver).find(".so") != std::string::npos;
    if (!isPath && environment.handle() != SQL_NULL_HENV) {
        if (auto library = LibraryOfDriver(environment.handle(), *driver)) return DriverFamilyOfName(*library);
    }
    return DriverFamilyOfName(*driver);
}

}  // namespace dbplatform::provider::odbc
