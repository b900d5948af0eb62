// The registry on Linux: regedit-format hive files read and written through
// TRegistry, the export reader, locking and atomic writes.
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "platform/error.h"
#include "platform/regfile.h"
#include "platform/registry.h"
#include "tests/support/TestSupport.h"

using namespace znx;
using znx::test::TempDir;
using znx::test::ErrorOf;
using znx::test::RunAsNobody;

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

std::string U16(const std::string& Text) { return RegDataFromString(Text); }

std::string Bytes(std::initializer_list<int> List) {
    std::string s;
    for (int b : List) s += static_cast<char>(b);
    return s;
}

// Points the three hives into a fresh folder for the test's time.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ZNX_MACHINE_REG", Machine().c_str(), 1);
        setenv("ZNX_USER_REG", User().c_str(), 1);
        setenv("ZNX_CLASSES_REG", (FDir / "classes.reg").c_str(), 1);
    }
    std::string Machine() const { return FDir / "machine.reg"; }
    std::string User() const { return FDir / "user.reg"; }

    TempDir FDir;
    znx::test::ScopedEnv FSaved{{"ZNX_MACHINE_REG", "ZNX_USER_REG", "ZNX_CLASSES_REG", "XDG_CONFIG_HOME"}};
};

} // namespace

// ---- the export reader ------------------------------------------------------

struct ValueCase {
    const char* What;
    std::string Line;     // a value line (may hold continuations)
    std::string Name;     // the value's name
    uint32_t Type;
    std::string Data;
};

TEST(RegFile, EveryValueSyntaxReadsToItsTypeAndBytes) {
    const std::vector<ValueCase> cases = {
        {"text", "\"a\"=\"x y\"", "a", REG_SZ, U16("x y")},
        {"escapes", R"("b\\c\"d"="C:\\dir\\ \"q\"")", "b\\c\"d", REG_SZ, U16("C:\\dir\\ \"q\"")},
        {"unknown escape stays", R"("e"="C:\MSSQL7\DATA")", "e", REG_SZ, U16("C:\\MSSQL7\\DATA")},
        {"empty text", "\"f\"=\"\"", "f", REG_SZ, U16("")},
        {"Czech text", "\"Účet\"=\"Žluťoučký kůň\"", "Účet", REG_SZ, U16("Žluťoučký kůň")},
        {"default value", "@=\"výchozí\"", "", REG_SZ, U16("výchozí")},
        {"dword", "\"g\"=dword:0000012c", "g", REG_DWORD, Bytes({0x2c, 0x01, 0, 0})},
        {"dword upper case", "\"g\"=DWORD:FFFFFFFF", "g", REG_DWORD, Bytes({0xff, 0xff, 0xff, 0xff})},
        {"binary", "\"h\"=hex:00,ff,10", "h", REG_BINARY, Bytes({0, 0xff, 0x10})},
        {"empty binary", "\"i\"=hex:", "i", REG_BINARY, ""},
        {"continued binary", "\"j\"=hex:01,02,\\\n  03,04,\\\n  05", "j", REG_BINARY, Bytes({1, 2, 3, 4, 5})},
        {"expandable", "\"k\"=hex(2):25,00,41,00,25,00,00,00", "k", REG_EXPAND_SZ, U16("%A%")},
        {"multi-string", "\"l\"=hex(7):61,00,00,00,62,00,00,00,00,00", "l", REG_MULTI_SZ,
         Bytes({0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0})},
        {"qword", "\"m\"=hex(b):01,00,00,00,00,00,00,00", "m", REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0})},
        {"other type", "\"n\"=hex(123):aa", "n", 0x123, Bytes({0xaa})},
        {"none", "\"o\"=hex(0):", "o", REG_NONE, ""},
        {"string as hex", "\"p\"=hex(1):61,00,00,00,62,00,00,00", "p", REG_SZ, Bytes({0x61, 0, 0, 0, 0x62, 0, 0, 0})},
        {"spaces around", "\"q\" = \"v\"  ", "q", REG_SZ, U16("v")},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.What);
        auto changes = ParseRegistryExport(kHeader + "[HKEY_CURRENT_USER\\K]\n" + c.Line + "\n", "t.reg");
        ASSERT_EQ(changes.size(), 2u);
        EXPECT_EQ(changes[1].Kind, TRegChange::ckSetValue);
        EXPECT_EQ(changes[1].Key, "K");
        EXPECT_EQ(changes[1].Name, c.Name);
        EXPECT_EQ(changes[1].RawType, c.Type);
        EXPECT_EQ(changes[1].Data, c.Data);
    }
}

TEST(RegFile, KeysDeletionsCommentsAndTheOldHeader) {
    const std::string text = "REGEDIT4\r\n"
                             "; a comment\r\n"
                             "\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZNX\\]\r\n"
                             "  ; indented comment\r\n"
                             "\"v\"=-\r\n"
                             "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n"
                             "\"ignored\"=\"value of a deleted key\"\r\n"
                             "[HKLM\\X]\r\n"
                             "\"e\"=hex(2):c3,a1,00\r\n"; // old exports hold 8-bit text: "á"
    auto c = ParseRegistryExport(text, "t.reg");
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0].Kind, TRegChange::ckCreateKey);
    EXPECT_EQ(c[0].Root, TRootKey::HKEY_LOCAL_MACHINE);
    EXPECT_EQ(c[0].Key, "SOFTWARE\\ZNX");
    EXPECT_EQ(c[0].Line, 4);
    EXPECT_EQ(c[1].Kind, TRegChange::ckDeleteValue);
    EXPECT_EQ(c[1].Name, "v");
    EXPECT_EQ(c[2].Kind, TRegChange::ckDeleteKey);
    EXPECT_EQ(c[2].Key, "SOFTWARE\\Old");
    EXPECT_EQ(c[3].Key, "X");
    EXPECT_EQ(c[4].RawType, REG_EXPAND_SZ);
    EXPECT_EQ(c[4].Data, U16("á"));
    EXPECT_EQ(c[4].Line, 10);
}

TEST(RegFile, BadInputNamesTheSourceAndTheLine) {
    struct Case {
        std::string Text;
        int Line;
        const char* What;
    };
    const std::vector<Case> cases = {
        {"[HKEY_CURRENT_USER\\K]\n", 1, "not a registry export"},
        {kHeader + "\"a\"=\"b\"\n", 3, "a value before the first [key] line"},
        {kHeader + "[HKEY_CURRENT_USER\\K\n", 3, "closing \"]\""},
        {kHeader + "[HKEY_USERS\\K]\n", 3, "unknown root key \"HKEY_USERS\""},
        {kHeader + "[-HKEY_CURRENT_USER]\n", 3, "a root key cannot be deleted"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\"=\"b\n", 4, "without its closing quote"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\"=\"b\" x\n", 4, "after the closing quote"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\n", 4, "a value name without its closing quote"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\" \"b\"\n", 4, "\"=\" expected"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\"=dword:123456789\n", 4, "one to eight hexadecimal digits"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\"=dword:12x\n", 4, "one to eight hexadecimal digits"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\"=hex:01,zz\n", 4, "\"zz\" is not a hexadecimal byte"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\"=hex:01,,02\n", 4, "an empty byte"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\"=hex(x):01\n", 4, "hex(N)"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\"=hex:01,\\", 4, "ends with the file"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\"=str:\"x\"\n", 4, "unrecognised value data"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\nstray text\n", 4, "unrecognised line"},
        {kHeader + "[HKEY_CURRENT_USER\\K]\n\"a\"=\"\xC8\"\n", 4, "neither UTF-8 nor UTF-16"},
        {std::string("\xFF\xFE" "W\0x\0\n\0\n\0Z", 11), 3, "ends in the middle of a character"},
        {std::string("\xFF\xFE" "W\0\n\0\x00\xD8\n\0", 10), 2, "unpaired UTF-16 surrogate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        const std::string msg = ErrorOf([&] { ParseRegistryExport(c.Text, "/x/t.reg"); });
        EXPECT_EQ(msg.rfind("Registry file \"/x/t.reg\", line " + std::to_string(c.Line) + ": ", 0), 0u) << msg;
        EXPECT_NE(msg.find(c.What), std::string::npos) << msg;
    }
}

TEST(RegFile, EmptyContentIsAnEmptyHive) {
    EXPECT_TRUE(ParseRegistryExport("", "t.reg").empty());
    EXPECT_TRUE(ParseRegistryExport("\n  \r\n", "t.reg").empty());
    EXPECT_TRUE(ParseRegistryExport(kHeader, "t.reg").empty());
}

TEST(RegFile, WriterUsesTextWhereItCanAndHexWhereItMust) {
    regfile::THive hive(TRootKey::HKEY_CURRENT_USER);
    bool created = false;
    regfile::TKeyNode& k = hive.Create({"A", "B"}, created);
    k.SetValue("", REG_SZ, U16("def"));
    k.SetValue("s", REG_SZ, U16("a\\b\"c"));
    k.SetValue("nl", REG_SZ, U16("two\nlines"));
    k.SetValue("nonul", REG_SZ, std::string("a\0", 2));
    k.SetValue("d", REG_DWORD, Bytes({1, 2, 3, 4}));
    k.SetValue("d3", REG_DWORD, Bytes({1, 2, 3}));
    k.SetValue("long", REG_BINARY, std::string(40, '\x7f'));
    const std::string text = regfile::WriteHive(hive);
    EXPECT_EQ(text,
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\A]\n\n"
              "[HKEY_CURRENT_USER\\A\\B]\n"
              "@=\"def\"\n"
              "\"s\"=\"a\\\\b\\\"c\"\n"
              "\"nl\"=hex(1):74,00,77,00,6f,00,0a,00,6c,00,69,00,6e,00,65,00,73,00,00,00\n"
              "\"nonul\"=hex(1):61,00\n"
              "\"d\"=dword:04030201\n"
              "\"d3\"=hex(4):01,02,03\n"
              "\"long\"=hex:7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,\\\n"
              "  7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f,7f\n\n");
    auto back = regfile::ReadHive(text, "t.reg", TRootKey::HKEY_CURRENT_USER);
    EXPECT_EQ(regfile::WriteHive(*back), text);
}

// ---- TRegistry over hive files ----------------------------------------------

TEST_F(RegistryTest, EveryValueTypeSurvivesWriteAndRead) {
    struct Raw {
        std::string Name;
        uint32_t Type;
        std::string Data;
    };
    const std::vector<Raw> raws = {
        {"multi", REG_MULTI_SZ, U16("a").substr(0, 2) + std::string(2, '\0') + U16("b") + std::string(2, '\0')},
        {"qword", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8})},
        {"none", REG_NONE, ""},
        {"odd type", 0x12345, Bytes({0xde, 0xad})},
        {"odd dword", REG_DWORD, Bytes({1, 2})},
        {"text with line break", REG_SZ, U16("a\r\nb")},
        {"text with inner NUL", REG_SZ, U16("ab").substr(0, 4) + std::string(2, '\0') + U16("cd")},
        {"text without NUL", REG_SZ, U16("ab").substr(0, 4)},
        {"empty text data", REG_SZ, ""},
    };
    {
        TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("Software\\ZNX\\Všechno", true));
        reg.WriteString("", "výchozí");
        reg.WriteString("text", "Žluťoučký \"kůň\" C:\\x\\");
        reg.WriteString("empty", "");
        reg.WriteExpandString("expand", "%SystemRoot%\\x");
        const std::string bin = Bytes({0, 1, 0, 0xff, 0x4e});
        reg.WriteBinaryData("binary", bin.data(), bin.size());
        reg.WriteBinaryData("empty binary", nullptr, 0);
        reg.WriteInteger("int", -2);
        reg.WriteInteger("\"quoted\\name\"", 7);
        for (const Raw& r : raws) reg.WriteRawValue(r.Name, r.Type, r.Data);
    }
    // What the file says, read afresh.
    auto hive = regfile::ReadHive(test::ReadFile(Machine()), Machine(), TRootKey::HKEY_LOCAL_MACHINE);
    const regfile::TKeyNode* key = hive->Find({"software", "znx", "VŠECHNO"});
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->Name(), "Všechno");
    for (const Raw& r : raws) {
        SCOPED_TRACE(r.Name);
        const regfile::TValue* v = key->FindValue(r.Name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->Type, r.Type);
        EXPECT_EQ(v->Data, r.Data);
    }
    // And what the class reads.
    TRegistry reg(KEY_READ);
    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\znx\\všechno", false));
    EXPECT_EQ(reg.ReadString(""), "výchozí");
    EXPECT_EQ(reg.ReadString("TEXT"), "Žluťoučký \"kůň\" C:\\x\\");
    EXPECT_EQ(reg.ReadString("empty"), "");
    EXPECT_EQ(reg.GetDataType("empty"), TRegDataType::rdString);
    EXPECT_EQ(reg.ReadString("expand"), "%SystemRoot%\\x");
    EXPECT_EQ(reg.GetDataType("expand"), TRegDataType::rdExpandString);
    char buf[8] = {};
    EXPECT_EQ(reg.ReadBinaryData("binary", buf, sizeof buf), 5u);
    EXPECT_EQ(std::string(buf, 5), Bytes({0, 1, 0, 0xff, 0x4e}));
    EXPECT_EQ(reg.ReadBinaryData("empty binary", buf, sizeof buf), 0u);
    EXPECT_EQ(reg.GetDataType("binary"), TRegDataType::rdBinary);
    EXPECT_EQ(reg.ReadInteger("int"), -2);
    EXPECT_EQ(reg.ReadInteger("\"QUOTED\\name\""), 7);
    EXPECT_EQ(reg.GetDataType("int"), TRegDataType::rdInteger);
    EXPECT_EQ(reg.ReadString("text with inner NUL"), "ab");
    EXPECT_EQ(reg.ReadString("text with line break"), "a\r\nb");
    EXPECT_EQ(reg.ReadString("text without NUL"), "ab");
    EXPECT_EQ(reg.GetDataType("qword"), TRegDataType::rdUnknown);
    uint32_t type = 0, size = 0;
    ASSERT_TRUE(reg.GetDataInfo("multi", type, size));
    EXPECT_EQ(type, REG_MULTI_SZ);
    EXPECT_EQ(size, 10u);
    std::vector<std::string> names;
    reg.GetValueNames(names);
    std::vector<std::string> expected = {"",      "text",         "empty", "expand", "binary", "empty binary",
                                         "int",   "\"quoted\\name\""};
    for (const Raw& r : raws) expected.push_back(r.Name);
    EXPECT_EQ(names, expected); // stored order
}

TEST_F(RegistryTest, ReadsCheckTheValueType) {
    test::WriteFile(Machine(), kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"d\"=dword:00000001\n\"s\"=\"x\"\n"
                                         "\"b\"=hex:01,02,03\n\"m\"=hex(7):00,00\n");
    TRegistry reg(KEY_READ);
    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("K", false));
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("d"); }), "Invalid data type for 'd'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("b"); }), "Invalid data type for 'b'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("s"); }), "Invalid data type for 's'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("missing"); }), "Failed to get data for 'missing'");
    char buf[2];
    EXPECT_EQ(ErrorOf([&] { reg.ReadBinaryData("s", buf, sizeof buf); }), "Invalid data type for 's'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadBinaryData("d", buf, sizeof buf); }), "Invalid data type for 'd'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadBinaryData("b", buf, sizeof buf); }), "Invalid data type for 'b'");
    EXPECT_EQ(reg.ReadBinaryData("m", buf, sizeof buf), 2u); // rdUnknown counts as binary
    EXPECT_EQ(reg.ReadBinaryData("missing", buf, sizeof buf), 0u);
    EXPECT_EQ(reg.ReadString("missing"), "");
    EXPECT_EQ(reg.GetDataType("missing"), TRegDataType::rdUnknown);
    EXPECT_FALSE(reg.ValueExists("missing"));
    EXPECT_TRUE(reg.ValueExists("S"));
    EXPECT_EQ(ErrorOf([&] { reg.WriteString("s", "y"); }), "Failed to set data for 's'"); // opened for reading
}

TEST_F(RegistryTest, NamesIgnoreLetterCaseAndKeepTheirFirstSpelling) {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\ZNX\\KorlSrv", true));
    reg.WriteString("Csl", "1");
    ASSERT_TRUE(reg.OpenKey("Software\\ZNX\\KORLSRV", true));
    EXPECT_EQ(reg.CurrentPath(), "Software\\ZNX\\KORLSRV");
    reg.WriteString("CSL", "2");
    reg.WriteString("Čeština", "a");
    reg.WriteString("ČEŠTINA", "b");
    ASSERT_TRUE(reg.OpenKey("software\\znx", false));
    std::vector<std::string> keys;
    reg.GetKeyNames(keys);
    EXPECT_EQ(keys, std::vector<std::string>{"KorlSrv"});
    EXPECT_EQ(test::ReadFile(Machine()), kHeader +
                                             "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
                                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZNX]\n\n"
                                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZNX\\KorlSrv]\n"
                                             "\"Csl\"=\"2\"\n"
                                             "\"Čeština\"=\"b\"\n\n");
}

TEST_F(RegistryTest, KeysAreCreatedPersistedListedAndDeleted) {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(TRootKey::HKEY_CURRENT_USER);
    EXPECT_FALSE(reg.OpenKey("A\\B", false));
    EXPECT_FALSE(test::Exists(User())); // nothing to write for a failed open
    ASSERT_TRUE(reg.OpenKey("A\\B", true));
    EXPECT_TRUE(reg.KeyOpen());
    EXPECT_EQ(test::ReadFile(User()), kHeader + "[HKEY_CURRENT_USER\\A]\n\n[HKEY_CURRENT_USER\\A\\B]\n\n");
    struct stat before, after;
    ASSERT_EQ(stat(User().c_str(), &before), 0);
    EXPECT_EQ(before.st_mode & 0777, 0600u); // a new hive is its owner's only
    ASSERT_TRUE(reg.OpenKey("a\\b", true));  // exists: not written again
    ASSERT_EQ(stat(User().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    ASSERT_TRUE(reg.OpenKey("A\\C\\D", true));
    ASSERT_TRUE(reg.OpenKey("A", false));
    std::vector<std::string> keys;
    reg.GetKeyNames(keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"B", "C"}));
    EXPECT_TRUE(reg.KeyExists("A\\c\\d"));
    EXPECT_TRUE(reg.DeleteKey("a\\C"));
    EXPECT_FALSE(reg.KeyExists("A\\C\\D"));
    EXPECT_FALSE(reg.DeleteKey("A\\C"));
    EXPECT_FALSE(reg.DeleteKey(""));
    reg.WriteString("v", "1");
    EXPECT_TRUE(reg.DeleteValue("V"));
    EXPECT_FALSE(reg.DeleteValue("V"));
    reg.CloseKey();
    EXPECT_FALSE(reg.KeyOpen());
    EXPECT_EQ(reg.CurrentPath(), "");
    EXPECT_EQ(ErrorOf([&] { reg.WriteString("v", "1"); }), "Failed to set data for 'v'"); // no key open
    EXPECT_TRUE(reg.OpenKey("", false)); // the root
    EXPECT_TRUE(reg.KeyOpen());
}

TEST_F(RegistryTest, WritesKeepTheModeAndTheSymbolicLink) {
    const std::string real = FDir / "real.reg";
    test::WriteFile(real, kHeader + "[HKEY_LOCAL_MACHINE\\K]\n");
    chmod(real.c_str(), 0640);
    std::filesystem::create_symlink("real.reg", Machine());
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("K", false));
    reg.WriteString("v", "1");
    EXPECT_TRUE(std::filesystem::is_symlink(Machine()));
    EXPECT_NE(test::ReadFile(real).find("\"v\"=\"1\""), std::string::npos);
    struct stat st;
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(RegistryTest, UserHiveDefaultsToTheConfigFolderWhichIsCreated) {
    unsetenv("ZNX_USER_REG");
    setenv("XDG_CONFIG_HOME", (FDir / "config").c_str(), 1);
    EXPECT_EQ(RegistryStoreName(TRootKey::HKEY_CURRENT_USER), FDir / "config/znx/user.reg");
    TRegistry reg;
    EXPECT_EQ(reg.RootKey(), TRootKey::HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("Software\\ZNX", true));
    EXPECT_TRUE(test::Exists(FDir / "config/znx/user.reg"));
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(RegistryStoreName(TRootKey::HKEY_CURRENT_USER),
              std::string(std::getenv("HOME")) + "/.config/znx/user.reg");
    unsetenv("ZNX_MACHINE_REG");
    unsetenv("ZNX_CLASSES_REG");
    EXPECT_EQ(RegistryStoreName(TRootKey::HKEY_LOCAL_MACHINE), "/etc/znx/machine.reg");
    EXPECT_EQ(RegistryStoreName(TRootKey::HKEY_CLASSES_ROOT), "/etc/znx/classes.reg");
}

TEST_F(RegistryTest, RegeditExportInUtf16IsReadAsIs) {
    std::filesystem::copy_file(std::string(ZNX_FIXTURES_DIR) + "/profiles/korlsrv-utf16.reg", Machine());
    const std::string original = test::ReadFile(Machine());
    TRegistry reg(KEY_READ);
    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("Software\\ZNX\\KORLSRV\\Options", false));
    EXPECT_EQ(reg.ReadString("DATAPATH"), "D:\\Data\\Účetnictví");
    EXPECT_EQ(reg.ReadString("DIRSHAREDROOT"), "\\\\srv\\%SHARE%");
    EXPECT_EQ(reg.ReadString(""), "výchozí \"hodnota\"");
    EXPECT_EQ(reg.ReadInteger("počet"), 42);
    uint32_t type = 0, size = 0;
    ASSERT_TRUE(reg.GetDataInfo("Velké", type, size));
    EXPECT_EQ(type, REG_QWORD);
    std::string multi;
    ASSERT_TRUE(reg.ReadRawValue("Seznam", type, multi));
    EXPECT_EQ(multi, U16("první") + U16("druhá") + std::string(2, '\0'));
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\ZNX\\KorlSrv", false));
    ASSERT_TRUE(reg.GetDataInfo("CONNECTION", type, size));
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 85u);
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\ZNX\\KorlSrv\\ALIASADO", false));
    std::vector<std::string> names;
    reg.GetValueNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Účetní", "Prázdný"}));
    EXPECT_EQ(test::ReadFile(Machine()), original); // reading never rewrites

    // The first change writes it as UTF-8, everything else unchanged.
    TRegistry w(KEY_ALL_ACCESS);
    w.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(w.OpenKey("SOFTWARE\\ZNX\\KorlSrv\\OPTIONS", false));
    w.WriteString("PORT", "2106");
    const std::string written = test::ReadFile(Machine());
    EXPECT_EQ(written.rfind(kHeader, 0), 0u);
    auto before = regfile::ReadHive(original, "a", TRootKey::HKEY_LOCAL_MACHINE);
    auto after = regfile::ReadHive(written, "b", TRootKey::HKEY_LOCAL_MACHINE);
    before->Find({"SOFTWARE", "ZNX", "KorlSrv", "OPTIONS"})->SetValue("PORT", REG_SZ, U16("2106"));
    EXPECT_EQ(regfile::WriteHive(*after), regfile::WriteHive(*before));
}

TEST_F(RegistryTest, CorruptHiveRaisesNamesFileAndLineAndIsNeverWritten) {
    const std::string bad = kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"a\"=hex:01,0g\n";
    test::WriteFile(Machine(), bad);
    const std::string expected = "Registry file \"" + Machine() + "\", line 4: \"0g\" is not a hexadecimal byte";
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    EXPECT_EQ(ErrorOf([&] { reg.OpenKey("K", false); }), expected);
    EXPECT_EQ(ErrorOf([&] { reg.OpenKey("New", true); }), expected);
    EXPECT_EQ(ErrorOf([&] {
                  TRegChange c;
                  c.Kind = TRegChange::ckCreateKey;
                  c.Root = TRootKey::HKEY_LOCAL_MACHINE;
                  c.Key = "New";
                  ApplyRegistryChanges({c});
              }),
              expected);
    EXPECT_EQ(test::ReadFile(Machine()), bad);

    // A key of another root in a hive is no less an error.
    test::WriteFile(User(), kHeader + "[HKEY_LOCAL_MACHINE\\K]\n");
    TRegistry user;
    EXPECT_EQ(ErrorOf([&] { user.OpenKey("K", false); }),
              "Registry file \"" + User() + "\", line 3: a key outside HKEY_CURRENT_USER");
}

TEST_F(RegistryTest, ChangeWhileAKeyIsOpenIsSeenAndAHiveEditedMeanwhileIsNotLost) {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("K", true));
    reg.WriteString("mine", "1");
    // Another program replaces the file (new values, a new key).
    test::WriteFile(Machine() + ".new", kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"mine\"=\"1\"\n\"theirs\"=\"2\"\n\n"
                                                  "[HKEY_LOCAL_MACHINE\\Other]\n");
    std::filesystem::rename(Machine() + ".new", Machine());
    EXPECT_EQ(reg.ReadString("theirs"), "2");
    reg.WriteString("mine", "3");
    auto hive = regfile::ReadHive(test::ReadFile(Machine()), Machine(), TRootKey::HKEY_LOCAL_MACHINE);
    EXPECT_NE(hive->Find({"Other"}), nullptr);
    EXPECT_EQ(hive->Find({"K"})->FindValue("theirs")->Data, U16("2"));
    EXPECT_EQ(hive->Find({"K"})->FindValue("mine")->Data, U16("3"));
}

TEST_F(RegistryTest, TwoProcessesWritingOneHiveLoseNothing) {
    constexpr int kWriters = 4, kValues = 40;
    std::vector<pid_t> pids;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int rc = 0;
            try {
                for (int i = 0; i < kValues; ++i) {
                    TRegistry reg(KEY_ALL_ACCESS);
                    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
                    if (!reg.OpenKey("Software\\W" + std::to_string(i % 3), true)) rc = 1;
                    reg.WriteString("w" + std::to_string(w) + "v" + std::to_string(i), std::to_string(i));
                }
            } catch (...) {
                rc = 2;
            }
            _exit(rc);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto hive = regfile::ReadHive(test::ReadFile(Machine()), Machine(), TRootKey::HKEY_LOCAL_MACHINE);
    size_t count = 0;
    for (int k = 0; k < 3; ++k) {
        const regfile::TKeyNode* key = hive->Find({"Software", "W" + std::to_string(k)});
        ASSERT_NE(key, nullptr);
        count += key->Values().size();
    }
    EXPECT_EQ(count, static_cast<size_t>(kWriters * kValues));
    for (auto& e : std::filesystem::directory_iterator(FDir.Path()))
        EXPECT_TRUE(e.path().filename() == "machine.reg" || e.path().filename() == "machine.reg.lock")
            << e.path(); // no temporary left behind
}

TEST_F(RegistryTest, ImportAppliesDeletionsAndLandsInOneWrite) {
    test::WriteFile(Machine(), kHeader + "[HKEY_LOCAL_MACHINE\\Keep]\n\"a\"=\"1\"\n\"b\"=\"2\"\n\n"
                                         "[HKEY_LOCAL_MACHINE\\Gone]\n\n[HKEY_LOCAL_MACHINE\\Gone\\Sub]\n\"x\"=\"y\"\n");
    const std::string exportText = kHeader + "[-HKEY_LOCAL_MACHINE\\gone]\n\n"
                                             "[HKEY_LOCAL_MACHINE\\KEEP]\n\"A\"=-\n\"c\"=dword:00000003\n\n"
                                             "[HKEY_CURRENT_USER\\Software\\ZNX\\Planora]\n\"ADOString\"=\"x\"\n";
    ApplyRegistryChanges(ParseRegistryExport(exportText, "in.reg"));
    EXPECT_EQ(test::ReadFile(Machine()),
              kHeader + "[HKEY_LOCAL_MACHINE\\Keep]\n\"b\"=\"2\"\n\"c\"=dword:00000003\n\n");
    TRegistry user(KEY_READ);
    ASSERT_TRUE(user.OpenKey("Software\\ZNX\\Planora", false));
    EXPECT_EQ(user.ReadString("ADOString"), "x");
}

TEST_F(RegistryTest, FullAccessNeedsTheRightToWriteTheHive) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch to nobody";
    chmod(FDir.Path().c_str(), 0755); // nobody may enter, not write
    test::WriteFile(Machine(), kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"1\"\n");
    chmod(Machine().c_str(), 0644);
    const std::string own = FDir / "nobody";
    std::filesystem::create_directory(own);
    ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
    const std::string ownHive = own + "/user.reg";
    setenv("ZNX_USER_REG", ownHive.c_str(), 1);
    const int rc = RunAsNobody([&] {
        TRegistry full(KEY_ALL_ACCESS);
        full.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
        if (full.OpenKey("K", false)) return 1;   // the hive exists but cannot be written
        if (full.OpenKey("New", true)) return 2;
        if (RegistryStoreWritable(TRootKey::HKEY_LOCAL_MACHINE)) return 3;
        TRegistry read(KEY_READ);
        read.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
        if (!read.OpenKey("K", false) || read.ReadString("v") != "1") return 4;
        if (read.OpenKey("New", true)) return 5; // creating needs the right to write
        if (read.DeleteKey("K")) return 6;
        TRegistry user(KEY_ALL_ACCESS);
        if (!user.OpenKey("Software\\ZNX", true)) return 7; // its own hive
        user.WriteString("v", "2");
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(test::ReadFile(Machine()), kHeader + "[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"1\"\n");
    EXPECT_NE(test::ReadFile(ownHive).find("\"v\"=\"2\""), std::string::npos);
    // A hive whose folder is missing cannot be created either.
    setenv("ZNX_MACHINE_REG", (FDir / "missing/machine.reg").c_str(), 1);
    TRegistry full(KEY_ALL_ACCESS);
    full.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(full.OpenKey("K", true));
    TRegistry read(KEY_READ);
    read.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(read.OpenKey("K", false));
    EXPECT_TRUE(read.OpenKey("", false));
}
