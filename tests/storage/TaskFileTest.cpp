#include <gtest/gtest.h>

#include "storage/TaskFile.h"
#include "tests/support/TestSupport.h"

using namespace znx;
using test::Sys;

TEST(TaskFile, TaskTypeOfFoldsOnlyLettersAToZ) {
    struct Case { const char* text; TaskKind kind; };
    for (auto c : {Case{"KORAL", tkKoral}, Case{"koral", tkKoral}, Case{"Kastelan", tkKastelan},
                   Case{"cs_all", tkCsAll}, Case{"PARADOX", tkParadox}, Case{"paradox_r", tkParadoxR},
                   Case{"KASTELÁN", tkNone}, Case{"PARADOX R", tkNone}, Case{"KORAL ", tkNone}, Case{"", tkNone}})
        EXPECT_EQ(TaskTypeOf(c.text), c.kind) << c.text;
}

TEST(TaskFile, TheEditorMapsOnlyExactKeywords) {
    EXPECT_EQ(KindDisplayName("PARADOX_R"), Sys("Složka a podsložky"));
    EXPECT_EQ(KindDisplayName("koral"), "koral");
    EXPECT_EQ(KindDisplayName(""), "");
    EXPECT_EQ(KindDialogIndex("CS_ALL"), 4);
    EXPECT_EQ(KindDialogIndex("PARADOX"), 2);
    EXPECT_EQ(KindDialogIndex("cs_all"), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(KindDialogIndex(KindKeywordOfDialogIndex(i)), i);
}

TEST(TaskFile, RunnerReaders) {
    TStrings lines{"[T]", "SQL=single", "SQL0=zero", "SQL1=one", "CATALOG0=a", "catalog1=\"b c\"", "CATALOG3=gap",
                   "catalog=ignored", "timeout=$10",
                   "[U]", "SQL1=no zero", "TIMEOUT=abc", "CATALOG1=no zero"};
    TUniqueIniFile ini(&lines);
    EXPECT_EQ(ReadCommandLines(ini, "T"), TStrings{"single"});
    EXPECT_EQ(ReadCatalogs(ini, "T"), (TStrings{"a", "\"b c\""}));
    EXPECT_EQ(ReadTimeout(ini, "T"), 16);
    EXPECT_TRUE(ReadCommandLines(ini, "U").empty());
    EXPECT_TRUE(ReadCatalogs(ini, "U").empty());
    EXPECT_EQ(ReadTimeout(ini, "U"), -1);
    // The editor reads the unnumbered key first.
    EXPECT_EQ(ReadKeyList(ini, "T", "SQL"), (TStrings{"single", "zero", "one"}));
    EXPECT_EQ(ReadKeyList(ini, "T", "catalog"), (TStrings{"ignored", "a", "\"b c\""}));
}

TEST(TaskFile, ListWriterLeavesNoOldEntryAndNoGap) {
    TStrings lines{"[T]", "NAME=hand written", "SQL=single", "SQL0=a", "keep=me", "SQL1=b", "SQL2=c", "SQL5=behind gap",
                   "SQL01=not numbered", "sqlx=other"};
    TUniqueIniFile ini(&lines);
    WriteKeyList(ini, "T", "SQL", {"", "new 1", "   ", "new 2"});
    ini.UpdateFile();
    EXPECT_EQ(lines, (TStrings{"[T]", "NAME=hand written", "keep=me", "SQL01=not numbered", "sqlx=other",
                               "SQL0=new 1", "SQL1=new 2"}));
}

TEST(TaskFile, SaveTaskWritesTheKeysInOrder) {
    TStrings lines{"[X]", "NAME=old", "other=stays", "SQL0=old sql", "catalog0=db0", "catalog1=db1", "TIMEOUT=5"};
    TUniqueIniFile ini(&lines);
    SaveTask(ini, "X", "Záloha", "KORAL", 600, {"backup database <jmeno_databaze>", "to disk = '<cesta>' with init"},
             {"ucetnictvi"});
    SaveTask(ini, "NEW", "n", "CS_ALL", 0, {"select 1"}, {});
    ini.UpdateFile();
    EXPECT_EQ(lines, (TStrings{"[X]", "Name=Záloha", "other=stays", "timeout=600", "type=KORAL",
                               "SQL0=backup database <jmeno_databaze>", "SQL1=to disk = '<cesta>' with init",
                               "catalog0=ucetnictvi", "", "[NEW]", "Name=n", "type=CS_ALL", "timeout=0",
                               "SQL0=select 1"}));
}
