// A second process for the journal tests: opens a SQLite database through the ADO
// objects, runs one statement (committed at once, as every statement outside a
// transaction is) and says how long that took, or why it failed.
//   sqlite_writer_process <connection string> <ConnectionTimeout seconds> <statement>
// Prints "ok <milliseconds>" and exits 0, or "failed <milliseconds> <description>" and 1.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <dbplatform/dbplatform.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <connection string> <timeout seconds> <statement>\n", argv[0]);
        return 2;
    }
    CoInitialize(nullptr);
    auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    };
    int status = 0;
    try {
        _ConnectionPtr connection;
        if (FAILED(connection.CreateInstance("ADODB.Connection"))) _com_issue_error(E_FAIL);
        connection->PutConnectionTimeout(std::atol(argv[2]));
        connection->Open(_bstr_t(argv[1]), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
        connection->Execute(_bstr_t(argv[3]), nullptr, adCmdText);
        connection->Close();
        std::printf("ok %lld\n", static_cast<long long>(elapsed()));
    } catch (const _com_error& error) {
        _bstr_t description = error.Description();
        const char* text = description;
        std::printf("failed %lld %s\n", static_cast<long long>(elapsed()), text ? text : "");
        status = 1;
    }
    CoUninitialize();
    return status;
}
