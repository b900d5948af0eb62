#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>

#include "platform/datetime.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tests/support/TestSupport.h"

using namespace znx;
using znx::test::TempDir;

TEST(Files, ReplaceWholeFileKeepsPermissionsAndLeavesNoTemporary) {
    TempDir dir;
    std::string path = dir / "a.ini";
    test::WriteFile(path, "old");
    chmod(path.c_str(), 0640);
    ReplaceWholeFile(path, "new content");
    EXPECT_EQ(test::ReadFile(path), "new content");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(Files, FailedReplaceLeavesTheOldFileAndNamesThePath) {
    TempDir dir;
    std::string blocker = dir / "file";
    test::WriteFile(blocker, "x");
    try {
        ReplaceWholeFile(blocker + "/a.ini", "new"); // a file where a folder should be
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + blocker + "/a.ini\". ", 0), 0u)
            << e.what();
    }
    EXPECT_EQ(test::ReadFile(blocker), "x");
}

TEST(Files, AppendCreatesThenAppends) {
    TempDir dir;
    std::string path = dir / "x.log";
    EXPECT_TRUE(AppendToFile(path, "a\r\n"));
    EXPECT_TRUE(AppendToFile(path, "b\r\n"));
    EXPECT_EQ(test::ReadFile(path), "a\r\nb\r\n");
    EXPECT_THROW(AppendToFile(dir.Path(), "x"), Error); // a folder cannot be opened as a log
    EXPECT_FALSE(AppendToFile("/dev/full", "x"));        // opens, but the write fails
}

TEST(Files, ReadWholeFileOfMissingFileRaisesCannotOpen) {
    EXPECT_THROW(
        {
            try {
                ReadWholeFile("/nonexistent/x");
            } catch (const Error& e) {
                EXPECT_EQ(std::string(e.what()), "Cannot open file \"/nonexistent/x\". No such file or directory");
                throw;
            }
        },
        Error);
}

TEST(Files, WindowsDirectoryStandIn) {
    setenv("ZNX_WINDOWS_DIR", "/srv/win", 1);
    EXPECT_EQ(WindowsDirectory(), "/srv/win");
    setenv("ZNX_WINDOWS_DIR", "", 1);
    EXPECT_THROW(WindowsDirectory(), Error);
    unsetenv("ZNX_WINDOWS_DIR");
    EXPECT_EQ(WindowsDirectory(), "/etc/znx");
}

TEST(Files, ExpandFileNameResolvesDotsLexically) {
    EXPECT_EQ(ExpandFileName("/a/b/../c/./d.ini"), "/a/c/d.ini");
    EXPECT_EQ(ExpandFileName("x.ini"), (std::filesystem::current_path() / "x.ini").string());
}

TEST(Process, ChangeFileExtReplacesOnlyTheFileNamesExtension) {
    struct Case { const char* in; const char* out; };
    for (auto c : {Case{"/opt/znx/vykonar", "/opt/znx/vykonar.log"}, Case{"/opt/znx/vykonar.bin", "/opt/znx/vykonar.log"},
                   Case{"/opt/z.nx/vykonar", "/opt/z.nx/vykonar.log"}, Case{"/a/b.c.d", "/a/b.c.log"}})
        EXPECT_EQ(ChangeFileExt(c.in, ".log"), c.out) << c.in;
}

TEST(DateTime, LogFormUnderThePosixLocale) {
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(FormatLogDateTime({2025, 1, 7, 9, 5, 3}), "2025-01-07 09:05:03");
    EXPECT_EQ(FormatLogDateTime({2025, 1, 7, 0, 0, 0}), "2025-01-07"); // midnight: the date alone
    EXPECT_EQ(FormatLogDateTime({2025, 1, 7, 0, 0, 1}), "2025-01-07 00:00:01");
}
