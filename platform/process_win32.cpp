// The running process on Windows. The parameters are the argv the C runtime
// built from the command line by the Windows rules (quotes, backslashes), in
// the ANSI code page.
#include "process.h"

#include <windows.h>

#include "error.h"
#include "files.h"

namespace znx {
namespace {
std::vector<std::string>& Params() {
    static std::vector<std::string> params;
    return params;
}
bool IsDelimiter(char c) { return c == '\\' || c == '/' || c == ':'; }
} // namespace

void SetCommandLine(int argc, char** argv) {
    std::vector<std::string> p;
    for (int i = 0; i < argc; ++i) p.emplace_back(argv[i]);
    SetCommandLine(std::move(p));
}

void SetCommandLine(std::vector<std::string> params) { Params() = std::move(params); }

int ParamCount() { return Params().empty() ? 0 : static_cast<int>(Params().size()) - 1; }

std::string ParamStr(int index) {
    if (index < 0 || static_cast<size_t>(index) >= Params().size()) return {};
    return Params()[static_cast<size_t>(index)];
}

std::string ExecutablePath() {
    std::string buf(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            throw Error("Cannot determine the executable path: " + SysErrorMessage(static_cast<int>(GetLastError())));
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 2); // truncated: a longer path
    }
}

char PathDelim() { return '\\'; }

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    size_t nameStart = path.find_last_of("\\/:");
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return path + ext;
    return path.substr(0, dot) + ext;
}

std::string ExtractFileDir(const std::string& path) {
    size_t i = path.find_last_of("\\/:");
    if (i == std::string::npos) return {};
    // "C:" and "C:\" keep what makes them a root; other folders lose the delimiter.
    if (path[i] == ':') return path.substr(0, i + 1);
    if (i == 0 || path[i - 1] == ':' || IsDelimiter(path[i - 1])) return path.substr(0, i + 1);
    return path.substr(0, i);
}

} // namespace znx
