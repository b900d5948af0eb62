// The real vykonar against the TDS test server, with the editor's connection
// string (profile 3) in the user's hive file (the user's registry on
// Windows, where the driver is reached through the system's ODBC: under Wine
// its bridge to the host's unixODBC and FreeTDS). These need the registry
// layer (label needs-registry).
#include <gtest/gtest.h>

#include "platform/registry.h"
#include "runner/ServerProfiles.h"
#include "tests/runner/VykonarFixture.h"
#include "tests/tds/TdsServer.h"

namespace {
// The roots of the product keys (named before the system's macros of the
// same names come in).
const znx::TRootKey kProductRoots[] = {znx::TRootKey::HKEY_CURRENT_USER, znx::TRootKey::HKEY_LOCAL_MACHINE};
} // namespace

#ifdef _WIN32
// After registry.h: the system's macros of the same names keep its values.
#include <windows.h>
#endif

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
        for (znx::TRootKey root : kProductRoots) {
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

#ifdef _WIN32
namespace {
// Writes a product profile into HKEY_LOCAL_MACHINE in one registry view, as
// the product's own programs keep it: the scrambled connection text and its
// length under OPTIONS.
void MachineProfile(const std::string& key, REGSAM view, const std::string& connection) {
    const std::string scrambled = znx::ScrambleText(connection);
    const std::string length = std::to_string(scrambled.size());
    HKEY k = nullptr, options = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &k,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(k, "CONNECTION", 0, REG_BINARY, reinterpret_cast<const BYTE*>(scrambled.data()),
                   static_cast<DWORD>(scrambled.size()));
    ASSERT_EQ(RegCreateKeyExA(k, "OPTIONS", 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &options, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(options, "CSL", 0, REG_SZ, reinterpret_cast<const BYTE*>(length.c_str()),
                   static_cast<DWORD>(length.size() + 1));
    RegCloseKey(options);
    RegCloseKey(k);
}
} // namespace

TEST_F(SqlVykonar, AProductProfileIsReadFromThe32BitViewOfTheMachinesRegistry) {
    // The 32-bit view holds the profile the product's programs wrote; a
    // decoy in the 64-bit view names a wrong password.
    MachineProfile("Software\\ZNX\\KORLSRV", KEY_WOW64_32KEY, server_->AdoString() + ";Application Name=view32");
    MachineProfile("Software\\ZNX\\KORLSRV", KEY_WOW64_64KEY,
                   server_->AdoString("sa", "wrong") + ";Application Name=view64");
    WriteTasks("[K]\nNAME=k\nTYPE=KORAL\nSQL0=select 1\nCATALOG0=db2\n");
    EXPECT_EQ(Run().exitCode, 0);
    EXPECT_EQ(Outcomes(), Lines{"\"k\" v katalogu \"db2\" proběhlo OK"});
    ASSERT_EQ(server_->UserBatches().size(), 1u);
    EXPECT_EQ(server_->UserBatches()[0].app, "view32");
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &k) == ERROR_SUCCESS) {
        RegDeleteTreeA(k, "ZNX");
        RegCloseKey(k);
    }
}
#endif
