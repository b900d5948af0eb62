// The data-access connection over ODBC (unixODBC with FreeTDS or Microsoft's
// drivers on Linux, the system's driver manager on Windows). Text crosses the
// driver boundary through the wide (UTF-16) calls, so no driver's idea of the
// client code page can garble it.
#include "platform/dataaccess.h"

#if defined(_WIN32)
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#if !defined(_WIN32)
#include <dlfcn.h>
#include <link.h>
#endif

#include "platform/connstring.h"
#include "platform/error.h"
#include "platform/text.h"

namespace znx {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager's wide characters are UTF-16");

namespace {

// ADO's own wording for a command without text.
constexpr const char* kNoCommandText = "Command text was not set for the command object.";
// ADO's wording for parameter markers without values.
constexpr const char* kNoParameterValue = "No value given for one or more required parameters.";
// ADO's default time allowed for opening a connection.
constexpr int kDefaultLoginTimeout = 15;

SQLWCHAR* W(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }

// Text of the system code page to UTF-16 and back.
std::u16string ToWide(const std::string& text) {
#if defined(_WIN32)
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
#else
    return Utf8ToUtf16(text);
#endif
}

std::string FromW(const SQLWCHAR* s, size_t chars) {
#if defined(_WIN32)
    if (chars == 0) return {};
    const auto* w = reinterpret_cast<const wchar_t*>(s);
    const int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(chars), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(chars), out.data(), n, nullptr, nullptr);
    return out;
#else
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(s), chars));
#endif
}

// One environment for the process: it holds no connection, only the ODBC
// version; creating it per connection would reload the driver manager's
// configuration each time.
SQLHENV Environment() {
    static SQLHENV env = [] {
        SQLHENV h = SQL_NULL_HENV;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h)))
            throw Error("The ODBC driver manager could not be initialised");
        SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return h;
    }();
    return env;
}

std::vector<TDiagRecord> Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<TDiagRecord> out;
    for (SQLSMALLINT i = 1; i < 1000; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, nullptr, 0, &len);
        if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc)) break;
        std::vector<SQLWCHAR> text(static_cast<size_t>(len) + 1);
        rc = SQLGetDiagRecW(type, handle, i, state, &native, text.data(), static_cast<SQLSMALLINT>(text.size()), &len);
        if (!SQL_SUCCEEDED(rc)) break;
        out.push_back({FromW(state, 5), static_cast<long>(native),
                       FromW(text.data(), std::min<size_t>(static_cast<size_t>(len), text.size() - 1))});
    }
    return out;
}

// Failures after which the statement cannot go on: driver-level states,
// or a failure that came with informational records only (FreeTDS reports
// a connection lost mid-batch so).
bool IsFatal(const std::vector<TDiagRecord>& records) {
    bool onlyInfo = true;
    for (const auto& r : records) {
        if (r.State.rfind("08", 0) == 0 || r.State.rfind("HY", 0) == 0 || r.State.rfind("IM", 0) == 0) return true;
        if (r.State.rfind("01", 0) != 0) onlyInfo = false;
    }
    return onlyInfo;
}

[[noreturn]] void Fail(const std::vector<TDiagRecord>& records, const std::string& fallback) {
    std::string text = CombineDiagnostics(records);
    throw Error(text.empty() ? fallback : text);
}

#if !defined(_WIN32)
// unixODBC answers SQLMoreResults with SQL_NO_DATA, without asking the
// driver, once a call of the statement returned SQL_ERROR; the rest of the
// batch would then be cancelled unseen when the statement is freed. To read
// the batch to its end the driver's own functions are called on the
// driver's statement handle.
struct TDriverDrain {
    using MoreResultsFn = SQLRETURN (*)(SQLHSTMT);
    using DiagRecFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*, SQLINTEGER*, SQLWCHAR*,
                                    SQLSMALLINT, SQLSMALLINT*);
    MoreResultsFn moreResults = nullptr;
    DiagRecFn diagRec = nullptr;
    SQLHSTMT stmt = SQL_NULL_HSTMT;

    bool Find(SQLHDBC dbc, SQLHSTMT appStmt) {
        SQLCHAR name[512] = {};
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, &len)) || !name[0]) return false;
        struct Search {
            std::string file, path;
        } search{reinterpret_cast<char*>(name), {}};
        const std::string base = std::filesystem::path(search.file).filename().string();
        search.file = base;
        dl_iterate_phdr(
            [](dl_phdr_info* info, size_t, void* data) {
                auto* s = static_cast<Search*>(data);
                if (!info->dlpi_name || !*info->dlpi_name) return 0;
                const std::string path = info->dlpi_name;
                if (std::filesystem::path(path).filename().string() == s->file) {
                    s->path = path;
                    return 1;
                }
                return 0;
            },
            &search);
        if (search.path.empty()) return false;
        void* lib = dlopen(search.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!lib) return false;
        moreResults = reinterpret_cast<MoreResultsFn>(dlsym(lib, "SQLMoreResults"));
        diagRec = reinterpret_cast<DiagRecFn>(dlsym(lib, "SQLGetDiagRecW"));
        dlclose(lib); // the driver manager keeps its own reference
        SQLHSTMT driverStmt = appStmt;
        if (!moreResults || !diagRec ||
            !SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DRIVER_HSTMT, &driverStmt, sizeof driverStmt, nullptr)) ||
            driverStmt == appStmt || driverStmt == SQL_NULL_HSTMT)
            return false;
        stmt = driverStmt;
        return true;
    }

    std::vector<TDiagRecord> Diagnostics() const {
        std::vector<TDiagRecord> out;
        for (SQLSMALLINT i = 1; i < 1000; ++i) {
            SQLWCHAR state[6] = {};
            SQLWCHAR text[2048];
            SQLINTEGER native = 0;
            SQLSMALLINT len = 0;
            if (!SQL_SUCCEEDED(diagRec(SQL_HANDLE_STMT, stmt, i, state, &native, text, 2048, &len))) break;
            out.push_back({FromW(state, 5), static_cast<long>(native), FromW(text, std::min<size_t>(static_cast<size_t>(len), 2047))});
        }
        return out;
    }
};
#endif

class TStatement {
public:
    explicit TStatement(SQLHDBC dbc) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h)))
            Fail(Diagnostics(SQL_HANDLE_DBC, dbc), "The ODBC statement could not be created");
    }
    ~TStatement() {
        SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;
    SQLHSTMT h = SQL_NULL_HSTMT;
};

} // namespace

// ---------------------------------------------------------------------------

std::string StripDiagPrefixes(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && text[pos] == '[') {
        const size_t close = text.find(']', pos);
        if (close == std::string::npos) break;
        pos = close + 1;
    }
    return text.substr(pos);
}

std::string CombineDiagnostics(const std::vector<TDiagRecord>& records) {
    bool anyError = false;
    for (const auto& r : records)
        if (r.State.rfind("01", 0) != 0) anyError = true;
    std::vector<std::string> server, driver;
    auto addOnce = [](std::vector<std::string>& list, const std::string& t) {
        if (t.empty()) return;
        for (const auto& have : list)
            if (have == t) return;
        list.push_back(t);
    };
    for (const auto& r : records) {
        // Informational records beside errors are left out; a failure that
        // only comes with such records (a dropped connection) keeps them.
        if (anyError && r.State.rfind("01", 0) == 0) continue;
        std::string t = StripDiagPrefixes(r.Text);
        for (char& c : t)
            if (c == '\r' || c == '\n' || c == '\t') c = ' ';
        t = Trim(t);
        addOnce(r.Native != 0 ? server : driver, t);
    }
    if (server.empty()) return driver.empty() ? std::string() : driver.front();
    std::string out;
    for (const auto& t : server) {
        if (!out.empty()) out += ' ';
        out += t;
    }
    return out;
}

std::string ChooseOdbcDriver() {
    if (const char* env = std::getenv("ZNX_ODBC_DRIVER"); env && *env) return env;
    static std::once_flag once;
    static std::string chosen;
    std::call_once(once, [] {
        std::vector<std::string> installed;
        SQLHENV env = Environment();
        SQLCHAR name[512];
        SQLCHAR attrs[2048];
        SQLSMALLINT nameLen = 0, attrLen = 0;
        SQLUSMALLINT direction = SQL_FETCH_FIRST;
        while (SQL_SUCCEEDED(SQLDrivers(env, direction, name, sizeof name, &nameLen, attrs, sizeof attrs, &attrLen))) {
            installed.emplace_back(reinterpret_cast<char*>(name));
            direction = SQL_FETCH_NEXT;
        }
        // Microsoft's current drivers first; on Windows then the older ones
        // (the driver "SQL Server" ships with Windows itself).
        for (const char* preferred : {"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server",
#if defined(_WIN32)
                                      "SQL Server Native Client 11.0", "SQL Server",
#endif
                                      "FreeTDS"})
            for (const auto& have : installed)
                if (have == preferred) {
                    chosen = have;
                    return;
                }
        std::error_code ec;
        for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc",
                                "/usr/lib/i386-linux-gnu/odbc", "/usr/lib/arm-linux-gnueabihf/odbc", "/usr/lib/odbc",
                                "/usr/lib64", "/usr/local/lib", "/usr/lib"}) {
            const std::filesystem::path p = std::filesystem::path(dir) / "libtdsodbc.so";
            if (std::filesystem::exists(p, ec)) {
                chosen = p.string();
                return;
            }
        }
    });
    if (chosen.empty())
        throw Error("No ODBC driver for SQL Server is installed (install FreeTDS's tdsodbc or Microsoft's "
                    "ODBC driver, or name one in ZNX_ODBC_DRIVER)");
    return chosen;
}

std::string TranslateConnectionString(const std::string& ado) {
    if (IsOdbcConnectionString(ado)) return ado;
    return TranslateAdoConnection(ado, ChooseOdbcDriver()).ConnectionString;
}

// ---------------------------------------------------------------------------

struct TDataConnection::Impl {
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;

    void Release() {
        if (dbc == SQL_NULL_HDBC) return;
        if (connected) SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        dbc = SQL_NULL_HDBC;
        connected = false;
    }
};

TDataConnection::TDataConnection() : FImpl(std::make_unique<Impl>()) {}

TDataConnection::~TDataConnection() { FImpl->Release(); }

bool TDataConnection::Connected() const { return FImpl->connected; }

void TDataConnection::Close() { FImpl->Release(); }

void TDataConnection::Open() {
    if (FImpl->connected) return;
    FImpl->Release();
    TOdbcConnectSettings settings;
    if (IsOdbcConnectionString(ConnectionString)) {
        settings.ConnectionString = ConnectionString;
        settings.PassedThrough = true;
    } else {
        settings = TranslateAdoConnection(ConnectionString, ChooseOdbcDriver());
    }
    SQLHENV env = Environment();
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &FImpl->dbc))) {
        FImpl->dbc = SQL_NULL_HDBC;
        Fail(Diagnostics(SQL_HANDLE_ENV, env), "The ODBC connection could not be created");
    }
    SQLHDBC dbc = FImpl->dbc;
    const int loginTimeout = settings.LoginTimeout >= 0 ? settings.LoginTimeout : kDefaultLoginTimeout;
    SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(loginTimeout)),
                       SQL_IS_UINTEGER);
    if (ReadCommitted)
        SQLSetConnectAttrW(dbc, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(SQL_TXN_READ_COMMITTED),
                           SQL_IS_UINTEGER);
    std::u16string wideText = ToWide(settings.ConnectionString);
    SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, W(wideText), static_cast<SQLSMALLINT>(wideText.size()), nullptr, 0,
                                     nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        auto records = Diagnostics(SQL_HANDLE_DBC, dbc);
        FImpl->Release();
        bool fromServer = false;
        for (const auto& r : records)
            if (r.Native != 0 && r.State.rfind("08", 0) != 0) fromServer = true;
        std::string text = CombineDiagnostics(records);
        if (text.empty()) text = "The connection could not be opened";
        if (!fromServer) {
            // The driver's own text does not say where it tried to go.
            std::string where = OdbcAttribute(settings.ConnectionString, "Server");
            if (where.empty()) where = OdbcAttribute(settings.ConnectionString, "DSN");
            const std::string port = OdbcAttribute(settings.ConnectionString, "Port");
            if (!port.empty()) where += "," + port;
            if (!where.empty()) text += " (server " + where + ")";
        }
        throw Error(text);
    }
    FImpl->connected = true;
    if (!DefaultDatabase.empty()) {
        std::u16string db = ToWide(DefaultDatabase);
        rc = SQLSetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, W(db),
                                static_cast<SQLINTEGER>(db.size() * sizeof(SQLWCHAR)));
        if (!SQL_SUCCEEDED(rc)) {
            auto records = Diagnostics(SQL_HANDLE_DBC, dbc);
            FImpl->Release();
            Fail(records, "The database \"" + DefaultDatabase + "\" could not be selected");
        }
    }
}

void TDataConnection::Execute(const std::string& commandText) {
    Open();
    if (commandText.empty()) throw Error(kNoCommandText);
    TStatement stmt(FImpl->dbc);
    const SQLULEN timeout = CommandTimeout > 0 ? static_cast<SQLULEN>(CommandTimeout) : 0;
    SQLSetStmtAttrW(stmt.h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), SQL_IS_UINTEGER);
    std::u16string text = ToWide(commandText);
    std::vector<TDiagRecord> errors;
    SQLRETURN rc = SQLExecDirectW(stmt.h, W(text), static_cast<SQLINTEGER>(text.size()));
    bool fatal = false, failed = false;
    if (rc == SQL_ERROR) {
        failed = true;
        auto records = Diagnostics(SQL_HANDLE_STMT, stmt.h);
        fatal = IsFatal(records);
        errors.insert(errors.end(), records.begin(), records.end());
        // The driver refuses a text with parameter markers but no values
        // without a diagnostic of its own.
        if (records.empty())
            errors.push_back({"07002", 0, commandText.find('?') != std::string::npos ? kNoParameterValue
                                                                                     : "The command failed"});
    } else if (rc == SQL_INVALID_HANDLE) {
        throw Error("The command failed (invalid ODBC handle)");
    }
    // Every further result of the batch: rows are discarded, errors kept.
#if !defined(_WIN32)
    TDriverDrain drain;
    bool direct = false;
#endif
    while (!fatal) {
#if !defined(_WIN32)
        if (failed && !direct) direct = drain.Find(FImpl->dbc, stmt.h);
        if (direct) {
            rc = drain.moreResults(drain.stmt);
            if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE) break;
            if (rc == SQL_ERROR) {
                auto records = drain.Diagnostics();
                if (records.empty()) break;
                fatal = IsFatal(records);
                errors.insert(errors.end(), records.begin(), records.end());
            }
            continue;
        }
#endif
        rc = SQLMoreResults(stmt.h);
        if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE) break;
        if (rc == SQL_ERROR) {
            failed = true;
            auto records = Diagnostics(SQL_HANDLE_STMT, stmt.h);
            if (records.empty()) break;
            fatal = IsFatal(records);
            errors.insert(errors.end(), records.begin(), records.end());
        }
    }
    if (failed) Fail(errors, "The command failed");
}

std::vector<std::string> TDataConnection::ListCatalogs() {
    Open();
    TStatement stmt(FImpl->dbc);
    const SQLULEN timeout = CommandTimeout > 0 ? static_cast<SQLULEN>(CommandTimeout) : 0;
    SQLSetStmtAttrW(stmt.h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), SQL_IS_UINTEGER);
    std::u16string all = u"" SQL_ALL_CATALOGS, empty;
    SQLRETURN rc = SQLTablesW(stmt.h, W(all), SQL_NTS, W(empty), 0, W(empty), 0, W(empty), 0);
    if (!SQL_SUCCEEDED(rc)) Fail(Diagnostics(SQL_HANDLE_STMT, stmt.h), "The catalogs could not be listed");
    std::vector<std::string> names;
    while (true) {
        rc = SQLFetch(stmt.h);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) Fail(Diagnostics(SQL_HANDLE_STMT, stmt.h), "The catalogs could not be listed");
        std::u16string value;
        SQLWCHAR buf[256];
        SQLLEN ind = 0;
        bool isNull = false;
        while (true) {
            rc = SQLGetData(stmt.h, 1, SQL_C_WCHAR, buf, sizeof buf, &ind);
            if (rc == SQL_NO_DATA) break;
            if (!SQL_SUCCEEDED(rc)) Fail(Diagnostics(SQL_HANDLE_STMT, stmt.h), "The catalogs could not be listed");
            if (ind == SQL_NULL_DATA) {
                isNull = true;
                break;
            }
            const size_t room = sizeof buf / sizeof buf[0] - 1;
            size_t got = (ind == SQL_NO_TOTAL || static_cast<size_t>(ind) / sizeof(SQLWCHAR) > room)
                             ? room
                             : static_cast<size_t>(ind) / sizeof(SQLWCHAR);
            value.append(reinterpret_cast<const char16_t*>(buf), got);
            if (rc == SQL_SUCCESS) break;
        }
        if (!isNull) names.push_back(FromW(reinterpret_cast<const SQLWCHAR*>(value.data()), value.size()));
    }
    return names;
}

} // namespace znx
