// The charge cycle through the SQLite ODBC driver: the same texts raw (SQLExecDirect on
// every call), and CMorvane.
// The store's header first: it sets up the platform types unixODBC's headers build on.
#include <morvane/Morvane.h>

#include <sql.h>
#include <sqlext.h>
#include <glob.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "bench_charge_methods.h"
#include "bench_charge_plant.h"

namespace benchcharge {
namespace {

[[noreturn]] void FailOdbc(SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
    SQLCHAR state[6] = {};
    SQLCHAR message[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
    Fail(what + ": " + reinterpret_cast<char*>(message));
}

// One connection to the data source and one statement handle, reused for every call.
class OdbcCycle {
public:
    OdbcCycle() {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        std::string text = std::string("DSN=") + kDataSource;
        if (!SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr, 0,
                                            nullptr, SQL_DRIVER_NOPROMPT)))
            FailOdbc(SQL_HANDLE_DBC, dbc_, "connect");
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
    }
    ~OdbcCycle() {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    OdbcCycle(const OdbcCycle&) = delete;
    OdbcCycle& operator=(const OdbcCycle&) = delete;

    bool Run(long number) {
        Execute(kNewestChargeSql);
        if (SQLFetch(stmt_) != SQL_SUCCESS) return Closed(false);
        char key[32] = {};
        SQLLEN length = 0;
        SQLGetData(stmt_, 1, SQL_C_CHAR, key, sizeof key, &length);
        SQLINTEGER charge = 0;
        SQLGetData(stmt_, 2, SQL_C_SLONG, &charge, 0, &length);
        double weights = 0;
        for (int k = 0; k < kPositions; ++k) weights += Double(3 + k);
        SQLINTEGER flag = 0;
        SQLGetData(stmt_, 3 + kPositions, SQL_C_SLONG, &flag, 0, &length);
        const int material = flag == 1 ? 10 : 20;
        Closed(true);
        ExpectNoRow(std::string(kChargeKeyCheckHead) + "'" + key + "'");
        Execute(kNewestRulerSql);
        if (SQLFetch(stmt_) == SQL_SUCCESS) weights += Double(2) + Double(3);
        Closed(true);
        double profile[kProfilePoints];
        ComputeProfile(number, profile);
        Execute("BEGIN IMMEDIATE");
        ExpectNoRow(std::string(kResultKeyHead) + "'" + key + "'");
        SQLLEN keyLength = SQL_NTS;
        SQLINTEGER materialValue = material;
        double leftPoint = weights > 0 ? 0.5 : 0.0;
        SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 19, 0, key, sizeof key, &keyLength);
        SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &materialValue, 0, nullptr);
        SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &leftPoint, 0, nullptr);
        for (int n = 0; n < kProfilePoints; ++n)
            SQLBindParameter(stmt_, static_cast<SQLUSMALLINT>(4 + n), SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                             &profile[n], 0, nullptr);
        Execute(ResultInsertSql());
        SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
        Execute("COMMIT");
        return true;
    }

private:
    void Execute(const std::string& sql) {
        SQLRETURN rc = SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) FailOdbc(SQL_HANDLE_STMT, stmt_, sql.substr(0, 60));
    }
    double Double(SQLUSMALLINT column) {
        double value = 0;
        SQLLEN length = 0;
        SQLGetData(stmt_, column, SQL_C_DOUBLE, &value, 0, &length);
        return length == SQL_NULL_DATA ? 0 : value;
    }
    bool Closed(bool result) {
        SQLFreeStmt(stmt_, SQL_CLOSE);
        return result;
    }
    void ExpectNoRow(const std::string& sql) {
        Execute(sql);
        if (SQLFetch(stmt_) != SQL_NO_DATA) Fail("lookup found a row: " + sql.substr(0, 60));
        Closed(true);
    }

    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

// The cycle as the demo runs it: the newest charge, its material, the model's profile,
// the result stored.
bool RunStoreCycle(CMorvane& store, long number) {
    store.m_szNewTime[0] = '\0';
    if (store.DumpSelectNewBD() != 1 || store.m_szNewTime[0] == '\0') return false;
    store.SkipSelectNewBD();
    std::memcpy(store.m_szBDTime, store.m_szNewTime, sizeof(store.m_szBDTime));
    double profile[kProfilePoints];
    ComputeProfile(number, profile);
    store.m_nBDMaterial = store.m_nMaterialCode;
    store.m_dBDLeftPoint = 0.5;
    std::memcpy(store.m_dBDSeq, profile, sizeof(profile));
    return store.ResultInsertBD() == 1;
}

}  // namespace

CycleRun RunOdbcRaw(const std::string& file, long first, long charges) {
    OdbcCycle cycle;
    return RunCycles(file, first, charges, [&](long number) { return cycle.Run(number); });
}

CycleRun RunStore(const std::string& file, long first, long charges) {
    CoInitialize(nullptr);
    CMorvane store;
    store.m_bstrDbType = "MicroSoft Access";
    store.m_bstrDataSource = kDataSource;
    if (store.Connect() != 1) Fail("CMorvane cannot connect to " + std::string(kDataSource));
    store.m_pConnection->PutCommandTimeout(30);
    return RunCycles(file, first, charges, [&](long number) { return RunStoreCycle(store, number); });
}

std::string WriteDataSource(const std::string& folder, const std::string& file) {
    glob_t found{};
    std::string driver;
    if (glob("/usr/lib/*/odbc/libsqlite3odbc.so", 0, nullptr, &found) == 0 && found.gl_pathc > 0)
        driver = found.gl_pathv[0];
    globfree(&found);
    if (driver.empty()) return "the SQLite ODBC driver (libsqlite3odbc.so) is not installed";
    std::ofstream(folder + "/odbcinst.ini") << "[SQLite3]\nDriver=" << driver << "\n";
    // The demo plant's data source settings; BENCH_CHARGE_TRACE names a file for the
    // driver's own trace of every statement it runs.
    const char* trace = std::getenv("BENCH_CHARGE_TRACE");
    std::ofstream(folder + "/odbc.ini") << "[" << kDataSource << "]\nDriver=SQLite3\nDatabase=" << file
                                        << "\nStepAPI=1\nTimeout=5000\nJournalMode=WAL\n"
                                        << (trace ? std::string("Tracefile=") + trace + "\n" : std::string());
    setenv("ODBCSYSINI", folder.c_str(), 1);
    setenv("ODBCINI", (folder + "/odbc.ini").c_str(), 1);
    return "";
}

}  // namespace benchcharge
