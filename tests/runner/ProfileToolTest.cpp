// vykonar-profile: setting, showing and importing profiles, checked through
// the hives, the runner's own loading and the tool's output.
#include <sys/stat.h>

#include <filesystem>

#include "platform/registry.h"
#include "tests/runner/ProfileTestSupport.h"

using namespace znx;
using namespace znx::test;

namespace {

const std::string kSecret = "tajneheslo";
const std::string kConn = "Provider=SQLOLEDB.1;Password=" + kSecret + ";User ID=sa;Data Source=127.0.0.1,1";

class ProfileTool : public HiveFixture {
protected:
    ProcessResult Tool(std::vector<std::string> Args) {
        Args.insert(Args.begin(), ZNX_PROFILE_TOOL_PATH);
        return RunProcess(Args, HiveEnv());
    }
    ProcessResult Shell(const std::string& Command) {
        auto env = HiveEnv();
        env["TOOL"] = ZNX_PROFILE_TOOL_PATH;
        return RunProcess({"/bin/sh", "-c", Command}, env);
    }
    static bool Has(const std::string& Text, const std::string& Part) {
        return Text.find(Part) != std::string::npos;
    }
};

} // namespace

TEST_F(ProfileTool, SetsWhatTheRunnerLoadsAndShowsItMasked) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"set-connection", "1", kConn},
             {"set-option", "KORAL", "port", "1500"},
             {"set-option", "1", "ADOTIMEOUT", "$2D"},
             {"set-option", "1", "DIRSHAREDROOT", "/srv/share"},
             {"set-alias", "1", "Účetní", "Data Source=a;Pwd=aliasheslo"},
             {"set-ado", "Provider=SQLOLEDB.1;Data Source=editor"},
         }) {
        const ProcessResult r = Tool(args);
        EXPECT_EQ(r.exitCode, 0) << args[0] << ": " << r.err;
    }
    EXPECT_TRUE(Exists(Machine()));
    EXPECT_EQ(ReadFile(User()).find("KORLSRV"), std::string::npos); // kind 3 went to the user's hive

    TSrvOptions p;
    TProfileSource source;
    ASSERT_TRUE(LoadServerProfile(1, p, false, source));
    EXPECT_EQ(source, TProfileSource::psMachine);
    EXPECT_EQ(p.ConnectionText, kConn);
    EXPECT_EQ(p.Port, "1500");
    EXPECT_EQ(p.AdoTimeout, 45);
    EXPECT_EQ(p.Aliases, std::vector<std::string>{"Účetní=Data Source=a;Pwd=aliasheslo"});
    ASSERT_TRUE(LoadServerProfile(3, p, false, source));
    EXPECT_EQ(source, TProfileSource::psUser);
    EXPECT_EQ(p.ConnectionText, "Provider=SQLOLEDB.1;Data Source=editor");

    // The stored form: scrambled binary bytes and their count apart.
    TRegistry reg(KEY_READ);
    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("Software\\ZNX\\KORLSRV", false));
    EXPECT_EQ(reg.GetDataType("CONNECTION"), TRegDataType::rdBinary);
    EXPECT_EQ(ReadFile(Machine()).find(kSecret), std::string::npos);
    ASSERT_TRUE(reg.OpenKey("Software\\ZNX\\KORLSRV\\OPTIONS", false));
    EXPECT_EQ(reg.ReadString("CSL"), std::to_string(kConn.size()));
    EXPECT_EQ(reg.ReadString("PORT"), "1500");

    const ProcessResult show = Tool({"show"});
    EXPECT_EQ(show.exitCode, 0) << show.err;
    EXPECT_FALSE(Has(show.out, kSecret)) << show.out;
    EXPECT_FALSE(Has(show.out, "aliasheslo")) << show.out;
    EXPECT_TRUE(Has(show.out, "Provider=SQLOLEDB.1;Password=********;User ID=sa;Data Source=127.0.0.1,1"))
        << show.out;
    EXPECT_TRUE(Has(show.out, "Účetní=Data Source=a;Pwd=********")) << show.out;
    EXPECT_TRUE(Has(show.out, "PORT            1500")) << show.out;
    EXPECT_TRUE(Has(show.out, "ADOTIMEOUT      45")) << show.out;
    EXPECT_TRUE(Has(show.out, "yes, from the machine-wide hive")) << show.out;
    EXPECT_TRUE(Has(show.out, "Profile 2 (KASTELAN), key Software\\ZNX\\KASTLSRV\n"
                              "  available:      no (no connection text in either hive)"))
        << show.out;
    // Showing creates no keys.
    EXPECT_EQ(ReadFile(Machine()).find("KASTLSRV"), std::string::npos);

    // Cleared again: no connection, the options stay in the hive.
    ASSERT_EQ(Tool({"clear-connection", "1"}).exitCode, 0);
    EXPECT_FALSE(LoadServerProfile(1, p, false, source));
    EXPECT_EQ(reg.ReadString("CSL"), "0");
    EXPECT_EQ(reg.ReadString("PORT"), "1500");
    ASSERT_EQ(Tool({"unset-option", "1", "PORT"}).exitCode, 0);
    EXPECT_FALSE(reg.ValueExists("PORT"));
    ASSERT_EQ(Tool({"unset-alias", "1", "účetní"}).exitCode, 0);
    ASSERT_TRUE(reg.OpenKey("Software\\ZNX\\KORLSRV", false));
    EXPECT_FALSE(reg.ValueExists("CONNECTION"));
    ASSERT_TRUE(reg.OpenKey("Software\\ZNX\\KORLSRV\\ALIASADO", false));
    std::vector<std::string> names;
    reg.GetValueNames(names);
    EXPECT_TRUE(names.empty());
}

TEST_F(ProfileTool, ReadsTheConnectionTextFromStandardInput) {
    const ProcessResult r = Shell("printf '%s\\n' '" + kConn + "' | \"$TOOL\" set-connection 2 - --user");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    TSrvOptions p;
    TProfileSource source;
    ASSERT_TRUE(LoadServerProfile(2, p, false, source));
    EXPECT_EQ(source, TProfileSource::psUser);
    EXPECT_EQ(p.ConnectionText, kConn);
    const ProcessResult empty = Shell("\"$TOOL\" set-connection 2 - </dev/null");
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_TRUE(Has(empty.err, "the text is empty")) << empty.err;
}

TEST_F(ProfileTool, ImportsARegeditExportAsIs) {
    const std::string fixture = std::string(ZNX_FIXTURES_DIR) + "/profiles/korlsrv-utf16.reg";
    const ProcessResult r = Tool({"import", fixture});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "Imported 3 keys, 13 values and 0 deletions into " + Machine())) << r.out;
    TSrvOptions p;
    ASSERT_TRUE(LoadServerProfile(1, p));
    EXPECT_EQ(p.ConnectionText,
              "Provider=SQLOLEDB.1;Password=heslo;User ID=sa;Initial Catalog=účto;Data Source=srv1");
    EXPECT_EQ(p.Port, "2206");
    EXPECT_EQ(p.DataPath, "D:\\Data\\Účetnictví");
    EXPECT_EQ(p.DirSharedRoot, "\\\\srv\\%SHARE%");
    EXPECT_EQ(p.AdoTimeout, 45);
    EXPECT_EQ(p.Index, 2);
    EXPECT_EQ(p.Aliases, std::vector<std::string>{"Účetní=Provider=SQLOLEDB.1;Data Source=srv2"});
    const ProcessResult show = Tool({"show", "1"});
    EXPECT_TRUE(Has(show.out, "Password=********;User ID=sa;Initial Catalog=účto")) << show.out;

    // Into the user's hive instead of the one the export names.
    std::filesystem::remove(Machine());
    ASSERT_EQ(Tool({"import", fixture, "--into", "user"}).exitCode, 0);
    TProfileSource source;
    ASSERT_TRUE(LoadServerProfile(1, p, false, source));
    EXPECT_EQ(source, TProfileSource::psUser);
    EXPECT_FALSE(Exists(Machine()));
}

TEST_F(ProfileTool, BadInputChangesNothing) {
    WriteMachine(ProfileKeys(kHKLM, 1, kConn));
    const std::string before = ReadFile(Machine());
    const std::string bad = FDir / "bad.reg";
    WriteFile(bad, kRegHeader + "[HKEY_LOCAL_MACHINE\\Software\\ZNX\\KORLSRV]\n\"CONNECTION\"=-\n\"x\"=dword:1g\n");
    const struct {
        std::vector<std::string> Args;
        int Code;
        std::string Message;
    } cases[] = {
        {{"import", bad}, 1, "Registry file \"" + bad + "\", line 5: dword: needs one to eight hexadecimal digits"},
        {{"import", FDir / "missing.reg"}, 1, "Cannot open file"},
        {{"set-option", "1", "CTIMEOUT", "abc"}, 2, "CTIMEOUT needs an integer, not \"abc\""},
        {{"set-option", "1", "CSL", "5"}, 2, "CSL is set together with the connection text"},
        {{"set-option", "3", "PORT", "5"}, 2, "profile 3 has no options"},
        {{"set-option", "1", "COLOUR", "5"}, 2, "unknown option \"COLOUR\""},
        {{"set-connection", "7", "x"}, 2, "unknown profile kind \"7\""},
        {{"set-connection", "1"}, 2, "wrong number of arguments"},
        {{"set-connection", "1", ""}, 2, "the text is empty"},
        {{"frobnicate"}, 2, "unknown command"},
        {{}, 2, "no command"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Message);
        const ProcessResult r = Tool(c.Args);
        EXPECT_EQ(r.exitCode, c.Code);
        EXPECT_TRUE(Has(r.err, "vykonar-profile: " + c.Message)) << r.err;
    }
    EXPECT_EQ(ReadFile(Machine()), before);
}

TEST_F(ProfileTool, ShowReportsWhatStopsARun) {
    WriteMachine(ProfileKeys(kHKLM, 2, kConn, "\"CTIMEOUT\"=dword:0000012c\n"));
    const ProcessResult r = Tool({"show"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.out, "Profile 2 (KASTELAN), key Software\\ZNX\\KASTLSRV\n"
                           "  error:          Invalid data type for 'CTIMEOUT'\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "Profile 3 (CS_ALL)")) << r.out; // the others are still shown
}

TEST_F(ProfileTool, ShowTellsWhenTheMachineWideHiveIsNotSeen) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run as nobody";
    chmod(FDir.Path().c_str(), 0755);
    WriteMachine(ProfileKeys(kHKLM, 1, kConn));
    chmod(Machine().c_str(), 0644);
    const std::string own = FDir / "nobody";
    std::filesystem::create_directory(own);
    ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
    auto env = HiveEnv();
    env["ZNX_USER_REG"] = own + "/user.reg";
    const ProcessResult r = RunProcess(
        {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", ZNX_PROFILE_TOOL_PATH, "show", "1"},
        env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "Machine-wide hive: " + Machine() +
                               " (not writable by this process, which therefore does not see it)"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "available:      no")) << r.out;
    // Writing there is refused with the hive's name.
    const ProcessResult w = RunProcess({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                        ZNX_PROFILE_TOOL_PATH, "set-option", "1", "PORT", "1"},
                                       env);
    EXPECT_EQ(w.exitCode, 1);
    EXPECT_TRUE(Has(w.err, "Registry file \"" + Machine() + "\" cannot be written by this process")) << w.err;
}
