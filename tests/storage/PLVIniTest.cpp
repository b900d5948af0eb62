#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#undef DeleteFile
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"
#include "storage/PLVIni.h"
#include "tests/support/TestSupport.h"

using namespace znx;
using test::Crlf;
using test::ReadFile;
using test::TempDir;
using test::Sys;
using test::WriteFile;
#ifndef _WIN32
using test::RunAsNobody;
#endif

TEST(PLVIni, SaveNormalisesBlankLinesMergesDuplicatesAndKeepsHeaderAndComments) {
    TempDir dir;
    std::string path = dir / "tasks.ini";
    // LF, CR LF and a lone CR; a last line without a line break.
    WriteFile(path,
              "; task file\r\n\r\n  \r\n[A]\nName=first\n\n; a comment\r\nx = 1\r[B]\r\n\r\n\r\nk=v\r\n"
              "[a]\r\nmore=2\r\n[C]\r\nlast=3");
    {
        TPLVIniFile ini(path);
        TStrings sections;
        ini.ReadSections(sections);
        EXPECT_EQ(sections, (TStrings{"A", "B", "C"}));
        ini.WriteString("B", "k", "w"); // any write marks the content modified
    }
    EXPECT_EQ(ReadFile(path), Crlf("; task file\n\n  \n[A]\nName=first\n; a comment\nx = 1\nmore=2\n\n"
                                   "[B]\nk=w\n\n[C]\nlast=3\n"));
}

TEST(PLVIni, NamesCompareWithoutLetterCaseAndValuesAreTrimmed) {
    TempDir dir;
    WriteFile(dir / "t.ini", Sys("[Úloha]\r\nName=  Záloha \t\r\nkey =spaced\r\nempty=   \r\ndup=1\r\nDUP=2\r\n"));
    TPLVIniFile ini(dir / "t.ini");
    EXPECT_EQ(ini.ReadString(Sys("ÚLOHA"), "NAME", "-"), Sys("Záloha"));
    EXPECT_EQ(ini.ReadString(Sys("úloha"), "name", "-"), Sys("Záloha"));
    EXPECT_EQ(ini.ReadString(Sys("Úloha"), "key", "-"), "-"); // the blank belongs to the name
    EXPECT_EQ(ini.ReadString(Sys("Úloha"), "key ", "-"), "spaced");
    EXPECT_EQ(ini.ReadString(Sys("Úloha"), "empty", "-"), "-");
    EXPECT_EQ(ini.ReadString(Sys("Úloha"), "dup", "-"), "1");
    EXPECT_EQ(ini.ReadString("missing", "dup", "-"), "-");
}

TEST(PLVIni, WritesReplaceInPlaceAppendAtTheEndAndDeleteOnEmpty) {
    TStrings lines{"[S]", "NAME=old", "; note", "dup=1", "dup=2", "gone=x"};
    TUniqueIniFile ini(&lines);
    ini.WriteString("S", "Name", "new"); // respelled in place
    ini.WriteString("s", "DUP", "9");    // the first of two
    ini.WriteString("S", "added", "a");
    ini.WriteString("S", "gone", "");
    ini.UpdateFile();
    EXPECT_EQ(lines, (TStrings{"[S]", "Name=new", "; note", "DUP=9", "dup=2", "added=a"}));
    TStrings names, values;
    ini.ReadSection("S", names);
    EXPECT_EQ(names, (TStrings{"Name", "", "DUP", "dup", "added"}));
    ini.ReadSectionValues("S", values);
    EXPECT_EQ(values, (TStrings{"Name=new", "; note", "DUP=9", "dup=2", "added=a"}));
}

TEST(PLVIni, EraseAndDeleteKeyFollowTheWriteRules) {
    TempDir dir;
    std::string path = dir / "t.ini";
    WriteFile(path, "[A]\r\nk=1\r\n[B]\r\nk=2\r\n");
    TPLVIniFile ini(path);
    ini.DeleteKey("New", "k"); // a missing section is created, empty
    ini.EraseSection("a");
    EXPECT_EQ(ReadFile(path), "[A]\r\nk=1\r\n[B]\r\nk=2\r\n"); // nothing written yet
    ini.EraseSection("");                                      // all arguments empty: saves
    EXPECT_EQ(ReadFile(path), Crlf("[B]\nk=2\n\n[New]\n"));
    EXPECT_FALSE(ini.Shared()->Modified());
    ini.DeleteKey("B", "k");
    ini.DeleteKey("", "");
    EXPECT_EQ(ReadFile(path), Crlf("[B]\n\n[New]\n"));
}

TEST(PLVIni, HandlesOnOneFileShareOneContentAndTheLastReleaseSaves) {
    TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    std::string path = dir / "sub" + PathDelim() + "t.ini";
    auto first = std::make_unique<TPLVIniFile>(path);
    auto second = std::make_unique<TPLVIniFile>(test::kWindows ? dir / "sub\\..\\sub\\.\\t.ini"
                                                               : dir / "sub/../sub/./t.ini");
    EXPECT_EQ(first->Shared(), second->Shared());
    EXPECT_EQ(first->Shared()->RefCount, 2);
    first->WriteString("S", "k", "v");
    EXPECT_EQ(second->ReadString("s", "K", ""), "v");
    first->Release();
    EXPECT_FALSE(test::Exists(path)); // the other handle still holds it
    second->Release();
    EXPECT_EQ(ReadFile(path), "[S]\r\nk=v\r\n");
    EXPECT_TRUE(SharedIniFiles().empty());
}

#ifdef _WIN32
TEST(PLVIni, PathsThatDifferInLetterCaseAreOneFileOnWindows) {
    TempDir dir;
    TPLVIniFile a(dir / "Tasks.ini"), b(dir / "TASKS.INI");
    EXPECT_EQ(a.Shared(), b.Shared()); // a case-insensitive file system: one content
    a.WriteString("S", "k", "1");
    EXPECT_EQ(b.ReadString("s", "K", ""), "1");
    a.Release();
    b.Release();
    EXPECT_EQ(ReadFile(dir / "tasks.ini"), "[S]\r\nk=1\r\n");
    EXPECT_TRUE(SharedIniFiles().empty());
}

TEST(PLVIni, BareNamesLieInTheWindowsFolderAndRelativeFoldersInTheCurrentOne) {
    TempDir cwd;
    const std::string windows = WindowsDirectory();
    std::string oldCwd = std::filesystem::current_path().string();
    std::filesystem::current_path(cwd.Path());
    auto lower = [](const std::string& p) { return AnsiLowerCase(p); };
    EXPECT_EQ(CanonicalIniPath("Bare.ini"), lower(windows + "\\bare.ini"));
    EXPECT_EQ(CanonicalIniPath(""), lower(windows + "\\win.ini"));
    EXPECT_EQ(CanonicalIniPath("sub/x.ini"), lower(windows + "\\sub\\x.ini")); // no backslash, no colon
    EXPECT_EQ(CanonicalIniPath(".\\rel.ini"), lower(cwd / "rel.ini"));
    EXPECT_EQ(CanonicalIniPath("sub\\..\\x.ini"), lower(cwd / "x.ini"));
    std::filesystem::current_path(oldCwd);
}

TEST(PLVIni, ReadOnlyAttributeFileIsReadAndChangedInMemoryButNeverWritten) {
    TempDir dir;
    std::string path = dir / "ro.ini";
    WriteFile(path, "[S]\r\nk=1\r\n");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        TPLVIniFile ini(path);
        EXPECT_TRUE(ini.Shared()->ReadOnly());
        ini.WriteString("S", "k", "2");
        EXPECT_EQ(ini.ReadString("S", "k", ""), "2");
        ini.UpdateFile(); // no error, nothing written
        EXPECT_FALSE(ini.Shared()->Modified());
    }
    EXPECT_EQ(ReadFile(path), "[S]\r\nk=1\r\n");
}

TEST(PLVIni, FailedSaveRaisesAndKeepsTheChangesPending) {
    TempDir dir;
    std::string path = dir / "rw.ini";
    WriteFile(path, "[S]\r\nk=1\r\n");
    TPLVIniFile ini(path);
    ini.WriteString("S", "k", "2");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY)); // made read-only after loading
    try {
        ini.UpdateFile();
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + ini.Shared()->FileName() + "\". ", 0), 0u)
            << e.what();
    }
    EXPECT_TRUE(ini.Shared()->Modified());
    EXPECT_EQ(ReadFile(path), "[S]\r\nk=1\r\n");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    ini.Release(); // the retry after the cause went away writes it
    EXPECT_EQ(ReadFile(path), "[S]\r\nk=2\r\n");
}

TEST(PLVIni, FileLockedByAnotherProgramRaisesCannotOpenAndRegistersNothing) {
    TempDir dir;
    std::string path = dir / "locked.ini";
    WriteFile(path, "[S]\r\n");
    // Opened without sharing, as a program that holds the file exclusively.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    try {
        TPLVIniFile ini(path);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + AnsiLowerCase(path) + "\". ", 0), 0u)
            << e.what();
    }
    CloseHandle(h);
    EXPECT_TRUE(SharedIniFiles().empty());
}
#else
TEST(PLVIni, PathsThatDifferInLetterCaseAreDifferentFilesHere) {
    TempDir dir;
    TPLVIniFile a(dir / "Tasks.ini"), b(dir / "tasks.ini");
    EXPECT_NE(a.Shared(), b.Shared()); // a case-sensitive file system: never lower-cased
    a.WriteString("S", "k", "1");
    a.Release();
    EXPECT_TRUE(test::Exists(dir / "Tasks.ini"));
    EXPECT_FALSE(test::Exists(dir / "tasks.ini"));
}

TEST(PLVIni, BareNamesLieInTheWindowsFolderAndRelativeFoldersInTheCurrentOne) {
    TempDir windows, cwd;
    setenv("ZNX_WINDOWS_DIR", windows.Path().c_str(), 1);
    std::string oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(cwd.Path());
    EXPECT_EQ(CanonicalIniPath("bare.ini"), windows / "bare.ini");
    EXPECT_EQ(CanonicalIniPath(""), windows / "win.ini");
    EXPECT_EQ(CanonicalIniPath("./rel.ini"), cwd / "rel.ini");
    EXPECT_EQ(CanonicalIniPath("sub/../x.ini"), cwd / "x.ini");
    std::filesystem::current_path(oldCwd);
    setenv("ZNX_WINDOWS_DIR", "", 1);
    EXPECT_THROW(TPLVIniFile("bare.ini"), Error);
    EXPECT_TRUE(SharedIniFiles().empty());
    unsetenv("ZNX_WINDOWS_DIR");
}
#endif

TEST(PLVIni, MissingFileReadsEmptyAndIsCreatedAtTheFirstSave) {
    TempDir dir;
    std::string path = dir / "New.ini";
    {
        TPLVIniFile ini(path);
        TStrings s;
        ini.ReadSections(s);
        EXPECT_TRUE(s.empty());
        EXPECT_EQ(ini.ReadInteger("x", "y", 7), 7);
    }
    EXPECT_FALSE(test::Exists(path)); // nothing changed, nothing written
    {
        TPLVIniFile ini(path);
        ini.WriteInteger("x", "y", -5);
    }
    EXPECT_EQ(ReadFile(path), "[x]\r\ny=-5\r\n");
}

TEST(PLVIni, TypedReads) {
    TStrings lines{"[N]", "hex=0xF", "dollar=$F", "bad=12ab", "neg=-12", "point=1.5", "comma=1,5", "b0=0", "b2=2"};
    TUniqueIniFile ini(&lines);
    EXPECT_EQ(ini.ReadInteger("N", "hex", 0), 15);
    EXPECT_EQ(ini.ReadInteger("N", "dollar", 0), 15);
    EXPECT_EQ(ini.ReadInteger("N", "bad", 3), 3);
    EXPECT_EQ(ini.ReadInteger("N", "neg", 0), -12);
    EXPECT_FALSE(ini.ReadBool("N", "b0", true));
    EXPECT_TRUE(ini.ReadBool("N", "b2", false));
    EXPECT_TRUE(ini.ReadBool("N", "missing", true));
}

TEST(PLVIni, ReadFloatTakesAPointInEveryLocaleAndACommaOnlyWhereItIsTheSeparator) {
    TempDir dir;
    WriteFile(dir / "f.ini", "[N]\r\npoint=1.5\r\ncomma=1,5\r\nexp=-2.5e3\r\n");
    TPLVIniFile ini(dir / "f.ini");
    for (char sep : {'.', ','}) {
        SetDecimalSeparatorOverride(sep);
        EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "point", 0), 1.5) << sep;
        EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "exp", 0), -2500) << sep;
        EXPECT_DOUBLE_EQ(ini.ReadFloat("N", "comma", 9), sep == ',' ? 1.5 : 9) << sep;
    }
    SetDecimalSeparatorOverride('\0');
}

TEST(PLVIni, TypedWritesReadBack) {
    TStrings lines;
    TUniqueIniFile ini(&lines);
    ini.WriteBinaryStream("S", "bin", std::string("\x00\xff\x10", 3));
    std::string bin;
    EXPECT_EQ(ini.ReadBinaryStream("S", "bin", bin), 3u);
    EXPECT_EQ(bin, std::string("\x00\xff\x10", 3));
    ini.WriteDateTime("S", "when", 45678.75);
    EXPECT_EQ(ini.ReadString("S", "when", ""), "2025-01-21 18:00:00");
    EXPECT_DOUBLE_EQ(ini.ReadDateTime("S", "when", 0), 45678.75);
    EXPECT_DOUBLE_EQ(ini.ReadDate("S", "when", 1), 1); // a date and a time is no date alone
}

#ifndef _WIN32
// Linux: the read-only attribute is the process's write permission, tested
// as an unprivileged user (root writes anything).
TEST(PLVIni, ReadOnlyFileIsReadAndChangedInMemoryButNeverWritten) {
    TempDir dir;
    chmod(dir.Path().c_str(), 0777);
    std::string path = dir / "ro.ini";
    WriteFile(path, "[S]\r\nk=1\r\n");
    chmod(path.c_str(), 0444);
    EXPECT_EQ(RunAsNobody([&] {
                  TPLVIniFile ini(path);
                  if (!ini.Shared()->ReadOnly()) return 1;
                  ini.WriteString("S", "k", "2");
                  if (ini.ReadString("S", "k", "") != "2") return 2;
                  ini.UpdateFile(); // no error, nothing written
                  return ini.Shared()->Modified() ? 3 : 0;
              }),
              0);
    EXPECT_EQ(ReadFile(path), "[S]\r\nk=1\r\n");
}

TEST(PLVIni, FailedSaveRaisesAndKeepsTheChangesPending) {
    TempDir dir;
    chmod(dir.Path().c_str(), 0777);
    std::string path = dir / "rw.ini";
    WriteFile(path, "[S]\r\nk=1\r\n");
    chown(path.c_str(), 65534, 65534);
    EXPECT_EQ(RunAsNobody([&] {
                  TPLVIniFile ini(path);
                  ini.WriteString("S", "k", "2");
                  chmod(path.c_str(), 0444); // made read-only after loading
                  try {
                      ini.UpdateFile();
                      return 1;
                  } catch (const Error& e) {
                      if (std::string(e.what()).rfind("Cannot create file \"" + path + "\". ", 0) != 0) return 2;
                  }
                  if (!ini.Shared()->Modified()) return 3;
                  chmod(path.c_str(), 0644);
                  ini.Release(); // the retry after the cause went away writes it
                  return 0;
              }),
              0);
    EXPECT_EQ(ReadFile(path), "[S]\r\nk=2\r\n");
}

TEST(PLVIni, UnreadableFileRaisesCannotOpenAndRegistersNothing) {
    TempDir dir;
    chmod(dir.Path().c_str(), 0777);
    std::string path = dir / "secret.ini";
    WriteFile(path, "[S]\r\n");
    chmod(path.c_str(), 0000);
    EXPECT_EQ(RunAsNobody([&] {
                  try {
                      TPLVIniFile ini(path);
                      return 1;
                  } catch (const Error& e) {
                      if (std::string(e.what()) != "Cannot open file \"" + path + "\". Permission denied") return 2;
                  }
                  return SharedIniFiles().empty() ? 0 : 3;
              }),
              0);
}
#endif

TEST(PLVIni, LongSectionsKeepFirstOccurrenceThroughWritesAndDeletes) {
    TStrings lines{"[S]"};
    for (int i = 0; i < 100; ++i) lines.push_back("k" + std::to_string(i) + "=" + std::to_string(i));
    lines.push_back("K5=second of its name");
    TUniqueIniFile ini(&lines);
    EXPECT_EQ(ini.ReadString("S", "K5", ""), "5");
    ini.DeleteKey("S", "k5"); // the first goes; the second now answers
    EXPECT_EQ(ini.ReadString("S", "k5", ""), "second of its name");
    EXPECT_EQ(ini.ReadString("S", "k99", ""), "99"); // lines after the deleted one moved
    ini.WriteString("S", "new", "n");
    ini.WriteString("S", "K99", "changed");
    EXPECT_EQ(ini.ReadString("S", "NEW", ""), "n");
    EXPECT_EQ(ini.ReadString("S", "k99", ""), "changed");
    ini.UpdateFile();
    EXPECT_EQ(lines[99], "K99=changed");
    EXPECT_EQ(lines.back(), "new=n");
}
