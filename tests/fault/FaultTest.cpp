// Faults through the real binaries and the real save path: nothing is lost
// and the log says what happened.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "storage/PLVIni.h"
#include "tests/runner/VykonarFixture.h"

using namespace znx;
using namespace znx::test;

namespace {

std::string ManyCatalogs(int n) {
    std::ostringstream s;
    s << "[T]\nNAME=n\nTYPE=KORAL\n";
    for (int i = 0; i < n; ++i) s << "CATALOG" << i << "=db" << i << "\n";
    return s.str();
}

} // namespace

class Fault : public VykonarFixture {};

TEST_F(Fault, FourRunnersAppendingToOneLogLoseNoLineAndTearNone) {
    WriteTasks(ManyCatalogs(1000)); // no profile: each catalog logs one error line at once
    std::vector<std::thread> runners;
    std::vector<int> codes(4, -1);
    for (int i = 0; i < 4; ++i)
        runners.emplace_back([&, i] { codes[static_cast<size_t>(i)] = Run().exitCode; });
    for (auto& t : runners) t.join();
    for (int c : codes) EXPECT_EQ(c, 0);
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 4u * 1002u);
    std::regex whole(R"(<T>: (Konfigurace načtena z ".*"|Zpracování spuštěno|CHYBA: Akce "n", katalog "db\d+", Text chyby: Nebylo získáno připojení k datům ))");
    std::map<std::string, int> perCatalog;
    for (const std::string& l : lines) {
        ASSERT_TRUE(std::regex_match(l, whole)) << l;
        size_t k = l.find("katalog \"");
        if (k != std::string::npos) ++perCatalog[l.substr(k)];
    }
    EXPECT_EQ(perCatalog.size(), 1000u);
    for (const auto& [catalog, count] : perCatalog) EXPECT_EQ(count, 4) << catalog;
}

TEST_F(Fault, ALogThisUserMayNotWriteEndsTheRunWithExitCode1) {
    WriteFile(LogPath(), "kept\r\n");
    chmod(dir_.Path().c_str(), 0755);
    ProcessResult r;
    if (geteuid() == 0) {
        chmod(LogPath().c_str(), 0644); // root's file: the unprivileged runner may not write it
        std::vector<std::string> argv{"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", exe_};
        r = RunProcess(argv, env_, dir_.Path());
    } else {
        chmod(LogPath().c_str(), 0444);
        r = Run();
    }
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Cannot open file \"" + LogPath() + "\". Permission denied\n");
    EXPECT_EQ(ReadFile(LogPath()), "kept\r\n");
}

TEST_F(Fault, ALogWhoseWritesFailStopsLoggingButNotTheRun) {
    // The log opens but every write fails: the runner carries on, with no
    // report of its own, and exits normally.
    WriteTasks(ManyCatalogs(100));
    unlink(LogPath().c_str());
    ASSERT_EQ(symlink("/dev/full", LogPath().c_str()), 0);
    ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
}

// A process that saves a large file in a loop is killed at random moments:
// the file on disk is always one whole version, never a mix or a truncation.
TEST(FaultSave, KilledSaveLeavesOldOrNewContent) {
    TempDir dir;
    std::string path = dir / "big.ini";
    auto version = [](char tag) {
        std::ostringstream s;
        for (int i = 0; i < 20000; ++i) s << "[S" << i << "]\r\nk=" << std::string(static_cast<size_t>(40 + (tag - 'A') * 7), tag) << "\r\n" << (i + 1 < 20000 ? "\r\n" : "");
        return s.str();
    };
    const std::string a = version('A'), b = version('B');
    WriteFile(path, a);
    std::mt19937 rng(12345);
    for (int round = 0; round < 20; ++round) {
        pid_t pid = fork();
        if (pid == 0) {
            for (bool toB = true;; toB = !toB) {
                TPLVIniFile ini(path);
                TStrings sections;
                ini.ReadSections(sections);
                std::string value(static_cast<size_t>(toB ? 47 : 40), toB ? 'B' : 'A');
                for (const std::string& s : sections) ini.WriteString(s, "k", value);
                ini.Release();
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + rng() % 200));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        std::string now = ReadFile(path);
        ASSERT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
    }
}
