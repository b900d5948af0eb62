#include "TestSupport.h"

#include "platform/error.h"
#include "platform/process.h"
#include "platform/text.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace znx::test {

std::string TempDir::operator/(const std::string& name) const { return path_ + PathDelim() + name; }

std::string Sys(const std::string& utf8) { return SysText(utf8); }
std::string Utf8(const std::string& sysText) { return SysTextToUtf8(sysText); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out << content;
}

bool Exists(const std::string& path) { return fs::exists(path); }

std::string CopyExecutable(const std::string& source, const std::string& dir, const std::string& name) {
    fs::path target = fs::path(dir) / (name.empty() ? fs::path(source).filename() : fs::path(name));
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    return target.string();
}

std::string MaskTimestamps(const std::string& log) {
    // ISO form (the C locale), or a regional short date such as "7. 1. 2025"
    // or "1/7/2025" with an optional long time such as "9:05:03" or "9:05:03 AM".
    static const std::regex stamp(R"((^|\n)(\d{4}-\d{2}-\d{2}|\d{1,2}[./-] ?\d{1,2}[./-] ?\d{4})( \d{1,2}:\d{2}:\d{2}( [AP]M)?)?: )");
    return std::regex_replace(log, stamp, "$1<T>: ");
}

std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string ErrorOf(const std::function<void()>& body) {
    try {
        body();
    } catch (const Error& e) {
        return e.Message();
    }
    return "(no error)";
}

ScopedEnv::ScopedEnv(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const char* value = std::getenv(name.c_str());
        saved_.emplace_back(name, value ? value : "");
    }
}

ScopedEnv::~ScopedEnv() {
    for (const auto& [name, value] : saved_) SetEnv(name, value);
}

} // namespace znx::test
