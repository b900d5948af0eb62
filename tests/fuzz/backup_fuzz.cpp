// The backup command's text rules: SplitText in its four flag combinations
// keeps its invariants, and RunBackup's word rules never crash; they either
// refuse the command or reach the archiver (which here refuses at once).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/error.h"
#include "runner/Backup.h"

using namespace znx;

namespace {
void CheckSplit(const std::string& text, bool dropEmpty, bool quotesGroup) {
    TStrings parts;
    int n = SplitText(text, " ,", parts, dropEmpty, quotesGroup);
    if (n != static_cast<int>(parts.size())) std::abort();
    std::string joined, expected;
    for (const std::string& p : parts) {
        if (dropEmpty && p.empty()) std::abort();
        joined += p;
    }
    bool quoted = false;
    size_t separators = 0;
    for (char c : text) {
        if (quotesGroup && c == '"') quoted = !quoted;
        if ((c == ' ' || c == ',') && !quoted) {
            ++separators;
            continue;
        }
        expected += c;
    }
    if (joined != expected) std::abort(); // nothing lost, nothing added
    if (!dropEmpty && !text.empty() && parts.size() != separators + 1) std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (bool drop : {false, true})
        for (bool quotes : {false, true}) CheckSplit(text, drop, quotes);

    TBackupServices refusing;
    refusing.Clock = [] { return LocalTime{2025, 1, 31, 12, 0, 0}; };
    refusing.CreateArchiver = []() -> std::unique_ptr<IArchivace> { throw Error("no component"); };
    const size_t cut = text.find('\n');
    const std::string command = text.substr(0, cut);
    const std::string catalog = cut == std::string::npos ? std::string("\"\"") : text.substr(cut + 1);
    try {
        RunBackup({command}, catalog, size % 2 == 0, refusing);
    } catch (const Error&) {
    }
    return 0;
}
