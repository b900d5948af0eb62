// The ODBC connection through FreeTDS against the TDS test server.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/dataaccess.h"
#include "platform/error.h"
#include "tests/tds/TdsServer.h"

using namespace znx;
using namespace znx::test;

namespace {
// The texts are UTF-8 here and in the system code page for the connection.
std::string Execute(TDataConnection& c, const std::string& text) {
    try {
        c.Execute(Sys(text));
        return "OK";
    } catch (const Error& e) {
        return Utf8(e.Message());
    }
}
} // namespace

TEST(DataAccess, CzechTextReachesTheServerIntact) {
    TTdsConfig cfg;
    cfg.databases = {"master", "Účetnictví_ŘŽČ"};
    cfg.users = {{"údržba", "heslíčko"}};
    TTdsServer server(cfg);
    TDataConnection c;
    c.ConnectionString = Sys(server.AdoString("údržba", "heslíčko") + ";Application Name=Plánovač");
    c.DefaultDatabase = Sys("Účetnictví_ŘŽČ");
    EXPECT_EQ(Execute(c, "select N'Příliš žluťoučký kůň úpěl ďábelské ódy' -- ěščřžýáíéůú ĚŠČŘŽÝÁÍÉŮÚ\r\n"), "OK");
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(Execute(c, "x --@error 50000 16 Tabulka 'Účty' je zamčená\r\n"), "Tabulka 'Účty' je zamčená");
    const auto records = server.Records();
    ASSERT_GE(records.size(), 4u);
    EXPECT_EQ(records[0].user, "údržba");
    EXPECT_EQ(records[0].app, "Plánovač");
    const auto batches = server.UserBatches();
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_EQ(batches[0].db, "Účetnictví_ŘŽČ");
    EXPECT_EQ(batches[0].text, "select N'Příliš žluťoučký kůň úpěl ďábelské ódy' -- ěščřžýáíéůú ĚŠČŘŽÝÁÍÉŮÚ\r\n");
    EXPECT_EQ(batches[1].conn, batches[0].conn) << "one open connection serves both";
}

TEST(DataAccess, PasswordsWithSeparatorsCannotInjectAttributes) {
    // The password holds what would end the attribute and name a database.
    const std::string password = "a;Database=tempdb;}{x}";
    TTdsConfig cfg;
    cfg.users = {{"sa", password}};
    TTdsServer server(cfg);
    TDataConnection c;
    c.ConnectionString = "Provider=SQLOLEDB.1;Data Source=127.0.0.1," + std::to_string(server.Port()) +
                         ";User ID=sa;Password='" + password + "'";
    EXPECT_EQ(Execute(c, "select 1"), "OK");
    const auto records = server.Records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].kind, "login");
    EXPECT_EQ(records[0].text, "") << "no database slipped into the login";
    EXPECT_EQ(server.UserBatches().at(0).db, "master");
}

TEST(DataAccess, ListsTheServersCatalogs) {
    TTdsConfig cfg;
    cfg.databases = {"master", "tempdb", "KORAL_2024", "Účetnictví", "my db"};
    TTdsServer server(cfg);
    TDataConnection c;
    c.ConnectionString = server.AdoString();
    std::vector<std::string> names;
    for (const std::string& n : c.ListCatalogs()) names.push_back(Utf8(n));
    EXPECT_EQ(names, cfg.databases);
    bool listed = false;
    for (const auto& r : server.Records()) listed |= r.kind == "rpc" && r.text == "sp_tables";
    EXPECT_TRUE(listed);
}

TEST(DataAccess, EveryResultIsReadAndTheConnectionStaysUsable) {
    TTdsServer server;
    TDataConnection c;
    c.ConnectionString = server.AdoString();
    // rows, messages and several statements: all read, no cancel needed
    EXPECT_EQ(Execute(c, "a --@rows 500\r\nb --@info 0 hotovo\r\nc --@ok\r\nd --@rows 2\r\n"), "OK");
    EXPECT_EQ(Execute(c, "a --@ok\r\nb --@error 547 16 The DELETE statement conflicted.\r\n"),
              "The DELETE statement conflicted.");
    EXPECT_EQ(Execute(c, "select 2"), "OK");
    for (const auto& r : server.Records()) EXPECT_NE(r.kind, "attention") << "a result was left unread";
    c.Close();
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(Execute(c, "select 3"), "OK") << "Execute opens again";
}

TEST(DataAccess, SettingsOfTheConnection) {
    TTdsServer server;
    {
        TDataConnection c;
        c.ConnectionString = server.AdoString() + ";Initial Catalog=tempdb";
        c.DefaultDatabase = "model"; // selected after the login's database
        EXPECT_EQ(Execute(c, "select 1"), "OK");
        EXPECT_EQ(server.UserBatches().at(0).db, "model");
        EXPECT_EQ(server.Records().at(0).text, "tempdb") << "Initial Catalog goes into the login";
    }
    EXPECT_TRUE(server.AllClosed()) << "destroying the object closes the connection";
    TDataConnection bad;
    bad.ConnectionString = server.AdoString() + ";Initial Catalog=nosuch";
    EXPECT_EQ(Execute(bad, "select 1"),
              "Login failed for user 'sa'. Cannot open database \"nosuch\" requested by the login. The login failed.")
        << "both server messages, in the order the driver ranks them";
    EXPECT_FALSE(bad.Connected());
    TDataConnection broken;
    broken.ConnectionString = "Data Source=h;Password='x";
    EXPECT_EQ(Execute(broken, "select 1"), "Connection string is not valid: the value of \"Password\" lacks its closing quote");
}

TEST(DataAccess, TheBatchRunsOnAfterAFailedStatement) {
    // The server goes on after a statement's error; the client reads every
    // later result, so nothing is cancelled and every error is reported.
    if (UnderWine())
        GTEST_SKIP() << "Wine's ODBC bridge passes unixODBC's SQLMoreResults through, which ends the batch after "
                        "a failed first statement; the Linux build reads it through the driver, Windows' own "
                        "driver manager does not stop";
    TTdsServer server;
    TDataConnection c;
    c.ConnectionString = server.AdoString();
    EXPECT_EQ(Execute(c, "a --@error 2627 14 Violation of PRIMARY KEY constraint.\r\nb --@ok\r\n"
                         "c --@rows 3\r\nd --@error 50000 16 Druhá chyba\r\n"),
              "Violation of PRIMARY KEY constraint. Druhá chyba");
    for (const auto& r : server.Records()) EXPECT_NE(r.kind, "attention") << "the rest of the batch was cancelled";
    EXPECT_EQ(Execute(c, "select 2 --@ok\r\n"), "OK") << "the connection stays usable";
}

TEST(DataAccess, ConnectTimeoutBoundsTheLogin) {
    TTdsConfig cfg;
    cfg.silent = true; // the server takes the connection and never answers
    TTdsServer server(cfg);
    TDataConnection c;
    c.ConnectionString = server.AdoString() + ";Connect Timeout=1";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Execute(c, "select 1"), "Timeout expired (server 127.0.0.1," + std::to_string(server.Port()) + ")");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(10)) << "not the default 15 s";
}

TEST(DataAccess, LaterErrorsAfterResultsWithoutRows) {
    TTdsServer server;
    TDataConnection c;
    c.ConnectionString = server.AdoString();
    // statements that return no rows and no count come before the failing one
    EXPECT_EQ(Execute(c, "a --@ok\r\nb --@ok\r\nc --@error 50000 16 third\r\n"), "third");
    EXPECT_EQ(Execute(c, "a --@ok\r\nb --@rows 0\r\nc --@ok\r\nd --@error 50000 16 fourth\r\n"), "fourth");
    EXPECT_EQ(Execute(c, "a\r\n--@error 50000 16 last of one\r\n"), "last of one");
    for (const auto& r : server.Records()) EXPECT_NE(r.kind, "attention");
}
