// One task with 200 catalogs against the TDS test server: the runner's time
// per catalog next to (a) a minimal ODBC loop in one process doing the same
// connect / USE / execute / disconnect and (b) one FreeTDS tsql run per
// database from a shell loop, as an administrator would script it.
// Prints "figure|ours|baseline|ratio|target|met" lines for bench/report.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/dataaccess.h"
#include "runner/RunAction.h"
#include "runner/RunFrame.h"
#include "runner/RunLog.h"
#include "runner/TaskWalk.h"
#include "tests/tds/TdsServer.h"

using namespace znx;
using namespace znx::test;
using Clock = std::chrono::steady_clock;

namespace {
constexpr int kCatalogs = 200;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

template <typename F>
double Best(int rounds, F&& f) {
    double best = 1e300;
    for (int k = 0; k < rounds; ++k) {
        const auto start = Clock::now();
        f();
        best = std::min(best, Ms(Clock::now() - start));
    }
    return best;
}

void OdbcLoop(const std::string& odbc, const std::vector<std::string>& dbs) {
    SQLHENV env;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    for (const auto& db : dbs) {
        SQLHDBC dbc;
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)odbc.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                            SQL_DRIVER_NOPROMPT))) {
            std::fprintf(stderr, "connect failed\n");
            std::exit(1);
        }
        SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, (SQLPOINTER)db.c_str(), SQL_NTS);
        SQLHSTMT st;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
        SQLExecDirect(st, (SQLCHAR*)"select 1\r\n", SQL_NTS);
        while (SQLMoreResults(st) != SQL_NO_DATA) {
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}
} // namespace

int main() {
    TTdsConfig cfg;
    cfg.databases = {"master"};
    for (int k = 0; k < kCatalogs; ++k) cfg.databases.push_back("db" + std::to_string(k));
    TTdsServer server(cfg);
    const std::vector<std::string> dbs(cfg.databases.begin() + 1, cfg.databases.end());
    TempDir dir;

    // The runner: the task walk with the real actions over one task.
    std::string ini = "[T]\r\nNAME=bench\r\nTYPE=CS_ALL\r\nSQL0=select 1\r\n";
    for (int k = 0; k < kCatalogs; ++k) ini += "CATALOG" + std::to_string(k) + "=" + dbs[static_cast<size_t>(k)] + "\r\n";
    WriteFile(dir / "t.ini", ini);
    CreateProcessState();
    ProcessState().ServerProfiles[3]->ConnectionText = server.AdoString();
    ProcessState().ServerProfiles[3]->AdoTimeout = 30;
    ProcessState().ProfileAvailable[3] = true;
    TRunnerActions actions;
    const double runner = Best(3, [&] {
        std::remove((dir / "t.log").c_str());
        RunTaskWalk(dir / "t.ini", dir / "t.log", "T", "", actions);
    });
    const std::string log = ReadFile(dir / "t.log");
    if (log.find("CHYBA") != std::string::npos) {
        std::fprintf(stderr, "the runner failed:\n%s", log.c_str());
        return 1;
    }

    // (a) the minimal ODBC loop with the same ODBC connection string
    const std::string odbc = TranslateConnectionString(server.AdoString());
    const double loop = Best(3, [&] { OdbcLoop(odbc, dbs); });

    // (b) one tsql per database from a shell loop
    std::string script = "for db in";
    for (const auto& db : dbs) script += " " + db;
    script += "; do printf 'select 1\\ngo\\n' | tsql -H 127.0.0.1 -p " + std::to_string(server.Port()) +
              " -U sa -P secret -D $db >/dev/null 2>&1 || exit 1; done";
    WriteFile(dir / "tsql.sh", script);
    const std::string cmd = "sh " + dir / "tsql.sh";
    const double tsql = Best(3, [&] {
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "a tsql run failed\n");
    });

    const double r = runner / kCatalogs, a = loop / kCatalogs, b = tsql / kCatalogs;
    std::printf("SQL task, 200 catalogs: runner per catalog (ms)|%.3f|%.3f|%.2f|< 1.2 x ODBC loop|%s\n", r, a, r / a,
                r / a < 1.2 ? "yes" : "NO");
    std::printf("SQL task, 200 catalogs: tsql runs / runner|%.3f|%.3f|%.2f|>= 5 x faster|%s\n", r, b, b / r,
                b / r >= 5 ? "yes" : "NO");
    FreeProcessState();
    return 0;
}
