// Server profiles read in process: the scramble, the defaults, the order of
// the hives and the rules for reading each value.
#include <sys/stat.h>

#include <filesystem>

#include "platform/error.h"
#include "platform/regfile.h"
#include "platform/registry.h"
#include "tests/runner/ProfileTestSupport.h"

using namespace znx;
using namespace znx::test;

namespace {

const std::string kConn = "Provider=SQLOLEDB.1;Password=x;User ID=sa;Data Source=srv";
const std::string kUserConn = "Provider=SQLOLEDB.1;Data Source=usersrv";

} // namespace

TEST(ScrambleText, IsItsOwnInverseAndKeepsZeroBytes) {
    const std::string key = "Nothing to see here today";
    EXPECT_EQ(ScrambleText(key), std::string(25, '\0')); // each character equal to the key's gives 0
    EXPECT_EQ(ScrambleText(std::string(25, '\0')), key);
    const std::string samples[] = {"", "a", kConn, std::string("zero\0inside", 11), key + key + "N",
                                   "Žluťoučký kůň úpěl ďábelské ódy"};
    for (const std::string& s : samples) {
        const std::string once = ScrambleText(s);
        EXPECT_EQ(once.size(), s.size());
        EXPECT_EQ(ScrambleText(once), s);
    }
    // The key repeats every 25 characters.
    EXPECT_EQ(ScrambleText(std::string(26, 'N'))[25], '\0');
    EXPECT_EQ(ScrambleText("A")[0], static_cast<char>('A' ^ 'N'));
}

TEST(ServerProfiles, KeyPathsAndDefaults) {
    EXPECT_EQ(ProfileKeyPath(1), "Software\\ZNX\\KORLSRV");
    EXPECT_EQ(ProfileKeyPath(2), "Software\\ZNX\\KASTLSRV");
    EXPECT_EQ(ProfileKeyPath(3), "Software\\ZNX");
    for (int k : {0, 4, 5, -1}) EXPECT_EQ(ProfileKeyPath(k), "");

    const TSrvOptions fresh;
    EXPECT_EQ(fresh.CTimeout, 0);
    EXPECT_EQ(fresh.Index, 0);
    EXPECT_TRUE(fresh.Port.empty() && fresh.DataPath.empty() && fresh.Aliases.empty());

    const struct {
        int Kind;
        const char* Port;
    } ports[] = {{1, "2106"}, {2, "2107"}, {3, ""}, {0, ""}};
    for (const auto& c : ports) {
        TSrvOptions p;
        p.Aliases = {"a=b"};
        p.ConnectionText = "x";
        p.DirSharedRoot = "kept";
        SetProfileDefaults(p, c.Kind);
        EXPECT_EQ(p.Port, c.Port);
        EXPECT_EQ(p.CTimeout, 300);
        EXPECT_EQ(p.AdoTimeout, 30);
        EXPECT_TRUE(p.Aliases.empty());
        EXPECT_EQ(p.ConnectionText, "");
        EXPECT_EQ(p.Index, 1);
        EXPECT_EQ(p.DataPath, "C:\\MSSQL7\\DATA");
        EXPECT_EQ(p.DirSharedRoot, "kept");
    }
}

using LoadProfile = HiveFixture;

TEST_F(LoadProfile, MachineWideProfileWinsAndTheUserHiveIsNotRead) {
    WriteMachine(ProfileKeys(kHKLM, 1, kConn, "\"PORT\"=\"1433\"\n\"CTIMEOUT\"=\"60\"\n\"DATAPATH\"=\"/data\"\n"));
    // Reading this would fail: it proves the user's hive is left alone.
    WriteUser(ProfileKeys(kHKCU, 1, kUserConn, "\"CTIMEOUT\"=dword:00000001\n"));
    TSrvOptions p;
    TProfileSource source;
    ASSERT_TRUE(LoadServerProfile(1, p, true, source));
    EXPECT_EQ(source, TProfileSource::psMachine);
    EXPECT_EQ(p.ConnectionText, kConn);
    EXPECT_EQ(p.Port, "1433");
    EXPECT_EQ(p.CTimeout, 60);
    EXPECT_EQ(p.DataPath, "/data");
    EXPECT_EQ(p.AdoTimeout, 30);
}

TEST_F(LoadProfile, UserProfileAfterAnEmptyMachineWideOneKeepsOnlyDirSharedRoot) {
    const std::string machineOptions = "\"PORT\"=\"1\"\n\"CTIMEOUT\"=\"5\"\n\"DATAPATH\"=\"M\"\n"
                                       "\"DIRSHAREDROOT\"=\"\\\\\\\\machine\\\\share\"\n\"ADOTIMEOUT\"=\"7\"\n"
                                       "\"CSL\"=\"0\"\n";
    WriteMachine(ProfileKeys(kHKLM, 2, kConn, machineOptions, false) +
                 "[HKEY_LOCAL_MACHINE\\Software\\ZNX\\KASTLSRV\\ALIASADO]\n\"m\"=\"1\"\n");
    WriteUser(ProfileKeys(kHKCU, 2, kUserConn, "\"PORT\"=\"9\"\n"));
    TSrvOptions p;
    TProfileSource source;
    ASSERT_TRUE(LoadServerProfile(2, p, true, source));
    EXPECT_EQ(source, TProfileSource::psUser);
    EXPECT_EQ(p.ConnectionText, kUserConn);
    EXPECT_EQ(p.Port, "9");
    EXPECT_EQ(p.CTimeout, 300);
    EXPECT_EQ(p.AdoTimeout, 30);
    EXPECT_EQ(p.DataPath, "C:\\MSSQL7\\DATA");
    EXPECT_TRUE(p.Aliases.empty());
    EXPECT_EQ(p.DirSharedRoot, "\\\\machine\\share"); // the defaults leave it alone

    WriteUser(ProfileKeys(kHKCU, 2, kUserConn, "\"DIRSHAREDROOT\"=\"/user/share\"\n"));
    ASSERT_TRUE(LoadServerProfile(2, p));
    EXPECT_EQ(p.DirSharedRoot, "/user/share");
}

TEST_F(LoadProfile, KindThreeFromTheUsersHive) {
    WriteMachine(AdoKeys(kHKLM, "\"ADOString\"=\"\"\n")); // empty: the user's hive is read
    WriteUser(AdoKeys(kHKCU, "\"ADOString\"=\"" + kUserConn + "\"\n"));
    TSrvOptions p;
    TProfileSource source;
    ASSERT_TRUE(LoadServerProfile(3, p, true, source));
    EXPECT_EQ(source, TProfileSource::psUser);
    EXPECT_EQ(p.ConnectionText, kUserConn);
    EXPECT_EQ(p.AdoTimeout, 30);
    EXPECT_EQ(p.CTimeout, 300);
    EXPECT_EQ(p.Port, "");

    std::filesystem::remove(Machine()); // only in the user's hive, as the editor keeps it
    ASSERT_TRUE(LoadServerProfile(3, p));
    EXPECT_EQ(p.ConnectionText, kUserConn);
}

TEST_F(LoadProfile, NoProfileAnywhereIsNoErrorAndLeavesEmptyKeys) {
    TSrvOptions p;
    for (int k = 1; k <= 3; ++k) EXPECT_FALSE(LoadServerProfile(k, p));
    EXPECT_EQ(p.ConnectionText, "");
    for (const std::string& hive : {Machine(), User()}) {
        const std::string text = ReadFile(hive);
        for (const char* key : {"\\Software\\ZNX]", "\\Software\\ZNX\\KORLSRV]", "\\Software\\ZNX\\KASTLSRV]"})
            EXPECT_NE(text.find(key), std::string::npos) << hive << " lacks " << key;
        EXPECT_EQ(text.find("OPTIONS"), std::string::npos); // sub-keys are never created
        EXPECT_EQ(text.find("Planora"), std::string::npos);
    }
    // A profile found machine-wide creates nothing in the user's hive.
    std::filesystem::remove(User());
    WriteMachine(ProfileKeys(kHKLM, 1, kConn));
    ASSERT_TRUE(LoadServerProfile(1, p));
    EXPECT_FALSE(Exists(User()));
    // Nor does loading without creating.
    TProfileSource source;
    EXPECT_FALSE(LoadServerProfile(2, p, false, source));
    EXPECT_FALSE(Exists(User()));
    EXPECT_EQ(ReadFile(Machine()).find("KASTLSRV"), std::string::npos);
}

struct ValueCase {
    const char* What;
    std::string Options; // lines of OPTIONS
    std::function<void(const TSrvOptions&)> Check;
};

TEST_F(LoadProfile, ValueReadingRules) {
    const std::vector<ValueCase> cases = {
        {"ADOTIMEOUT no number", "\"ADOTIMEOUT\"=\"abc\"\n", [](auto& p) { EXPECT_EQ(p.AdoTimeout, 30); }},
        {"ADOTIMEOUT blank", "\"ADOTIMEOUT\"=\"\"\n", [](auto& p) { EXPECT_EQ(p.AdoTimeout, 30); }},
        {"ADOTIMEOUT $hex", "\"ADOTIMEOUT\"=\"$1F\"\n", [](auto& p) { EXPECT_EQ(p.AdoTimeout, 31); }},
        {"ADOTIMEOUT 0x hex", "\"ADOTIMEOUT\"=\"0x10\"\n", [](auto& p) { EXPECT_EQ(p.AdoTimeout, 16); }},
        {"CTIMEOUT negative", "\"CTIMEOUT\"=\"-5\"\n", [](auto& p) { EXPECT_EQ(p.CTimeout, -5); }},
        {"INDEX too large", "\"INDEX\"=\"99999999999\"\n", [](auto& p) { EXPECT_EQ(p.Index, 1); }},
        {"empty PORT stays empty", "\"PORT\"=\"\"\n", [](auto& p) { EXPECT_EQ(p.Port, ""); }},
        {"zero-length PORT is empty", "\"PORT\"=hex(1):\n", [](auto& p) { EXPECT_EQ(p.Port, ""); }},
        {"text ends at its NUL", "\"PORT\"=hex(1):31,00,00,00,32,00,00,00\n", [](auto& p) { EXPECT_EQ(p.Port, "1"); }},
        {"expandable text as stored", "\"DATAPATH\"=hex(2):25,00,44,00,25,00,00,00\n",
         [](auto& p) { EXPECT_EQ(p.DataPath, "%D%"); }},
        {"names in any case", "\"port\"=\"1\"\n\"DataPath\"=\"/d\"\n\"Index\"=\"4\"\n",
         [](auto& p) {
             EXPECT_EQ(p.Port, "1");
             EXPECT_EQ(p.DataPath, "/d");
             EXPECT_EQ(p.Index, 4);
         }},
        {"Czech text", "\"DIRSHAREDROOT\"=\"/srv/Účetnictví\"\n",
         [](auto& p) { EXPECT_EQ(p.DirSharedRoot, "/srv/Účetnictví"); }},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.What);
        WriteMachine(ProfileKeys(kHKLM, 1, kConn, c.Options));
        TSrvOptions p;
        ASSERT_TRUE(LoadServerProfile(1, p));
        c.Check(p);
    }
}

TEST_F(LoadProfile, ConnectionLengthRules) {
    const std::string hex = HexList(ScrambleText("ABCDEFGH"));
    const struct {
        const char* What;
        std::string Key;     // lines of the profile key
        std::string Options; // lines of OPTIONS
        std::string Expected;
        std::string Error;
    } cases[] = {
        {"exact length", "\"CONNECTION\"=hex:" + hex + "\n", "\"CSL\"=\"8\"\n", "ABCDEFGH", ""},
        {"CSL larger: only the stored bytes", "\"CONNECTION\"=hex:" + hex + "\n", "\"CSL\"=\"100\"\n", "ABCDEFGH",
         ""},
        {"CSL without CONNECTION", "", "\"CSL\"=\"8\"\n", "", ""},
        {"CSL 0", "\"CONNECTION\"=hex:" + hex + "\n", "\"CSL\"=\"0\"\n", "", ""},
        {"CSL negative", "\"CONNECTION\"=hex:" + hex + "\n", "\"CSL\"=\"-8\"\n", "", ""},
        {"CSL no number", "\"CONNECTION\"=hex:" + hex + "\n", "\"CSL\"=\"eight\"\n", "", ""},
        {"CSL missing", "\"CONNECTION\"=hex:" + hex + "\n", "", "", ""},
        {"CSL smaller", "\"CONNECTION\"=hex:" + hex + "\n", "\"CSL\"=\"4\"\n", "",
         "Invalid data type for 'CONNECTION'"},
        {"CONNECTION as text", "\"CONNECTION\"=\"ABC\"\n", "\"CSL\"=\"8\"\n", "", "Invalid data type for 'CONNECTION'"},
        {"CONNECTION as number", "\"CONNECTION\"=dword:00000001\n", "\"CSL\"=\"8\"\n", "",
         "Invalid data type for 'CONNECTION'"},
        {"CSL as number", "\"CONNECTION\"=hex:" + hex + "\n", "\"CSL\"=dword:00000008\n", "",
         "Invalid data type for 'CSL'"},
        {"a NUL in the plain text", "\"CONNECTION\"=hex:" + HexList(ScrambleText(std::string("AB\0D", 4))) + "\n",
         "\"CSL\"=\"4\"\n", std::string("AB\0D", 4), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        WriteMachine("[HKEY_LOCAL_MACHINE\\Software\\ZNX\\KORLSRV]\n" + c.Key +
                     "\n[HKEY_LOCAL_MACHINE\\Software\\ZNX\\KORLSRV\\OPTIONS]\n" + c.Options);
        std::remove(User().c_str());
        TSrvOptions p;
        if (!c.Error.empty()) {
            EXPECT_EQ(ErrorOf([&] { LoadServerProfile(1, p); }), c.Error);
            continue;
        }
        EXPECT_EQ(LoadServerProfile(1, p), !c.Expected.empty());
        EXPECT_EQ(p.ConnectionText, c.Expected);
    }
}

TEST_F(LoadProfile, AliasesInStoredOrderWithoutEmptyOnes) {
    WriteMachine(ProfileKeys(kHKLM, 1, kConn) +
                 "[HKEY_LOCAL_MACHINE\\Software\\ZNX\\KORLSRV\\ALIASADO]\n"
                 "\"Zeta\"=\"Data Source=z\"\n\"Empty\"=\"\"\n\"Alfa\"=\"Data Source=a\"\n@=\"def\"\n");
    TSrvOptions p;
    ASSERT_TRUE(LoadServerProfile(1, p));
    EXPECT_EQ(p.Aliases, (std::vector<std::string>{"Zeta=Data Source=z", "Alfa=Data Source=a", "=def"}));
    // An alias of another type stops the reading, as any value does.
    WriteMachine(ProfileKeys(kHKLM, 1, kConn) +
                 "[HKEY_LOCAL_MACHINE\\Software\\ZNX\\KORLSRV\\ALIASADO]\n\"Bad\"=dword:00000001\n");
    EXPECT_EQ(ErrorOf([&] { LoadServerProfile(1, p); }), "Invalid data type for 'Bad'");
}

TEST_F(LoadProfile, WrongTypesRaiseWithTheValuesName) {
    const struct {
        int Kind;
        std::string Machine;
        std::string User;
        const char* Error;
    } cases[] = {
        {1, ProfileKeys(kHKLM, 1, kConn, "\"CTIMEOUT\"=dword:0000012c\n"), "", "Invalid data type for 'CTIMEOUT'"},
        {2, ProfileKeys(kHKLM, 2, "", "\"PORT\"=hex:01\n"), "", "Invalid data type for 'PORT'"},
        {3, AdoKeys(kHKLM, "\"ADOString\"=dword:00000001\n"), AdoKeys(kHKCU, "\"ADOString\"=\"x\"\n"),
         "Invalid data type for 'ADOString'"}, // the user's hive is not tried after an error
        {3, "", AdoKeys(kHKCU, "\"ADOString\"=hex(7):00,00\n"), "Invalid data type for 'ADOString'"},
        // A machine-wide key without connection: the error in the user's.
        {1, ProfileKeys(kHKLM, 1, ""), ProfileKeys(kHKCU, 1, "", "\"INDEX\"=dword:00000001\n"),
         "Invalid data type for 'INDEX'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Error);
        WriteMachine(c.Machine);
        WriteUser(c.User);
        TSrvOptions p;
        EXPECT_EQ(ErrorOf([&] { LoadServerProfile(c.Kind, p); }), c.Error);
    }
}

TEST_F(LoadProfile, KeyThatCannotBeOpenedReadsAsMissing) {
    TRegistry closed(KEY_ALL_ACCESS);
    TSrvOptions p;
    p.DirSharedRoot = "kept";
    EXPECT_FALSE(ReadServerProfile(p, closed, 1));
    EXPECT_EQ(p.Port, "2106");
    EXPECT_EQ(p.DirSharedRoot, "kept");

    // A machine-wide hive in a folder that does not exist: not seen, not made.
    setenv("ZNX_MACHINE_REG", (FDir / "none/machine.reg").c_str(), 1);
    std::unique_ptr<TRegistry> key = OpenProfileKey(ProfileKeyPath(1), false);
    EXPECT_FALSE(key->KeyOpen());
    EXPECT_FALSE(Exists(FDir / "none"));
    WriteUser(ProfileKeys(kHKCU, 1, kUserConn));
    ASSERT_TRUE(LoadServerProfile(1, p));
    EXPECT_EQ(p.ConnectionText, kUserConn);
}

TEST_F(LoadProfile, MachineWideHiveThisProcessMayNotWriteIsNotSeen) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch to nobody";
    chmod(FDir.Path().c_str(), 0755);
    // Reading it would even fail; it is not read at all.
    WriteMachine(ProfileKeys(kHKLM, 1, kConn) + AdoKeys(kHKLM, "\"ADOString\"=dword:00000001\n"));
    chmod(Machine().c_str(), 0644);
    const std::string machineBefore = ReadFile(Machine());
    const std::string own = FDir / "nobody";
    std::filesystem::create_directory(own);
    ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
    SetUserHive(own + "/user.reg");
    WriteUser(AdoKeys(kHKCU, "\"ADOString\"=\"" + kUserConn + "\"\n"));
    ASSERT_EQ(chown((own + "/user.reg").c_str(), 65534, 65534), 0);
    const int rc = RunAsNobody([&] {
        TSrvOptions p;
        TProfileSource source;
        if (LoadServerProfile(1, p, true, source)) return 1; // exists machine-wide, unseen
        if (!LoadServerProfile(3, p, true, source) || p.ConnectionText != kUserConn) return 2;
        if (source != TProfileSource::psUser) return 3;
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(Machine()), machineBefore);
    // Root may write it and sees both.
    TSrvOptions p;
    ASSERT_TRUE(LoadServerProfile(1, p));
    EXPECT_EQ(ErrorOf([&] { LoadServerProfile(3, p); }), "Invalid data type for 'ADOString'");
}

TEST_F(LoadProfile, CorruptHiveStopsTheLoadAndStaysAsItWas) {
    const std::string bad = kRegHeader + "[HKEY_CURRENT_USER\\Software\\ZNX]\n\"a\"=\"unterminated\n";
    WriteFile(User(), bad);
    TSrvOptions p;
    EXPECT_EQ(ErrorOf([&] { LoadServerProfile(1, p); }),
              "Registry file \"" + User() + "\", line 4: a text value without its closing quote");
    EXPECT_EQ(ReadFile(User()), bad);
}
