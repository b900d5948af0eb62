#include "process.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits.h>

#include "error.h"

namespace znx {
namespace {
std::vector<std::string>& Params() {
    static std::vector<std::string> params;
    return params;
}
} // namespace

void SetCommandLine(int argc, char** argv) {
    std::vector<std::string> p;
    for (int i = 0; i < argc; ++i) p.emplace_back(argv[i]);
    SetCommandLine(std::move(p));
}

void SetCommandLine(std::vector<std::string> params) { Params() = std::move(params); }

int ParamCount() {
    return Params().empty() ? 0 : static_cast<int>(Params().size()) - 1;
}

std::string ParamStr(int index) {
    if (index < 0 || static_cast<size_t>(index) >= Params().size()) return {};
    return Params()[static_cast<size_t>(index)];
}

std::string ExecutablePath() {
    char buf[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0)
        throw Error("Cannot determine the executable path: " + std::string(std::strerror(errno)));
    return std::string(buf, static_cast<size_t>(n));
}

char PathDelim() { return '/'; }

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    size_t nameStart = path.find_last_of(PathDelim());
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return path + ext;
    return path.substr(0, dot) + ext;
}

std::string ExtractFileDir(const std::string& path) {
    size_t slash = path.find_last_of(PathDelim());
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

} // namespace znx
