#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "error.h"
#include "text.h"

namespace znx {
namespace {

std::string CannotOpen(const std::string& path, int err) {
    return Format(SysText("Cannot open file \"%s\". %s"), path, SysErrorMessage(err));
}
std::string CannotCreate(const std::string& path, int err) {
    return Format(SysText("Cannot create file \"%s\". %s"), path, SysErrorMessage(err));
}

mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    return 022;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string SysErrorMessage(int code) { return std::strerror(code); }

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FileWritable(const std::string& path) {
    if (::access(path.c_str(), F_OK) == 0) return ::access(path.c_str(), W_OK) == 0;
    std::string dir = std::filesystem::path(path).parent_path().string();
    if (dir.empty()) dir = ".";
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

std::string ReadWholeFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Error(CannotOpen(path, errno));
    std::string content;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            throw Error(CannotOpen(path, err));
        }
        if (n == 0) break;
        content.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return content;
}

void ReplaceWholeFile(const std::string& path, const std::string& content) {
    std::string dir = std::filesystem::path(path).parent_path().string();
    if (dir.empty()) dir = ".";
    std::string tmpl = dir + "/." + std::filesystem::path(path).filename().string() + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) throw Error(CannotCreate(path, errno));
    std::string tmp(name.data());

    struct stat old;
    bool existed = ::stat(path.c_str(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode)) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw Error(CannotCreate(path, EISDIR));
    }
    int err = 0;
    if (existed) {
        (void)::fchown(fd, old.st_uid, old.st_gid); // keeps the owner where we may
        if (::fchmod(fd, old.st_mode & 07777) != 0) err = errno;
    } else if (::fchmod(fd, 0666 & ~CurrentUmask()) != 0) {
        err = errno;
    }
    if (!err && !WriteAll(fd, content.data(), content.size())) err = errno;
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && existed && ::access(path.c_str(), W_OK) != 0) err = errno; // honour a read-only file
    if (!err && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(tmp.c_str());
        throw Error(CannotCreate(path, err));
    }
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw Error(CannotOpen(path, errno));
    // One write call: O_APPEND makes it land whole at the end, so lines of two
    // processes appending to one file never interleave.
    ssize_t n;
    do {
        n = ::write(fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    bool ok = n == static_cast<ssize_t>(bytes.size());
    if (::close(fd) != 0) ok = false;
    return ok;
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string WindowsDirectory() {
    const char* env = std::getenv("ZNX_WINDOWS_DIR");
    std::string dir = env ? env : "/etc/znx";
    // The same bounds as the Windows call's buffer of 260 characters.
    if (dir.empty() || dir.size() > 260) throw Error(SysText("Unable to retrieve Windows directory"));
    return dir;
}

std::string ExpandFileName(const std::string& path) {
    if (path.empty()) return path;
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec) p = path;
    std::string out = p.lexically_normal().string();
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

bool IsBareFileName(const std::string& path) { return path.find('/') == std::string::npos; }

bool FileNamesIgnoreCase() { return false; }

} // namespace znx
