// The INI parser and writer: no crash; parse -> save -> parse gives the same
// sections, keys and values; saving twice gives identical bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "storage/PLVIni.h"

using namespace znx;

namespace {
struct Snapshot {
    TStrings header;
    std::vector<std::pair<std::string, TStrings>> sections;
    bool operator==(const Snapshot&) const = default;
};
Snapshot Take(TUniqueIniFile& ini) {
    Snapshot s{ini.Header(), {}};
    for (const auto& sec : ini.Sections()) s.sections.emplace_back(sec->Name, sec->Body);
    return s;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    TStrings lines = SplitIniLines(text);
    TUniqueIniFile first(&lines);
    // A few edits through the public operations on whatever was parsed.
    TStrings names;
    first.ReadSections(names);
    if (!names.empty()) {
        first.WriteString(names.front(), "fuzz", "value");
        first.ReadString(names.back(), "fuzz", "");
        first.DeleteKey(names.back(), "x");
    }
    first.UpdateFile();
    Snapshot before = Take(first);
    std::string saved = JoinIniLines(lines);

    TStrings again = SplitIniLines(saved);
    TUniqueIniFile second(&again);
    if (!(Take(second) == before)) std::abort();
    second.WriteString("", "", ""); // saves
    if (JoinIniLines(again) != saved) std::abort();
    return 0;
}
