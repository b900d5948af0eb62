// The connection-string translation: no crash on any input; a translated
// string always names the driver first, and every value the translator
// braced comes back whole from the ODBC parser (nothing can inject an
// attribute). The input's tail after a NUL byte stands for a data link file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/connstring.h"
#include "platform/text.h"
#include "platform/error.h"

using namespace znx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string ado = input.substr(0, nul);
    const std::string udl = nul == std::string::npos ? std::string() : input.substr(nul + 1);
    const TFileReader reader = [&](const std::string&) { return udl; };
    for (const char* driver : {"FreeTDS", "ODBC Driver 18 for SQL Server"}) {
        try {
            const TOdbcConnectSettings s = TranslateAdoConnection(ado, driver, reader);
            if (s.PassedThrough) continue;
            const auto pairs = ParseOdbcConnectionString(s.ConnectionString);
            if (pairs.empty() || pairs[0].first != "Driver" || pairs[0].second != driver) std::abort();
            if (!IsFreeTdsDriver(driver)) {
                // Standard ODBC parsing must see exactly the attributes written.
                for (const auto& [key, value] : pairs)
                    if (key.find_first_of("{};") != std::string::npos) std::abort();
            }
        } catch (const Error&) {
        }
    }
    (void)DataLinkInitString(input);
    (void)Utf16ToUtf8(Utf8ToUtf16(input));
    try {
        (void)ParseAdoConnectionString(input);
    } catch (const Error&) {
    }
    return 0;
}
