// A row added through a recordset on the SQLite ODBC driver is read back as stored only
// when something first reads or moves over it: a host that inserts and closes (the charge
// cycle) never pays for reading a wide row back. What the row shows must then be the row
// as it is at that first look, its own row even where another row was inserted since,
// and the values written where the row is gone.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <dbplatform/dbplatform.h>

#include "ComFailure.h"
#include "RecordsetSupport.h"
#include "TestDatabases.h"

namespace {

using testdb::Target;

class InsertedRowReadLater : public ::testing::Test {
public:
    void SetUp() override {
        file_ = testdb::TempSqliteFile("inserted_later");
        trace_ = file_ + ".trace";
        const std::string connectionString = testdb::ConnectionString(Target::SqliteOdbc, file_);
        TESTDB_REQUIRE(connectionString, Target::SqliteOdbc);
        ASSERT_EQ(S_OK, connection_.CreateInstance("ADODB.Connection"));
        // The driver's trace lists every statement it prepares: what was read, and when.
        connection_->Open(_bstr_t((connectionString + ";Tracefile=" + trace_).c_str()), _bstr_t(""), _bstr_t(""),
                          adConnectUnspecified);
        ASSERT_EQ(S_OK, other_.CreateInstance("ADODB.Connection"));
        other_->Open(_bstr_t(connectionString.c_str()), _bstr_t(""), _bstr_t(""), adConnectUnspecified);
        Execute(connection_,
                "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(20) DEFAULT 'filled in', note VARCHAR(20), "
                "w INTEGER DEFAULT 7)");
    }
    void TearDown() override {
        if (other_) other_->Close();
        if (connection_) connection_->Close();
        std::filesystem::remove(file_);
        std::filesystem::remove(trace_);
    }
    static void Execute(const _ConnectionPtr& connection, const std::string& sql) {
        connection->Execute(_bstr_t(sql.c_str()), nullptr, adCmdText);
    }
    // Adds the row (id, note) through a recordset over no rows; the recordset stays open.
    _RecordsetPtr Insert(long id, const _variant_t& note = _variant_t("first")) {
        _RecordsetPtr rs = testado::OpenEditable(connection_, "SELECT id, name, note, w FROM t WHERE id = 0");
        rs->AddNew();
        rs->PutCollect(_variant_t("id"), _variant_t(id));
        rs->PutCollect(_variant_t("note"), note);
        rs->Update();
        return rs;
    }
    // How many times the row of `table` was read back by its row identity so far.
    int ReadBacks() const {
        std::ifstream in(trace_);
        std::stringstream text;
        text << in.rdbuf();
        const std::string all = text.str();
        int count = 0;
        for (std::size_t at = all.find("\nSELECT rowid, "); at != std::string::npos;
             at = all.find("\nSELECT rowid, ", at + 1))
            ++count;
        return count;
    }
    static std::string Shown(const _RecordsetPtr& rs) {
        std::string text;
        for (long f = 0; f < rs->GetFields()->GetCount(); ++f) {
            FieldPtr field = rs->GetFields()->GetItem(_variant_t(f));
            _variant_t value = field->GetValue();
            text += std::string(static_cast<const char*>(field->GetName())) + "=" +
                    (value.vt == VT_NULL ? std::string("NULL") : static_cast<const char*>(_bstr_t(value))) + ";";
        }
        return text;
    }

    std::string file_;
    std::string trace_;
    _ConnectionPtr connection_;
    _ConnectionPtr other_;  // another connection to the same file
};

// What happens between the insert and the first look, and what the row shows then.
TEST_F(InsertedRowReadLater, ShowsTheRowAsItIsAtTheFirstLook) {
    struct Case {
        const char* what;
        std::function<void(InsertedRowReadLater&, long id)> before;   // before the insert
        std::function<void(InsertedRowReadLater&, long id)> between;  // between it and the look
        std::function<void(const _RecordsetPtr&)> look;
        const char* shown;  // "ID" stands for the row's id
    };
    auto nothing = [](InsertedRowReadLater&, long) {};
    auto read = [](const _RecordsetPtr& rs) { rs->GetCollect(_variant_t("name")); };
    const Case cases[] = {
        {"looked at at once", nothing, nothing, read, "id=ID;name=filled in;note=first;w=7;"},
        {"moved off and back", nothing, nothing,
         [](const _RecordsetPtr& rs) {
             rs->MovePrevious();
             rs->MoveNext();
         },
         "id=ID;name=filled in;note=first;w=7;"},
        {"end of rows asked for", nothing, nothing, [](const _RecordsetPtr& rs) { rs->GetadoEOF(); },
         "id=ID;name=filled in;note=first;w=7;"},
        {"another row inserted on the same connection first", nothing,
         [](InsertedRowReadLater& test, long id) {
             Execute(test.connection_, "INSERT INTO t (id, name) VALUES (" + std::to_string(id + 1000) + ", 'other')");
         },
         read, "id=ID;name=filled in;note=first;w=7;"},
        {"changed by another connection first", nothing,
         [](InsertedRowReadLater& test, long id) {
             Execute(test.other_, "UPDATE t SET w = 9 WHERE id = " + std::to_string(id));
         },
         read, "id=ID;name=filled in;note=first;w=9;"},
        {"deleted by another connection first", nothing,
         [](InsertedRowReadLater& test, long id) {
             Execute(test.other_, "DELETE FROM t WHERE id = " + std::to_string(id));
         },
         read, "id=ID;name=NULL;note=first;w=NULL;"},
        {"rolled back first", [](InsertedRowReadLater& test, long) { test.connection_->BeginTrans(); },
         [](InsertedRowReadLater& test, long) { test.connection_->RollbackTrans(); }, read,
         "id=ID;name=NULL;note=first;w=NULL;"},
        {"committed first", [](InsertedRowReadLater& test, long) { test.connection_->BeginTrans(); },
         [](InsertedRowReadLater& test, long) { test.connection_->CommitTrans(); }, read,
         "id=ID;name=filled in;note=first;w=7;"},
    };
    long id = 0;
    for (const Case& c : cases) {
        ++id;
        c.before(*this, id);
        _RecordsetPtr rs;
        testcom::Failure insert = testcom::FailureOf([&] { rs = Insert(id); });
        ASSERT_EQ(S_OK, insert.hr) << c.what << ": " << insert.description;
        const int readBefore = ReadBacks();
        c.between(*this, id);
        testcom::Failure look = testcom::FailureOf([&] { c.look(rs); });
        ASSERT_EQ(S_OK, look.hr) << c.what << ": " << look.description;
        std::string expected = c.shown;
        expected.replace(expected.find("ID"), 2, std::to_string(id));
        EXPECT_EQ(expected, Shown(rs)) << c.what;
        // Read once, at the look, whatever came between; not again at later looks.
        EXPECT_EQ(readBefore + 1, ReadBacks()) << c.what;
        rs->Close();
    }
}

// A recordset closed after the insert never reads the row back; one whose row is looked
// at reads it once; the next AddNew reads the row before, so each row shows its own.
TEST_F(InsertedRowReadLater, ReadsOnlyWhatIsLookedAt) {
    Insert(1)->Close();
    Insert(2)->Close();
    EXPECT_EQ(0, ReadBacks());

    _RecordsetPtr rs = Insert(3);
    EXPECT_EQ(0, ReadBacks());
    rs->AddNew();
    EXPECT_EQ(1, ReadBacks());
    rs->PutCollect(_variant_t("id"), _variant_t(4L));
    rs->Update();
    EXPECT_EQ("id=4;name=filled in;note=NULL;w=7;", Shown(rs));
    rs->MoveFirst();
    EXPECT_EQ("id=3;name=filled in;note=first;w=7;", Shown(rs));
    EXPECT_EQ(2, ReadBacks());
    rs->Close();

    // And the rows are in the table as written.
    _RecordsetPtr all = testado::OpenEditable(connection_, "SELECT id, name, note, w FROM t ORDER BY id");
    std::string rows;
    for (; all->GetadoEOF() != VARIANT_TRUE; all->MoveNext()) rows += Shown(all);
    EXPECT_EQ(
        "id=1;name=filled in;note=first;w=7;id=2;name=filled in;note=first;w=7;"
        "id=3;name=filled in;note=first;w=7;id=4;name=filled in;note=NULL;w=7;",
        rows);
}

// Texts that could change a statement's shape, were they ever put into its text: the row
// read later shows each exactly as written, and reading it sends nothing but the bound
// identity. A NUL inside a text is stored whole, but the SQLite ODBC driver hands a text
// over only up to its first NUL (it keeps values as C strings), on every read: the bytes
// stored are checked for it instead.
TEST_F(InsertedRowReadLater, HostileTextsComeBackAsWritten) {
    const std::u16string notes[] = {u"it's", u"back\\slash", u"a; DROP TABLE t", u"x -- y", u"/* z",
                                    std::u16string(u"nul\0in", 6)};
    long id = 0;
    for (const std::u16string& note : notes) {
        ++id;
        _variant_t value;
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(note.data(), static_cast<UINT>(note.size()));
        _RecordsetPtr rs;
        testcom::Failure insert = testcom::FailureOf([&] { rs = Insert(id, value); });
        ASSERT_EQ(S_OK, insert.hr) << id << ": " << insert.description;
        EXPECT_EQ("filled in", std::string(static_cast<const char*>(_bstr_t(rs->GetCollect(_variant_t("name"))))))
            << id;
        if (note.find(u'\0') == std::u16string::npos) {
            _variant_t shown = rs->GetCollect(_variant_t("note"));
            ASSERT_EQ(VT_BSTR, shown.vt) << id;
            EXPECT_EQ(note, std::u16string(shown.bstrVal, SysStringLen(shown.bstrVal))) << id;
        } else {
            _RecordsetPtr bytes = testado::OpenEditable(
                connection_, "SELECT length(CAST(note AS BLOB)) AS n FROM t WHERE id = " + std::to_string(id));
            EXPECT_EQ(static_cast<long>(note.size()), static_cast<long>(bytes->GetCollect(_variant_t("n")))) << id;
        }
        rs->Close();
    }
    _RecordsetPtr count = testado::OpenEditable(connection_, "SELECT COUNT(*) AS n FROM t");
    EXPECT_EQ(static_cast<long>(std::size(notes)), static_cast<long>(count->GetCollect(_variant_t("n"))));
}

}  // namespace
