// The registry and automation on the real Win32 services (Windows build).
#include <gtest/gtest.h>

#include "platform/automation.h"
#include "platform/error.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/support/TestSupport.h"

// windows.h after registry.h: its macros of the same names follow the
// registry constants, which then keep the system's values.
#include <objbase.h>
#include <windows.h>

namespace {
const HKEY kCurrentUser = HKEY_CURRENT_USER;
const HKEY kLocalMachine = HKEY_LOCAL_MACHINE;
} // namespace
#undef HKEY_CLASSES_ROOT
#undef HKEY_CURRENT_USER
#undef HKEY_LOCAL_MACHINE

using namespace znx;
using test::Sys;

namespace {

// A test key below Software\ZNX-Test, removed with everything in it at the end.
class Win32Registry : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = "Software\\ZNX-Test\\k" + std::to_string(GetCurrentProcessId());
    }
    void TearDown() override {
        for (HKEY root : {kCurrentUser, kLocalMachine})
            for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
                HKEY k = nullptr;
                if (RegOpenKeyExA(root, "Software\\ZNX-Test", 0, KEY_ALL_ACCESS | view, &k) != ERROR_SUCCESS) continue;
                RegDeleteTreeA(k, nullptr);
                RegCloseKey(k);
                RegDeleteKeyExA(root, "Software\\ZNX-Test", view, 0);
            }
    }
    // Reads a string value straight from the system in one registry view.
    static bool RawString(HKEY root, const std::string& key, const char* name, REGSAM view, std::string& out) {
        char buf[512] = {};
        DWORD size = sizeof buf - 1, type = 0;
        HKEY k = nullptr;
        if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &k) != ERROR_SUCCESS) return false;
        const LONG rc = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
        RegCloseKey(k);
        if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
        out.assign(buf);
        return true;
    }
    std::string base_;
};

} // namespace

TEST_F(Win32Registry, ValuesOfEveryTypeRoundTripInTheCurrentUsersKeys) {
    TRegistry reg;
    ASSERT_EQ(reg.RootKey(), TRootKey::HKEY_CURRENT_USER);
    EXPECT_FALSE(reg.OpenKey(base_, false)); // missing and not to be created
    ASSERT_TRUE(reg.OpenKey(base_ + "\\Profil", true));
    EXPECT_EQ(reg.CurrentPath(), base_ + "\\Profil");
    reg.WriteString("SERVER", Sys("sql01\\účetní"));
    reg.WriteExpandString("Cesta", "%SystemRoot%\\x");
    reg.WriteInteger("TIMEOUT", -5);
    const char bytes[] = {'\x01', '\x00', '\xff'};
    reg.WriteBinaryData("Heslo", bytes, sizeof bytes);
    EXPECT_EQ(reg.ReadString("server"), Sys("sql01\\účetní")); // names without regard to letter case
    EXPECT_EQ(reg.ReadString("Cesta"), "%SystemRoot%\\x");
    EXPECT_EQ(reg.ReadInteger("TIMEOUT"), -5);
    char back[8] = {};
    EXPECT_EQ(reg.ReadBinaryData("Heslo", back, sizeof back), 3u);
    EXPECT_EQ(std::string(back, 3), std::string(bytes, 3));
    EXPECT_EQ(reg.GetDataType("SERVER"), TRegDataType::rdString);
    EXPECT_EQ(reg.GetDataType("Cesta"), TRegDataType::rdExpandString);
    EXPECT_EQ(reg.GetDataType("TIMEOUT"), TRegDataType::rdInteger);
    EXPECT_EQ(reg.GetDataType("Heslo"), TRegDataType::rdBinary);
    EXPECT_EQ(reg.GetDataType("missing"), TRegDataType::rdUnknown);
    EXPECT_EQ(reg.ReadString("missing"), "");
    EXPECT_THROW(reg.ReadString("TIMEOUT"), Error);
    EXPECT_THROW(reg.ReadInteger("SERVER"), Error);
    EXPECT_THROW(reg.ReadBinaryData("Heslo", back, 2), Error); // more bytes than the buffer holds
    std::vector<std::string> names;
    reg.GetValueNames(names);
    EXPECT_EQ(names.size(), 4u);
    uint32_t type = 0;
    std::string raw;
    ASSERT_TRUE(reg.ReadRawValue("SERVER", type, raw));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(RegStringFromData(raw), Sys("sql01\\účetní")); // UTF-16LE with its NUL
    EXPECT_TRUE(reg.DeleteValue("Cesta"));
    EXPECT_FALSE(reg.DeleteValue("Cesta"));
    reg.CloseKey();
    EXPECT_TRUE(reg.KeyExists(base_ + "\\Profil"));
    EXPECT_TRUE(reg.DeleteKey(base_)); // with everything below it
    EXPECT_FALSE(reg.KeyExists(base_ + "\\Profil"));
}

TEST_F(Win32Registry, ProductKeysLieInThe32BitViewForEveryBuild) {
    TRegistry reg;
    reg.SetRootKey(TRootKey::HKEY_LOCAL_MACHINE); // under Wine the process may always write here
    ASSERT_TRUE(reg.OpenKey(base_, true));
    reg.WriteString("SERVER", "view32");
    reg.CloseKey();
    std::string value;
    ASSERT_TRUE(RawString(kLocalMachine, base_, "SERVER", KEY_WOW64_32KEY, value));
    EXPECT_EQ(value, "view32");
    EXPECT_FALSE(RawString(kLocalMachine, base_, "SERVER", KEY_WOW64_64KEY, value))
        << "a 64-bit build must not write the 64-bit view of the product keys";
}

TEST_F(Win32Registry, ReadAccessOpensExistingKeysButWritesFail) {
    {
        TRegistry writer;
        ASSERT_TRUE(writer.OpenKey(base_, true));
        writer.WriteString("a", "1");
    }
    TRegistry reader(KEY_READ);
    ASSERT_TRUE(reader.OpenKey(base_, false));
    EXPECT_EQ(reader.ReadString("a"), "1");
    EXPECT_THROW(reader.WriteString("a", "2"), Error);
    EXPECT_EQ(reader.ReadString("a"), "1");
    EXPECT_TRUE(RegistryStoreWritable(TRootKey::HKEY_CURRENT_USER));
    EXPECT_EQ(RegistryStoreName(TRootKey::HKEY_LOCAL_MACHINE), "HKEY_LOCAL_MACHINE");
}

TEST_F(Win32Registry, AnExportIsAppliedToTheSystemsRegistry) {
    const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + base_ +
                             "\\Exp]\r\n\"SERVER\"=\"srv\"\r\n\"N\"=dword:0000002a\r\n";
    ApplyRegistryChanges(ParseRegistryExport(text, "test.reg"));
    TRegistry reg(KEY_READ);
    ASSERT_TRUE(reg.OpenKey(base_ + "\\Exp", false));
    EXPECT_EQ(reg.ReadString("SERVER"), "srv");
    EXPECT_EQ(reg.ReadInteger("N"), 42);
}

// Automation through COM: failures raise Error with a text; the texts of COM
// errors are not asserted, since Wine's FormatMessage has none for them.
class Win32Automation : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(Win32Automation, UnknownAndMalformedClassesRaiseErrorsNamingTheClass) {
    for (const char* progId : {"ZNX.NoSuchClass", "not a progid!", ""}) {
        try {
            CreateOleObject(progId);
            ADD_FAILURE() << "no error for " << progId;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("\"") + progId + "\""), std::string::npos) << e.what();
        }
    }
}

TEST_F(Win32Automation, ASystemAutomationObjectIsDrivenByMemberNames) {
    // The system's own dispatch object: a member it has runs, one it lacks
    // raises an Error naming the member.
    std::unique_ptr<TAutomationObject> dict;
    ASSERT_NO_THROW(dict = CreateOleObject("Scripting.Dictionary"));
    TAutomationArgs args{TAutomationArg::String("key"), TAutomationArg::String(Sys("hodnota č"))};
    EXPECT_NO_THROW(dict->Invoke("Add", args));
    TAutomationArgs none;
    EXPECT_NO_THROW(dict->Invoke("RemoveAll", none));
    try {
        dict->Invoke("SetArchiveFile", none);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("SetArchiveFile"), std::string::npos) << e.what();
    }
}
