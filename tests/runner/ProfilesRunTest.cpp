// The real vykonar with fixture hives: what its log says about the profiles.
// A task whose profile (or the fallback, profile 3) is not available fails
// with "Nebylo získáno připojení k datům"; any other outcome means a profile
// was there. The connection texts point at a closed local port.
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "tests/runner/ProfileTestSupport.h"

using namespace znx;
using namespace znx::test;

namespace {

const std::string kTasks =
    "[T1]\nName=Koral\ntype=KORAL\ncatalog0=db1\n\n"
    "[T2]\nName=Kastelan\ntype=KASTELAN\ncatalog0=db2\n\n"
    "[T3]\nName=Vse\ntype=CS_ALL\ncatalog0=db3\n";

const std::string kConn = "Provider=SQLOLEDB.1;Password=x;User ID=sa;Initial Catalog=db;Data Source=127.0.0.1,1";
const std::string kNoConnection = "Nebylo získáno připojení k datům";

class ProfilesRun : public HiveFixture {
protected:
    void SetUp() override {
        HiveFixture::SetUp();
        FRunDir = FDir / "run";
        std::filesystem::create_directory(FRunDir);
        FExe = CopyExecutable(ZNX_VYKONAR_PATH, FRunDir);
        WriteFile(FRunDir + "/vykonar.ini", kTasks);
    }
    std::string Log() const { return Exists(FRunDir + "/vykonar.log") ? ReadFile(FRunDir + "/vykonar.log") : ""; }
    // Runs vykonar (optionally through a command in front) and returns its log.
    std::string Run(const std::vector<std::string>& Prefix = {}) {
        std::filesystem::remove(FRunDir + "/vykonar.log");
        std::vector<std::string> argv = Prefix;
        argv.push_back(FExe);
        auto env = HiveEnv();
        env["LC_ALL"] = "C";
        const ProcessResult r = RunProcess(argv, env);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return Log();
    }
    // For each task name, whether its catalog line shows a connection.
    static std::map<std::string, bool> Available(const std::string& Log) {
        std::map<std::string, bool> out;
        size_t start = 0;
        while (start < Log.size()) {
            size_t end = Log.find('\n', start);
            if (end == std::string::npos) end = Log.size();
            const std::string line = Log.substr(start, end - start);
            for (const char* name : {"Koral", "Kastelan", "Vse"})
                if (line.find("\"" + std::string(name) + "\"") != std::string::npos)
                    out[name] = line.find(kNoConnection) == std::string::npos;
            start = end + 1;
        }
        return out;
    }

    std::string FRunDir, FExe;
};

using Avail = std::map<std::string, bool>;

} // namespace

TEST_F(ProfilesRun, ValueOfTheWrongTypeStopsTheRunWithItsErrorLine) {
    WriteMachine(ProfileKeys(kHKLM, 1, kConn, "\"CTIMEOUT\"=dword:0000012c\n"));
    EXPECT_EQ(MaskTimestamps(Run()), Crlf("<T>: Konfigurace načtena z \"" + FRunDir + "/vykonar.ini\"\n"
                                          "<T>: Zpracování spuštěno\n"
                                          "<T>: CHYBA: \"Invalid data type for 'CTIMEOUT'\" \n"));
}

TEST_F(ProfilesRun, AvailableProfilesDecideWhichTasksGetAConnection) {
    const struct {
        const char* What;
        std::string Machine, User;
        Avail Expected;
    } cases[] = {
        {"no profile anywhere", "", "", {{"Koral", false}, {"Kastelan", false}, {"Vse", false}}},
        {"profile 1 machine-wide", ProfileKeys(kHKLM, 1, kConn), "",
         {{"Koral", true}, {"Kastelan", false}, {"Vse", false}}},
        {"profile 3 in the user's hive serves every kind", "",
         AdoKeys(kHKCU, "\"ADOString\"=\"" + kConn + "\"\n"), {{"Koral", true}, {"Kastelan", true}, {"Vse", true}}},
        {"profile 2 in the user's hive", "", ProfileKeys(kHKCU, 2, kConn),
         {{"Koral", false}, {"Kastelan", true}, {"Vse", false}}},
        {"user's profile after a machine-wide one with CSL 0", ProfileKeys(kHKLM, 1, "", "\"CSL\"=\"0\"\n"),
         ProfileKeys(kHKCU, 1, kConn), {{"Koral", true}, {"Kastelan", false}, {"Vse", false}}},
        {"CSL above 0 without CONNECTION", ProfileKeys(kHKLM, 2, "", "\"CSL\"=\"20\"\n"), "",
         {{"Koral", false}, {"Kastelan", false}, {"Vse", false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        std::filesystem::remove(Machine());
        std::filesystem::remove(User());
        if (!c.Machine.empty()) WriteMachine(c.Machine);
        if (!c.User.empty()) WriteUser(c.User);
        const std::string log = Run();
        EXPECT_EQ(Available(log), c.Expected) << log;
        EXPECT_EQ(log.find("CHYBA: \""), std::string::npos) << log; // no run-level error
    }
    // The run left the profile keys behind, empty, in both hives.
    for (const std::string& hive : {Machine(), User()})
        EXPECT_NE(ReadFile(hive).find("\\Software\\ZNX\\KASTLSRV]"), std::string::npos) << hive;
}

TEST_F(ProfilesRun, CorruptHiveIsReportedAndLeftAlone) {
    const std::string bad = kRegHeader + "[HKEY_LOCAL_MACHINE\\Software\\ZNX]\n\"a\"=hex:0x\n";
    WriteFile(Machine(), bad);
    EXPECT_EQ(MaskTimestamps(Run()),
              Crlf("<T>: Konfigurace načtena z \"" + FRunDir + "/vykonar.ini\"\n"
                   "<T>: Zpracování spuštěno\n"
                   "<T>: CHYBA: \"Registry file \"" + Machine() + "\", line 4: \"0x\" is not a hexadecimal byte\" \n"));
    EXPECT_EQ(ReadFile(Machine()), bad);
    EXPECT_FALSE(Exists(User())); // the run ended before the user's hive
}

TEST_F(ProfilesRun, MachineWideHiveTheRunnerMayNotWriteIsNotSeen) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run as nobody";
    chmod(FDir.Path().c_str(), 0755);
    WriteMachine(ProfileKeys(kHKLM, 1, kConn));
    chmod(Machine().c_str(), 0644);
    const std::string own = FDir / "nobody";
    std::filesystem::create_directory(own);
    SetUserHive(own + "/user.reg");
    WriteUser(ProfileKeys(kHKCU, 2, kConn));
    for (const std::string& p : {own, User(), FRunDir, FRunDir + "/vykonar.ini"})
        ASSERT_EQ(chown(p.c_str(), 65534, 65534), 0) << p;
    const std::string machineBefore = ReadFile(Machine());

    const std::string log = Run({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    EXPECT_EQ(Available(log), (Avail{{"Koral", false}, {"Kastelan", true}, {"Vse", false}})) << log;
    EXPECT_EQ(ReadFile(Machine()), machineBefore);

    // The same hives for a runner that may write the machine-wide one.
    EXPECT_EQ(Available(Run()), (Avail{{"Koral", true}, {"Kastelan", true}, {"Vse", false}}));
}
