// The default data-link dialog, driven through a pseudo-terminal as a user would drive it.
#include <PseudoTerminal.h>
#include <TestDatabases.h>
#include <dbplatform/dbplatform.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Runs the dialog in a child process whose controlling terminal is a new pseudo-terminal.
// The child prints "RESULT <accepted> [<text>]" when the dialog returns.
class Dialog : public testdb::PseudoTerminal {
public:
    explicit Dialog(const std::string& initial) : PseudoTerminal([&] { RunChild(initial); }) {}

    // The dialog's result line, after the child has printed it.
    std::string Result() {
        if (!Expect("RESULT ")) return "(no result)";
        std::size_t end = Output().find(']', Consumed());
        return end == std::string::npos ? "(cut)" : Output().substr(Consumed(), end + 1 - Consumed());
    }

private:
    [[noreturn]] static void RunChild(const std::string& initial) {
        dbplatform::SetDataLinkPrompt({});
        _com_ptr_t<IDataSourceLocator> locator;
        locator.CreateInstance("DataLinks");
        bool accepted = false;
        std::string text;
        if (initial.empty()) {
            IDispatch* created = nullptr;
            accepted = locator->PromptNew(&created) == S_OK;
            if (created) {
                _ConnectionPtr connection(IDispatchPtr(created, false));
                text = connection->GetConnectionString().str();
            }
        } else {
            _ConnectionPtr connection;
            connection.CreateInstance(CLSID_Connection);
            connection->PutConnectionString(initial.c_str());
            IDispatch* dispatch = connection.GetInterfacePtr();
            VARIANT_BOOL result = VARIANT_FALSE;
            locator->PromptEdit(&dispatch, &result);
            accepted = result == VARIANT_TRUE;
            text = connection->GetConnectionString().str();
        }
        std::printf("\nRESULT %d [%s]\n", accepted ? 1 : 0, text.c_str());
        std::fflush(stdout);
        _exit(0);
    }
};

TEST(TerminalPrompt, SqliteFileTestedAndAccepted) {
    std::string file = testdb::TempSqliteFile("datalink_dialog");
    Dialog dialog("");
    ASSERT_TRUE(dialog.Started());
    ASSERT_TRUE(dialog.Expect("Choose [1-4, c]: "));
    dialog.Send("1\n");
    ASSERT_TRUE(dialog.Expect("Database file: "));
    dialog.Send(file + "\n");
    ASSERT_TRUE(dialog.Expect("missing? (y/n) [n]: "));
    dialog.Send("\n");
    ASSERT_TRUE(dialog.Expect("Choose [t, a, b, c]: "));
    dialog.Send("t\n");  // the file does not exist and may not be created
    ASSERT_TRUE(dialog.Expect("Test connection failed: "));
    ASSERT_TRUE(dialog.Expect("Choose [t, a, b, c]: "));
    dialog.Send("b\n");
    ASSERT_TRUE(dialog.Expect("Choose [1-4, c]: "));
    dialog.Send("1\n");
    ASSERT_TRUE(dialog.Expect("Database file: "));
    dialog.Send(file + "\n");
    ASSERT_TRUE(dialog.Expect("missing? (y/n) [n]: "));
    dialog.Send("y\n");
    ASSERT_TRUE(dialog.Expect("Choose [t, a, b, c]: "));
    dialog.Send("t\n");
    ASSERT_TRUE(dialog.Expect("Test connection succeeded."));
    ASSERT_TRUE(dialog.Expect("Choose [t, a, b, c]: "));
    dialog.Send("a\n");
    EXPECT_EQ(dialog.Result(), "1 [Provider=SQLite;Data Source=" + file + ";Create=True]") << dialog.Output();
    std::remove(file.c_str());
}

TEST(TerminalPrompt, PostgresFieldsWithHiddenPassword) {
    Dialog dialog("");
    ASSERT_TRUE(dialog.Started());
    ASSERT_TRUE(dialog.Expect("Choose [1-4, c]: "));
    dialog.Send("2\n");
    ASSERT_TRUE(dialog.Expect("Server [127.0.0.1]: "));
    dialog.Send("\n");
    ASSERT_TRUE(dialog.Expect("Port [5432]: "));
    dialog.Send("5433\n");
    ASSERT_TRUE(dialog.Expect("Database: "));
    dialog.Send("plant\n");
    ASSERT_TRUE(dialog.Expect("User: "));
    dialog.Send("operator\n");
    ASSERT_TRUE(dialog.Expect("Password: "));
    dialog.Send("se;cret\n");
    ASSERT_TRUE(dialog.Expect("Choose [t, a, b, c]: "));
    EXPECT_EQ(dialog.Output().find("se;cret\r\n"), std::string::npos) << "the password was echoed";
    dialog.Send("a\n");
    EXPECT_EQ(dialog.Result(),
              "1 [Provider=PostgreSQL;Data Source=127.0.0.1:5433;Location=plant;User ID=operator;Password=\"se;cret\"]");
}

TEST(TerminalPrompt, EditKeepsOrReplacesTheText) {
    struct Case {
        const char* typed;
        const char* finalKey;
        const char* result;
    } cases[] = {
        {"\n", "a\n", "1 [Provider=SQLite;Data Source=/tmp/old.db]"},
        {"Provider=SQLite;Data Source=/tmp/new.db\n", "a\n", "1 [Provider=SQLite;Data Source=/tmp/new.db]"},
        {"Provider=SQLite;Data Source=/tmp/new.db\n", "c\n", "0 [Provider=SQLite;Data Source=/tmp/old.db]"},
    };
    for (const auto& c : cases) {
        Dialog dialog("Provider=SQLite;Data Source=/tmp/old.db");
        ASSERT_TRUE(dialog.Started());
        ASSERT_TRUE(dialog.Expect("Connection string: Provider=SQLite;Data Source=/tmp/old.db"));
        ASSERT_TRUE(dialog.Expect("Choose [1-4, c]: "));
        dialog.Send("4\n");
        ASSERT_TRUE(dialog.Expect("Connection string [Provider=SQLite;Data Source=/tmp/old.db]: "));
        dialog.Send(c.typed);
        ASSERT_TRUE(dialog.Expect("Choose [t, a, b, c]: "));
        dialog.Send(c.finalKey);
        EXPECT_EQ(dialog.Result(), c.result) << c.typed;
    }
}

TEST(TerminalPrompt, OdbcDataSourcesAreListed) {
    const char* dir = std::getenv("DBPLATFORM_TEST_ODBC_DIR");
    TESTDB_REQUIRE(std::string(dir ? dir : ""), testdb::Target::SqliteOdbc);
    Dialog dialog("");
    ASSERT_TRUE(dialog.Started());
    ASSERT_TRUE(dialog.Expect("Choose [1-4, c]: "));
    dialog.Send("3\n");
    ASSERT_TRUE(dialog.Expect("ODBC data sources:"));
    ASSERT_TRUE(dialog.Expect("Data source [1-"));
    std::size_t line = dialog.Output().find(") ado_sqlite (");
    ASSERT_NE(line, std::string::npos) << dialog.Output();
    std::size_t number = dialog.Output().rfind(' ', line);
    dialog.Send(dialog.Output().substr(number + 1, line - number - 1) + "\n");
    ASSERT_TRUE(dialog.Expect("User (empty: the data source's own): "));
    dialog.Send("\n");
    ASSERT_TRUE(dialog.Expect("Choose [t, a, b, c]: "));
    dialog.Send("a\n");
    EXPECT_EQ(dialog.Result(), "1 [Provider=MSDASQL;Data Source=ado_sqlite]");
}

TEST(TerminalPrompt, CancelAndClosedInputGiveNothing) {
    {
        Dialog dialog("");
        ASSERT_TRUE(dialog.Started());
        ASSERT_TRUE(dialog.Expect("Choose [1-4, c]: "));
        dialog.Send("c\n");
        EXPECT_EQ(dialog.Result(), "0 []");
    }
    {
        Dialog dialog("");
        ASSERT_TRUE(dialog.Started());
        ASSERT_TRUE(dialog.Expect("Choose [1-4, c]: "));
        dialog.Send("\x04");  // end of input at an empty line
        EXPECT_EQ(dialog.Result(), "0 []");
    }
}

// A service has no terminal: the dialog cancels at once instead of waiting.
TEST(TerminalPrompt, WithoutTerminalItCancels) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        setsid();  // a new session has no controlling terminal
        dbplatform::SetDataLinkPrompt({});
        _com_ptr_t<IDataSourceLocator> locator;
        locator.CreateInstance("DataLinks");
        IDispatch* created = nullptr;
        HRESULT hr = locator->PromptNew(&created);
        char answer = (hr == S_FALSE && created == nullptr) ? 'c' : 'x';
        ssize_t written = write(pipeFds[1], &answer, 1);
        _exit(written == 1 ? 0 : 1);
    }
    close(pipeFds[1]);
    char answer = 0;
    EXPECT_EQ(read(pipeFds[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'c');
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
