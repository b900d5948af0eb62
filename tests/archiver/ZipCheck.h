#pragma once
// Checks of ZIP archives with readers that share no code with the archiver:
// `unzip -t` for integrity, Python's zipfile for the listing, bsdtar for
// extracting contents and modification times.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>

#include "tests/support/TestSupport.h"

namespace znx::test {

struct ZipMember {
    uint64_t size = 0;
    int compressType = 0; // 0 stored, 8 deflated
    unsigned flagBits = 0;
    bool operator==(const ZipMember&) const = default;
};
using ZipListing = std::map<std::string, ZipMember>;

// "unzip -t" on the archive; its exit code (0: no errors, 1: warnings such
// as an empty archive) and its output.
inline ProcessResult UnzipTest(const std::string& zip) { return RunProcess({"/usr/bin/unzip", "-t", zip}); }

// The members as Python's zipfile lists them, after it checked every
// member's data against its CRC (unless verify is off). Fails the test when
// Python cannot read the archive.
inline ZipListing ListWithPython(const std::string& zip, bool verify = true) {
    static const char* script =
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1]) as z:\n"
        "    bad = z.testzip() if sys.argv[2] == '1' else None\n"
        "    if bad: sys.exit('bad member ' + bad)\n"
        "    for i in z.infolist():\n"
        "        sys.stdout.buffer.write(b'%s\\t%d\\t%d\\t%d\\n' % (i.filename.encode('utf-8'), i.file_size,"
        " i.compress_type, i.flag_bits))\n";
    ProcessResult r = RunProcess({"/usr/bin/python3", "-c", script, zip, verify ? "1" : "0"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ZipListing out;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream f(line);
        std::string name, size, type, flags;
        std::getline(f, name, '\t');
        std::getline(f, size, '\t');
        std::getline(f, type, '\t');
        std::getline(f, flags, '\t');
        out[name] = ZipMember{std::stoull(size), std::stoi(type), static_cast<unsigned>(std::stoul(flags))};
    }
    return out;
}

// Extracts the archive into the folder with bsdtar; fails the test on error.
inline void ExtractWithBsdtar(const std::string& zip, const std::string& folder) {
    ProcessResult r = RunProcess({"/usr/bin/bsdtar", "-xf", zip, "-C", folder});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

} // namespace znx::test
