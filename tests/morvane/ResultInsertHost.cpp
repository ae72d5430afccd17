// A model host for the shared-store tests: stores one result for each of `count`
// charges, one minute apart from 2005-12-19 08:00, through ResultInsertBD on the ODBC
// data source it is given, as every host of a furnace would. Several of these run at
// once on one store, all trying the same charges.
//
//   morvane_result_insert_host DSN HOST_NUMBER COUNT [USER]
//
// The password, when the source needs one, comes from MORVANE_TEST_PASSWORD. Every
// profile point of a stored row is HOST_NUMBER, so a row tells which host wrote it.
// Exit status: 0 when every call returned 1 and nothing was shown, 1 when a call failed,
// 2 for bad arguments or a failed Connect.
#include <morvane/Morvane.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool ParseCount(const char* text, long low, long high, long* value) {
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 10);
    if (!*text || *end || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

// "YYYY-MM-DD HH:MM:SS" of `minute` minutes after 2005-12-19 08:00.
std::string ChargeTime(long minute) {
    DATE start = 0;
    dbplatform::DateFromText("2005-12-19 08:00:00", &start);
    return dbplatform::TextFromDate(start + static_cast<double>(minute) / 1440.0);
}

}  // namespace

int main(int argc, char** argv) {
    long host = 0, count = 0;
    if (argc < 4 || argc > 5 || !ParseCount(argv[2], 1, 1000, &host) || !ParseCount(argv[3], 1, 100000, &count)) {
        std::fprintf(stderr, "usage: %s DSN HOST_NUMBER(1-1000) COUNT(1-100000) [USER]\n", argv[0]);
        return 2;
    }
    long shown = 0;
    dbplatform::SetMessageBoxHandler([&](const char* text, const char*, unsigned) {
        ++shown;
        std::fprintf(stderr, "host %ld shows: %s\n", host, text ? text : "");
        return 1;  // IDOK
    });

    CoInitialize(nullptr);
    int exitStatus = 0;
    {
        CMorvane store;
        store.m_bstrDbType = "MicroSoft Access";
        store.m_bstrDataSource = argv[1];
        if (argc == 5) store.m_bstrUserID = argv[4];
        if (const char* password = std::getenv("MORVANE_TEST_PASSWORD")) store.m_bstrPassword = password;
        if (store.Connect() != 1) {
            std::fprintf(stderr, "host %ld: Connect failed\n", host);
            exitStatus = 2;
        } else {
            long failed = 0;
            for (long charge = 0; charge < count; ++charge) {
                std::string time = ChargeTime(charge);
                std::snprintf(store.m_szBDTime, sizeof(store.m_szBDTime), "%s", time.c_str());
                store.m_nBDMaterial = charge % 2 ? 20 : 10;
                store.m_dBDLeftPoint = static_cast<double>(host);
                for (double& point : store.m_dBDSeq) point = static_cast<double>(host);
                int status = store.ResultInsertBD();
                if (status != 1) {
                    ++failed;
                    std::fprintf(stderr, "host %ld: ResultInsertBD at %s returned %d\n", host, time.c_str(), status);
                }
            }
            if (failed || shown) exitStatus = 1;
        }
    }
    CoUninitialize();
    return exitStatus;
}
