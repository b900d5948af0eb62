#pragma once
// Fixture hives for the profile tests: the three hive variables pointed into a
// temporary folder, and builders of regedit text for profiles.

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runner/ServerProfiles.h"
#include "tests/support/TestSupport.h"

namespace znx::test {

inline const std::string kRegHeader = "Windows Registry Editor Version 5.00\n\n";

inline std::string HexList(const std::string& Bytes) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < Bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(Bytes[i]));
        if (i) out += ',';
        out += buf;
    }
    return out;
}

// "CONNECTION"=hex:... of the scrambled text.
inline std::string ConnectionLine(const std::string& Text) {
    return "\"CONNECTION\"=hex:" + HexList(ScrambleText(Text)) + "\n";
}

// A profile of kind 1 or 2: the key with its connection (none when Text is
// empty) and the OPTIONS lines (CSL added when Csl is true).
inline std::string ProfileKeys(const std::string& Root, int Kind, const std::string& Text,
                               const std::string& Options = {}, bool Csl = true) {
    const std::string key = "[" + Root + "\\" + ProfileKeyPath(Kind) + "]\n";
    std::string out = key + (Text.empty() ? "" : ConnectionLine(Text)) + "\n";
    out += "[" + Root + "\\" + ProfileKeyPath(Kind) + "\\OPTIONS]\n" + Options;
    if (Csl && !Text.empty()) out += "\"CSL\"=\"" + std::to_string(Text.size()) + "\"\n";
    return out + "\n";
}

inline std::string AdoKeys(const std::string& Root, const std::string& ValueLine) {
    return "[" + Root + "\\Software\\ZNX\\Planora]\n" + ValueLine + "\n";
}

inline const std::string kHKLM = "HKEY_LOCAL_MACHINE";
inline const std::string kHKCU = "HKEY_CURRENT_USER";

// Points ZNX_MACHINE_REG, ZNX_USER_REG and ZNX_CLASSES_REG into a fresh
// folder for the test's time.
class HiveFixture : public ::testing::Test {
protected:
    void SetUp() override {
        FUser = FDir / "user.reg";
        setenv("ZNX_MACHINE_REG", Machine().c_str(), 1);
        setenv("ZNX_USER_REG", User().c_str(), 1);
        setenv("ZNX_CLASSES_REG", (FDir / "classes.reg").c_str(), 1);
    }
    std::string Machine() const { return FDir / "machine.reg"; }
    std::string User() const { return FUser; }
    // Moves the user's hive (for a runner that runs as another user).
    void SetUserHive(const std::string& Path) {
        FUser = Path;
        setenv("ZNX_USER_REG", Path.c_str(), 1);
    }
    void WriteMachine(const std::string& Body) const { WriteFile(Machine(), kRegHeader + Body); }
    void WriteUser(const std::string& Body) const { WriteFile(User(), kRegHeader + Body); }
    std::map<std::string, std::string> HiveEnv() const {
        return {{"ZNX_MACHINE_REG", Machine()}, {"ZNX_USER_REG", User()}, {"ZNX_CLASSES_REG", FDir / "classes.reg"}};
    }

    TempDir FDir;
    std::string FUser;
    ScopedEnv FSaved{{"ZNX_MACHINE_REG", "ZNX_USER_REG", "ZNX_CLASSES_REG"}};
};

} // namespace znx::test
