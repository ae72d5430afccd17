// A host that uses Quillet alone, built with the flags of Quillet's package only.
// Argument: a SQLite file to create.
#include <cstdio>
#include <string>

#include <quillet/Quillet.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillet-host FILE.db\n");
        return 2;
    }
    CoInitialize(nullptr);
    IQuillet* quillet = CreateQuillet();
    if (quillet == nullptr) return 1;
    std::string connection = std::string("Provider=SQLite;Data Source=") + argv[1] + ";Create=True";
    quillet->SetConnectionString(connection.c_str());
    int opened = quillet->OpenDatabase();
    int created = opened == 1 ? quillet->ExecuteSql("create table charges (n int)", 1) : 0;
    int inserted = created == 1 ? quillet->ExecuteSql("insert into charges values (7)", 1) : 0;
    long rows = -1;
    if (inserted == 1 && quillet->OpenRecordset("select n from charges", 1, 3, 1, 1) == 1) rows = quillet->GetRecordCount();
    std::printf("open %d, create %d, insert %d, rows %ld\n", opened, created, inserted, rows);
    if (rows != 1) std::printf("error: %s\n", static_cast<const char*>(quillet->GetErrorText()));
    DeleteQuillet(quillet);
    CoUninitialize();
    return rows == 1 ? 0 : 1;
}
