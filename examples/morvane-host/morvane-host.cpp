// The ten-line host of the README: how many charges the model has processed, and the
// first of them. It reads the plant database that morvane-demo keeps, through the ODBC
// data source that morvane-demo writes (run it with that folder's ODBCSYSINI and ODBCINI).
// Usage: morvane-host [DATA-SOURCE]   (default: morvane_plant)
#include <cstdio>

#include <morvane/Morvane.h>

int main(int argc, char** argv) {
    CoInitialize(nullptr);
    int status = 1;
    {
        CMorvane store;  // destroyed before CoUninitialize
        store.m_bstrDbType = "MicroSoft Access";
        store.m_bstrDataSource = argc > 1 ? argv[1] : "morvane_plant";
        if (store.Connect() == 1 && store.DumpGetRecent() == 1) {
            std::printf("%d charges, the first at %s\n", store.m_nRecordCount, store.m_szRecentTime[0]);
            status = 0;
        }
    }
    CoUninitialize();
    return status;
}
