// quillet-sql run as a user runs it: with -c, a script file or piped input on the three
// engines, and interactively through a pseudo-terminal.
#include <PseudoTerminal.h>
#include <TestDatabases.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef QUILLET_SQL_PATH
#error "QUILLET_SQL_PATH names the program under test"
#endif

namespace {

struct ShellRun {
    int status = -1;
    std::string out, err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A folder of this process's own, as the shell's home (its history file goes there).
std::string HomeFolder() {
    std::filesystem::path home = std::filesystem::temp_directory_path() / testdb::UniqueName("quillet_sql_home");
    std::filesystem::create_directories(home);
    return home.string();
}

[[noreturn]] void ExecShell(const std::vector<std::string>& args, const std::string& home) {
    setenv("HOME", home.c_str(), 1);
    setenv("TERM", "dumb", 1);
    unsetenv("DBPLATFORM_LOG");
    std::vector<char*> argv{const_cast<char*>(QUILLET_SQL_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(QUILLET_SQL_PATH, argv.data());
    _exit(127);
}

// Runs the shell with `input` on a pipe as its standard input.
ShellRun RunPiped(const std::vector<std::string>& args, const std::string& input = "") {
    const std::string home = HomeFolder();
    const std::string outFile = home + "/out", errFile = home + "/err";
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[0], STDIN_FILENO);
        close(pipeFds[1]);
        int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        ExecShell(args, home);
    }
    close(pipeFds[0]);
    if (!input.empty() && write(pipeFds[1], input.data(), input.size()) != ssize_t(input.size())) ADD_FAILURE();
    close(pipeFds[1]);
    ShellRun run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadFile(outFile);
    run.err = ReadFile(errFile);
    std::filesystem::remove_all(home);
    return run;
}

// The shell on a new pseudo-terminal, driven line by line.
class Terminal : public testdb::PseudoTerminal {
public:
    explicit Terminal(const std::vector<std::string>& args)
        : Terminal(HomeFolder(), args) {}
    ~Terminal() { std::filesystem::remove_all(home_); }
    const std::string& Home() const { return home_; }

private:
    Terminal(std::string home, const std::vector<std::string>& args)
        : PseudoTerminal([&] { ExecShell(args, home); }), home_(std::move(home)) {}
    std::string home_;
};

}  // namespace

// `select top 2` in the generic dialect on each engine: the embedded SQLite provider reads
// it itself, PostgreSQL and MariaDB (the MySQL kind, as every MSDASQL string) get a limit.
TEST(QuilletSqlShell, SelectTopAnswersOnEveryEngine) {
    const std::string sqliteFile = testdb::TempSqliteFile("quillet_sql_engines");
    const std::string table = testdb::UniqueName("qsql_top");
    struct Case {
        testdb::Target target;
        std::vector<std::string> connection;
        const char* kind;
        const char* rows;
    } cases[] = {
        {testdb::Target::SqliteNative, {testdb::ConnectionString(testdb::Target::SqliteNative, sqliteFile)}, "0 DB_OTHER",
         "  1\n  2\n(2 rows, "},
        {testdb::Target::PostgresNative, {testdb::ConnectionString(testdb::Target::PostgresNative, "")}, "5 DB_POSTGRESQL",
         "  1\n  2\n(2 rows, "},
        {testdb::Target::MariaOdbc, {testdb::ConnectionString(testdb::Target::MariaOdbc, "")}, "4 DB_MYSQL",
         "  1\n  2\n(2 rows, "},
        {testdb::Target::SqliteOdbc, {"--dsn", "ado_sqlite"}, "4 DB_MYSQL", "  1\n  2\n(2 rows, "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testdb::TargetName(c.target));
        if (c.target == testdb::Target::SqliteOdbc) {
            TESTDB_REQUIRE(testdb::ConnectionString(c.target, sqliteFile), c.target);
        } else {
            TESTDB_REQUIRE(c.connection[0], c.target);
        }
        std::vector<std::string> args = c.connection;
        args.insert(args.end(), {"-c", "create table [" + table + "] ([id] integer, [w] double precision);\n"
                                       "insert into [" + table + "] values (1, 1.5), (2, 2.5), (3, 3.5);\n"
                                       "select top 2 [id] from [" + table + "] order by [id];\n"
                                       "drop table [" + table + "]"});
        ShellRun run = RunPiped(args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("connected, kind " + std::string(c.kind)), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(" id\n----\n" + std::string(c.rows)), std::string::npos) << run.out;
        if (run.status != 0) RunPiped({c.connection.back(), "-c", "drop table [" + table + "]"});
    }
    std::remove(sqliteFile.c_str());
}

// Non-interactive input stops at the first failure with status 1 and names its cause.
TEST(QuilletSqlShell, ScriptsStopAtTheFirstFailure) {
    const std::string file = testdb::TempSqliteFile("quillet_sql_script");
    const std::string connection = testdb::ConnectionString(testdb::Target::SqliteNative, file);
    const std::string script = "select 1 as first_answer;\nselect * from [no_such_table];\nselect 2 as never_run;\n";
    const std::string scriptFile = file + ".sql";
    std::ofstream(scriptFile) << script;
    struct Case {
        const char* how;
        std::vector<std::string> args;
        std::string input;
    } cases[] = {
        {"piped", {connection}, script},
        {"-f", {connection, "-f", scriptFile}, ""},
        {"-c", {connection, "-c", script}, ""},
    };
    for (const Case& c : cases) {
        ShellRun run = RunPiped(c.args, c.input);
        EXPECT_EQ(run.status, 1) << c.how;
        EXPECT_NE(run.out.find("first_answer"), std::string::npos) << c.how << run.out;
        EXPECT_EQ(run.out.find("never_run"), std::string::npos) << c.how << run.out;
        EXPECT_NE(run.err.find("no such table: no_such_table"), std::string::npos) << c.how << run.err;
    }
    std::remove(scriptFile.c_str());
    std::remove(file.c_str());
}

// A connection that fails shows why, not only the fixed text, and never the password.
TEST(QuilletSqlShell, ConnectionFailuresShowTheCause) {
    std::string good = testdb::ConnectionString(testdb::Target::PostgresNative, "");
    TESTDB_REQUIRE(good, testdb::Target::PostgresNative);
    // The test server's own address, with only the password changed.
    std::string wrongPassword = good.substr(0, good.find("Password=")) + "Password=wrong-Secret-42";
    struct Case {
        std::string connection;
        std::string cause;
    } cases[] = {
        {wrongPassword, "password authentication failed"},
        {"Provider=SQLite;Data Source=/nonexistent/folder/plant.db", "does not exist"},
        {"Provider=MSDASQL.1;Data Source=quillet_sql_no_such_dsn", "Data source name not found"},
    };
    for (const Case& c : cases) {
        ShellRun run = RunPiped({c.connection, "-c", "select 1"});
        EXPECT_EQ(run.status, 1) << c.connection;
        EXPECT_NE(run.err.find("error: cannot open the database"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("cause: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.cause), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("wrong-Secret-42"), std::string::npos) << run.err;
    }
}

TEST(QuilletSqlShell, BadArgumentsAreNamed) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* said;  // on stderr, or on stdout for status 0
    } cases[] = {
        {{}, 2, "no connection string"},
        {{"--dsn", "a;Provider=PostgreSQL"}, 2, "is not a data source name"},
        {{"--dsn", "x", "Provider=SQLite;Data Source=y"}, 2, "excludes"},
        {{"Provider=SQLite;Data Source=y", "--csv", "--json"}, 2, "excludes"},
        {{"Provider=SQLite;Data Source=y", "-c", "select 1", "-f", "/etc/hostname"}, 2, "excludes"},
        {{"Provider=SQLite;Data Source=y", "-f", "/nonexistent/script.sql"}, 2, "/nonexistent/script.sql"},
        {{"--version"}, 0, "quillet-sql "},
        {{"--help"}, 0, "\\translate SQL"},
    };
    for (const Case& c : cases) {
        ShellRun run = RunPiped(c.args);
        EXPECT_EQ(run.status, c.status) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_NE((c.status == 0 ? run.out : run.err).find(c.said), std::string::npos) << run.out << run.err;
    }
}

// Interactive: prompts, a statement over two lines, a failure that does not end the
// session, the commands, and the history kept in the home folder.
TEST(QuilletSqlShell, InteractiveThroughATerminal) {
    const std::string file = testdb::TempSqliteFile("quillet_sql_terminal");
    Terminal terminal({testdb::ConnectionString(testdb::Target::SqliteNative, file)});
    ASSERT_TRUE(terminal.Started());
    struct Step {
        const char* send;
        const char* expect;
    } steps[] = {
        {"", "quillet> "},
        {"\\kind\n", "0 DB_OTHER"},
        {"", "quillet> "},
        {"create table [t] ([a] integer, [b] varchar(8));\n", "OK ("},
        {"insert into [t] values (1, 'x'), (2, 'y'), (3, 'z');\n", "OK ("},
        {"select top 2 [a], [b]\n", "...> "},
        {"from [t] order by [a] desc;\n", "(2 rows, "},
        {"selec oops;\n", "error: "},
        {"", "quillet> "},
        {"\\translate select [a] from [t] where [d] > #2026-12-08#\n", "where [d] > '2026-12-08'"},
        {"\\tables\n", "(1 row)"},
        {"\\open Provider=SQLite;Data Source=/nonexistent/x.db;Password=typed-Secret-7\n", "does not exist"},
        {"\\q\n", ""},
    };
    for (const Step& step : steps) {
        if (*step.send) terminal.Send(step.send);
        ASSERT_TRUE(terminal.Expect(step.expect)) << "waiting for '" << step.expect << "' after '" << step.send
                                                  << "':\n" << terminal.Output();
    }
    EXPECT_EQ(terminal.Wait(), 0) << terminal.Output();
    EXPECT_NE(terminal.Output().find(" 3 | z\r\n 2 | y\r\n(2 rows"), std::string::npos) << terminal.Output();
    const std::string history = ReadFile(terminal.Home() + "/.quillet_sql_history");
    EXPECT_NE(history.find("kind"), std::string::npos) << history;
    EXPECT_NE(history.find("Password=***"), std::string::npos) << history;
    EXPECT_EQ(history.find("typed-Secret-7"), std::string::npos) << history;
    std::remove(file.c_str());
}

// --prompt: the data-link prompt on the terminal gives the connection string.
TEST(QuilletSqlShell, PromptEditsTheConnectionString) {
    const std::string file = testdb::TempSqliteFile("quillet_sql_prompt");
    struct Case {
        const char* choice;
        int status;
        const char* expect;
    } cases[] = {
        {"a\n", 0, "(1 row, "},
        {"c\n", 1, "gave no connection string: Fail to modify connectionstring"},
    };
    for (const Case& c : cases) {
        Terminal terminal({"--prompt", "Provider=SQLite;Data Source=" + file, "-c", "select 7 as seven"});
        ASSERT_TRUE(terminal.Started());
        ASSERT_TRUE(terminal.Expect("Choose [1-4, c]: ")) << terminal.Output();
        terminal.Send("1\n");
        ASSERT_TRUE(terminal.Expect("Database file [")) << terminal.Output();
        terminal.Send("\n");
        ASSERT_TRUE(terminal.Expect("(y/n) [n]: ")) << terminal.Output();
        terminal.Send("y\n");
        ASSERT_TRUE(terminal.Expect("Choose [t, a, b, c]: ")) << terminal.Output();
        terminal.Send(c.choice);
        ASSERT_TRUE(terminal.Expect(c.expect)) << terminal.Output();
        EXPECT_EQ(terminal.Wait(), c.status) << terminal.Output();
    }
    std::remove(file.c_str());
}
