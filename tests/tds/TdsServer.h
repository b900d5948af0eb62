#pragma once
// The TDS test server (tests/tds/tds_server.py) as a test fixture: started on
// a free port of 127.0.0.1, stopped at destruction; what it received is read
// back from its record file.

#include <string>
#include <sys/types.h>
#include <vector>

#include "tests/support/TestSupport.h"

namespace znx::test {

struct TTdsRecord {
    int conn = 0;
    std::string db;   // the current database when it arrived
    std::string kind; // "login", "batch", "rpc", "attention"
    std::string text; // exact text (batch), procedure name (rpc), database (login)
    std::string user, app, host;
};

struct TTdsConfig {
    std::vector<std::pair<std::string, std::string>> users{{"sa", "secret"}};
    std::vector<std::string> databases{"master", "tempdb", "model", "msdb"};
    std::string defaultDatabase = "master";
    bool silent = false; // accepts connections but never answers
};

class TTdsServer {
public:
    explicit TTdsServer(const TTdsConfig& config = {});
    ~TTdsServer();
    TTdsServer(const TTdsServer&) = delete;
    TTdsServer& operator=(const TTdsServer&) = delete;

    int Port() const { return port_; }
    // "Provider=SQLOLEDB.1;Data Source=127.0.0.1,PORT;User ID=sa;Password=secret"
    std::string AdoString(const std::string& user = "sa", const std::string& password = "secret") const;

    std::vector<TTdsRecord> Records() const;
    // Batches that are neither the driver's USE nor SET statements.
    std::vector<TTdsRecord> UserBatches() const;
    void ClearRecords() const;
    // Waits (up to 5 s) until every connection the server has seen is closed;
    // false when one stays open.
    bool AllClosed() const;

private:
    TempDir dir_;
    std::string record_;
#ifdef _WIN32
    void* process_ = nullptr;
#else
    pid_t pid_ = -1;
    int stdinFd_ = -1;
#endif
    int port_ = 0;
};

// A port on 127.0.0.1 on which nothing listens (bound, then released).
// The Windows build runs the server under Wine as a process of the host
// (python3 of $ZNX_PYTHON, else /usr/bin/python3).
int RefusedPort();

} // namespace znx::test
