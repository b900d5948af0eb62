// The ADO/OLE DB -> ODBC connection-string translation and the failure texts.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/connstring.h"
#include "platform/dataaccess.h"
#include "platform/error.h"
#include "tests/support/TestSupport.h"

using namespace znx;
using namespace znx::test;

namespace {
const std::string kTds = "FreeTDS";
const std::string kMs = "ODBC Driver 18 for SQL Server";
const std::string kTdsTail = ";TDS_Version=7.4;ClientCharset=UTF-8";

std::string Translate(const std::string& ado, const std::string& driver) {
    try {
        return TranslateAdoConnection(ado, driver).ConnectionString;
    } catch (const Error& e) {
        return "ERROR: " + e.Message();
    }
}
} // namespace

TEST(ConnString, Translation) {
    struct Case {
        std::string ado, driver, odbc;
    };
    const Case cases[] = {
        // the profile's usual form; provider dropped, unknown keywords ignored
        {"Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=heslo;Initial Catalog=KORAL;"
         "Data Source=SERVER01",
         kTds, "Driver={FreeTDS};Server=SERVER01;Database=KORAL;UID=sa;PWD=heslo" + kTdsTail},
        {"Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=heslo;Initial Catalog=KORAL;"
         "Data Source=SERVER01",
         kMs, "Driver={ODBC Driver 18 for SQL Server};Server=SERVER01;Database=KORAL;UID=sa;PWD=heslo"},
        // server forms
        {"Provider=SQLNCLI11;Server=tcp:db.example.org,1433;UID=u;PWD=p", kTds,
         "Driver={FreeTDS};Server=db.example.org;Port=1433;UID=u;PWD=p" + kTdsTail},
        {"Provider=SQLNCLI11;Server=tcp:db.example.org,1433;UID=u;PWD=p", kMs,
         "Driver={ODBC Driver 18 for SQL Server};Server=db.example.org,1433;UID=u;PWD=p"},
        {"Provider=MSOLEDBSQL;Address=SRV\\KORAL;User ID=u", kTds, "Driver={FreeTDS};Server=SRV\\KORAL;UID=u" + kTdsTail},
        {"Provider=SQLOLEDB;Network Address=10.0.0.5, 2106 ;User ID=u", kMs,
         "Driver={ODBC Driver 18 for SQL Server};Server=10.0.0.5,2106;UID=u"},
        {"Provider=SQLOLEDB;Data Source=(local);Integrated Security=SSPI", kTds,
         "Driver={FreeTDS};Server=localhost;Trusted_Connection=Yes" + kTdsTail},
        {"Data Source=.\\SQLEXPRESS;Trusted_Connection=yes;User ID=ignored", kMs,
         "Driver={ODBC Driver 18 for SQL Server};Server=localhost\\SQLEXPRESS;Trusted_Connection=Yes"},
        {"Provider=SQLOLEDB", kTds, "Driver={FreeTDS};Server=localhost" + kTdsTail},
        // keywords in any letter case, blanks around them, synonyms, the last one wins
        {"  PROVIDER = sqloledb.1 ; data SOURCE = h ; initial  catalog = a ; Database = b ; uid = x", kTds,
         "Driver={FreeTDS};Server=h;Database=b;UID=x" + kTdsTail},
        // quoting: ' and " with the quote doubled inside; ; inside quotes
        {"Data Source=h;User ID='o''brien';Password=\"a;b\"\"c\"", kTds,
         "Driver={FreeTDS};Server=h;UID=o'brien;PWD={a;b\"c}" + kTdsTail},
        // values that could inject an attribute are braced, } doubled
        {"Data Source=h;User ID=u;Password=\"x;Database=master\"", kTds,
         "Driver={FreeTDS};Server=h;UID=u;PWD={x;Database=master}" + kTdsTail},
        {"Data Source=h;Password='}{;DSN=evil'", kMs, "Driver={ODBC Driver 18 for SQL Server};Server=h;PWD={}}{;DSN=evil}"},
        // FreeTDS ends a braced value at "};" and doubles nothing
        {"Data Source=h;Password='}{;x}'", kTds, "Driver={FreeTDS};Server=h;PWD={}{;x}}" + kTdsTail},
        {"Data Source=h;Password='a};DSN=evil'", kTds,
         "ERROR: A connection value holding \"};\" cannot be passed to the FreeTDS driver"},
        // a quoted "DSN=" inside a value does not make an ODBC string of it
        {"Data Source=h;Password='x;DSN=evil'", kTds, "Driver={FreeTDS};Server=h;PWD={x;DSN=evil}" + kTdsTail},
        {"Data Source=h;Password=' padded '", kMs, "Driver={ODBC Driver 18 for SQL Server};Server=h;PWD={ padded }"},
        // "==" is a literal "=" in a keyword (and so an unknown keyword here)
        {"Data Source=h;a==b=c;User ID=u", kTds, "Driver={FreeTDS};Server=h;UID=u" + kTdsTail},
        // application, workstation, encryption
        {"Data Source=h;Application Name=Vykonar;Workstation ID=PC 1;Use Encryption for Data=True", kTds,
         "Driver={FreeTDS};Server=h;APP=Vykonar;WSID=PC 1;Encryption=require" + kTdsTail},
        {"Data Source=h;Use Encryption for Data=False;Trust Server Certificate=True", kMs,
         "Driver={ODBC Driver 18 for SQL Server};Server=h;Encrypt=no;TrustServerCertificate=yes"},
        {"Data Source=h;Use Encryption for Data=False", kTds, "Driver={FreeTDS};Server=h" + kTdsTail},
        // a driver path is braced as well
        {"Data Source=h", "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so",
         "Driver={/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so};Server=h" + kTdsTail},
        // ODBC strings pass unchanged
        {"Driver={FreeTDS};Server=h;Port=1;UID=u;PWD={a;b}", kMs, "Driver={FreeTDS};Server=h;Port=1;UID=u;PWD={a;b}"},
        {"dsn=Koral;uid=u", kTds, "dsn=Koral;uid=u"},
        // Czech text stays as it is
        {"Data Source=h;Initial Catalog=Účetnictví;User ID=údržba", kTds,
         "Driver={FreeTDS};Server=h;Database=Účetnictví;UID=údržba" + kTdsTail},
        // bad input gets a clear error
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\db.mdb", kTds,
         "ERROR: The provider \"Microsoft.Jet.OLEDB.4.0\" is not supported; use a SQL Server provider or an ODBC "
         "connection string"},
        {"Data Source=h,port", kTds, "ERROR: Connection string is not valid: \"port\" is no port number"},
        {"Data Source=h,70000", kTds, "ERROR: Connection string is not valid: \"70000\" is no port number"},
        {"Data Source=h;Password='abc", kTds,
         "ERROR: Connection string is not valid: the value of \"Password\" lacks its closing quote"},
        {"Data Source=h;Password='a'b", kTds,
         "ERROR: Connection string is not valid: text follows the quoted value of \"Password\""},
        {"Data Source=h;justaword", kTds, "ERROR: Connection string is not valid: \"justaword\" has no value"},
        {"=x", kTds, "ERROR: Connection string is not valid: a value has no keyword"},
        {"Data Source=h;Connect Timeout=soon", kTds,
         "ERROR: Connection string is not valid: \"soon\" is no connect time-out in seconds"},
    };
    for (const auto& c : cases) EXPECT_EQ(Translate(c.ado, c.driver), c.odbc) << c.ado;
}

TEST(ConnString, ConnectTimeoutBecomesTheLoginTimeOut) {
    EXPECT_EQ(TranslateAdoConnection("Data Source=h", kTds).LoginTimeout, -1);
    EXPECT_EQ(TranslateAdoConnection("Data Source=h;Connect Timeout=7", kTds).LoginTimeout, 7);
    EXPECT_EQ(TranslateAdoConnection("Data Source=h;connection timeout = 0", kTds).LoginTimeout, 0);
    EXPECT_EQ(TranslateAdoConnection("Data Source=h;Connect Timeout=7", kTds).ConnectionString.find("imeout"),
              std::string::npos);
}

TEST(ConnString, BracedValuesComeBackWhole) {
    // Whatever a value holds, the ODBC parser finds the same value under the
    // same keyword and no other attribute.
    const std::string values[] = {"plain", "a;b", "{x}", "}", "}}", "{", "a}b;c={d", " lead", "trail ", ";DSN=x;", ""};
    for (const auto& v : values) {
        const std::string odbc = "Driver={FreeTDS};PWD=" + OdbcValue(v) + ";UID=u";
        const auto pairs = ParseOdbcConnectionString(odbc);
        ASSERT_EQ(pairs.size(), 3u) << odbc;
        EXPECT_EQ(pairs[1].first, "PWD");
        EXPECT_EQ(pairs[1].second, v) << odbc;
        EXPECT_EQ(pairs[2], (std::pair<std::string, std::string>{"UID", "u"}));
    }
}

TEST(ConnString, DataLinkFile) {
    const std::string udl = std::string(ZNX_FIXTURES_DIR) + "/sql/planora.udl";
    EXPECT_EQ(DataLinkInitString(ReadFile(udl)),
              "Provider=SQLOLEDB.1;Password=\"tajn;é\";Persist Security Info=True;User ID=údržba;"
              "Initial Catalog=Účetnictví;Data Source=SRV01\\KORAL,1455;Use Procedure for Prepare=1;"
              "Auto Translate=True;Packet Size=4096;Workstation ID=PC-RECEPCE;Use Encryption for Data=False;"
              "Tag with column collation when possible=False");
    EXPECT_EQ(Translate("FILE NAME=" + udl, kTds),
              "Driver={FreeTDS};Server=SRV01\\KORAL;Port=1455;Database=Účetnictví;UID=údržba;PWD={tajn;é};"
              "WSID=PC-RECEPCE" + kTdsTail);
    // the string's own keywords win over the file's
    EXPECT_EQ(Translate("Provider=MSDASQL;File Name=" + udl + ";Initial Catalog=jiná", kMs),
              "ERROR: The provider \"MSDASQL\" is not supported; use a SQL Server provider or an ODBC connection string");
    EXPECT_EQ(Translate("File Name='" + udl + "';Initial Catalog=jiná;Use Encryption for Data=True", kMs),
              "Driver={ODBC Driver 18 for SQL Server};Server=SRV01\\KORAL,1455;Database=jiná;UID=údržba;"
              "PWD={tajn;é};WSID=PC-RECEPCE;Encrypt=yes");

    TempDir dir;
    // UTF-8 with its mark, LF line ends, an ODBC string inside
    WriteFile(dir / "odbc.udl", "\xEF\xBB\xBF[oledb]\n; comment\nDriver={FreeTDS};Server=x\n");
    EXPECT_EQ(Translate("File Name=" + dir / "odbc.udl", kMs), "Driver={FreeTDS};Server=x");
    // UTF-16LE without a mark
    std::string noMark;
    for (char c : std::string("[oledb]\r\nData Source=y\r\n")) noMark += std::string{c, '\0'};
    WriteFile(dir / "nomark.udl", noMark);
    EXPECT_EQ(Translate("File Name=" + dir / "nomark.udl", kTds), "Driver={FreeTDS};Server=y" + kTdsTail);
    WriteFile(dir / "nested.udl", "[oledb]\nFile Name=" + udl + "\n");
    EXPECT_EQ(Translate("File Name=" + dir / "nested.udl", kTds),
              "ERROR: Connection string is not valid: a data link file names another data link file");
    const std::string missing = Translate("File Name=" + dir / "none.udl", kTds);
    EXPECT_EQ(missing.rfind("ERROR: Cannot read the data link file \"" + dir / "none.udl" + "\"", 0), 0u) << missing;
}

TEST(ConnString, DriverChoiceFollowsTheOverride) {
    test::SetEnv("ZNX_ODBC_DRIVER", "ODBC Driver 17 for SQL Server");
    EXPECT_EQ(ChooseOdbcDriver(), "ODBC Driver 17 for SQL Server");
    EXPECT_EQ(TranslateConnectionString("Data Source=h"), "Driver={ODBC Driver 17 for SQL Server};Server=h");
    test::SetEnv("ZNX_ODBC_DRIVER", "");
    // Here tdsodbc is registered as "FreeTDS" and no Microsoft driver is installed.
    EXPECT_EQ(ChooseOdbcDriver(), "FreeTDS");
    EXPECT_TRUE(IsFreeTdsDriver("/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"));
    EXPECT_FALSE(IsFreeTdsDriver("ODBC Driver 18 for SQL Server"));
}

TEST(ConnString, FailureTextsFromDiagnostics) {
    struct Case {
        std::vector<TDiagRecord> records;
        std::string text;
    };
    const Case cases[] = {
        // prefixes go; the server's error stays as sent
        {{{"42S02", 208, "[unixODBC][FreeTDS][SQL Server]Invalid object name 'x'."}}, "Invalid object name 'x'."},
        // a driver follow-up to the server's error adds nothing
        {{{"42000", 911, "[FreeTDS][SQL Server]Database 'x' does not exist."},
          {"HY000", 0, "[FreeTDS][SQL Server]Could not change database"}},
         "Database 'x' does not exist."},
        // several server errors: all, in order, each once
        {{{"42000", 3201, "[FreeTDS][SQL Server]Cannot open backup device 'X'."},
          {"42000", 3013, "[FreeTDS][SQL Server]BACKUP DATABASE is terminating abnormally."},
          {"42000", 3013, "[FreeTDS][SQL Server]BACKUP DATABASE is terminating abnormally."}},
         "Cannot open backup device 'X'. BACKUP DATABASE is terminating abnormally."},
        // informational messages beside an error are left out
        {{{"01000", 0, "[FreeTDS][SQL Server]10 percent processed."},
          {"42000", 50000, "[FreeTDS][SQL Server]Chyba"}},
         "Chyba"},
        // a failure that only comes with an informational record keeps it
        {{{"01000", 20017, "[FreeTDS][SQL Server]Unexpected EOF from the server"}}, "Unexpected EOF from the server"},
        // driver messages only: the first, repeats and restatements dropped
        {{{"HYT00", 0, "[FreeTDS][SQL Server]Timeout expired"}, {"HY008", 0, "[FreeTDS][SQL Server]Operation was cancelled"}},
         "Timeout expired"},
        // line breaks inside a message become blanks: the log keeps one line per event
        {{{"42000", 50000, "[FreeTDS][SQL Server]first line\r\nsecond line"}}, "first line  second line"},
        {{}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CombineDiagnostics(c.records), c.text);
    EXPECT_EQ(StripDiagPrefixes("[a][b]text [c]"), "text [c]");
    EXPECT_EQ(StripDiagPrefixes("[unclosed text"), "[unclosed text");
}
