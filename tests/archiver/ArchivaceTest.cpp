// The archiver component's class: real archives, checked with readers that
// share no code with it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "archiver/Archivace.h"
#include "platform/error.h"
#include "platform/files.h"
#include "tests/archiver/ZipCheck.h"
#include "tests/support/TestSupport.h"

namespace znx {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// ---- masks and short names --------------------------------------------------

TEST(MatchesMask, WildcardsWithoutRegardToCase) {
    struct Case {
        const char* name;
        const char* mask;
        bool match;
    };
    const Case cases[] = {
        {"paradox.lck", "*.LCK", true}, {"PDOXUSRS.LCK", "*.lck", true}, {"x.Lck", "*.LCK", true},
        {"x.lckx", "*.LCK", false},     {"lck", "*.LCK", false},         {"a.lck.db", "*.LCK", false},
        {"DATA.DB", "*.*", true},       {"README", "*.*", true},         {".profile", "*.*", true},
        {"data", "data.*", true},       {"data.db", "data.*", true},     {"datax", "data.*", false},
        {"a.b.c", "*.c", true},         {"abc", "a?c", true},            {"ac", "a?c", false},
        {"ač", "A?", true},             {"Čísla.db", "č*.DB", true},     {"ŘEPA", "řepa", true},
        {"abc", "*", true},             {"", "*", true},                 {"abc", "a*b*c*", true},
        {"axxbyyc", "a*b*c", true},     {"axxbyy", "a*b*c", false},      {"x.db", "x.d?", true},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchesMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
}

TEST(ShortName83, FitsOrIsNumbered) {
    std::set<std::string> used;
    EXPECT_EQ(ShortName83("sklad.db", used), "SKLAD.DB");
    EXPECT_EQ(ShortName83("SKLAD.DB", used), "SKLAD~1.DB"); // the short form is taken
    EXPECT_EQ(ShortName83("Účetnictví 2024.data", used), "__ETNI~1.DAT");
    EXPECT_EQ(ShortName83("dlouhe jmeno.txt", used), "DLOUHE~1.TXT");
    EXPECT_EQ(ShortName83("dlouhe jmeno 2.txt", used), "DLOUHE~2.TXT");
    EXPECT_EQ(ShortName83("a.b.c", used), "AB~1.C");
    EXPECT_EQ(ShortName83(".profile", used), "PROFIL~1");
    EXPECT_EQ(ShortName83("README", used), "README");
}

// ---- archives ---------------------------------------------------------------

class ArchivaceTest : public ::testing::Test {
protected:
    ArchivaceTest() {
        data = tmp / "data";
        fs::create_directories(data + "/sub/deeper");
        fs::create_directories(data + "/empty");
        WriteFile(data + "/SKLAD.DB", Pattern(200000));
        WriteFile(data + "/sklad.px", "index");
        WriteFile(data + "/paradox.lck", "lock");
        WriteFile(data + "/PDOXUSRS.LCK", "lock");
        WriteFile(data + "/prázdný.txt", "");
        WriteFile(data + "/sub/FAKTURY.DB", "faktury");
        WriteFile(data + "/sub/x.Lck", "lock");
        WriteFile(data + "/sub/deeper/Čísla.db", "čísla");
    }

    static std::string Pattern(size_t n) {
        std::string s;
        s.reserve(n);
        for (size_t i = 0; i < n; ++i) s += static_cast<char>("0123456789;ABCDEF\r\n"[(i * 7 + i / 13) % 19]);
        return s;
    }

    struct Settings {
        bool strip = false, fullPath = true, format83 = false, recurse = false;
        std::vector<std::string> excludes{"*.LCK"};
    };

    // The ten operations as the runner makes them.
    void Make(const std::string& zip, const std::string& mask, const Settings& s) {
        TArchivace a;
        a.InitParams();
        std::string file = zip;
        a.SetArchiveFile(file);
        a.AddMask(mask);
        for (const std::string& e : s.excludes) a.AddExcludeMask(e);
        a.SetStripPath(s.strip);
        a.SetStoreFullPath(s.fullPath);
        a.SetFormat83(s.format83);
        a.SetRecurseSubDirs(s.recurse);
        a.AddToArchive();
        a.Close();
    }

    std::set<std::string> Names(const std::string& zip) {
        std::set<std::string> names;
        for (const auto& [name, member] : test::ListWithPython(zip)) names.insert(name);
        return names;
    }

    std::string Entry(const std::string& path) const { return path.substr(1); }

    std::vector<std::string> FilesIn(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir tmp;
    std::string data;
};

TEST_F(ArchivaceTest, FolderWithFullPathsWithoutLockFiles) {
    const std::string zip = tmp / "out.FAR";
    Make(zip, data + "/*.*", {});

    test::ProcessResult t = test::UnzipTest(zip);
    EXPECT_EQ(t.exitCode, 0) << t.out;
    const test::ZipListing list = test::ListWithPython(zip);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(list.at(Entry(data + "/SKLAD.DB")).size, 200000u);
    EXPECT_EQ(list.at(Entry(data + "/SKLAD.DB")).compressType, 8); // deflate
    EXPECT_EQ(list.at(Entry(data + "/sklad.px")).size, 5u);
    EXPECT_EQ(list.at(Entry(data + "/prázdný.txt")).size, 0u);
    EXPECT_NE(list.at(Entry(data + "/prázdný.txt")).flagBits & 0x800u, 0u); // the name is marked UTF-8
    EXPECT_LT(fs::file_size(zip), 200000u / 4);

    test::TempDir out;
    test::ExtractWithBsdtar(zip, out.Path());
    EXPECT_EQ(ReadFile(out.Path() + data + "/SKLAD.DB"), ReadFile(data + "/SKLAD.DB"));
    EXPECT_EQ(ReadFile(out.Path() + data + "/sklad.px"), "index");
    EXPECT_FALSE(fs::exists(out.Path() + data + "/paradox.lck"));
    EXPECT_FALSE(fs::exists(out.Path() + data + "/sub"));
}

TEST_F(ArchivaceTest, SubFoldersWhenAskedFor) {
    const std::string zip = tmp / "tree.zip";
    Settings s;
    s.recurse = true;
    Make(zip, data + "/*.*", s);
    EXPECT_EQ(test::UnzipTest(zip).exitCode, 0);
    EXPECT_EQ(Names(zip), (std::set<std::string>{Entry(data + "/SKLAD.DB"), Entry(data + "/sklad.px"),
                                                 Entry(data + "/prázdný.txt"), Entry(data + "/empty/"),
                                                 Entry(data + "/sub/"), Entry(data + "/sub/FAKTURY.DB"),
                                                 Entry(data + "/sub/deeper/"),
                                                 Entry(data + "/sub/deeper/Čísla.db")}));
    test::TempDir out;
    test::ExtractWithBsdtar(zip, out.Path());
    EXPECT_EQ(ReadFile(out.Path() + data + "/sub/deeper/Čísla.db"), "čísla");
    EXPECT_TRUE(fs::is_directory(out.Path() + data + "/empty"));
}

TEST_F(ArchivaceTest, EntryNamesBySettings) {
    struct Case {
        const char* label;
        Settings settings;
        std::string mask;
        std::set<std::string> names;
    };
    Settings strip;
    strip.strip = true;
    strip.recurse = true;
    Settings relative;
    relative.fullPath = false;
    relative.recurse = true;
    Settings short83;
    short83.format83 = true;
    short83.fullPath = false;
    short83.recurse = true;
    Settings onlyDb;
    onlyDb.fullPath = false;
    const Case cases[] = {
        {"strip", strip, data + "/*.*",
         {"SKLAD.DB", "sklad.px", "prázdný.txt", "FAKTURY.DB", "Čísla.db"}},
        {"relative", relative, data + "/*.*",
         {"SKLAD.DB", "sklad.px", "prázdný.txt", "empty/", "sub/", "sub/FAKTURY.DB", "sub/deeper/",
          "sub/deeper/Čísla.db"}},
        {"8.3", short83, data + "/*.*",
         {"SKLAD.DB", "SKLAD.PX", "PR_ZDN~1.TXT", "EMPTY/", "SUB/", "SUB/FAKTURY.DB", "SUB/DEEPER/",
          "SUB/DEEPER/__SLA~1.DB"}},
        {"mask", onlyDb, data + "/*.db", {"SKLAD.DB"}},
        // ".." in the folder of the mask never reaches an entry
        {"dots", Settings{}, data + "/sub/../*.px", {Entry(data + "/sklad.px")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string zip = tmp / (std::string(c.label) + ".zip");
        Make(zip, c.mask, c.settings);
        EXPECT_EQ(test::UnzipTest(zip).exitCode, 0);
        EXPECT_EQ(Names(zip), c.names);
        for (const std::string& n : Names(zip)) EXPECT_EQ(n.find(".."), std::string::npos) << n;
    }
}

TEST_F(ArchivaceTest, RelativeMaskFolderIsTakenFromTheCurrentFolder) {
    const fs::path before = fs::current_path();
    fs::current_path(tmp.Path());
    const std::string zip = tmp / "rel.zip";
    Make("rel.zip", "data/sub/*.*", {});
    fs::current_path(before);
    EXPECT_EQ(Names(zip), (std::set<std::string>{Entry(data + "/sub/FAKTURY.DB")}));
}

TEST_F(ArchivaceTest, ModificationTimesAndSizesAreKept) {
    const std::string file = data + "/SKLAD.DB";
    struct timespec times[2] = {{1000000000, 0}, {981173106, 0}}; // 2001-02-03 04:05:06 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const std::string zip = tmp / "times.zip";
    Make(zip, data + "/*.DB", {});
    test::TempDir out;
    test::ExtractWithBsdtar(zip, out.Path());
    struct stat st;
    ASSERT_EQ(::stat((out.Path() + file).c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 981173106);
    EXPECT_EQ(st.st_size, 200000);
}

TEST_F(ArchivaceTest, FilesLargerThanABlockAreStreamedWhole) {
    // Sizes around the block size, and a file of several blocks with an odd end.
    const size_t sizes[] = {TArchivace::BlockSize - 1, TArchivace::BlockSize, TArchivace::BlockSize + 1,
                            5 * TArchivace::BlockSize + 12345};
    fs::create_directories(tmp / "blocks");
    for (size_t n : sizes) WriteFile(tmp / ("blocks/f" + std::to_string(n)), Pattern(n));
    // and one incompressible file
    std::string noise(3 * TArchivace::BlockSize + 7, '\0');
    uint64_t x = 88172645463325252ull;
    for (char& c : noise) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        c = static_cast<char>(x);
    }
    WriteFile(tmp / "blocks/noise.bin", noise);
    const std::string zip = tmp / "blocks.zip";
    Make(zip, tmp / "blocks/*.*", {});
    EXPECT_EQ(test::UnzipTest(zip).exitCode, 0);
    test::TempDir out;
    test::ExtractWithBsdtar(zip, out.Path());
    for (size_t n : sizes)
        EXPECT_EQ(ReadFile(out.Path() + tmp.Path() + "/blocks/f" + std::to_string(n)), Pattern(n)) << n;
    EXPECT_EQ(ReadFile(out.Path() + tmp.Path() + "/blocks/noise.bin"), noise);
}

TEST_F(ArchivaceTest, AFileOverFourGibibytesGetsZip64Sizes) {
    // A sparse file: large on paper, quick to read, and it packs small.
    fs::create_directories(tmp / "big");
    const uint64_t size = (uint64_t{1} << 32) + 12345;
    {
        const int fd = ::open((tmp / "big/VELKA.DB").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size - 4)), 0);
        ASSERT_EQ(::pwrite(fd, "tail", 4, static_cast<off_t>(size - 4)), 4);
        ::close(fd);
    }
    WriteFile(tmp / "big/small.txt", "small");
    const std::string zip = tmp / "big.zip";
    Make(zip, tmp / "big/*.*", {});
    // The sizes as other readers see them (the data itself is not unpacked:
    // that would take longer than making it).
    const test::ZipListing list = test::ListWithPython(zip, false);
    EXPECT_EQ(list.at(Entry(tmp / "big/VELKA.DB")).size, size);
    EXPECT_EQ(list.at(Entry(tmp / "big/small.txt")).size, 5u);
    test::ProcessResult l = test::RunProcess({"/usr/bin/unzip", "-l", zip});
    EXPECT_EQ(l.exitCode, 0) << l.out << l.err;
    EXPECT_NE(l.out.find(std::to_string(size)), std::string::npos) << l.out;
    EXPECT_LT(fs::file_size(zip), 64u << 20);
}

TEST_F(ArchivaceTest, EmptyFolderGivesAnEmptyArchive) {
    const std::string zip = tmp / "empty.zip";
    Make(zip, data + "/empty/*.*", {});
    EXPECT_TRUE(test::ListWithPython(zip).empty());
    EXPECT_EQ(fs::file_size(zip), 22u); // the end record only
}

TEST_F(ArchivaceTest, LinksPipesAndTheArchiveItself) {
    fs::create_symlink(data + "/sklad.px", data + "/odkaz.px");
    fs::create_directory_symlink(data, data + "/sub/kruh"); // a circle: not followed
    ASSERT_EQ(::mkfifo((data + "/roura").c_str(), 0600), 0);
    // The archive lies in the folder it packs, and an older one is there.
    const std::string zip = data + "/self.zip";
    WriteFile(zip, "older archive");
    Settings s;
    s.recurse = true;
    Make(zip, data + "/*.*", s);
    const std::set<std::string> names = Names(zip);
    EXPECT_TRUE(names.count(Entry(data + "/odkaz.px")));
    EXPECT_FALSE(names.count(Entry(data + "/sub/kruh/")));
    EXPECT_FALSE(names.count(Entry(data + "/roura")));
    EXPECT_FALSE(names.count(Entry(zip)));
    for (const std::string& n : names) EXPECT_EQ(n.find("self.zip"), std::string::npos) << n;
    EXPECT_EQ(test::UnzipTest(zip).exitCode, 0);
}

TEST_F(ArchivaceTest, TwoFilesUnderOneNameAreAnError) {
    WriteFile(data + "/sub/SKLAD.DB", "other");
    Settings s;
    s.strip = true;
    s.recurse = true;
    try {
        Make(tmp / "dup.zip", data + "/*.*", s);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(e.Message().find("\"SKLAD.DB\""), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find(data + "/sub/SKLAD.DB"), std::string::npos) << e.Message();
    }
    EXPECT_FALSE(fs::exists(tmp / "dup.zip"));
    EXPECT_EQ(FilesIn(tmp.Path()), std::vector<std::string>{"data"}); // no temporary file left

    // The same file through two masks goes in once.
    TArchivace a;
    std::string file = tmp / "twice.zip";
    a.SetArchiveFile(file);
    a.AddMask(data + "/*.px");
    a.AddMask(data + "/sklad.*");
    a.SetStoreFullPath(true);
    a.AddToArchive();
    a.Close();
    EXPECT_EQ(Names(file), (std::set<std::string>{Entry(data + "/SKLAD.DB"), Entry(data + "/sklad.px")}));
}

// Runs the body in a child process after the set-up (which returns false
// when it cannot be done); returns the message of the Error the body raised
// ("" when none).
std::string InChild(const std::function<bool()>& setUp, const std::function<void()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string message;
        if (!setUp()) message = "the set-up failed";
        else try {
                body();
            } catch (const std::exception& e) {
                message = e.what();
            }
        if (!message.empty() && ::write(fds[1], message.data(), message.size()) < 0) _exit(2);
        _exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return out;
}

// As the unprivileged user "nobody" (root reads and writes everything).
std::string AsNobody(const std::function<void()>& body) {
    return InChild([] { return ::setgid(65534) == 0 && ::setuid(65534) == 0; }, body);
}

TEST_F(ArchivaceTest, ErrorsNameThePathAndTheReason) {
    auto failure = [&](const std::string& zip, const std::string& mask) {
        try {
            Make(zip, mask, {});
        } catch (const Error& e) {
            return e.Message();
        }
        return std::string("no error");
    };
    EXPECT_EQ(failure(tmp / "a.zip", tmp / "neni/*.*"),
              "Cannot open folder \"" + (tmp / "neni") + "\". No such file or directory");
    EXPECT_EQ(failure(tmp / "neni/a.zip", data + "/*.*"),
              "Cannot create archive \"" + (tmp / "neni/a.zip") + "\". No such file or directory");
    EXPECT_EQ(failure(data + "/sklad.px/a.zip", data + "/*.*"),
              "Cannot create archive \"" + (data + "/sklad.px/a.zip") + "\". Not a directory");
    EXPECT_EQ(failure(data + "/sub", data + "/*.*"),
              "Cannot create archive \"" + (data + "/sub") + "\". Is a directory");

    // Unreadable files and an unwritable destination, as a user who is
    // refused (root reads and writes everything).
    fs::permissions(tmp.Path(), fs::perms::all);
    fs::permissions(data, fs::perms::all);
    fs::create_directories(tmp / "ro");
    fs::permissions(tmp / "ro", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read |
                                    fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(data + "/SKLAD.DB", fs::perms::owner_read | fs::perms::owner_write);
    const std::string unreadable = AsNobody([&] { Make(tmp / "n.zip", data + "/*.*", {}); });
    EXPECT_EQ(unreadable, "Cannot open file \"" + (data + "/SKLAD.DB") + "\". Permission denied");
    fs::permissions(data + "/SKLAD.DB", fs::perms::all);
    const std::string unwritable = AsNobody([&] { Make(tmp / "ro/n.zip", data + "/*.*", {}); });
    EXPECT_EQ(unwritable, "Cannot create archive \"" + (tmp / "ro/n.zip") + "\". Permission denied");
    EXPECT_FALSE(fs::exists(tmp / "n.zip"));
    EXPECT_TRUE(fs::is_empty(tmp / "ro"));
}

TEST_F(ArchivaceTest, AWriteThatFailsHalfWayLeavesNothingBehind) {
    // The file size limit stands in for a full disk: writes past it fail.
    std::string noise(1 << 20, '\0');
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (char& c : noise) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        c = static_cast<char>(x);
    }
    WriteFile(data + "/NOISE.BIN", noise);
    const std::string zip = tmp / "full.zip";
    WriteFile(zip, "older archive");
    const std::string message = InChild(
        [] {
            struct rlimit limit{256 * 1024, 256 * 1024};
            return ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        },
        [&] { Make(zip, data + "/*.*", {}); });
    EXPECT_EQ(message.rfind("Cannot write archive \"" + zip + "\". ", 0), 0u) << message;
    EXPECT_NE(message.find(SysErrorMessage(EFBIG)), std::string::npos) << message;
    EXPECT_EQ(ReadFile(zip), "older archive");
    EXPECT_EQ(FilesIn(tmp.Path()), (std::vector<std::string>{"data", "full.zip"}));
}

TEST_F(ArchivaceTest, AnOlderArchiveStaysUntilTheNewOneIsClosed) {
    const std::string zip = tmp / "REPORT.FAR";
    const std::string older("older archive \0\x01\xfe", 17);
    WriteFile(zip, older);

    // A failure on the way leaves the older archive as it was, and no other file.
    fs::create_symlink(tmp / "nikam", data + "/zz.db");
    EXPECT_THROW(Make(zip, data + "/*.*", {}), Error);
    EXPECT_EQ(ReadFile(zip), older);
    EXPECT_EQ(FilesIn(tmp.Path()), (std::vector<std::string>{"REPORT.FAR", "data"}));
    fs::remove(data + "/zz.db");

    // Released before Close: abandoned, the older archive stays.
    {
        TArchivace a;
        std::string file = zip;
        a.SetArchiveFile(file);
        a.AddMask(data + "/*.*");
        a.AddToArchive();
        EXPECT_EQ(ReadFile(zip), older);
    }
    EXPECT_EQ(ReadFile(zip), older);
    EXPECT_EQ(FilesIn(tmp.Path()), (std::vector<std::string>{"REPORT.FAR", "data"}));

    // Closed: replaced, with the older archive's permissions.
    fs::permissions(zip, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    Make(zip, data + "/*.*", {});
    EXPECT_EQ(test::UnzipTest(zip).exitCode, 0);
    EXPECT_EQ(fs::status(zip).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(FilesIn(tmp.Path()), (std::vector<std::string>{"REPORT.FAR", "data"}));
}

TEST_F(ArchivaceTest, CallsOutOfOrder) {
    TArchivace a;
    EXPECT_THROW(a.AddToArchive(), Error); // no mask
    a.AddMask(data + "/*.*");
    EXPECT_THROW(a.AddToArchive(), Error); // no archive file
    EXPECT_THROW(a.Close(), Error);        // the failed AddToArchive made nothing
    a.InitParams();
    EXPECT_NO_THROW(a.Close());            // nothing to close
    std::string file = "rel.zip";
    a.SetArchiveFile(file);
    EXPECT_EQ(file, (fs::current_path() / "rel.zip").string()); // the full path is left in the argument
}

} // namespace
} // namespace znx
