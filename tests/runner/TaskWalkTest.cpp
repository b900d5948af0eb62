#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/error.h"
#include "runner/RunLog.h"
#include "runner/TaskWalk.h"
#include "tests/runner/VykonarFixture.h"

using namespace znx;
using namespace znx::test;
using Lines = std::vector<std::string>;

namespace {

// Records every RunAction call; fails the catalogs it is told to.
class RecordingActions : public TActions {
public:
    struct Call {
        TStrings lines;
        std::string catalog;
        int timeout;
        TaskKind kind;
    };
    void RunAction(const TStrings& CommandLines, const std::string& Catalog, int Timeout, TaskKind Kind) override {
        calls.push_back({CommandLines, Catalog, Timeout, Kind});
        if (failing.count(Catalog)) throw Error("selhalo " + Catalog);
    }
    std::vector<Call> calls;
    std::set<std::string> failing;
};

class TaskWalk : public ::testing::Test {
protected:
    void Walk(const std::string& tasks, const std::string& id = "", const std::string& catalog = "") {
        WriteFile(dir_ / "t.ini", Crlf(Sys(tasks)));
        LogStopped = false;
        RunTaskWalk(dir_ / "t.ini", dir_ / "t.log", id, catalog, actions_);
    }
    Lines Log() const {
        Lines lines;
        if (!Exists(dir_ / "t.log")) return lines;
        std::string log = MaskTimestamps(Utf8(ReadFile(dir_ / "t.log")));
        for (size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(log.substr(start + 5, end - start - 5)); // without "<T>: "
        return lines;
    }
    TempDir dir_;
    RecordingActions actions_;
};

} // namespace

TEST_F(TaskWalk, RunsEveryTaskInFileOrderWithItsOwnCatalogs) {
    actions_.failing = {"db2"};
    Walk("[A]\nNAME=Záloha\nTYPE=koral\nSQL0=backup\nSQL1=go\nCATALOG0=db1\nCATALOG1=db2\nCATALOG2=db3\nTIMEOUT=0x10\n"
         "[B]\nTYPE= cs_all \nSQL=select 1\nSQL0=never\n[a]\nCATALOG3=merged\nCATALOG5=behind a gap\n");
    ASSERT_EQ(actions_.calls.size(), 5u);
    EXPECT_EQ(actions_.calls[0].lines, (TStrings{"backup", "go"}));
    EXPECT_EQ(actions_.calls[0].timeout, 16);
    EXPECT_EQ(actions_.calls[0].kind, tkKoral);
    EXPECT_EQ(actions_.calls[4].lines, TStrings{"select 1"});
    EXPECT_EQ(actions_.calls[4].timeout, -1);
    EXPECT_EQ(actions_.calls[4].kind, tkCsAll);
    EXPECT_EQ(Log(), (Lines{"\"Záloha\" v katalogu \"db1\" proběhlo OK",
                            "CHYBA: Akce \"Záloha\", katalog \"db2\", Text chyby: selhalo db2 ",
                            "\"Záloha\" v katalogu \"db3\" proběhlo OK",
                            "\"Záloha\" v katalogu \"merged\" proběhlo OK",
                            "\"\" (katalog \"master\") proběhlo OK"}));
}

TEST_F(TaskWalk, CatalogChoice) {
    struct Case {
        std::string tasks, override;
        Lines log;
    };
    const Case cases[] = {
        // an SQL kind without catalogs runs once against master; CATALOG1 without CATALOG0 is none
        {"[T]\nNAME=n\nTYPE=KASTELAN\nCATALOG1=x\n", "", {"\"n\" (katalog \"master\") proběhlo OK"}},
        // the override replaces the list, for every task, in the single form
        {"[T]\nNAME=n\nTYPE=KORAL\nCATALOG0=x\n[U]\nNAME=u\nTYPE=PARADOX\n", "\"/data\"",
         {"\"n\" (katalog \"\"/data\"\") proběhlo OK", "\"u\" (katalog \"\"/data\"\") proběhlo OK"}},
    };
    for (const Case& c : cases) {
        std::remove((dir_ / "t.log").c_str());
        Walk(c.tasks, "", c.override);
        EXPECT_EQ(Log(), c.log) << c.tasks;
    }
}

TEST_F(TaskWalk, ErrorsOutsideTheCatalogStepsEndTheWalk) {
    struct Case {
        std::string tasks, id, error;
        size_t actionsRun;
    };
    const Case cases[] = {
        {"[T]\nTYPE=KORAL\n[F]\nNAME=f\nTYPE=PARADOX_R\n[L]\nTYPE=KORAL\n", "", "Není zadán katalog pro archivaci", 1},
        {"[T]\nNAME=name\nTYPE=KORALL\n[L]\nTYPE=KORAL\n", "", "Neznámý typ úlohy v \"T\"", 0},
        {"[T]\nTYPE=\n", "", "Neznámý typ úlohy v \"T\"", 0},
        {"[T]\nTYPE=KORAL\n", "X", "Neexistující ID úlohy v parametru příkazového řádku (X)", 0},
    };
    for (const Case& c : cases) {
        actions_.calls.clear();
        try {
            Walk(c.tasks, c.id);
            ADD_FAILURE() << "no error for " << c.tasks;
        } catch (const Error& e) {
            EXPECT_EQ(Utf8(e.Message()), c.error);
        }
        EXPECT_EQ(actions_.calls.size(), c.actionsRun) << c.tasks;
    }
}

TEST_F(TaskWalk, TaskIdInOtherLetterCaseRunsThatTaskOnce) {
    Walk("[Task-1]\nNAME=one\nTYPE=KORAL\n[other]\nTYPE=KORAL\n[TASK-1]\nCATALOG0=db\n", "task-1");
    ASSERT_EQ(actions_.calls.size(), 1u);
    EXPECT_EQ(actions_.calls[0].catalog, "db"); // the merged duplicate section
    EXPECT_EQ(Log(), Lines{"\"one\" v katalogu \"db\" proběhlo OK"});
}

TEST_F(TaskWalk, ASuccessLineThatCannotBeWrittenFailsTheStepAndTheRun) {
    WriteFile(dir_ / "t.ini", Crlf("[T]\nTYPE=KORAL\nCATALOG0=a\nCATALOG1=b\n"));
    std::filesystem::create_directory(dir_ / "t.log");
    LogStopped = false;
    EXPECT_THROW(RunTaskWalk(dir_ / "t.ini", dir_ / "t.log", "", "", actions_), Error);
    EXPECT_EQ(actions_.calls.size(), 1u);
}

// The whole log of a run through the real binary: no server profile is set
// up, so every SQL catalog fails with the profile error and the run goes on.
class TaskWalkRun : public VykonarFixture {};

TEST_F(TaskWalkRun, WholeLogOfARunWithoutProfiles) {
    WriteTasks("[A]\nNAME=Záloha\nTYPE=KORAL\nCATALOG0=\"db 1\"\nCATALOG1=db2\n"
               "[B]\nTYPE=CS_ALL\nSQL0=select 1\n"
               "[C]\nNAME=c\nTYPE=paradox\n"
               "[D]\nNAME=never run\nTYPE=KORAL\n");
    EXPECT_EQ(Run().exitCode, 0);
    EXPECT_EQ(LogLines(),
              (Lines{"<T>: Konfigurace načtena z \"" + IniPath() + "\"", "<T>: Zpracování spuštěno",
                     "<T>: CHYBA: Akce \"Záloha\", katalog \"\"db 1\"\", Text chyby: Nebylo získáno připojení k datům ",
                     "<T>: CHYBA: Akce \"Záloha\", katalog \"db2\", Text chyby: Nebylo získáno připojení k datům ",
                     "<T>: CHYBA: Akce \"\", katalog \"master\", Text chyby: Nebylo získáno připojení k datům ",
                     "<T>: CHYBA: \"Není zadán katalog pro archivaci\" "}));
}
