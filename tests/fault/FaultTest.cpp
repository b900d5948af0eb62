// Faults through the real binaries and the real save path: nothing is lost
// and the log says what happened.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/registry.h"
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

// A backup killed midway: the previous archive of that name stays whole and
// nothing half-written carries its name.
TEST_F(Fault, KilledBackupKeepsThePreviousArchive) {
    namespace fs = std::filesystem;
    fs::create_directories(dir_ / "data");
    fs::create_directories(dir_ / "dest");
    {
        // Incompressible data, so that packing takes a while.
        std::mt19937_64 rng(7);
        for (int f = 0; f < 8; ++f) {
            std::string blob(8u << 20, '\0');
            for (size_t i = 0; i + 8 <= blob.size(); i += 8) {
                uint64_t v = rng();
                std::memcpy(&blob[i], &v, 8);
            }
            WriteFile(dir_ / ("data/T" + std::to_string(f) + ".DB"), blob);
        }
    }
    fs::copy_file(fs::path(ZNX_COMPONENT_BUILD_DIR) / "znx-archivace.so", dir_ / "znx-archivace.so");
    WriteTasks("[B]\nNAME=b\nTYPE=PARADOX\nSQL0=BACKUP REPORT dest\nCATALOG0=data\n");
    ASSERT_EQ(Run().exitCode, 0);
    const std::string archive = dir_ / "dest/REPORT.FAR";
    const std::string previous = ReadFile(archive);
    ASSERT_GT(previous.size(), 60u << 20);

    std::mt19937 rng(99);
    for (int round = 0; round < 5; ++round) {
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir_.Path().c_str()) != 0) _exit(2);
            for (const auto& [k, v] : env_) setenv(k.c_str(), v.c_str(), 1);
            execl(exe_.c_str(), exe_.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + rng() % 400));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        ASSERT_EQ(ReadFile(archive), previous) << "round " << round;
        for (const auto& e : fs::directory_iterator(dir_ / "dest"))
            if (e.path().filename() != "REPORT.FAR") {
                EXPECT_NE(e.path().filename().string().find('~'), std::string::npos) << e.path();
            }
    }
}

// Two processes write one hive at once and one of them is killed at a random
// moment: the hive still reads, and no value a finished write stored is lost.
TEST(FaultHive, WriterKilledMidwayTearsNothingAndLosesNothing) {
    TempDir dir;
    const std::string hive = dir / "machine.reg";
    setenv("ZNX_MACHINE_REG", hive.c_str(), 1);
    auto writer = [&](const std::string& prefix, int count) {
        for (int i = 0; i < count; ++i) {
            TRegistry reg;
            reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
            if (!reg.OpenKey("Software\\ZNX\\Fault", true)) _exit(3);
            reg.WriteString(prefix + std::to_string(i), std::string(200, 'v'));
        }
        _exit(0);
    };
    pid_t steady = fork();
    if (steady == 0) writer("steady", 300);
    pid_t victim = fork();
    if (victim == 0) writer("victim", 100000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(victim, SIGKILL);
    int status = 0;
    waitpid(victim, nullptr, 0);
    waitpid(steady, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    TRegistry reg;
    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("Software\\ZNX\\Fault", false)); // parses: not torn
    std::vector<std::string> names;
    reg.GetValueNames(names);
    std::set<std::string> have(names.begin(), names.end());
    for (int i = 0; i < 300; ++i) EXPECT_TRUE(have.count("steady" + std::to_string(i))) << i;
    int victims = 0;
    while (have.count("victim" + std::to_string(victims))) ++victims;
    EXPECT_GT(victims, 0);
    EXPECT_EQ(have.size(), 300u + static_cast<size_t>(victims)); // its writes landed in order, none torn
    unsetenv("ZNX_MACHINE_REG");
}
