// Temporary folders and child processes on Windows.
#include "TestSupport.h"

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace znx::test {

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void SetEnv(const std::string& name, const std::string& value) {
    _putenv_s(name.c_str(), value.c_str()); // an empty value removes the variable
}

TempDir::TempDir() {
    char base[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(MAX_PATH, base);
    if (n == 0 || n > MAX_PATH) throw std::runtime_error("GetTempPath failed");
    std::string dir(base, n);
    if (dir.back() != '\\') dir += '\\';
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string candidate = dir + "znxtest." + std::to_string(GetCurrentProcessId()) + "." +
                                std::to_string(GetTickCount() % 100000) + "." + std::to_string(counter++);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw std::runtime_error("cannot create a temporary folder in " + dir);
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files of a test would stop the removal.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(path_, ec);
}

namespace {

// One argument quoted by the rules the C runtime splits a command line by.
std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string out = "\"";
    for (size_t i = 0;; ++i) {
        size_t backslashes = 0;
        while (i < arg.size() && arg[i] == '\\') {
            ++i;
            ++backslashes;
        }
        if (i == arg.size()) {
            out.append(backslashes * 2, '\\');
            break;
        }
        if (arg[i] == '"') {
            out.append(backslashes * 2 + 1, '\\');
            out += '"';
        } else {
            out.append(backslashes, '\\');
            out += arg[i];
        }
    }
    return out + "\"";
}

// The current environment with the changes (an empty value removes one).
std::string EnvironmentBlock(const std::map<std::string, std::string>& changes) {
    std::map<std::string, std::string, bool (*)(const std::string&, const std::string&)> vars(
        [](const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) < 0; });
    char* env = GetEnvironmentStringsA();
    for (const char* p = env; p && *p; p += std::strlen(p) + 1) {
        std::string entry(p);
        const size_t eq = entry.find('=', 1); // "=C:=C:\..." entries start with '='
        if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    if (env) FreeEnvironmentStringsA(env);
    for (const auto& [k, v] : changes) {
        if (v.empty()) vars.erase(k);
        else vars[k] = v;
    }
    std::string block;
    for (const auto& [k, v] : vars) {
        block += k + "=" + v;
        block += '\0';
    }
    block += '\0';
    return block;
}

// Appends what the pipe holds now, without waiting for more.
void TakeAvailable(HANDLE h, std::string& s) {
    char buf[4096];
    DWORD avail = 0;
    while (PeekNamedPipe(h, nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
        DWORD n = 0;
        if (!::ReadFile(h, buf, avail < sizeof buf ? avail : static_cast<DWORD>(sizeof buf), &n, nullptr) || n == 0)
            break;
        s.append(buf, n);
    }
}

} // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env, const std::string& workDir) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) || !CreatePipe(&errRead, &errWrite, &inherit, 0))
        throw std::runtime_error("CreatePipe failed");
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                             nullptr);

    std::string cmd;
    for (const auto& a : argv) cmd += (cmd.empty() ? "" : " ") + QuoteArgument(a);
    std::string block = EnvironmentBlock(env);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessA(argv.at(0).c_str(), cmd.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                                        block.data(), workDir.empty() ? nullptr : workDir.c_str(), &si, &pi);
    const DWORD startError = GetLastError();
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    ProcessResult r;
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        r.exitCode = 127;
        r.err = "cannot start " + argv[0] + " (error " + std::to_string(startError) + ")";
        return r;
    }
    // The output is collected until the process ends, not until the pipes
    // close: a helper process the system starts on the child's behalf (under
    // Wine the desktop process) may inherit the pipes and hold them open.
    for (;;) {
        const DWORD w = WaitForSingleObject(pi.hProcess, 5);
        TakeAvailable(outRead, r.out);
        TakeAvailable(errRead, r.err);
        if (w != WAIT_TIMEOUT) break;
    }
    TakeAvailable(outRead, r.out);
    TakeAvailable(errRead, r.err);
    CloseHandle(outRead);
    CloseHandle(errRead);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    r.exitCode = static_cast<int>(code);
    return r;
}

} // namespace znx::test
