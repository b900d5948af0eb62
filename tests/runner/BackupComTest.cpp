// The backup action through real COM late binding (Windows build): the real
// vykonar.exe creates "ZNX.Archivace" by its ProgID and drives it through
// IDispatch. The class is our test component (win32/ArchivaceTestComponent),
// registered in HKEY_CLASSES_ROOT (under Wine the process may always write
// there); it records the calls it gets.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/runner/VykonarFixture.h"

#include <windows.h>

using namespace znx::test;
using Lines = std::vector<std::string>;

namespace {

const char* const kClsid = "{6B1C0E8E-3D7A-4F21-9C55-2E8A1F0B7D31}";

bool SetDefault(const std::string& key, const std::string& name, const std::string& value) {
    HKEY k = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExA(k, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
    RegCloseKey(k);
    return rc == ERROR_SUCCESS;
}

void Unregister() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "ZNX.Archivace");
    RegDeleteKeyA(HKEY_CLASSES_ROOT, "ZNX.Archivace");
    const std::string clsid = std::string("CLSID\\") + kClsid;
    RegDeleteTreeA(HKEY_CLASSES_ROOT, clsid.c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, clsid.c_str());
}

Lines ReadLines(const std::string& path) {
    Lines lines;
    if (!Exists(path)) return lines;
    std::string text = ReadFile(path);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

class BackupCom : public VykonarFixture {
protected:
    void SetUp() override {
        Unregister();
        const std::string dll = CopyExecutable(ZNX_TEST_COMPONENT_PATH, dir_.Path(), "archivace-test.dll");
        ASSERT_TRUE(SetDefault("ZNX.Archivace\\CLSID", "", kClsid));
        const std::string server = std::string("CLSID\\") + kClsid + "\\InprocServer32";
        ASSERT_TRUE(SetDefault(server, "", dll));
        ASSERT_TRUE(SetDefault(server, "ThreadingModel", "Apartment"));
        std::filesystem::create_directory(Data());
        std::filesystem::create_directory(Dest());
        WriteFile(Data() + "\\a.db", "data");
        env_["ZNX_ARCHIVACE_RECORD"] = Calls();
    }
    void TearDown() override { Unregister(); }

    std::string Data() const { return dir_ / "data"; }
    std::string Dest() const { return dir_ / "dest"; }
    std::string Calls() const { return dir_ / "calls.txt"; }
    std::vector<std::string> DestFiles() const {
        std::vector<std::string> names;
        for (auto& e : std::filesystem::directory_iterator(Dest())) names.push_back(e.path().filename().string());
        return names;
    }
};

} // namespace

TEST_F(BackupCom, TheTenCallsReachTheComponentWithTheirArgumentKinds) {
    WriteTasks("[Z]\nNAME=Záloha\nTYPE=PARADOX\nSQL0=BACKUP DATA " + Dest() + "\nCATALOG0=" + Data() + "\n");
    ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const Lines log = LogLines();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[2], "<T>: \"Záloha\" v katalogu \"" + Data() + "\" proběhlo OK");

    const Lines calls = ReadLines(Calls());
    ASSERT_EQ(calls.size(), 11u);
    EXPECT_EQ(calls[0], "InitParams()");
    EXPECT_EQ(calls[1].rfind("SetArchiveFile(ref " + Dest() + "\\", 0), 0u) << calls[1];
    EXPECT_EQ(calls[2], "AddMask(str " + Data() + "\\*.*)");
    EXPECT_EQ(calls[3], "AddExcludeMask(str *.LCK)");
    EXPECT_EQ(calls[4], "SetStripPath(bool false)");
    EXPECT_EQ(calls[5], "SetStoreFullPath(bool true)");
    EXPECT_EQ(calls[6], "SetFormat83(bool false)");
    EXPECT_EQ(calls[7], "SetRecurseSubDirs(bool false)");
    EXPECT_EQ(calls[8], "AddToArchive()");
    EXPECT_EQ(calls[9], "Close()");
    EXPECT_EQ(calls[10], "release"); // released before the archive is put in place

    const std::vector<std::string> files = DestFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(files[0], std::regex(R"(data_\d{4}_\d{2}\.FAR)"))) << files[0];
    EXPECT_EQ(ReadFile(Dest() + "\\" + files[0]), "archive");
}

TEST_F(BackupCom, WithSubfoldersTheRecursionIsAskedFor) {
    WriteTasks("[Z]\nNAME=z\nTYPE=PARADOX_R\nSQL0=BACKUP SHARED " + Dest() + " ZIP\nCATALOG0=" + Data() + "\n");
    EXPECT_EQ(Run().exitCode, 0);
    const Lines calls = ReadLines(Calls());
    ASSERT_EQ(calls.size(), 11u);
    EXPECT_EQ(calls[7], "SetRecurseSubDirs(bool true)");
    EXPECT_EQ(DestFiles(), std::vector<std::string>{"SHAREDdata.ZIP"});
}

TEST_F(BackupCom, AFailingCallLogsAnErrorLineAndTheRunGoesOn) {
    env_["ZNX_ARCHIVACE_FAIL"] = "AddToArchive";
    std::filesystem::create_directory(dir_ / "data2");
    WriteTasks("[Z]\nNAME=z\nTYPE=PARADOX\nSQL0=BACKUP DATA " + Dest() + "\nCATALOG0=" + Data() + "\nCATALOG1=" +
               (dir_ / "data2") + "\n");
    EXPECT_EQ(Run().exitCode, 0);
    const Lines log = LogLines();
    ASSERT_EQ(log.size(), 4u);
    for (size_t i : {2u, 3u})
        EXPECT_EQ(log[i].rfind("<T>: CHYBA: Akce \"z\", katalog \"", 0), 0u) << log[i];
    const Lines calls = ReadLines(Calls());
    ASSERT_EQ(calls.size(), 20u); // nine calls and the release, for each catalog
    EXPECT_EQ(calls[8], "AddToArchive()");
    EXPECT_EQ(calls[9], "release");
    EXPECT_TRUE(DestFiles().empty()); // no archive and no temporary file left
}

TEST_F(BackupCom, AnUnregisteredComponentLogsAnErrorLinePerCatalog) {
    Unregister();
    WriteTasks("[Z]\nNAME=z\nTYPE=PARADOX\nSQL0=BACKUP DATA " + Dest() + "\nCATALOG0=" + Data() + "\nCATALOG1=" +
               Data() + "\n");
    ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 0);
    const Lines log = LogLines();
    ASSERT_EQ(log.size(), 4u);
    for (size_t i : {2u, 3u})
        EXPECT_EQ(log[i].rfind("<T>: CHYBA: Akce \"z\", katalog \"" + Data() + "\", Text chyby: ", 0), 0u) << log[i];
    EXPECT_FALSE(Exists(Calls()));
}
