// The backup action with a recording archiver: the text routines, the
// command's word rules, the archive names, the ten calls and what happens to
// the archive files when a call fails.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/error.h"
#include "platform/text.h"
#include "runner/Backup.h"
#include "tests/runner/RecordingArchivace.h"
#include "tests/support/TestSupport.h"

namespace znx {
namespace {

using test::TRecordingArchivace;
using test::TRecordingLog;
using test::TRecordingScript;
namespace fs = std::filesystem;

// ---- SplitText ------------------------------------------------------------

struct SplitCase {
    std::string text;
    bool dropEmpty, quotesGroup;
    TStrings parts;
};

class SplitTextTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTextTest, SplitsAsTheFlagsSay) {
    const SplitCase& c = GetParam();
    TStrings list{"left over"};
    const int n = SplitText(c.text, " ", list, c.dropEmpty, c.quotesGroup);
    EXPECT_EQ(list, c.parts);
    EXPECT_EQ(n, static_cast<int>(c.parts.size()));
}

INSTANTIATE_TEST_SUITE_P(
    AllFlagCombinations, SplitTextTest,
    ::testing::Values(
        SplitCase{"", true, true, {}}, SplitCase{"", false, false, {}},
        SplitCase{"a b", true, true, {"a", "b"}}, SplitCase{"a b", false, false, {"a", "b"}},
        // runs of separators and separators at the ends
        SplitCase{" a  b ", true, false, {"a", "b"}}, SplitCase{" a  b ", false, false, {"", "a", "", "b", ""}},
        SplitCase{" ", true, true, {}}, SplitCase{" ", false, true, {"", ""}},
        // quotes group: the separator inside stays, the quotes stay too
        SplitCase{"x \"a b\" y", true, true, {"x", "\"a b\"", "y"}},
        SplitCase{"x \"a b\" y", true, false, {"x", "\"a", "b\"", "y"}},
        SplitCase{"x \"a b\" y", false, true, {"x", "\"a b\"", "y"}},
        SplitCase{"x \"a b\" y", false, false, {"x", "\"a", "b\"", "y"}},
        SplitCase{"\"\"", true, true, {"\"\""}},
        SplitCase{"a\"b c\"d e", true, true, {"a\"b c\"d", "e"}},
        // an unclosed quote groups to the end
        SplitCase{"a \"b c", true, true, {"a", "\"b c"}},
        // only the given separators separate
        SplitCase{"a\tb\r\nc d", true, true, {"a\tb\r\nc", "d"}}));

TEST(SplitText, SeparatorsAreASet) {
    TStrings list;
    EXPECT_EQ(SplitText("a,b;c", ",;", list, true, false), 3);
    EXPECT_EQ(list, (TStrings{"a", "b", "c"}));
}

// ---- path routines ---------------------------------------------------------

TEST(PathRoutines, AddTrailingDelimiter) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"/", "/"}, {"/data", "/data/"}, {"/data/", "/data/"}, {"data", "data/"},
        // a colon is no drive here: it gets the delimiter like any character
        {"x:", "x:/"},
        {"\\", "\\/"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(AddTrailingBackslash(in), out) << in;
}

TEST(PathRoutines, StripOneTrailingDelimiter) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"/", "/"}, {"//", "/"}, {"/data/", "/data"}, {"/data//", "/data/"}, {"/data", "/data"},
        {"a/", "a"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(StripTrailingBackslash(in), out) << in;
}

// ---- archive names ----------------------------------------------------------

struct NameCase {
    std::string folder;
    TBackupKind kind;
    std::string extension;
    std::string name;
};

TEST(ArchiveFileName, ByKindFolderAndDate) {
    const LocalTime january2025{2025, 1, 15, 10, 0, 0};
    const NameCase cases[] = {
        {"/data/Sklad", bkData, ".FAR", "Sklad_2025_01.FAR"},
        {"/data/Sklad/", bkData, ".FAR", "Sklad_2025_01.FAR"},
        {"/data/Sklad", bkReport, ".FAR", "REPORT.FAR"},
        {"/data/Sklad/", bkShared, ".FAR", "SHAREDSklad.FAR"},
        {"/data/Sklad", bkOther, ".FAR", "A_2025.FAR"},
        {"/data/Sklad", bkData, ".ZIP", "Sklad_2025_01.ZIP"},
        // the root folder has an empty last part
        {"/", bkData, ".FAR", "_2025_01.FAR"},
        {"/", bkShared, ".FAR", "SHARED.FAR"},
        // a relative folder, a bare name, and the text after a colon
        {"data/Účetnictví", bkData, ".FAR", "Účetnictví_2025_01.FAR"},
        {"Sklad", bkShared, ".FAR", "SHAREDSklad.FAR"},
        {"/mnt/x:Sklad", bkData, ".FAR", "Sklad_2025_01.FAR"},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(ArchiveFileName(c.folder, c.extension, c.kind, january2025), c.name) << c.folder;
    EXPECT_EQ(ArchiveFileName("/d/S", ".FAR", bkData, LocalTime{2024, 12, 31, 23, 59, 59}), "S_2024_12.FAR");
}

TEST(BackupKindOf, WordTwo) {
    EXPECT_EQ(BackupKindOf("DATA"), bkData);
    EXPECT_EQ(BackupKindOf("data"), bkData);
    EXPECT_EQ(BackupKindOf("\"Report\""), bkReport);
    EXPECT_EQ(BackupKindOf("shared"), bkShared);
    EXPECT_EQ(BackupKindOf("PRG"), bkOther);
    EXPECT_EQ(BackupKindOf("DATA2"), bkOther);
    EXPECT_EQ(BackupKindOf("\"DATA"), bkOther);
}

// ---- the action with a recording component ---------------------------------

class BackupAction : public ::testing::Test {
protected:
    BackupAction() {
        dest = tmp / "dest";
        data = tmp / "data";
        fs::create_directories(dest);
        fs::create_directories(data);
    }

    TBackupServices Services() {
        TBackupServices s;
        s.Clock = [this] {
            ++clockCalls;
            return date;
        };
        s.CreateArchiver = [this]() -> std::unique_ptr<IArchivace> {
            if (failCreate) throw Error("Class not registered: \"ZNX.Archivace\"");
            return std::make_unique<TRecordingArchivace>(log, script);
        };
        return s;
    }

    void Run(const TStrings& lines, const std::string& catalog, bool withSubfolders = false) {
        RunBackup(lines, catalog, withSubfolders, Services());
    }

    std::vector<std::string> FilesIn(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // The ten calls for a folder, with the archive path the component got.
    std::vector<std::string> TenCalls(const std::string& mask, bool recurse) {
        return {"InitParams()",
                "SetArchiveFile(ref " + log.ArchiveFile + ")",
                "AddMask(str " + mask + ")",
                "AddExcludeMask(str *.LCK)",
                "SetStripPath(bool false)",
                "SetStoreFullPath(bool true)",
                "SetFormat83(bool false)",
                std::string("SetRecurseSubDirs(bool ") + (recurse ? "true" : "false") + ")",
                "AddToArchive()",
                "Close()",
                "release"};
    }

    test::TempDir tmp;
    std::string dest, data;
    LocalTime date{2025, 1, 15, 10, 30, 0};
    int clockCalls = 0;
    bool failCreate = false;
    TRecordingScript script;
    TRecordingLog log;
};

TEST_F(BackupAction, TenCallsInOrderThenTheArchiveIsInPlace) {
    for (bool recurse : {false, true}) {
        SCOPED_TRACE(recurse);
        log = {};
        Run({"BACKUP DATA " + dest}, data, recurse);
        EXPECT_EQ(log.Calls, TenCalls(data + "/*.*", recurse));
        EXPECT_EQ(log.Created, 1);
        EXPECT_EQ(log.Released, 1);
        EXPECT_EQ(clockCalls, recurse ? 2 : 1);
        // The component wrote beside the archive, under another name that ends
        // in the archive's own name; the result took the archive's place.
        EXPECT_EQ(fs::path(log.ArchiveFile).parent_path().string(), dest);
        EXPECT_NE(log.ArchiveFile, dest + "/data_2025_01.FAR");
        EXPECT_TRUE(log.ArchiveFile.ends_with("data_2025_01.FAR")) << log.ArchiveFile;
        EXPECT_EQ(FilesIn(dest), std::vector<std::string>{"data_2025_01.FAR"});
        EXPECT_EQ(test::ReadFile(dest + "/data_2025_01.FAR"), "new archive");
    }
}

TEST_F(BackupAction, WordRules) {
    struct Case {
        TStrings lines;
        std::string archive; // in dest; empty: the syntax error
    };
    const std::string d = dest;
    const Case cases[] = {
        {{"BACKUP DATA " + d}, "data_2025_01.FAR"},
        {{"backup data " + d}, "data_2025_01.FAR"},
        {{"\"BACKUP\" \"DATA\" \"" + d + "\""}, "data_2025_01.FAR"},
        {{"  BACKUP   REPORT  " + d + "  "}, "REPORT.FAR"},
        {{"BACKUP SHARED " + d}, "SHAREDdata.FAR"},
        {{"BACKUP PRG " + d}, "A_2025.FAR"},
        {{"BACKUP DATA " + d + " ZIP"}, "data_2025_01.ZIP"},
        {{"BACKUP DATA " + d + " ZIP fifth words are ignored"}, "data_2025_01.ZIP"},
        // the fourth word is taken as written, quotes and all
        {{"BACKUP DATA " + d + " \"zip\""}, "data_2025_01.\"zip\""},
        // one command line of several, the rest blank
        {{"BACKUP DATA " + d, ""}, "data_2025_01.FAR"},
        {{"BACKUP DATA"}, ""},
        {{"BACKUP"}, ""},
        {{}, ""},
        {{"BACKUPS DATA " + d}, ""},
        {{"ZALOHA DATA " + d}, ""},
        // a tab does not separate: two words only
        {{"BACKUP\tDATA " + d}, ""},
        // the line break belongs to the word: "DATA\r\n<dest>" is one word
        {{"BACKUP DATA", d}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.empty() ? "<none>" : c.lines[0]);
        fs::remove_all(dest);
        fs::create_directories(dest);
        log = {};
        if (c.archive.empty()) {
            try {
                Run(c.lines, data);
                ADD_FAILURE() << "no error";
            } catch (const Error& e) {
                EXPECT_EQ(e.Message(), SysText("Chybná syntaxe příkazu pro akci typu PARADOX"));
            }
            EXPECT_EQ(log.Created, 0);
            EXPECT_TRUE(FilesIn(dest).empty());
        } else {
            Run(c.lines, data);
            EXPECT_EQ(FilesIn(dest), std::vector<std::string>{c.archive});
        }
    }
}

TEST_F(BackupAction, QuotedDestinationWithSpacesAndQuotedCatalog) {
    const std::string spaced = tmp / "zálohy a kopie";
    const std::string folder = tmp / "data s mezerou";
    fs::create_directories(spaced);
    Run({"BACKUP SHARED \"" + spaced + "\""}, "\"" + folder + "/\"");
    EXPECT_EQ(log.Calls[2], "AddMask(str " + folder + "/*.*)");
    EXPECT_EQ(FilesIn(spaced), std::vector<std::string>{"SHAREDdata s mezerou.FAR"});

    // Without the quotes the destination is cut at the space, and the rest
    // of the path is the fourth word: a folder that is not there.
    log = {};
    script.WriteArchive = false;
    EXPECT_THROW(Run({"BACKUP SHARED " + spaced + " ZIP"}, folder), Error);
    EXPECT_EQ(fs::path(log.ArchiveFile).parent_path().string(), tmp / "zálohy");
    EXPECT_TRUE(log.ArchiveFile.ends_with("SHAREDdata s mezerou.a")) << log.ArchiveFile;
}

TEST_F(BackupAction, EmptyDestinationMeansTheCurrentFolder) {
    const fs::path before = fs::current_path();
    fs::current_path(dest);
    Run({"BACKUP REPORT \"\""}, data);
    fs::current_path(before);
    EXPECT_EQ(log.ArchiveFile.find('/'), std::string::npos) << log.ArchiveFile;
    EXPECT_EQ(FilesIn(dest), std::vector<std::string>{"REPORT.FAR"});
}

TEST_F(BackupAction, EmptyFolderDoesNothing) {
    test::WriteFile(dest + "/REPORT.FAR", "old");
    Run({"BACKUP REPORT " + dest}, "\"\"");
    EXPECT_EQ(log.Created, 0);
    EXPECT_EQ(clockCalls, 1);
    EXPECT_EQ(test::ReadFile(dest + "/REPORT.FAR"), "old");
}

TEST_F(BackupAction, RootFolderNamesTheArchiveWithoutAName) {
    Run({"BACKUP DATA " + dest}, "/");
    EXPECT_EQ(log.Calls[2], "AddMask(str /*.*)");
    EXPECT_EQ(FilesIn(dest), std::vector<std::string>{"_2025_01.FAR"});
}

TEST_F(BackupAction, TwoFoldersWithTheSameNameWriteOneArchive) {
    fs::create_directories(tmp / "a/Sklad");
    fs::create_directories(tmp / "b/Sklad");
    script.Content = "first";
    Run({"BACKUP DATA " + dest}, tmp / "a/Sklad");
    script.Content = "second";
    Run({"BACKUP DATA " + dest}, tmp / "b/Sklad/");
    EXPECT_EQ(FilesIn(dest), std::vector<std::string>{"Sklad_2025_01.FAR"});
    EXPECT_EQ(test::ReadFile(dest + "/Sklad_2025_01.FAR"), "second");
}

TEST_F(BackupAction, TheValueLeftInTheArchiveArgumentIsNotUsed) {
    script.LeaveValue = true;
    Run({"BACKUP REPORT " + dest}, data);
    EXPECT_EQ(FilesIn(dest), std::vector<std::string>{"REPORT.FAR"});
}

TEST_F(BackupAction, AFailingCallStopsTheCallsAndKeepsThePreviousArchive) {
    const std::string archive = dest + "/REPORT.FAR";
    const std::string previous("PK\x05\x06 previous archive\0\xff", 26);
    for (int failAt = 1; failAt <= 10; ++failAt) {
        SCOPED_TRACE(failAt);
        test::WriteFile(archive, previous);
        log = {};
        script.FailAt = failAt;
        script.FailMessage = "failure " + std::to_string(failAt);
        try {
            Run({"BACKUP REPORT " + dest}, data);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.Message(), script.FailMessage);
        }
        ASSERT_EQ(log.Calls.size(), static_cast<size_t>(failAt) + 1);
        EXPECT_EQ(log.Calls.back(), "release");
        EXPECT_EQ(log.Released, 1);
        EXPECT_EQ(test::ReadFile(archive), previous);
        EXPECT_EQ(FilesIn(dest), std::vector<std::string>{"REPORT.FAR"}); // no partial file left
    }
}

TEST_F(BackupAction, MessagesNameTheArchiveFileNotItsTemporaryName) {
    script.FailAt = 9;
    script.FailMessage = "Cannot write archive \"%f\". Disk full";
    try {
        Run({"BACKUP REPORT " + dest}, data);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.Message(), "Cannot write archive \"" + dest + "/REPORT.FAR\". Disk full");
    }
}

TEST_F(BackupAction, ACreationFailureReachesTheCallerAndTouchesNothing) {
    test::WriteFile(dest + "/REPORT.FAR", "previous");
    failCreate = true;
    try {
        Run({"BACKUP REPORT " + dest}, data);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(e.Message().find("ZNX.Archivace"), std::string::npos);
    }
    EXPECT_EQ(FilesIn(dest), std::vector<std::string>{"REPORT.FAR"});
    EXPECT_EQ(test::ReadFile(dest + "/REPORT.FAR"), "previous");
}

TEST_F(BackupAction, AComponentThatMadeNoArchiveIsAFailure) {
    test::WriteFile(dest + "/REPORT.FAR", "previous");
    script.WriteArchive = false;
    try {
        Run({"BACKUP REPORT " + dest}, data);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(e.Message().find(dest + "/REPORT.FAR"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(test::ReadFile(dest + "/REPORT.FAR"), "previous");
}

TEST_F(BackupAction, AnArchiveInsideTheFolderIsLeftOutOfTheNewOne) {
    // The destination is the folder itself: the archive being replaced must
    // not go into its successor.
    Run({"BACKUP REPORT " + data}, data);
    ASSERT_EQ(log.Calls.size(), 12u);
    EXPECT_EQ(log.Calls[3], "AddExcludeMask(str *.LCK)");
    EXPECT_EQ(log.Calls[4], "AddExcludeMask(str " + data + "/REPORT.FAR)");

    // Below the folder counts only when sub-folders are taken.
    fs::create_directories(data + "/zalohy");
    log = {};
    Run({"BACKUP REPORT " + data + "/zalohy"}, data, false);
    EXPECT_EQ(log.Calls.size(), 11u);
    log = {};
    Run({"BACKUP REPORT " + data + "/zalohy"}, data, true);
    ASSERT_EQ(log.Calls.size(), 12u);
    EXPECT_EQ(log.Calls[4], "AddExcludeMask(str " + data + "/zalohy/REPORT.FAR)");
}

} // namespace
} // namespace znx
