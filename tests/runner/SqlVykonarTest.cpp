// The real vykonar against the TDS test server, with the editor's connection
// string (profile 3) in the user's hive file (the user's registry on
// Windows, where the driver is reached through the system's ODBC: under Wine
// its bridge to the host's unixODBC and FreeTDS). These need the registry
// layer (label needs-registry).
#include <gtest/gtest.h>

#include "platform/registry.h"
#include "tests/runner/VykonarFixture.h"
#include "tests/tds/TdsServer.h"

using namespace znx::test;
using Lines = std::vector<std::string>;

namespace {

class SqlVykonar : public VykonarFixture {
protected:
    static void SetUpTestSuite() {
        TTdsConfig cfg;
        cfg.databases = {"master", "db1", "db2", "Účetnictví"};
        server_ = new TTdsServer(cfg);
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        server_->ClearRecords();
        ClearProductKeys();
    }
    void TearDown() override { ClearProductKeys(); }
    // Windows: the profiles live in the system's registry, which outlives the
    // test; the product keys are removed before and after each case.
    static void ClearProductKeys() {
        if (!kWindows) return;
        for (znx::TRootKey root : {znx::TRootKey::HKEY_CURRENT_USER, znx::TRootKey::HKEY_LOCAL_MACHINE}) {
            znx::TRegistry reg;
            reg.SetRootKey(root);
            reg.DeleteKey("Software\\ZNX");
        }
    }
    // The editor's connection string in the user's hive (the user's registry
    // on Windows), as the editor keeps it.
    void UserProfile(const std::string& ado) const {
        if (kWindows) {
            znx::TRegistry reg;
            ASSERT_TRUE(reg.OpenKey("Software\\ZNX\\Planora", true));
            reg.WriteString("ADOString", Sys(ado));
            return;
        }
        std::string escaped;
        for (char c : ado) {
            if (c == '"' || c == '\\') escaped.push_back('\\');
            escaped.push_back(c);
        }
        WriteFile(dir_ / "user.reg", Crlf("Windows Registry Editor Version 5.00\n\n"
                                          "[HKEY_CURRENT_USER\\Software\\ZNX\\Planora]\n"
                                          "\"ADOString\"=\"" + escaped + "\"\n"));
    }
    Lines Outcomes() const { // the log without the first two lines and times
        Lines out;
        const Lines all = LogLines();
        for (size_t k = 2; k < all.size(); ++k) out.push_back(all[k].substr(5));
        return out;
    }
    static TTdsServer* server_;
};
TTdsServer* SqlVykonar::server_ = nullptr;

} // namespace

TEST_F(SqlVykonar, RunsEachCatalogOnItsOwnConnection) {
    UserProfile(server_->AdoString());
    WriteTasks("[T]\nNAME=Údržba\nTYPE=CS_ALL\nSQL0=delete from log\nSQL1=select 'a:b', x::int\n"
               "CATALOG0=db1\nCATALOG1=\"Účetnictví\"\nCATALOG2=nosuch\n");
    EXPECT_EQ(Run({"/AT"}).exitCode, 0);
    EXPECT_EQ(Outcomes(), (Lines{"\"Údržba\" v katalogu \"db1\" proběhlo OK",
                                 "\"Údržba\" v katalogu \"\"Účetnictví\"\" proběhlo OK",
                                 "CHYBA: Akce \"Údržba\", katalog \"nosuch\", Text chyby: Database 'nosuch' does not "
                                 "exist. Make sure that the name is entered correctly. "}));
    const auto batches = server_->UserBatches();
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_EQ(batches[0].db, "db1");
    EXPECT_EQ(batches[0].text, "delete from log\r\nselect 'a:b', x:int\r\n");
    EXPECT_EQ(batches[1].db, "Účetnictví");
    EXPECT_NE(batches[0].conn, batches[1].conn);
    EXPECT_TRUE(server_->AllClosed());
}

TEST_F(SqlVykonar, ProductKindsFallBackToTheEditorsProfile) {
    UserProfile(server_->AdoString() + ";Application Name=editor");
    WriteTasks("[K]\nNAME=k\nTYPE=KORAL\nSQL0=select 1\nCATALOG0=db2\n");
    EXPECT_EQ(Run().exitCode, 0);
    EXPECT_EQ(Outcomes(), Lines{"\"k\" v katalogu \"db2\" proběhlo OK"});
    ASSERT_EQ(server_->UserBatches().size(), 1u);
    EXPECT_EQ(server_->UserBatches()[0].app, "editor");
}

TEST_F(SqlVykonar, WithoutAnyProfileEachCatalogFails) {
    WriteTasks("[T]\nNAME=n\nTYPE=CS_ALL\nSQL0=select 1\nCATALOG0=db1\nCATALOG1=db2\n");
    EXPECT_EQ(Run().exitCode, 0);
    EXPECT_EQ(Outcomes(), (Lines{"CHYBA: Akce \"n\", katalog \"db1\", Text chyby: Nebylo získáno připojení k datům ",
                                 "CHYBA: Akce \"n\", katalog \"db2\", Text chyby: Nebylo získáno připojení k datům "}));
    EXPECT_TRUE(server_->Records().empty());
}

TEST_F(SqlVykonar, TimeOutAndRefusedLogin) {
    UserProfile(server_->AdoString("sa", "wrong"));
    WriteTasks("[T]\nNAME=n\nTYPE=CS_ALL\nSQL0=select 1\nCATALOG0=db1\n");
    EXPECT_EQ(Run().exitCode, 0);
    EXPECT_EQ(Outcomes(), Lines{"CHYBA: Akce \"n\", katalog \"db1\", Text chyby: Login failed for user 'sa'. "});
    UserProfile(server_->AdoString());
    WriteFile(LogPath(), "");
    WriteTasks("[T]\nNAME=n\nTYPE=CS_ALL\nSQL0=waitfor delay '00:00:05' --@delay 5\nCATALOG0=db1\nTIMEOUT=1\n");
    EXPECT_EQ(Run().exitCode, 0);
    EXPECT_EQ(Outcomes(), Lines{"CHYBA: Akce \"n\", katalog \"db1\", Text chyby: Timeout expired "});
}
