#include "platform/connstring.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"

namespace znx {

// ---------------------------------------------------------------------------
// Parsing

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string TrimBlanks(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

// Keyword in one canonical form: lower case a-z, inner blanks collapsed.
std::string CanonicalKey(std::string_view key) {
    std::string out;
    bool blank = false;
    for (char c : key) {
        if (IsBlank(c)) {
            blank = !out.empty();
            continue;
        }
        if (blank) out.push_back(' ');
        blank = false;
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return out;
}

[[noreturn]] void Invalid(const std::string& detail) {
    throw Error("Connection string is not valid: " + detail);
}

} // namespace

TConnectionPairs ParseAdoConnectionString(std::string_view s) {
    TConnectionPairs pairs;
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        while (i < n && (IsBlank(s[i]) || s[i] == ';')) ++i;
        if (i >= n) break;
        // keyword up to a single "="; "==" stands for "=" in the keyword
        std::string key;
        bool haveEq = false;
        while (i < n) {
            if (s[i] == '=') {
                if (i + 1 < n && s[i + 1] == '=') {
                    key.push_back('=');
                    i += 2;
                    continue;
                }
                haveEq = true;
                ++i;
                break;
            }
            if (s[i] == ';') break;
            key.push_back(s[i++]);
        }
        key = TrimBlanks(key);
        if (!haveEq) Invalid("\"" + key + "\" has no value");
        if (key.empty()) Invalid("a value has no keyword");
        while (i < n && IsBlank(s[i])) ++i;
        std::string value;
        if (i < n && (s[i] == '\'' || s[i] == '"')) {
            const char q = s[i++];
            bool closed = false;
            while (i < n) {
                if (s[i] == q) {
                    if (i + 1 < n && s[i + 1] == q) {
                        value.push_back(q);
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value.push_back(s[i++]);
            }
            if (!closed) Invalid("the value of \"" + key + "\" lacks its closing quote");
            while (i < n && IsBlank(s[i])) ++i;
            if (i < n && s[i] != ';') Invalid("text follows the quoted value of \"" + key + "\"");
        } else {
            size_t start = i;
            while (i < n && s[i] != ';') ++i;
            value = TrimBlanks(s.substr(start, i - start));
        }
        pairs.emplace_back(std::move(key), std::move(value));
    }
    return pairs;
}

TConnectionPairs ParseOdbcConnectionString(std::string_view s) {
    // key=value; or key={value with ; and }} for one }}
    TConnectionPairs pairs;
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        size_t start = i;
        while (i < n && s[i] != '=' && s[i] != ';') ++i;
        std::string key = TrimBlanks(s.substr(start, i - start));
        std::string value;
        if (i < n && s[i] == '=') {
            ++i;
            while (i < n && IsBlank(s[i])) ++i;
            if (i < n && s[i] == '{') {
                ++i;
                while (i < n) {
                    if (s[i] == '}') {
                        if (i + 1 < n && s[i + 1] == '}') {
                            value.push_back('}');
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    value.push_back(s[i++]);
                }
                while (i < n && s[i] != ';') ++i;
            } else {
                start = i;
                while (i < n && s[i] != ';') ++i;
                value = TrimBlanks(s.substr(start, i - start));
            }
        }
        if (!key.empty()) pairs.emplace_back(std::move(key), std::move(value));
        if (i < n) ++i; // the ";"
    }
    return pairs;
}

bool IsOdbcConnectionString(std::string_view s) {
    // Read as the OLE DB form first, so a quoted value that merely holds
    // "DSN=" cannot make a profile's string count as an ODBC one.
    TConnectionPairs pairs;
    try {
        pairs = ParseAdoConnectionString(s);
    } catch (const Error&) {
        pairs = ParseOdbcConnectionString(s); // braces: only ODBC has them
    }
    for (const auto& [key, value] : pairs) {
        const std::string k = CanonicalKey(key);
        if (k == "driver" || k == "dsn" || k == "filedsn") return true;
    }
    return false;
}

std::string OdbcAttribute(std::string_view s, std::string_view key) {
    std::string found;
    for (const auto& [k, value] : ParseOdbcConnectionString(s))
        if (CanonicalKey(k) == CanonicalKey(key) && found.empty()) found = value;
    return found;
}

std::string OdbcValue(std::string_view v, bool freeTds) {
    const bool needs = v.find_first_of(";{}") != std::string_view::npos ||
                       (!v.empty() && (IsBlank(v.front()) || IsBlank(v.back())));
    if (!needs) return std::string(v);
    std::string out = "{";
    if (freeTds) {
        // FreeTDS ends a braced value at the first "};" (or the string's
        // last "}") and knows no doubling; "};" inside cannot be passed.
        if (v.find("};") != std::string_view::npos)
            throw Error("A connection value holding \"};\" cannot be passed to the FreeTDS driver");
        out += v;
        out.push_back('}');
        return out;
    }
    for (char c : v) {
        out.push_back(c);
        if (c == '}') out.push_back('}');
    }
    out.push_back('}');
    return out;
}

std::string DataLinkInitString(std::string_view bytes) {
    std::string text;
    const auto u = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    bool utf16 = false;
    size_t start = 0;
    if (bytes.size() >= 2 && u(0) == 0xFF && u(1) == 0xFE) {
        utf16 = true;
        start = 2;
    } else if (bytes.size() >= 3 && u(0) == 0xEF && u(1) == 0xBB && u(2) == 0xBF) {
        start = 3;
    } else if (bytes.size() >= 2 && u(1) == 0 && u(0) != 0) {
        utf16 = true; // UTF-16LE without its mark
    }
    if (utf16) {
        std::u16string wide;
        for (size_t k = start; k + 1 < bytes.size(); k += 2)
            wide.push_back(static_cast<char16_t>(u(k) | (u(k + 1) << 8)));
        text = Utf16ToUtf8(wide);
    } else {
        text = std::string(bytes.substr(start));
    }
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = TrimBlanks(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';') continue;
        if (CanonicalKey(line) == "[oledb]") continue;
        if (line.find('\0') != std::string::npos) line.resize(line.find('\0'));
        return line;
    }
    return {};
}

bool IsFreeTdsDriver(std::string_view driver) {
    const std::string d = CanonicalKey(driver);
    return d.find("freetds") != std::string::npos || d.find("tdsodbc") != std::string::npos;
}

// ---------------------------------------------------------------------------
// Translation

namespace {

enum class Key {
    Provider, Server, Database, User, Password, Integrated, Timeout, App, Workstation, Encrypt,
    TrustCert, FileName, Ignored
};

Key Classify(const std::string& canonical) {
    static const std::map<std::string, Key> keys = {
        {"provider", Key::Provider},
        {"data source", Key::Server},
        {"server", Key::Server},
        {"address", Key::Server},
        {"addr", Key::Server},
        {"network address", Key::Server},
        {"initial catalog", Key::Database},
        {"database", Key::Database},
        {"user id", Key::User},
        {"uid", Key::User},
        {"user", Key::User},
        {"password", Key::Password},
        {"pwd", Key::Password},
        {"integrated security", Key::Integrated},
        {"trusted_connection", Key::Integrated},
        {"connect timeout", Key::Timeout},
        {"connection timeout", Key::Timeout},
        {"application name", Key::App},
        {"app", Key::App},
        {"workstation id", Key::Workstation},
        {"wsid", Key::Workstation},
        {"use encryption for data", Key::Encrypt},
        {"encrypt", Key::Encrypt},
        {"trust server certificate", Key::TrustCert},
        {"trustservercertificate", Key::TrustCert},
        {"file name", Key::FileName},
    };
    auto it = keys.find(canonical);
    return it == keys.end() ? Key::Ignored : it->second;
}

bool IsTrue(const std::string& v) {
    const std::string c = CanonicalKey(v);
    return c == "true" || c == "yes" || c == "sspi" || c == "1" || c == "-1";
}

bool KnownProvider(const std::string& provider) {
    const std::string p = CanonicalKey(provider);
    if (p.empty() || p == "sqloledb" || p == "sqloledb.1" || p == "msoledbsql" || p.rfind("msoledbsql.", 0) == 0)
        return true;
    return p.rfind("sqlncli", 0) == 0; // SQLNCLI, SQLNCLI10, SQLNCLI11, SQLNCLI11.1 ...
}

struct Settings {
    std::map<Key, std::string> values; // the last occurrence of a keyword wins
};

void Collect(const TConnectionPairs& pairs, Settings& s, std::string* fileName) {
    for (const auto& [key, value] : pairs) {
        Key k = Classify(CanonicalKey(key));
        if (k == Key::Ignored) continue;
        if (k == Key::FileName) {
            if (!fileName) Invalid("a data link file names another data link file");
            *fileName = value;
            continue;
        }
        s.values[k] = value;
    }
}

struct ServerParts {
    std::string host, instance, port;
};

ServerParts SplitServer(const std::string& dataSource) {
    std::string v = TrimBlanks(dataSource);
    if (v.size() >= 4 && CanonicalKey(v.substr(0, 4)) == "tcp:") v = TrimBlanks(v.substr(4));
    ServerParts p;
    const size_t comma = v.rfind(',');
    if (comma != std::string::npos) {
        p.port = TrimBlanks(v.substr(comma + 1));
        v = TrimBlanks(v.substr(0, comma));
        int32_t port = 0;
        if (!TryStrToInt(p.port, port) || port < 1 || port > 65535 ||
            p.port.find_first_not_of("0123456789") != std::string::npos)
            Invalid("\"" + p.port + "\" is no port number");
    }
    const size_t slash = v.find('\\');
    if (slash != std::string::npos) {
        p.instance = v.substr(slash + 1);
        v = v.substr(0, slash);
    }
    // The local machine in the forms the Windows client understands.
    if (v.empty() || v == "." || CanonicalKey(v) == "(local)") v = "localhost";
    p.host = v;
    return p;
}

void Add(std::string& out, const std::string& key, const std::string& value, bool freeTds) {
    if (!out.empty()) out += ';';
    out += key + '=' + OdbcValue(value, freeTds);
}

} // namespace

TOdbcConnectSettings TranslateAdoConnection(const std::string& ado, const std::string& driver,
                                            const TFileReader& readFile) {
    TOdbcConnectSettings result;
    if (IsOdbcConnectionString(ado)) {
        result.ConnectionString = ado;
        result.PassedThrough = true;
        return result;
    }
    Settings s;
    std::string fileName;
    const TConnectionPairs pairs = ParseAdoConnectionString(ado);
    for (const auto& [key, value] : pairs)
        if (Classify(CanonicalKey(key)) == Key::FileName) fileName = value;
    if (!fileName.empty()) {
        std::string bytes;
        if (readFile) {
            bytes = readFile(fileName);
        } else {
            try {
                bytes = ReadWholeFile(fileName);
            } catch (const Error& e) {
                throw Error("Cannot read the data link file \"" + fileName + "\": " + e.Message());
            }
        }
        const std::string init = DataLinkInitString(bytes);
        if (IsOdbcConnectionString(init)) {
            result.ConnectionString = init;
            result.PassedThrough = true;
            return result;
        }
        Collect(ParseAdoConnectionString(init), s, nullptr);
    }
    std::string ignored;
    Collect(pairs, s, &ignored); // the string's own keywords win over the file's

    if (s.values.count(Key::Provider) && !KnownProvider(s.values[Key::Provider]))
        throw Error("The provider \"" + s.values[Key::Provider] +
                    "\" is not supported; use a SQL Server provider or an ODBC connection string");

    const bool freeTds = IsFreeTdsDriver(driver);
    std::string out;
    // The driver is always braced: names have blanks, paths may too.
    std::string braced = "Driver={";
    for (char c : driver) {
        braced.push_back(c);
        if (c == '}') braced.push_back('}');
    }
    out = braced + "}";

    const ServerParts server = SplitServer(s.values.count(Key::Server) ? s.values[Key::Server] : "");
    if (freeTds) {
        Add(out, "Server", server.instance.empty() ? server.host : server.host + "\\" + server.instance, freeTds);
        if (!server.port.empty()) Add(out, "Port", server.port, freeTds);
    } else {
        std::string v = server.host;
        if (!server.instance.empty()) v += "\\" + server.instance;
        if (!server.port.empty()) v += "," + server.port;
        Add(out, "Server", v, freeTds);
    }
    if (s.values.count(Key::Database) && !s.values[Key::Database].empty()) Add(out, "Database", s.values[Key::Database], freeTds);
    if (s.values.count(Key::Integrated) && IsTrue(s.values[Key::Integrated])) {
        Add(out, "Trusted_Connection", "Yes", freeTds);
    } else {
        if (s.values.count(Key::User)) Add(out, "UID", s.values[Key::User], freeTds);
        if (s.values.count(Key::Password)) Add(out, "PWD", s.values[Key::Password], freeTds);
    }
    if (s.values.count(Key::App) && !s.values[Key::App].empty()) Add(out, "APP", s.values[Key::App], freeTds);
    if (s.values.count(Key::Workstation) && !s.values[Key::Workstation].empty())
        Add(out, "WSID", s.values[Key::Workstation], freeTds);
    if (s.values.count(Key::Encrypt)) {
        const bool on = IsTrue(s.values[Key::Encrypt]);
        if (freeTds) {
            if (on) Add(out, "Encryption", "require", freeTds);
        } else {
            Add(out, "Encrypt", on ? "yes" : "no", freeTds);
        }
    }
    if (s.values.count(Key::TrustCert) && !freeTds)
        Add(out, "TrustServerCertificate", IsTrue(s.values[Key::TrustCert]) ? "yes" : "no", freeTds);
    if (freeTds) {
        Add(out, "TDS_Version", "7.4", freeTds);
        Add(out, "ClientCharset", "UTF-8", freeTds);
    }
    if (s.values.count(Key::Timeout)) {
        int32_t t = 0;
        const std::string v = TrimBlanks(s.values[Key::Timeout]);
        if (!TryStrToInt(v, t) || t < 0) Invalid("\"" + v + "\" is no connect time-out in seconds");
        result.LoginTimeout = t;
    }
    result.ConnectionString = out;
    return result;
}

} // namespace znx
