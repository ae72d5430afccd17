// Quillet on an embedded SQLite file: create a table, insert rows through the recordset,
// write a blob in chunks, query it back in the generic dialect and read the blob again.
// Usage: quillet-sqlite [FILE.db]   (default: quillet-example.db in the current folder)
#include <cstdio>
#include <cstring>
#include <vector>

#include <quillet/Quillet.h>

namespace {

// Prints what failed and why; the Quillet object keeps the text of its last failure.
int Fail(IQuillet* db, const char* what) {
    std::fprintf(stderr, "quillet-sqlite: %s failed: %s\n", what, db->GetErrorText().GetString());
    DeleteQuillet(db);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* file = argc > 1 ? argv[1] : "quillet-example.db";
    std::remove(file);  // every run starts from an empty database

    IQuillet* db = CreateQuillet();
    if (db == nullptr) return 1;
    CString connection;
    connection.Format("Provider=SQLite;Data Source=%s;Create=True", file);
    db->SetConnectionString(connection);
    if (!db->OpenDatabase()) return Fail(db, "OpenDatabase");

    // Generic dialect: [brackets] around names; TranslateSql adapts them to the product.
    if (!db->ExecuteSql(db->TranslateSql("create table [parts] ([id] integer primary key, [name] varchar(40), "
                                         "[weight] double precision, [drawing] blob)"),
                        adCmdText))
        return Fail(db, "create table");

    // Insert through an updatable recordset: AddNew, set the fields, Update.
    if (!db->OpenRecordset("select * from [parts]", 1, adOpenKeyset, adLockOptimistic, adCmdText))
        return Fail(db, "OpenRecordset for writing");
    const char* names[] = {"chute", "throat", "bell"};
    for (int i = 0; i < 3; ++i) {
        if (!db->AddNew() || !db->SetFieldInt("id", i + 1) || !db->SetFieldString("name", names[i]) ||
            !db->SetFieldDouble("weight", 12.5 * (i + 1)))
            return Fail(db, "AddNew");
        if (i == 0) {
            // A blob is written in pieces with AppendChunk, as large files are.
            std::vector<unsigned char> drawing(10000);
            for (std::size_t b = 0; b < drawing.size(); ++b) drawing[b] = static_cast<unsigned char>(b % 251);
            for (std::size_t offset = 0; offset < drawing.size(); offset += 4096) {
                long piece = static_cast<long>(std::min<std::size_t>(4096, drawing.size() - offset));
                if (!db->SetFieldChunk("drawing", drawing.data() + offset, piece)) return Fail(db, "SetFieldChunk");
            }
        }
        if (!db->Update()) return Fail(db, "Update");
    }
    db->CloseRecordset();

    // "top n" is part of the generic dialect; the embedded SQLite provider understands it.
    if (!db->OpenRecordset("select top 2 [id], [name], [weight] from [parts] order by [weight] desc", 1,
                           adOpenStatic, adLockReadOnly, adCmdText))
        return Fail(db, "query");
    std::printf("two heaviest parts:\n");
    for (db->MoveFirst(); !db->IsEOF(); db->MoveNext()) {
        int id = 0;
        CString name;
        double weight = 0;
        db->GetFieldInt("id", id);
        db->GetFieldString("name", name);
        db->GetFieldDouble("weight", weight);
        std::printf("  %d %-8s %6.1f\n", id, name.GetString(), weight);
    }

    // Reading a blob: ask for its size, then read it into a buffer of that size.
    if (!db->OpenRecordset("select [drawing] from [parts] where [id] = 1", 1, adOpenStatic, adLockReadOnly, adCmdText))
        return Fail(db, "blob query");
    long size = db->GetFieldActualSize("drawing");
    std::vector<unsigned char> read(static_cast<std::size_t>(size > 0 ? size : 1));
    unsigned char* buffer = read.data();
    if (size <= 0 || !db->GetFieldChunk("drawing", buffer, size)) return Fail(db, "GetFieldChunk");
    bool intact = size == 10000;
    for (long b = 0; intact && b < size; ++b) intact = read[static_cast<std::size_t>(b)] == b % 251;
    std::printf("drawing of part 1: %ld bytes, %s\n", size, intact ? "intact" : "CORRUPTED");

    db->CloseDatabase();
    DeleteQuillet(db);
    return intact ? 0 : 1;
}
