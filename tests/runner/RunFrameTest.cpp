#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "tests/runner/VykonarFixture.h"

using namespace znx::test;
using Lines = std::vector<std::string>;

class RunFrame : public VykonarFixture {};

TEST_F(RunFrame, WithoutSwitchesTheFileBesideTheExecutableIsNamed) {
    ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out + r.err, ""); // nothing on the console
    EXPECT_EQ(LogLines(), (Lines{"<T>: Konfigurace načtena z \"" + IniPath() + "\"", "<T>: Zpracování spuštěno"}));
}

TEST_F(RunFrame, StartLineNamesTaskAndCatalogInAnyLetterCase) {
    WriteTasks("[T1]\nTYPE=KORAL\n");
    struct Case { Lines args; std::string start; };
    for (const Case& c : {Case{{"/at1"}, "Zpracování spuštěno pro akci ID=t1"},
                          Case{{"/cDB", "/A T1"}, "Zpracování spuštěno pro akci ID= T1 a katalog \"DB\""},
                          Case{{"/C\"x y\""}, "Zpracování spuštěno pro katalog \"\"x y\"\""},
                          Case{{"/A", "/C", "other"}, "Zpracování spuštěno"},
                          Case{{"/Afirst", "/Asecond"}, "Zpracování spuštěno pro akci ID=first"},
                          Case{{"/Anything"}, "Zpracování spuštěno pro akci ID=nything"}}) {
        std::remove(LogPath().c_str());
        EXPECT_EQ(Run(c.args).exitCode, 0);
        Lines log = LogLines();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[1], "<T>: " + c.start) << c.args[0];
    }
}

TEST_F(RunFrame, DefinitionFilePathIsLoggedAsGiven) {
    // A bare name is looked for in the Windows folder, not in the current one.
    WriteFile(dir_ / "bare.ini", Crlf("[T]\nTYPE=nonsense\n"));
    Run({"/INIbare.ini"});
    Run({"/ini=x.ini"});
    EXPECT_EQ(LogLines(), (Lines{"<T>: Konfigurace načtena z \"bare.ini\"", "<T>: Zpracování spuštěno",
                                 "<T>: CHYBA: \"Neznámý typ úlohy v \"T\"\" ",
                                 "<T>: Konfigurace načtena z \"=x.ini\"", "<T>: Zpracování spuštěno"}));
}

TEST_F(RunFrame, LogLinesAreAppendedWithDateTimeAndCrLf) {
    WriteFile(LogPath(), "earlier line\r\n");
    Run();
    std::string log = ReadFile(LogPath());
    EXPECT_EQ(log.rfind("earlier line\r\n", 0), 0u);
    std::regex line(R"(\d{4}-\d{2}-\d{2}( \d{2}:\d{2}:\d{2})?: Zpracování spuštěno\r\n$)");
    EXPECT_TRUE(std::regex_search(log, line)) << log;
}

TEST_F(RunFrame, UnknownTaskIdLogsThreeLines) {
    WriteTasks("[T1]\nTYPE=KORAL\n");
    EXPECT_EQ(Run({"/Anone"}).exitCode, 0);
    EXPECT_EQ(LogLines(),
              (Lines{"<T>: Konfigurace načtena z \"" + IniPath() + "\"", "<T>: Zpracování spuštěno pro akci ID=none",
                     "<T>: CHYBA: \"Neexistující ID úlohy v parametru příkazového řádku (none)\" "}));
}

TEST_F(RunFrame, ALogThatCannotBeOpenedEndsTheProcessWithExitCode1) {
    mkdir(LogPath().c_str(), 0755); // a folder where the log should be
    ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("Cannot open file \"" + LogPath() + "\". ", 0), 0u) << r.err;
}

TEST_F(RunFrame, AFailedLogWriteIsSwallowedAndTheRunGoesOn) {
    ASSERT_EQ(symlink("/dev/full", LogPath().c_str()), 0); // opens, every write fails
    WriteTasks("[T1]\nTYPE=KORAL\n");
    ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
}
