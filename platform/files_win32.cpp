// File services on Windows: the Win32 file calls with names in the ANSI code
// page, the real Windows folder and the read-only attribute.
#include "files.h"

#include <windows.h>
#undef DeleteFile // znx::DeleteFile, not the system's macro

#include <atomic>
#include <string_view>

#include "error.h"
#include "process.h"
#include "text.h"

namespace znx {
namespace {

std::string CannotOpen(const std::string& path, DWORD err) {
    return Format(SysText("Cannot open file \"%s\". %s"), path, SysErrorMessage(static_cast<int>(err)));
}
std::string CannotCreate(const std::string& path, DWORD err) {
    return Format(SysText("Cannot create file \"%s\". %s"), path, SysErrorMessage(static_cast<int>(err)));
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    bool Close() {
        if (!Valid()) return true;
        const bool ok = CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

bool WriteAll(HANDLE h, const char* data, size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(h, data, chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    std::string dir = ExtractFileDir(path);
    return dir.empty() ? std::string(".") : dir;
}

std::string NameOf(const std::string& path) {
    const size_t i = path.find_last_of("\\/:");
    return i == std::string::npos ? path : path.substr(i + 1);
}

// The attributes a replacement takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

} // namespace

std::string SysErrorMessage(int code) {
    char* buf = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                   nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&buf), 0,
                                   nullptr);
    std::string text = n && buf ? std::string(buf, n) : std::string();
    if (buf) LocalFree(buf);
    // The system's texts end with a full stop and a line break.
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) text.pop_back();
    if (text.empty()) text = Format("System error %d", code);
    return text;
}

bool FileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileWritable(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) return !(a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
    const DWORD d = GetFileAttributesA(FolderOf(path).c_str());
    return d != INVALID_FILE_ATTRIBUTES && (d & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadWholeFile(const std::string& path) {
    Handle h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) throw Error(CannotOpen(path, GetLastError()));
    std::string content;
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h.Get(), buf, sizeof buf, &n, nullptr)) throw Error(CannotOpen(path, GetLastError()));
        if (n == 0) break;
        content.append(buf, n);
    }
    return content;
}

void ReplaceWholeFile(const std::string& path, const std::string& content) {
    const DWORD old = GetFileAttributesA(path.c_str());
    const bool existed = old != INVALID_FILE_ATTRIBUTES;
    if (existed && (old & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        throw Error(CannotCreate(path, ERROR_ACCESS_DENIED)); // a folder, or a read-only file

    // A temporary file in the same folder, so that the rename stays on one volume.
    static std::atomic<unsigned> counter{0};
    const std::string dir = FolderOf(path);
    const std::string sep = (dir.back() == '\\' || dir.back() == '/' || dir.back() == ':') ? "" : "\\";
    std::string tmp;
    HANDLE raw = INVALID_HANDLE_VALUE;
    DWORD err = 0;
    for (int attempt = 0; attempt < 100 && raw == INVALID_HANDLE_VALUE; ++attempt) {
        tmp = dir + sep + "~" + NameOf(path) + "." + std::to_string(GetCurrentProcessId()) + "." +
              std::to_string(counter++) + ".tmp";
        raw = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw == INVALID_HANDLE_VALUE) {
            err = GetLastError();
            if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) break;
        }
    }
    if (raw == INVALID_HANDLE_VALUE) throw Error(CannotCreate(path, err));
    Handle h(raw);
    err = 0;
    if (!WriteAll(h.Get(), content.data(), content.size())) err = GetLastError();
    if (!err && !FlushFileBuffers(h.Get())) err = GetLastError();
    if (!h.Close() && !err) err = GetLastError();
    if (!err && existed && (old & kKeptAttributes) && !SetFileAttributesA(tmp.c_str(), old & kKeptAttributes))
        err = GetLastError();
    if (!err && !MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        err = GetLastError();
    if (err) {
        SetFileAttributesA(tmp.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(tmp.c_str());
        throw Error(CannotCreate(path, err));
    }
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
    // Append access only: the system puts each write whole at the end of the
    // file, so lines of two processes appending to one log never interleave.
    Handle h(CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) throw Error(CannotOpen(path, GetLastError()));
    if (bytes.size() > 0xFFFFFFFFu) return false;
    DWORD written = 0;
    bool ok = WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    if (!h.Close()) ok = false;
    return ok;
}

bool DeleteFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

std::string WindowsDirectory() {
    // A buffer of 260 characters; a longer folder is reported as a length
    // above 260 and is an error like no folder at all.
    char buf[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryA(buf, MAX_PATH);
    if (n == 0 || n > MAX_PATH) throw Error(SysText("Unable to retrieve Windows directory"));
    return std::string(buf, n);
}

std::string ExpandFileName(const std::string& path) {
    if (path.empty()) return path;
    std::string buf(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
        if (n == 0) return path;
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(n + 1);
    }
}

bool IsBareFileName(const std::string& path) { return path.find_first_of("\\:") == std::string::npos; }

bool FileNamesIgnoreCase() { return true; }

} // namespace znx
