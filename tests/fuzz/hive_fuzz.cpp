// The regedit-format hive reader and writer: no crash; whatever reads, writes
// and reads back as the same tree of keys and values; writing is stable.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/error.h"
#include "platform/regfile.h"

using namespace znx;
using namespace znx::regfile;

namespace {
bool SameTree(const TKeyNode& a, const TKeyNode& b) {
    if (a.Name() != b.Name() || a.Values().size() != b.Values().size() || a.SubKeyCount() != b.SubKeyCount())
        return false;
    for (size_t i = 0; i < a.Values().size(); ++i) {
        const TValue &x = a.Values()[i], &y = b.Values()[i];
        if (x.Name != y.Name || x.Type != y.Type || x.Data != y.Data) return false;
    }
    for (size_t i = 0; i < a.SubKeyCount(); ++i)
        if (!SameTree(a.SubKey(i), b.SubKey(i))) return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<THive> first;
    try {
        first = ReadHive(bytes, "fuzz.reg", TRootKey::HKEY_LOCAL_MACHINE);
    } catch (const Error&) {
        return 0; // refused with a message: fine
    }
    const std::string written = WriteHive(*first);
    std::unique_ptr<THive> second = ReadHive(written, "written.reg", TRootKey::HKEY_LOCAL_MACHINE);
    if (!SameTree(first->Top(), second->Top())) std::abort();
    if (WriteHive(*second) != written) std::abort();
    return 0;
}
