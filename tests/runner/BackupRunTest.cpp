// The real vykonar with PARADOX and PARADOX_R tasks on temporary folders,
// the real archiver component loaded at run time: the log lines and the
// archives it makes.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/datetime.h"
#include "tests/archiver/ZipCheck.h"
#include "tests/support/TestSupport.h"

namespace znx {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class BackupRun : public ::testing::Test {
protected:
    BackupRun() {
        vykonar = test::CopyExecutable(ZNX_VYKONAR_PATH, tmp.Path());
        data = tmp / "data";
        dest = tmp / "zalohy";
        fs::create_directories(data + "/podzlozka");
        fs::create_directories(dest);
        WriteFile(data + "/SKLAD.DB", std::string(100000, 'x') + "konec");
        WriteFile(data + "/sklad.px", "index");
        WriteFile(data + "/PARADOX.LCK", "lock");
        WriteFile(data + "/pdoxusrs.lck", "lock");
        WriteFile(data + "/podzlozka/FAKTURY.DB", "faktury");
        WriteFile(data + "/podzlozka/x.Lck", "lock");
    }

    std::map<std::string, std::string> Env(const std::string& componentDir) const {
        return {{"ZNX_COMPONENT_DIR", componentDir},
                {"ZNX_WINDOWS_DIR", tmp.Path()},
                {"ZNX_MACHINE_REG", tmp / "machine.reg"},
                {"ZNX_USER_REG", tmp / "user.reg"},
                {"ZNX_CLASSES_REG", tmp / "classes.reg"},
                {"LC_ALL", "C.UTF-8"}};
    }

    // Runs vykonar on the task file (written with CR LF lines); returns the
    // new part of the log with the time stamps masked.
    std::string Run(const std::string& ini, std::vector<std::string> args = {},
                    const std::string& componentDir = ZNX_COMPONENT_BUILD_DIR) {
        WriteFile(tmp / "vykonar.ini", test::Crlf(ini));
        const std::string logPath = tmp / "vykonar.log";
        const size_t before = fs::exists(logPath) ? fs::file_size(logPath) : 0;
        args.insert(args.begin(), vykonar);
        test::ProcessResult r = test::RunProcess(args, Env(componentDir), tmp.Path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "");
        return test::MaskTimestamps(ReadFile(logPath).substr(before));
    }

    std::string Entry(const std::string& path) const { return path.substr(1); } // without the leading "/"

    std::string OkLine(const std::string& name, const std::string& catalog) const {
        return "<T>: \"" + name + "\" v katalogu \"" + catalog + "\" proběhlo OK\r\n";
    }

    test::TempDir tmp;
    std::string vykonar, data, dest;
};

TEST_F(BackupRun, ParadoxAndParadoxRTasksMakeTheirArchives) {
    const LocalTime now = Now();
    const std::string ini = "[PLOCHA]\n"
                            "NAME=Záloha bez podsložek\n"
                            "TYPE=PARADOX\n"
                            "SQL=BACKUP DATA " + dest + "\n"
                            "CATALOG0=" + data + "\n"
                            "[STROM]\n"
                            "NAME=Záloha se stromem\n"
                            "TYPE=paradox_r\n"
                            "SQL=backup shared \"" + dest + "\" zip\n"
                            "CATALOG0=\"" + data + "/\"\n";
    const std::string log = Run(ini);
    EXPECT_EQ(log, "<T>: Konfigurace načtena z \"" + (tmp / "vykonar.ini") + "\"\r\n"
                   "<T>: Zpracování spuštěno\r\n" +
                       OkLine("Záloha bez podsložek", data) + OkLine("Záloha se stromem", "\"" + data + "/\""));

    char month[8];
    std::snprintf(month, sizeof month, "%02d", now.month);
    const std::string flat = dest + "/data_" + std::to_string(now.year) + "_" + month + ".FAR";
    const std::string tree = dest + "/SHAREDdata.zip";
    ASSERT_TRUE(fs::exists(flat)) << log;
    ASSERT_TRUE(fs::exists(tree)) << log;
    EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 2); // nothing else left

    for (const std::string& zip : {flat, tree}) {
        test::ProcessResult t = test::UnzipTest(zip);
        EXPECT_EQ(t.exitCode, 0) << t.out;
    }
    const test::ZipListing flatList = test::ListWithPython(flat);
    EXPECT_EQ(flatList.size(), 2u);
    EXPECT_EQ(flatList.at(Entry(data + "/SKLAD.DB")).size, 100005u);
    EXPECT_EQ(flatList.at(Entry(data + "/SKLAD.DB")).compressType, 8);
    EXPECT_EQ(flatList.at(Entry(data + "/sklad.px")).size, 5u);

    const test::ZipListing treeList = test::ListWithPython(tree);
    EXPECT_EQ(treeList.size(), 4u);
    EXPECT_TRUE(treeList.count(Entry(data + "/podzlozka/")));
    EXPECT_EQ(treeList.at(Entry(data + "/podzlozka/FAKTURY.DB")).size, 7u);
    for (const auto& [name, member] : treeList) EXPECT_EQ(name.find(".LCK"), std::string::npos) << name;

    test::TempDir out;
    test::ExtractWithBsdtar(tree, out.Path());
    EXPECT_EQ(ReadFile(out.Path() + data + "/SKLAD.DB"), ReadFile(data + "/SKLAD.DB"));
    EXPECT_EQ(ReadFile(out.Path() + data + "/podzlozka/FAKTURY.DB"), "faktury");
}

TEST_F(BackupRun, AFailedBackupKeepsThePreviousArchiveByteForByte) {
    const std::string task = "[R]\nNAME=Report\nTYPE=PARADOX\nSQL=BACKUP REPORT " + dest + "\nCATALOG0=%s\n";
    auto ini = [&](const std::string& catalog) {
        std::string s = task;
        return s.replace(s.find("%s"), 2, catalog);
    };
    EXPECT_EQ(Run(ini(data)).find("CHYBA"), std::string::npos);
    const std::string archive = dest + "/REPORT.FAR";
    // A new archive replaces the old one with its permissions.
    fs::permissions(archive, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    WriteFile(data + "/NOVY.DB", "nový");
    EXPECT_EQ(Run(ini(data)).find("CHYBA"), std::string::npos);
    EXPECT_EQ(fs::status(archive).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(test::ListWithPython(archive).count(data.substr(1) + "/NOVY.DB"));
    const std::string previous = ReadFile(archive);
    ASSERT_FALSE(previous.empty());

    // A folder that is not there: the component fails, the archive stays.
    const std::string missing = tmp / "neni";
    std::string log = Run(ini(missing));
    EXPECT_NE(log.find("<T>: CHYBA: Akce \"Report\", katalog \"" + missing + "\", Text chyby: Cannot open folder \"" +
                       missing + "\". No such file or directory \r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(ReadFile(archive), previous);

    // A file that cannot be read fails half-way through the archive.
    fs::create_directories(tmp / "jina");
    WriteFile(tmp / "jina/A.DB", std::string(300000, 'a'));
    fs::create_symlink(tmp / "nikam", tmp / "jina/B.DB");
    log = Run(ini(tmp / "jina"));
    EXPECT_NE(log.find("Text chyby: Cannot open file \"" + (tmp / "jina/B.DB") + "\". No such file or directory \r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(ReadFile(archive), previous);
    EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 1); // no partial file
}

TEST_F(BackupRun, AMissingDestinationIsNamedInTheLog) {
    const std::string missing = tmp / "neni";
    const std::string log = Run("[D]\nNAME=Cil\nTYPE=PARADOX\nSQL=BACKUP REPORT " + missing + "\nCATALOG0=" + data + "\n");
    EXPECT_NE(log.find("<T>: CHYBA: Akce \"Cil\", katalog \"" + data + "\", Text chyby: Cannot create archive \"" + missing +
                       "/REPORT.FAR\". No such file or directory \r\n"),
              std::string::npos)
        << log;
}

TEST_F(BackupRun, ErrorsReachTheCatalogErrorLine) {
    const std::string ini = "[S]\nNAME=Syntaxe\nTYPE=PARADOX\nSQL0=BACKUP DATA\nSQL1=" + dest + "\nCATALOG0=" + data +
                            "\n"
                            "[M]\nNAME=Modul\nTYPE=PARADOX\nSQL=BACKUP DATA " + dest + "\nCATALOG0=" + data + "\n";
    const std::string empty = tmp / "bez-komponenty";
    fs::create_directories(empty);
    const std::string log = Run(ini, {}, empty);
    EXPECT_NE(log.find("<T>: CHYBA: Akce \"Syntaxe\", katalog \"" + data +
                       "\", Text chyby: Chybná syntaxe příkazu pro akci typu PARADOX \r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("<T>: CHYBA: Akce \"Modul\", katalog \"" + data +
                       "\", Text chyby: Class not registered: \"ZNX.Archivace\" (module znx-archivace.so not found in " +
                       empty + ") \r\n"),
              std::string::npos)
        << log;
    EXPECT_TRUE(fs::is_empty(dest));
}

TEST_F(BackupRun, TheComponentBesideTheExecutableIsFound) {
    fs::copy_file(fs::path(ZNX_COMPONENT_BUILD_DIR) / "znx-archivace.so", tmp / "znx-archivace.so");
    const std::string ini = "[A]\nNAME=Vedle\nTYPE=PARADOX\nSQL=BACKUP PRG " + dest + "\n";
    // No ZNX_COMPONENT_DIR: the folder of the executable; the catalog comes
    // from the command line and gives the single form.
    const std::string log = Run(ini, {"/C" + data}, "");
    EXPECT_NE(log.find("<T>: \"Vedle\" (katalog \"" + data + "\") proběhlo OK\r\n"), std::string::npos) << log;
    EXPECT_EQ(test::UnzipTest(dest + "/A_" + std::to_string(Now().year) + ".FAR").exitCode, 0);
}

} // namespace
} // namespace znx
