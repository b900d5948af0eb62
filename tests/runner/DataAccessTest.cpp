#include <gtest/gtest.h>

#include "platform/dataaccess.h"
#include "platform/error.h"
#include "tests/tds/TdsServer.h"

using namespace znx;
using namespace znx::test;

TEST(Explore, Messages) {
    TTdsConfig cfg;
    cfg.databases = {"master", "db1", "Účetnictví"};
    TTdsServer server(cfg);
    auto run = [&](const std::string& ado, const std::string& db, const std::string& text, int timeout = 5) {
        TDataConnection c;
        c.ConnectionString = ado;
        c.DefaultDatabase = db;
        c.CommandTimeout = timeout;
        try {
            c.Execute(text);
            std::printf("OK\n");
        } catch (const Error& e) {
            std::printf("ERR: [%s]\n", e.what());
        }
    };
    std::printf("%s\n", TranslateConnectionString(server.AdoString()).c_str());
    run(server.AdoString(), "db1", "select 1\r\n");
    run(server.AdoString(), "nodb", "select 1\r\n");
    run(server.AdoString("sa", "bad"), "db1", "select 1\r\n");
    run("Provider=SQLOLEDB.1;Data Source=127.0.0.1," + std::to_string(RefusedPort()) + ";User ID=sa;Password=x", "", "x");
    run(server.AdoString(), "db1", "select 1 --@ok\r\nselect 2 --@error 208 16 Invalid object name 'x'.\r\n");
    run(server.AdoString(), "db1", "select 1 --@error 208 16 first\r\nselect 2 --@error 209 16 second.\r\n");
    run(server.AdoString(), "db1", "waitfor --@delay 5\r\n", 1);
    run(server.AdoString(), "db1", "drop --@drop\r\n", 1);
    run(server.AdoString(), "Účetnictví", "select 'Příliš žluťoučký kůň'\r\n");
    {
        TDataConnection c;
        c.ConnectionString = server.AdoString();
        try {
            for (auto& n : c.ListCatalogs()) std::printf("cat %s\n", n.c_str());
        } catch (const Error& e) {
            std::printf("ERR: [%s]\n", e.what());
        }
    }
    for (auto& r : server.Records()) std::printf("%d %s %s [%s]\n", r.conn, r.kind.c_str(), r.db.c_str(), r.text.c_str());
}
