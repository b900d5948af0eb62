#pragma once
// Helpers shared by the test suites.

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace znx::test {

// A fresh temporary folder, removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // The path of a name inside the folder, joined with the platform's delimiter.
    std::string operator/(const std::string& name) const;

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool Exists(const std::string& path);

struct ProcessResult {
    int exitCode = -1; // the exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs a program with the arguments (argv[0] included) and extra environment
// variables (an empty value removes the variable), waits for it and
// captures its output.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env = {},
                         const std::string& workDir = {});

// Copies the executable into the folder (keeping its mode); returns the copy.
std::string CopyExecutable(const std::string& source, const std::string& dir,
                           const std::string& name = {});

// The log text with the date and time before each ": " replaced by "<T>".
std::string MaskTimestamps(const std::string& log);

// Text with every "\n" turned into "\r\n" (fixtures are written with "\n").
std::string Crlf(const std::string& text);

// True when the Windows build runs under Wine.
bool UnderWine();

// Sets a variable of this process's environment; an empty value removes it.
void SetEnv(const std::string& name, const std::string& value);

// Keeps the named environment variables for a test's time: they are put
// back as they were (an empty one counts as unset) when the object goes.
class ScopedEnv {
public:
    explicit ScopedEnv(const std::vector<std::string>& names);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

// Test texts are UTF-8; the system's files and messages are in the system
// code page (UTF-8 on Linux, the ANSI code page on Windows).
std::string Sys(const std::string& utf8);     // UTF-8 -> system code page
std::string Utf8(const std::string& sysText); // system code page -> UTF-8

// The message of the Error the body raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& body);

#ifndef _WIN32
// Runs the body in a child process as the user nobody (when this process is
// root, so that file permissions bind); its exit code, 100 and up when the
// switch or the body itself failed.
int RunAsNobody(const std::function<int()>& body);
#endif

// True on the Windows build: selects the Windows-side variant of tests whose
// expected behaviour differs by platform.
#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

} // namespace znx::test
