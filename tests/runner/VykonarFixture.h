#pragma once
// Runs the real vykonar, copied into a temporary folder with its own hives,
// Windows folder and task file, and reads back what it logged.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace znx::test {

class VykonarFixture : public ::testing::Test {
protected:
    VykonarFixture() {
        exe_ = CopyExecutable(ZNX_VYKONAR_PATH, dir_.Path());
        env_ = {{"ZNX_MACHINE_REG", dir_ / "machine.reg"},
                {"ZNX_USER_REG", dir_ / "user.reg"},
                {"ZNX_CLASSES_REG", dir_ / "classes.reg"},
                {"ZNX_WINDOWS_DIR", dir_.Path()},
                {"XDG_CONFIG_HOME", dir_ / "config"}};
        // Linux runs in the C locale (ISO time stamps); the Windows build keeps
        // the system's regional settings, which the test environment sets.
        if (!kWindows) env_["LC_ALL"] = "C";
    }

    ProcessResult Run(std::vector<std::string> args = {}) {
        args.insert(args.begin(), exe_);
        return RunProcess(args, env_, dir_.Path());
    }
    // The log with its time stamps masked, lines split at CR LF, as UTF-8.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        if (!Exists(LogPath())) return lines;
        std::string log = MaskTimestamps(Utf8(ReadFile(LogPath())));
        size_t start = 0, crlf;
        while ((crlf = log.find("\r\n", start)) != std::string::npos) {
            lines.push_back(log.substr(start, crlf - start));
            start = crlf + 2;
        }
        EXPECT_EQ(start, log.size()) << "the last line lacks CR LF";
        return lines;
    }
    // Writes the task file from UTF-8 text, in the system code page.
    void WriteTasks(const std::string& text) const { WriteFile(IniPath(), Crlf(Sys(text))); }
    std::string IniPath() const { return dir_ / "vykonar.ini"; }
    std::string LogPath() const { return dir_ / "vykonar.log"; }

    TempDir dir_;
    std::string exe_;
    std::map<std::string, std::string> env_;
};

} // namespace znx::test
