// The SQL action end to end inside the process: the profiles set directly,
// the real FreeTDS driver through unixODBC against the TDS test server.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "platform/error.h"
#include "platform/text.h"
#include "runner/RunFrame.h"
#include "runner/RunLog.h"
#include "runner/SqlAction.h"
#include "runner/TaskWalk.h"
#include "tests/tds/TdsServer.h"

using namespace znx;
using namespace znx::test;
using Lines = std::vector<std::string>;

namespace {

class SqlAction : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        TTdsConfig cfg;
        cfg.databases = {"master", "db1", "db2", "Účetnictví", "my db"};
        server_ = new TTdsServer(cfg);
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        CreateProcessState();
        server_->ClearRecords();
    }
    void TearDown() override {
        EXPECT_TRUE(server_->AllClosed()) << "a connection was left open";
        FreeProcessState();
    }
    // Profile k with the test server's connection string; the application
    // name tells the server which profile was used.
    static void SetProfile(int k, int adoTimeout = 30, const std::string& password = "secret") {
        auto& p = *ProcessState().ServerProfiles[static_cast<size_t>(k)];
        p.ConnectionText = server_->AdoString("sa", password) + ";Application Name=profile" + std::to_string(k);
        p.AdoTimeout = adoTimeout;
        ProcessState().ProfileAvailable[static_cast<size_t>(k)] = true;
    }
    // The texts are UTF-8 here and in the system code page for the action.
    static std::string Run(const TStrings& lines, const std::string& catalog, int timeout, TaskKind kind) {
        TStrings sysLines;
        for (const std::string& l : lines) sysLines.push_back(Sys(l));
        try {
            RunSqlAction(sysLines, Sys(catalog), timeout, kind);
            return "OK";
        } catch (const Error& e) {
            return Utf8(e.Message());
        }
    }
    // The task walk with the runner's real actions; the log without times.
    Lines Walk(const std::string& tasks) {
        WriteFile(dir_ / "t.ini", Crlf(Sys(tasks)));
        std::remove((dir_ / "t.log").c_str());
        LogStopped = false;
        TRunnerActions actions;
        RunTaskWalk(dir_ / "t.ini", dir_ / "t.log", "", "", actions);
        Lines lines;
        if (!Exists(dir_ / "t.log")) return lines;
        std::string log = MaskTimestamps(Utf8(ReadFile(dir_ / "t.log")));
        for (size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(log.substr(start + 5, end - start - 5));
        return lines;
    }
    static std::vector<TTdsRecord> Logins() {
        std::vector<TTdsRecord> out;
        for (auto& r : server_->Records())
            if (r.kind == "login") out.push_back(r);
        return out;
    }
    static TTdsServer* server_;
    TempDir dir_;
};
TTdsServer* SqlAction::server_ = nullptr;

} // namespace

TEST_F(SqlAction, ProfileChoiceFallsBackToProfileThree) {
    struct Case {
        TaskKind kind;
        bool p1, p2, p3;
        std::string app; // the profile the server saw, or empty for none
    };
    const Case cases[] = {
        {tkKoral, true, true, true, "profile1"},     {tkKoral, false, true, true, "profile3"},
        {tkKastelan, true, true, true, "profile2"},  {tkKastelan, true, false, true, "profile3"},
        {tkCsAll, true, true, true, "profile3"},     {tkKoral, false, false, false, ""},
        {tkKastelan, true, false, false, ""},        {tkCsAll, true, true, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + " " + std::to_string(c.p1) + std::to_string(c.p2) +
                     std::to_string(c.p3));
        CreateProcessState();
        server_->ClearRecords();
        if (c.p1) SetProfile(1);
        if (c.p2) SetProfile(2);
        if (c.p3) SetProfile(3);
        const std::string result = Run({"select 1"}, "db1", -1, c.kind);
        if (c.app.empty()) {
            EXPECT_EQ(result, "Nebylo získáno připojení k datům");
            EXPECT_TRUE(Logins().empty()) << "no connection may be made";
        } else {
            EXPECT_EQ(result, "OK");
            ASSERT_EQ(Logins().size(), 1u);
            EXPECT_EQ(Logins()[0].app, c.app);
        }
    }
}

TEST_F(SqlAction, FallBackUsesProfileThreesTimeOut) {
    // Profile 1 is there but unavailable: its time-out must not be used.
    ProcessState().ServerProfiles[1]->AdoTimeout = 30;
    SetProfile(3, 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run({"waitfor delay '00:00:05' --@delay 5"}, "db1", 0, tkKoral), "Timeout expired");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

TEST_F(SqlAction, CsAllWithoutProfileThreeLogsOncePerCatalog) {
    SetProfile(1);
    SetProfile(2);
    const Lines log = Walk("[T]\nNAME=Údržba\nTYPE=CS_ALL\nSQL0=select 1\nCATALOG0=db1\nCATALOG1=db2\n");
    EXPECT_EQ(log, (Lines{"CHYBA: Akce \"Údržba\", katalog \"db1\", Text chyby: Nebylo získáno připojení k datům ",
                          "CHYBA: Akce \"Údržba\", katalog \"db2\", Text chyby: Nebylo získáno připojení k datům "}));
    EXPECT_TRUE(Logins().empty());
}

TEST_F(SqlAction, TimeOuts) {
    struct Case {
        int task, profile;
        double delay;
        bool timesOut;
    };
    const Case cases[] = {
        {1, 30, 3, true},   // the task's own time-out
        {0, 1, 3, true},    // 0 takes the profile's
        {-1, 1, 3, true},   // missing takes the profile's
        {5, 1, 2, false},   // the task's wins over a shorter profile value
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.task) + "/" + std::to_string(c.profile));
        server_->ClearRecords();
        SetProfile(3, c.profile);
        const std::string sql = "waitfor delay '00:00:0" + std::to_string(static_cast<int>(c.delay)) +
                                "' --@delay " + std::to_string(c.delay);
        const auto start = std::chrono::steady_clock::now();
        const std::string result = Run({sql}, "db1", c.task, tkCsAll);
        const auto took = std::chrono::steady_clock::now() - start;
        if (c.timesOut) {
            EXPECT_EQ(result, "Timeout expired");
            EXPECT_LT(took, std::chrono::milliseconds(static_cast<int>(c.delay * 1000)));
            bool attention = false;
            for (auto& r : server_->Records()) attention |= r.kind == "attention";
            EXPECT_TRUE(attention) << "the driver cancels the batch";
        } else {
            EXPECT_EQ(result, "OK");
        }
    }
    EXPECT_EQ(CommandTimeoutFor(7, 30), 7);
    EXPECT_EQ(CommandTimeoutFor(0, 30), 30);
    EXPECT_EQ(CommandTimeoutFor(-1, 12), 12);
}

TEST_F(SqlAction, CatalogValueIsUnquotedForTheDatabaseOnly) {
    SetProfile(3);
    const Lines log = Walk("[T]\nNAME=n\nTYPE=CS_ALL\nSQL0=select 1\n"
                           "CATALOG0=\"db1\"\nCATALOG1=\"\"\nCATALOG2=\"my db\"\nCATALOG3=\"\nCATALOG4=Účetnictví\n");
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0], "\"n\" v katalogu \"\"db1\"\" proběhlo OK");
    EXPECT_EQ(log[1], "\"n\" v katalogu \"\"\"\" proběhlo OK");
    EXPECT_EQ(log[2], "\"n\" v katalogu \"\"my db\"\" proběhlo OK");
    // a single double quote is a name of its own, which the server lacks
    EXPECT_EQ(log[3], "CHYBA: Akce \"n\", katalog \"\"\", Text chyby: Database '\"' does not exist. "
                      "Make sure that the name is entered correctly. ");
    EXPECT_EQ(log[4], "\"n\" v katalogu \"Účetnictví\" proběhlo OK");
    const auto batches = server_->UserBatches();
    ASSERT_EQ(batches.size(), 4u);
    EXPECT_EQ(batches[0].db, "db1");
    EXPECT_EQ(batches[1].db, "master") << "\"\" selects no database: the login's default";
    EXPECT_EQ(batches[2].db, "my db");
    EXPECT_EQ(batches[3].db, "Účetnictví");
    // one connection per catalog
    EXPECT_EQ(Logins().size(), 5u);
    Lines uses;
    for (auto& r : server_->Records())
        if (r.kind == "batch" && r.text.rfind("USE ", 0) == 0) uses.push_back(r.text);
    EXPECT_EQ(uses, (Lines{"USE [db1]", "USE [my db]", "USE [\"]", "USE [Účetnictví]"}));
}

TEST_F(SqlAction, LinesGoAsOneBatchWithCrLfAfterEach) {
    SetProfile(3);
    EXPECT_EQ(Run({"select 1", "", "select 'Příliš žluťoučký kůň'  "}, "db1", -1, tkCsAll), "OK");
    const auto batches = server_->UserBatches();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].text, "select 1\r\n\r\nselect 'Příliš žluťoučký kůň'  \r\n");
}

TEST_F(SqlAction, ColonParameters) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"select :a, :b from t where x=:c)", "select ?, ? from t where x=?)"},
        {"select x::int, 'a:b', \"c:d\", `e:f`", "select x:int, 'a:b', \"c:d\", `e:f`"},
        {"backup database d to disk='C:\\zal\\d.bak'", "backup database d to disk='C:\\zal\\d.bak'"},
        {"x=:p;y=:q,z=:r\r\nw=:s", "x=?;y=?,z=?\r\nw=?"},
        {"a ::: b", "a :? b"},
        {"'it''s :x' :y", "'it''s :x' ?"},
        {"\"unclosed :x", "\"unclosed :x"},
        {":", "?"},
        {"::", ":"},
        {"a :\tb", "a ?"}, // a tab does not end a name
    };
    for (const auto& c : cases) EXPECT_EQ(ParseCommandParameters(c.in), c.out) << c.in;
    // On the wire: literals untouched, "::" as one colon.
    SetProfile(3);
    EXPECT_EQ(Run({"select '::x:y', x::int, '?'"}, "db1", -1, tkCsAll), "OK");
    ASSERT_EQ(server_->UserBatches().size(), 1u);
    EXPECT_EQ(server_->UserBatches()[0].text, "select '::x:y', x:int, '?'\r\n");
    // A parameter marker without a value: the driver sends nothing and the
    // layer says why, after the connection was opened.
    server_->ClearRecords();
    EXPECT_EQ(Run({"select :name"}, "db1", -1, tkCsAll), "No value given for one or more required parameters.");
    EXPECT_EQ(Logins().size(), 1u);
    EXPECT_TRUE(server_->UserBatches().empty());
}

TEST_F(SqlAction, EmptyTextFailsAfterTheConnectionOpened) {
    SetProfile(3);
    EXPECT_EQ(Run({}, "db1", -1, tkCsAll), "Command text was not set for the command object.");
    ASSERT_EQ(Logins().size(), 1u) << "the connection is opened first";
    bool used = false;
    for (auto& r : server_->Records()) used |= r.kind == "batch" && r.text == "USE [db1]";
    EXPECT_TRUE(used) << "the database is selected before the text is checked";
    EXPECT_TRUE(server_->UserBatches().empty());
}

TEST_F(SqlAction, Failures) {
    struct Case {
        std::string name;
        std::string catalog;
        TStrings lines;
        std::string password;
        std::string error;
    };
    const Case cases[] = {
        {"unknown database", "nosuch", {"select 1"}, "secret",
         "Database 'nosuch' does not exist. Make sure that the name is entered correctly."},
        {"login refused", "db1", {"select 1"}, "wrong", "Login failed for user 'sa'."},
        {"error in the second statement", "db1", {"select 1 --@ok", "select * from x --@error 208 16 Invalid object name 'x'."},
         "secret", "Invalid object name 'x'."},
        {"error after messages and rows", "db1",
         {"print 'a' --@info 0 zpráva", "select 1 --@rows 3", "insert --@error 2627 14 Violation of PRIMARY KEY constraint."},
         "secret", "Violation of PRIMARY KEY constraint."},
        {"two errors of one statement", "db1", {"x --@ok", "y --@error 3201 16 Cannot open backup device 'X:\\a.bak'.",
                               "--@error 3013 16 BACKUP DATABASE is terminating abnormally."},
         "secret", "Cannot open backup device 'X:\\a.bak'. BACKUP DATABASE is terminating abnormally."},
        {"connection dropped in the batch", "db1", {"x --@ok", "y --@drop"}, "secret", "Unexpected EOF from the server"},
        {"Czech error text", "db1", {"x --@error 50000 16 Záloha selhala, disk je plný"}, "secret",
         "Záloha selhala, disk je plný"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetProfile(3, 30, c.password);
        EXPECT_EQ(Run(c.lines, c.catalog, -1, tkCsAll), c.error);
    }
}

TEST_F(SqlAction, InfoMessagesAreNoFailure) {
    SetProfile(3);
    EXPECT_EQ(Run({"print 'x' --@info 0 Processed 100 pages.", "y --@rows 2", "z --@info 3014 BACKUP DATABASE done."},
                  "db1", -1, tkCsAll),
              "OK");
}

TEST_F(SqlAction, RefusedPortFailsQuicklyWithAClearMessage) {
    auto& p = *ProcessState().ServerProfiles[3];
    const int port = RefusedPort();
    p.ConnectionText = "Provider=SQLOLEDB.1;Data Source=127.0.0.1," + std::to_string(port) +
                       ";User ID=sa;Password=x;Connect Timeout=5";
    ProcessState().ProfileAvailable[3] = true;
    const auto start = std::chrono::steady_clock::now();
    const std::string result = Run({"select 1"}, "db1", -1, tkCsAll);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "within the login time-out";
    EXPECT_EQ(result, "Unable to connect: Adaptive Server is unavailable or does not exist (server 127.0.0.1," +
                          std::to_string(port) + ")");
}

TEST_F(SqlAction, TaskWalkLogsEachCatalogsOutcome) {
    SetProfile(1);
    const Lines log = Walk("[T]\nNAME=Čistka\nTYPE=KORAL\nSQL0=delete from log --@ok\n"
                           "SQL1=delete from x --@error 208 16 Invalid object name 'x'.\n"
                           "CATALOG0=db1\nCATALOG1=nosuch\nCATALOG2=db2\nTIMEOUT=10\n"
                           "[U]\nNAME=Bez textu\nTYPE=KASTELAN\nCATALOG0=db1\n"
                           "[V]\nNAME=v\nTYPE=CS_ALL\nSQL0=select :p --@ok\n");
    EXPECT_EQ(log, (Lines{
                       "CHYBA: Akce \"Čistka\", katalog \"db1\", Text chyby: Invalid object name 'x'. ",
                       "CHYBA: Akce \"Čistka\", katalog \"nosuch\", Text chyby: Database 'nosuch' does not exist. "
                       "Make sure that the name is entered correctly. ",
                       "CHYBA: Akce \"Čistka\", katalog \"db2\", Text chyby: Invalid object name 'x'. ",
                       // kind 2 without its profile falls back to 3, which is missing too
                       "CHYBA: Akce \"Bez textu\", katalog \"db1\", Text chyby: Nebylo získáno připojení k datům ",
                       "CHYBA: Akce \"v\", katalog \"master\", Text chyby: Nebylo získáno připojení k datům ",
                   }));
    SetProfile(3);
    const Lines log2 = Walk("[V]\nNAME=v\nTYPE=CS_ALL\nSQL0=select :p --@ok\n[U]\nNAME=Bez textu\nTYPE=KASTELAN\nCATALOG0=db2\n");
    EXPECT_EQ(log2, (Lines{"CHYBA: Akce \"v\", katalog \"master\", Text chyby: No value given for one or more "
                           "required parameters. ",
                           "CHYBA: Akce \"Bez textu\", katalog \"db2\", Text chyby: Command text was not set for the "
                           "command object. "}));
}

TEST_F(SqlAction, AConnectionDroppedMidBatchFailsThatCatalogOnly) {
    SetProfile(3);
    const Lines log = Walk("[T]\nNAME=Záloha\nTYPE=CS_ALL\nSQL0=backup database x --@ok\nSQL1=go --@drop\n"
                           "CATALOG0=db1\n[U]\nNAME=Další\nTYPE=CS_ALL\nSQL0=select 1 --@ok\nCATALOG0=db1\nCATALOG1=db2\n");
    EXPECT_EQ(log, (Lines{"CHYBA: Akce \"Záloha\", katalog \"db1\", Text chyby: Unexpected EOF from the server ",
                          "\"Další\" v katalogu \"db1\" proběhlo OK", "\"Další\" v katalogu \"db2\" proběhlo OK"}));
}
