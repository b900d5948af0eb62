#pragma once
// Data access to Microsoft SQL Server: one connection object with the
// settings the SQL action and the editor's catalog listing need, over ODBC.
// Connection strings come in the ADO/OLE DB form the profiles keep
// ("Provider=SQLOLEDB.1;Data Source=...;Initial Catalog=...;User ID=...", or
// "FILE NAME=" a data link file) and are translated to ODBC here.
// Errors are znx::Error carrying the server's or the layer's own message.

#include <memory>
#include <string>
#include <vector>

namespace znx {

class TDataConnection {
public:
    TDataConnection();
    ~TDataConnection(); // closes an open connection
    TDataConnection(const TDataConnection&) = delete;
    TDataConnection& operator=(const TDataConnection&) = delete;

    // Settings, taken when the connection opens.
    std::string ConnectionString;  // ADO/OLE DB form (or ODBC with Driver=/DSN=)
    int CommandTimeout = 30;       // seconds; 0 waits without limit
    std::string DefaultDatabase;   // selected after opening; empty selects none
    bool ReadCommitted = true;     // transaction isolation
    // Never a login dialogue: user and password come from the string alone.

    void Open();
    void Close();
    bool Connected() const;

    // Opens the connection when needed, then runs the text once as one batch
    // and reads every result to its end. An empty text raises the layer's
    // missing-command-text error after the connection has been opened.
    void Execute(const std::string& CommandText);

    // The server's catalogs (databases) in the server's order, as the
    // catalogs schema lists them (column CATALOG_NAME). Opens when needed.
    std::vector<std::string> ListCatalogs();

    struct Impl;

private:
    std::unique_ptr<Impl> FImpl;
};

// The ODBC connection string for an ADO/OLE DB one (see above).
std::string TranslateConnectionString(const std::string& AdoConnectionString);

// The ODBC driver connections use: $ZNX_ODBC_DRIVER when set, else the first
// installed of "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL
// Server", "FreeTDS" (as registered with the driver manager), else the path
// of FreeTDS's libtdsodbc.so. Raises Error when there is none.
std::string ChooseOdbcDriver();

// One diagnostic record as the driver manager hands it over.
struct TDiagRecord {
    std::string State; // SQLSTATE, five characters
    long Native = 0;   // the server's message number; 0 for driver messages
    std::string Text;  // as delivered, with its "[vendor][driver]" prefixes
};

// The message text of a failure from the diagnostic records of the calls
// that failed: prefixes such as "[unixODBC][FreeTDS][SQL Server]" removed,
// line breaks turned into blanks, informational records (SQLSTATE class 01)
// left out when error records are there. The server's messages (those with a
// message number) come first, in the order sent, each distinct text once,
// joined by one blank; without any, the driver's first message alone (its
// further ones only restate it, such as "Operation was cancelled" after
// "Timeout expired"). Empty when there are no records.
std::string CombineDiagnostics(const std::vector<TDiagRecord>& Records);
// The text of one message without its leading "[...]" prefixes.
std::string StripDiagPrefixes(const std::string& Text);

} // namespace znx
