#pragma once
// Translation of ADO/OLE DB connection strings (as the server profiles and the
// editor keep them) into ODBC connection strings for a SQL Server driver.
// Pure text work: no driver is asked here (see dataaccess.h for the choice
// of the installed driver).

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace znx {

// One keyword and its value as written (keyword without surrounding blanks,
// value with its quotes removed).
using TConnectionPairs = std::vector<std::pair<std::string, std::string>>;

// Splits an OLE DB connection string: "key=value" pairs separated by ";",
// blanks around keys and values ignored, "==" in a keyword for a literal "=",
// values quoted with ' or " (the quote doubled inside). Raises Error on text
// that does not follow these rules.
TConnectionPairs ParseAdoConnectionString(std::string_view text);

// True when the text already is an ODBC connection string (has a Driver= or
// DSN= keyword); such a string is used unchanged.
bool IsOdbcConnectionString(std::string_view text);

// Splits an ODBC connection string (values braced with "}}" for "}" or plain).
TConnectionPairs ParseOdbcConnectionString(std::string_view text);
// The value of the first attribute of that name (any letter case); empty if none.
std::string OdbcAttribute(std::string_view odbc, std::string_view key);

// The value as an ODBC attribute value: braced when it holds ";", "{", "}" or
// leading/trailing blanks, so it can never end its attribute early or add
// another one. Standard ODBC doubles "}" inside; FreeTDS knows no doubling
// and ends the value at "};", so for it such a value raises Error.
std::string OdbcValue(std::string_view value, bool freeTds = false);

// The init string of a data link (.udl) file's content: UTF-16LE (with or
// without BOM) or UTF-8; the "[oledb]" line and ";" comment lines skipped.
// The result is in the system code page.
std::string DataLinkInitString(std::string_view fileBytes);

struct TOdbcConnectSettings {
    std::string ConnectionString; // the ODBC connection string
    int LoginTimeout = -1;        // seconds from Connect Timeout; -1 when not given
    bool PassedThrough = false;   // the input already was an ODBC string
};

// Reads a data link file's bytes; raises Error when it cannot.
using TFileReader = std::function<std::string(const std::string& path)>;

// Whether the driver (a name registered with the driver manager, or a path of
// the driver library) is FreeTDS.
bool IsFreeTdsDriver(std::string_view driver);

// Translates for the given driver. FILE NAME= files are read with readFile
// (the default reads the file from disk).
TOdbcConnectSettings TranslateAdoConnection(const std::string& ado, const std::string& driver,
                                            const TFileReader& readFile = {});

} // namespace znx

namespace znx {
// UTF-8 <-> UTF-16 for the wide ODBC calls. Bytes that are no valid UTF-8 are
// taken as Latin-1 characters; unpaired surrogates become U+FFFD.
} // namespace znx
