// Objects created by ProgID from a component module loaded at run time, and
// the archiver's ten operations as late-bound calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/automation.h"
#include "platform/error.h"
#include "tests/archiver/ZipCheck.h"
#include "tests/support/TestSupport.h"

namespace znx {
namespace {

namespace fs = std::filesystem;

// The message of the Error the call raises.
template <typename F>
std::string ErrorOf(F&& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.Message();
    }
    return "no error";
}

class Automation : public ::testing::Test {
protected:
    Automation() { UseComponentDir(ZNX_COMPONENT_BUILD_DIR); }
    ~Automation() override { ::unsetenv("ZNX_COMPONENT_DIR"); }
    static void UseComponentDir(const std::string& dir) { ::setenv("ZNX_COMPONENT_DIR", dir.c_str(), 1); }

    test::TempDir tmp;
};

TEST_F(Automation, ModuleNamesFromProgIds) {
    EXPECT_EQ(ComponentModuleName("ZNX.Archivace"), "znx-archivace.so");
    EXPECT_EQ(ComponentModuleName("Vendor.Class.2"), "vendor-class-2.so");
    for (const char* bad : {"", "1ZNX.Archivace", "ZNX/Archivace", "../znx", "ZNX..Archivace", "ZNX.", ".ZNX",
                            "ZNX Archivace", "ZNX_Archivace", "ZNX.Archivace.01234567890123456789012345"}) {
        EXPECT_EQ(ErrorOf([&] { ComponentModuleName(bad); }), "Invalid class string \"" + std::string(bad) + "\"");
        EXPECT_EQ(ErrorOf([&] { CreateOleObject(bad); }), "Invalid class string \"" + std::string(bad) + "\"");
    }
}

TEST_F(Automation, ComponentFolders) {
    EXPECT_EQ(ComponentFolders(), std::vector<std::string>{ZNX_COMPONENT_BUILD_DIR});
    ::unsetenv("ZNX_COMPONENT_DIR");
    const std::vector<std::string> folders = ComponentFolders();
    ASSERT_EQ(folders.size(), 2u);
    EXPECT_EQ(folders[0], fs::canonical("/proc/self/exe").parent_path().string());
    EXPECT_TRUE(fs::path(folders[1]).is_absolute()) << folders[1];
}

TEST_F(Automation, ClassesThatCannotBeCreated) {
    // No module of that name.
    EXPECT_EQ(ErrorOf([] { CreateOleObject("ZNX.Nic"); }),
              "Class not registered: \"ZNX.Nic\" (module znx-nic.so not found in " ZNX_COMPONENT_BUILD_DIR ")");

    UseComponentDir(tmp.Path());
    EXPECT_EQ(ErrorOf([] { CreateOleObject("ZNX.Archivace"); }),
              "Class not registered: \"ZNX.Archivace\" (module znx-archivace.so not found in " + tmp.Path() + ")");

    // A module that offers other classes only.
    fs::copy_file(fs::path(ZNX_COMPONENT_BUILD_DIR) / "znx-archivace.so", tmp / "znx-jine.so");
    EXPECT_EQ(ErrorOf([] { CreateOleObject("ZNX.Jine"); }),
              "Class not registered: \"ZNX.Jine\" (the module does not provide this class)");

    // A file that is no module, and a module without the entry point.
    test::WriteFile(tmp / "znx-vadny.so", "not a shared object");
    const std::string bad = ErrorOf([] { CreateOleObject("ZNX.Vadny"); });
    EXPECT_EQ(bad.rfind("Class not registered: \"ZNX.Vadny\" (", 0), 0u) << bad;
    EXPECT_NE(bad.find(tmp / "znx-vadny.so"), std::string::npos) << bad;
    // (any shared library that is no component will do)
    const char* library = "/lib/x86_64-linux-gnu/libz.so.1";
    if (fs::exists(library)) {
        fs::copy_file(library, tmp / "znx-zlib.so");
        EXPECT_EQ(ErrorOf([] { CreateOleObject("ZNX.Zlib"); }),
                  "Class not registered: \"ZNX.Zlib\" (" + (tmp / "znx-zlib.so") + " exports no znx_create_object)");
    }
}

TEST_F(Automation, MembersByNameWithTheirArgumentKinds) {
    std::unique_ptr<TAutomationObject> o = CreateOleObject("znx.archivace"); // ProgIDs ignore letter case
    TAutomationArgs none;
    EXPECT_EQ(ErrorOf([&] { o->Invoke("Zabal", none); }),
              "Method \"Zabal\" not supported by automation object \"znx.archivace\"");
    TAutomationArgs one{TAutomationArg::Bool(true)};
    EXPECT_EQ(ErrorOf([&] { o->Invoke("InitParams", one); }),
              "Invalid number of parameters for \"InitParams\" of \"znx.archivace\"");
    EXPECT_EQ(ErrorOf([&] { o->Invoke("AddMask", one); }),
              "Type mismatch in the parameters of \"AddMask\" of \"znx.archivace\"");
    TAutomationArgs text{TAutomationArg::String("ano")};
    EXPECT_EQ(ErrorOf([&] { o->Invoke("SetStripPath", text); }),
              "Type mismatch in the parameters of \"SetStripPath\" of \"znx.archivace\"");
    // Member names ignore letter case; a by-reference string comes back.
    std::string file = "x.zip";
    TAutomationArgs ref{TAutomationArg::StringRef(file)};
    EXPECT_EQ(ErrorOf([&] { o->Invoke("setarchivefile", ref); }), "no error");
    EXPECT_EQ(file, (fs::current_path() / "x.zip").string());
    // The component's own failure comes with its message.
    EXPECT_EQ(ErrorOf([&] { o->Invoke("AddToArchive", none); }),
              "No files to archive: no file mask has been given");
}

TEST_F(Automation, TheTenOperationsMakeAnArchive) {
    const std::string data = tmp / "data";
    fs::create_directories(data + "/sub");
    test::WriteFile(data + "/A.DB", "alfa");
    test::WriteFile(data + "/a.lck", "lock");
    test::WriteFile(data + "/sub/B.DB", "beta");
    for (bool recurse : {false, true}) {
        SCOPED_TRACE(recurse);
        const std::string zip = tmp / (recurse ? "tree.FAR" : "flat.FAR");
        {
            std::unique_ptr<IArchivace> a = CreateArchivace();
            a->InitParams();
            std::string file = zip;
            a->SetArchiveFile(file);
            a->AddMask(data + "/*.*");
            a->AddExcludeMask("*.LCK");
            a->SetStripPath(false);
            a->SetStoreFullPath(true);
            a->SetFormat83(false);
            a->SetRecurseSubDirs(recurse);
            a->AddToArchive();
            a->Close();
        }
        EXPECT_EQ(test::UnzipTest(zip).exitCode, 0);
        std::set<std::string> names;
        for (const auto& [name, m] : test::ListWithPython(zip)) names.insert(name);
        std::set<std::string> expected{data.substr(1) + "/A.DB"};
        if (recurse) expected.insert({data.substr(1) + "/sub/", data.substr(1) + "/sub/B.DB"});
        EXPECT_EQ(names, expected);
    }

    // An error of a call reaches the caller with the component's message.
    std::unique_ptr<IArchivace> a = CreateArchivace();
    std::string file = tmp / "x.zip";
    a->SetArchiveFile(file);
    a->AddMask(tmp / "neni/*.*");
    EXPECT_EQ(ErrorOf([&] { a->AddToArchive(); }),
              "Cannot open folder \"" + (tmp / "neni") + "\". No such file or directory");
}

} // namespace
} // namespace znx
