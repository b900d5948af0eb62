#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#undef DeleteFile
#else
#include <sys/stat.h>
#endif

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

namespace {
int EntriesIn(const std::string& dir) {
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++entries;
    return entries;
}
} // namespace

#ifndef _WIN32
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
    EXPECT_EQ(EntriesIn(dir.Path()), 1);
}
#else
TEST(Files, ReplaceWholeFileKeepsAttributesAndLeavesNoTemporary) {
    TempDir dir;
    std::string path = dir / "a.ini";
    test::WriteFile(path, "old");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ReplaceWholeFile(path, "new content");
    EXPECT_EQ(test::ReadFile(path), "new content");
    EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(EntriesIn(dir.Path()), 1);
}

TEST(Files, ReadOnlyAttributeMakesAFileUnwritableAndItsReplaceFail) {
    TempDir dir;
    std::string path = dir / "ro.ini";
    test::WriteFile(path, "old");
    EXPECT_TRUE(FileWritable(path));
    EXPECT_TRUE(FileWritable(dir / "missing.ini")); // may be created in its folder
    EXPECT_FALSE(FileWritable(dir / "no folder\\missing.ini"));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(FileWritable(path));
    EXPECT_THROW(ReplaceWholeFile(path, "new"), Error);
    EXPECT_EQ(test::ReadFile(path), "old");
    EXPECT_EQ(EntriesIn(dir.Path()), 1);
}
#endif

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
#ifndef _WIN32
    EXPECT_FALSE(AppendToFile("/dev/full", "x")); // opens, but the write fails (no such device on Windows)
#endif
}

TEST(Files, ReadWholeFileOfMissingFileRaisesCannotOpen) {
    // The system's own text for the error (in the system's language on
    // Windows), without a trailing full stop.
    const std::string reason = test::kWindows ? SysErrorMessage(3 /* ERROR_PATH_NOT_FOUND */)
                                              : "No such file or directory";
    EXPECT_FALSE(reason.empty());
    EXPECT_NE(reason.back(), '.');
    EXPECT_THROW(
        {
            try {
                ReadWholeFile("/nonexistent/x");
            } catch (const Error& e) {
                EXPECT_EQ(std::string(e.what()), "Cannot open file \"/nonexistent/x\". " + reason);
                throw;
            }
        },
        Error);
}

#ifdef _WIN32
TEST(Files, WindowsDirectoryIsTheSystemsOwn) {
    const std::string dir = WindowsDirectory();
    const char* windir = std::getenv("windir");
    ASSERT_NE(windir, nullptr);
    EXPECT_EQ(_stricmp(dir.c_str(), windir), 0) << dir << " / " << windir;
    EXPECT_TRUE(std::filesystem::is_directory(dir));
}

TEST(Files, PathsFollowTheWindowsRules) {
    EXPECT_TRUE(FileNamesIgnoreCase());
    EXPECT_EQ(ExpandFileName("C:\\a\\b\\..\\c\\.\\d.ini"), "C:\\a\\c\\d.ini");
    EXPECT_EQ(ExpandFileName("C:/a/b/../d.ini"), "C:\\a\\d.ini");
    struct Case { const char* path; bool bare; };
    for (auto c : {Case{"x.ini", true}, Case{"sub/x.ini", true}, Case{"sub\\x.ini", false}, Case{"C:x.ini", false},
                   Case{".\\x.ini", false}})
        EXPECT_EQ(IsBareFileName(c.path), c.bare) << c.path;
    EXPECT_EQ(ExtractFileDir("C:\\znx\\vykonar.exe"), "C:\\znx");
    EXPECT_EQ(ExtractFileDir("C:\\vykonar.exe"), "C:\\");
    EXPECT_EQ(ExtractFileDir("vykonar.exe"), "");
    EXPECT_EQ(ChangeFileExt("C:\\z.nx\\vykonar", ".log"), "C:\\z.nx\\vykonar.log");
    EXPECT_EQ(ChangeFileExt("C:\\znx\\vykonar.exe", ".ini"), "C:\\znx\\vykonar.ini");
}
#else
TEST(Files, WindowsDirectoryStandIn) {
    setenv("ZNX_WINDOWS_DIR", "/srv/win", 1);
    EXPECT_EQ(WindowsDirectory(), "/srv/win");
    setenv("ZNX_WINDOWS_DIR", "", 1);
    EXPECT_THROW(WindowsDirectory(), Error);
    unsetenv("ZNX_WINDOWS_DIR");
    EXPECT_EQ(WindowsDirectory(), "/etc/znx");
}
#endif

TEST(Files, ExpandFileNameResolvesDotsLexically) {
    if (!test::kWindows) {
        EXPECT_EQ(ExpandFileName("/a/b/../c/./d.ini"), "/a/c/d.ini");
    }
    EXPECT_EQ(ExpandFileName("x.ini"), (std::filesystem::current_path() / "x.ini").string());
}

TEST(Process, ChangeFileExtReplacesOnlyTheFileNamesExtension) {
    struct Case { const char* in; const char* out; };
    for (auto c : {Case{"/opt/znx/vykonar", "/opt/znx/vykonar.log"}, Case{"/opt/znx/vykonar.bin", "/opt/znx/vykonar.log"},
                   Case{"/opt/z.nx/vykonar", "/opt/z.nx/vykonar.log"}, Case{"/a/b.c.d", "/a/b.c.log"}})
        EXPECT_EQ(ChangeFileExt(c.in, ".log"), c.out) << c.in;
}

#ifdef _WIN32
TEST(DateTime, LogFormIsTheRegionalShortDateAndLongTime) {
    ASSERT_EQ(GetACP(), 1250u) << "the Windows tests run on a Czech system (LC_ALL=cs_CZ.UTF-8 under Wine)";
    EXPECT_EQ(FormatLogDateTime({2025, 1, 7, 9, 5, 3}), "7. 1. 2025 9:05:03");
    EXPECT_EQ(FormatLogDateTime({2025, 1, 7, 0, 0, 0}), "7. 1. 2025"); // midnight: the date alone
    EXPECT_EQ(FormatLogDateTime({2025, 12, 31, 23, 59, 59}), "31. 12. 2025 23:59:59");
}
#else
TEST(DateTime, LogFormUnderThePosixLocale) {
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(FormatLogDateTime({2025, 1, 7, 9, 5, 3}), "2025-01-07 09:05:03");
    EXPECT_EQ(FormatLogDateTime({2025, 1, 7, 0, 0, 0}), "2025-01-07"); // midnight: the date alone
    EXPECT_EQ(FormatLogDateTime({2025, 1, 7, 0, 0, 1}), "2025-01-07 00:00:01");
}
#endif
