#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <regex>

#include "platform/files.h"
#include "platform/process.h"
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
    // A bare name is looked for in the Windows folder (the fixture's folder
    // stands in for it on Linux; the real one on Windows), not in the current one.
    const std::string bare = "znxbare" + std::to_string(std::hash<std::string>{}(dir_.Path()) % 100000) + ".ini";
    const std::string windows = znx::test::kWindows ? znx::WindowsDirectory() : dir_.Path();
    const std::string barePath = windows + znx::PathDelim() + bare;
    WriteFile(barePath, Crlf("[T]\nTYPE=nonsense\n"));
    Run({"/INI" + bare});
    Run({"/ini=x.ini"});
    std::remove(barePath.c_str());
    EXPECT_EQ(LogLines(), (Lines{"<T>: Konfigurace načtena z \"" + bare + "\"", "<T>: Zpracování spuštěno",
                                 "<T>: CHYBA: \"Neznámý typ úlohy v \"T\"\" ",
                                 "<T>: Konfigurace načtena z \"=x.ini\"", "<T>: Zpracování spuštěno"}));
}

TEST_F(RunFrame, LogLinesAreAppendedWithDateTimeAndCrLf) {
    WriteFile(LogPath(), "earlier line\r\n");
    Run();
    std::string log = ReadFile(LogPath());
    EXPECT_EQ(log.rfind("earlier line\r\n", 0), 0u);
    if (znx::test::kWindows) {
        // A Czech Windows: the regional short date and long time, the fixed
        // text in Windows-1250 bytes.
        std::regex line("\\d{1,2}\\. \\d{1,2}\\. \\d{4}( \\d{1,2}:\\d{2}:\\d{2})?: Zpracov\xE1n\xED spu\x9At\xECno\r\n$");
        EXPECT_TRUE(std::regex_search(log, line)) << log;
    } else {
        std::regex line(R"(\d{4}-\d{2}-\d{2}( \d{2}:\d{2}:\d{2})?: Zpracování spuštěno\r\n$)");
        EXPECT_TRUE(std::regex_search(log, line)) << log;
    }
}

TEST_F(RunFrame, UnknownTaskIdLogsThreeLines) {
    WriteTasks("[T1]\nTYPE=KORAL\n");
    EXPECT_EQ(Run({"/Anone"}).exitCode, 0);
    EXPECT_EQ(LogLines(),
              (Lines{"<T>: Konfigurace načtena z \"" + IniPath() + "\"", "<T>: Zpracování spuštěno pro akci ID=none",
                     "<T>: CHYBA: \"Neexistující ID úlohy v parametru příkazového řádku (none)\" "}));
}

TEST_F(RunFrame, ALogThatCannotBeOpenedEndsTheProcessWithExitCode1) {
    std::filesystem::create_directory(LogPath()); // a folder where the log should be
    ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("Cannot open file \"" + LogPath() + "\". ", 0), 0u) << r.err;
}

#ifndef _WIN32
// Linux only: Windows has no device whose every write fails.
TEST_F(RunFrame, AFailedLogWriteIsSwallowedAndTheRunGoesOn) {
    ASSERT_EQ(symlink("/dev/full", LogPath().c_str()), 0); // opens, every write fails
    WriteTasks("[T1]\nTYPE=KORAL\n");
    ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
}
#endif

#ifndef _WIN32
// The log's date and time follow the user's regional format: a Czech locale,
// compiled into the test's folder, gives the day first with dots.
TEST_F(RunFrame, LogLinesCarryTheRegionalShortDateAndLongTime) {
    const std::string locales = dir_ / "locales";
    std::filesystem::create_directory(locales);
    ProcessResult made = RunProcess({"/usr/bin/localedef", "-i", "cs_CZ", "-f", "UTF-8", locales + "/cs_CZ.UTF-8"});
    ASSERT_EQ(made.exitCode, 0) << "localedef (package locales): " << made.err;
    env_["LOCPATH"] = locales;
    env_["LC_ALL"] = "cs_CZ.UTF-8";
    ASSERT_EQ(Run().exitCode, 0);
    const std::string log = ReadFile(LogPath());
    std::regex czech(R"(^\d{1,2}\.\d{1,2}\.\d{4}( \d{2}:\d{2}:\d{2})?: Konfigurace načtena z "[^"]*"\r\n)");
    EXPECT_TRUE(std::regex_search(log, czech)) << log;
}
#endif
