#include "archiver/Archivace.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"

namespace znx {
namespace {

// Length of the UTF-8 character starting at s[i] (1 for a stray byte).
size_t CharLen(const std::string& s, size_t i) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (i + n > s.size()) return 1;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

bool Wildcard(const std::string& s, const std::string& p) {
    size_t si = 0, pi = 0, star = std::string::npos, mark = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = si;
        } else if (pi < p.size() && p[pi] == '?') {
            si += CharLen(s, si);
            ++pi;
        } else if (pi < p.size() && p[pi] == s[si]) {
            ++si;
            ++pi;
        } else if (star != std::string::npos) {
            pi = star + 1;
            mark += CharLen(s, mark);
            si = mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    return 022;
}

std::string CannotOpenFile(const std::string& path, int err) {
    return Format(SysText("Cannot open file \"%s\". %s"), path, SysErrorMessage(err));
}

bool Valid83(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || std::strchr("!#$%&'()-@^_`{}~", c) != nullptr;
}

// Closes a descriptor when it goes out of scope.
struct TFdGuard {
    int fd;
    ~TFdGuard() {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace

bool MatchesMask(const std::string& Name, const std::string& Mask) {
    const std::string name = AnsiUpperCase(Name);
    const std::string mask = AnsiUpperCase(Mask);
    if (Wildcard(name, mask)) return true;
    // A trailing ".*" also takes names without any extension ("*.*" all names).
    if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 && name.find('.') == std::string::npos)
        return Wildcard(name, mask.substr(0, mask.size() - 2));
    return false;
}

std::string ShortName83(const std::string& Name, std::set<std::string>& Used) {
    const std::string upper = AnsiUpperCase(Name);
    const size_t dot = upper.find_last_of('.');
    const bool hasExt = dot != std::string::npos && dot > 0;
    const std::string base = hasExt ? upper.substr(0, dot) : upper;
    const std::string ext = hasExt ? upper.substr(dot + 1) : std::string();
    auto allValid = [](const std::string& s) { return std::all_of(s.begin(), s.end(), Valid83); };
    if (!base.empty() && base.size() <= 8 && ext.size() <= 3 && allValid(base) && allValid(ext) &&
        !(hasExt && ext.empty()) && Used.count(upper) == 0) {
        Used.insert(upper);
        return upper;
    }
    // Blanks and dots go, other characters that have no place in a short
    // name become "_" (one per character, not per byte).
    auto squeeze = [](const std::string& s, size_t limit) {
        std::string out;
        for (size_t i = 0; i < s.size() && out.size() < limit; i += CharLen(s, i)) {
            const char c = s[i];
            if (c == ' ' || c == '.') continue;
            out += Valid83(c) ? c : '_';
        }
        return out;
    };
    std::string shortBase = squeeze(base, 8);
    const std::string shortExt = squeeze(ext, 3);
    if (shortBase.empty()) shortBase = "_";
    for (unsigned n = 1;; ++n) {
        const std::string tail = "~" + std::to_string(n);
        const std::string candidate =
            shortBase.substr(0, 8 - std::min<size_t>(8, tail.size())) + tail + (shortExt.empty() ? "" : "." + shortExt);
        if (Used.insert(candidate).second) return candidate;
    }
}

TArchivace::TArchivace() = default;

TArchivace::~TArchivace() { Abandon(); }

void TArchivace::InitParams() {
    Abandon();
    FFailed = false;
    FArchiveFile.clear();
    FMasks.clear();
    FExcludeMasks.clear();
    FStripPath = false;
    FStoreFullPath = false;
    FFormat83 = false;
    FRecurseSubDirs = false;
}

void TArchivace::SetArchiveFile(std::string& FileName) {
    if (FArchive) throw Error(SysText("The archive file cannot change while an archive is being written"));
    FArchiveFile = FileName.empty() ? std::string() : ExpandFileName(FileName);
    FileName = FArchiveFile;
}

void TArchivace::AddMask(const std::string& Mask) {
    if (Mask.empty()) throw Error(SysText("Empty file mask"));
    const size_t slash = Mask.find_last_of('/');
    TMask m;
    m.Folder = ExpandFileName(slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/")
                                                                                          : Mask.substr(0, slash));
    m.Pattern = slash == std::string::npos ? Mask : Mask.substr(slash + 1);
    if (m.Pattern.empty()) m.Pattern = "*.*";
    FMasks.push_back(std::move(m));
}

void TArchivace::AddExcludeMask(const std::string& Mask) {
    if (Mask.empty()) return;
    // A mask with a folder part is matched against the full path of a file.
    FExcludeMasks.push_back(Mask.find('/') != std::string::npos ? ExpandFileName(Mask) : Mask);
}

void TArchivace::SetStripPath(bool Value) { FStripPath = Value; }
void TArchivace::SetStoreFullPath(bool Value) { FStoreFullPath = Value; }
void TArchivace::SetFormat83(bool Value) { FFormat83 = Value; }
void TArchivace::SetRecurseSubDirs(bool Value) { FRecurseSubDirs = Value; }

void TArchivace::Abandon() {
    if (FArchive) {
        archive_write_fail(FArchive);
        archive_write_free(FArchive);
        FArchive = nullptr;
    }
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
    if (!FTempPath.empty()) {
        ::unlink(FTempPath.c_str());
        FTempPath.clear();
    }
    FEntries.clear();
    FShortDirs.clear();
    FShortUsed.clear();
    FBuffer.reset();
}

void TArchivace::FailArchive(const std::string& What) const {
    std::string reason;
    if (FArchive) {
        const int err = archive_errno(FArchive);
        const char* text = archive_error_string(FArchive);
        if (text && *text) reason = text;
        if (err > 0 && (reason.empty() || reason.find(SysErrorMessage(err)) == std::string::npos))
            reason += (reason.empty() ? "" : ": ") + SysErrorMessage(err);
    }
    if (reason.empty()) reason = What;
    throw Error(Format(SysText("Cannot write archive \"%s\". %s"), FTarget, reason));
}

void TArchivace::OpenArchive() {
    if (FArchiveFile.empty()) throw Error(SysText("No archive file has been set"));
    FTarget = FArchiveFile;
    struct stat st;
    FTargetExists = false;
    if (::stat(FTarget.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throw Error(Format(SysText("Cannot create archive \"%s\". %s"), FTarget, SysErrorMessage(EISDIR)));
        FTargetExists = true;
        FTargetDevice = st.st_dev;
        FTargetInode = st.st_ino;
        FTargetMode = st.st_mode & 07777;
    }
    const size_t slash = FTarget.find_last_of('/');
    const std::string folder = slash == 0 ? std::string("/") : FTarget.substr(0, slash);
    std::string tmpl = JoinPath(folder, "." + FTarget.substr(slash + 1) + ".XXXXXX");
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    FFd = ::mkostemp(name.data(), O_CLOEXEC);
    if (FFd < 0)
        throw Error(Format(SysText("Cannot create archive \"%s\". %s"), FTarget, SysErrorMessage(errno)));
    FTempPath = name.data();
    if (::fstat(FFd, &st) == 0) {
        FTempDevice = st.st_dev;
        FTempInode = st.st_ino;
    }
    FArchive = archive_write_new();
    if (!FArchive) throw Error(SysText("Out of memory"));
    if (archive_write_set_format_zip(FArchive) != ARCHIVE_OK ||
        archive_write_set_options(FArchive, "zip:compression=deflate,zip:compression-level=6,zip:hdrcharset=UTF-8") <
            ARCHIVE_WARN ||
        archive_write_set_bytes_per_block(FArchive, static_cast<int>(BlockSize)) != ARCHIVE_OK ||
        archive_write_set_bytes_in_last_block(FArchive, 1) != ARCHIVE_OK ||
        archive_write_open_fd(FArchive, FFd) != ARCHIVE_OK)
        FailArchive(SysText("cannot start the archive"));
    FBuffer = std::make_unique<char[]>(BlockSize);
}

bool TArchivace::Excluded(const std::string& Path, const std::string& FileName) const {
    for (const std::string& mask : FExcludeMasks)
        if (MatchesMask(mask.find('/') != std::string::npos ? Path : FileName, mask)) return true;
    return false;
}

std::string TArchivace::To83(const std::string& Name) {
    std::string longPrefix, shortPrefix;
    size_t start = 0;
    while (start <= Name.size()) {
        size_t end = Name.find('/', start);
        if (end == std::string::npos) end = Name.size();
        const std::string part = Name.substr(start, end - start);
        longPrefix += (longPrefix.empty() ? "" : "/") + part;
        auto known = FShortDirs.find(longPrefix);
        if (known != FShortDirs.end()) {
            shortPrefix = known->second;
        } else {
            const std::string shortPart = ShortName83(part, FShortUsed[shortPrefix]);
            shortPrefix += (shortPrefix.empty() ? "" : "/") + shortPart;
            FShortDirs.emplace(longPrefix, shortPrefix);
        }
        start = end + 1;
    }
    return shortPrefix;
}

std::string TArchivace::EntryName(const std::string& Path, const std::string& Relative, bool Directory) {
    std::string name;
    if (FStripPath) name = BaseName(Path);
    else if (FStoreFullPath) name = Path.substr(Path.find_first_not_of('/') == std::string::npos ? Path.size()
                                                                                               : Path.find_first_not_of('/'));
    else name = Relative;
    if (FFormat83 && !name.empty()) name = To83(name);
    if (Directory) name += '/';
    return name;
}

void TArchivace::AddDirectory(const std::string& Path, const std::string& Relative) {
    if (FStripPath) return;
    const std::string name = EntryName(Path, Relative, true);
    struct stat st;
    if (::stat(Path.c_str(), &st) != 0)
        throw Error(Format(SysText("Cannot open folder \"%s\". %s"), Path, SysErrorMessage(errno)));
    if (!FEntries.emplace(name, TSource{st.st_dev, st.st_ino, Path}).second) return;
    struct archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname_utf8(entry, name.c_str());
    archive_entry_set_filetype(entry, AE_IFDIR);
    archive_entry_set_perm(entry, st.st_mode & 07777);
    archive_entry_set_mtime(entry, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    const int r = archive_write_header(FArchive, entry);
    archive_entry_free(entry);
    if (r < ARCHIVE_WARN) FailArchive(SysText("cannot add a folder entry"));
}

void TArchivace::AddFile(const std::string& Path, const std::string& Relative) {
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) throw Error(CannotOpenFile(Path, errno));
    TFdGuard guard{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0) throw Error(CannotOpenFile(Path, errno));
    if (!S_ISREG(st.st_mode)) return;
    const uint64_t dev = st.st_dev, ino = st.st_ino;
    // Never the archive being written, nor the one it is going to replace.
    if (dev == FTempDevice && ino == FTempInode) return;
    if (FTargetExists && dev == FTargetDevice && ino == FTargetInode) return;

    const std::string name = EntryName(Path, Relative, false);
    auto [it, added] = FEntries.emplace(name, TSource{dev, ino, Path});
    if (!added) {
        if (it->second.Device == dev && it->second.Inode == ino) return; // the same file twice
        throw Error(Format(SysText("Two files would be stored as \"%s\" in archive \"%s\": \"%s\" and \"%s\""), name,
                           FTarget, it->second.Path, Path));
    }
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    struct archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname_utf8(entry, name.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, st.st_mode & 07777);
    archive_entry_set_size(entry, st.st_size);
    archive_entry_set_mtime(entry, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    const int r = archive_write_header(FArchive, entry);
    archive_entry_free(entry);
    if (r < ARCHIVE_WARN) FailArchive(SysText("cannot add an entry"));

    // The size at the start is what the entry holds; a file that grows
    // meanwhile is taken up to that size, one that shrinks fails.
    int64_t remaining = st.st_size;
    char* buffer = FBuffer.get();
    while (remaining > 0) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(remaining, static_cast<int64_t>(BlockSize)));
        const ssize_t n = ::read(fd, buffer, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Error(Format(SysText("Cannot read file \"%s\". %s"), Path, SysErrorMessage(errno)));
        }
        if (n == 0)
            throw Error(Format(SysText("Cannot read file \"%s\". %s"), Path,
                               SysText("The file became shorter while it was being archived")));
        if (archive_write_data(FArchive, buffer, static_cast<size_t>(n)) != n)
            FailArchive(SysText("cannot write the data"));
        remaining -= n;
    }
    if (archive_write_finish_entry(FArchive) < ARCHIVE_WARN) FailArchive(SysText("cannot finish an entry"));
}

void TArchivace::AddFolder(const TMask& Mask, const std::string& Folder, const std::string& Relative) {
    DIR* dir = ::opendir(Folder.c_str());
    if (!dir) throw Error(Format(SysText("Cannot open folder \"%s\". %s"), Folder, SysErrorMessage(errno)));
    std::vector<std::string> names;
    errno = 0;
    while (struct dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
        errno = 0;
    }
    const int err = errno;
    ::closedir(dir);
    if (err) throw Error(Format(SysText("Cannot open folder \"%s\". %s"), Folder, SysErrorMessage(err)));
    std::sort(names.begin(), names.end());

    for (const std::string& name : names) {
        const std::string path = JoinPath(Folder, name);
        const std::string relative = Relative.empty() ? name : Relative + "/" + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno == ENOENT) continue; // gone since the folder was listed
            throw Error(CannotOpenFile(path, errno));
        }
        bool link = S_ISLNK(st.st_mode);
        if (link && ::stat(path.c_str(), &st) != 0) throw Error(CannotOpenFile(path, errno));
        if (S_ISDIR(st.st_mode)) {
            // Linked folders are not followed: they may lead in a circle.
            if (FRecurseSubDirs && !link) {
                AddDirectory(path, relative);
                AddFolder(Mask, path, relative);
            }
        } else if (S_ISREG(st.st_mode)) {
            if (MatchesMask(name, Mask.Pattern) && !Excluded(path, name)) AddFile(path, relative);
        }
        // Devices, pipes and sockets hold no file data to keep.
    }
}

void TArchivace::AddToArchive() {
    if (FMasks.empty()) throw Error(SysText("No files to archive: no file mask has been given"));
    try {
        if (!FArchive) {
            FFailed = false;
            OpenArchive();
        }
        for (const TMask& mask : FMasks) AddFolder(mask, mask.Folder, "");
    } catch (...) {
        // A half-written archive is of no use: it goes at once.
        Abandon();
        FFailed = true;
        throw;
    }
}

void TArchivace::Close() {
    if (!FArchive) {
        if (FFailed) throw Error(Format(SysText("Archive \"%s\" was not made: adding the files failed"), FTarget));
        return;
    }
    try {
        if (archive_write_close(FArchive) != ARCHIVE_OK) FailArchive(SysText("cannot finish the archive"));
        archive_write_free(FArchive);
        FArchive = nullptr;
        int err = 0;
        const mode_t mode = FTargetExists ? static_cast<mode_t>(FTargetMode) : (0666 & ~CurrentUmask());
        if (::fchmod(FFd, mode) != 0) err = errno;
        if (!err && ::fsync(FFd) != 0) err = errno;
        if (::close(FFd) != 0 && !err) err = errno;
        FFd = -1;
        if (!err && ::rename(FTempPath.c_str(), FTarget.c_str()) != 0) err = errno;
        if (err) throw Error(Format(SysText("Cannot write archive \"%s\". %s"), FTarget, SysErrorMessage(err)));
        FTempPath.clear();
        const size_t slash = FTarget.find_last_of('/');
        const std::string folder = slash == 0 ? std::string("/") : FTarget.substr(0, slash);
        const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            (void)::fsync(dfd);
            ::close(dfd);
        }
        Abandon(); // clears the per-archive state; nothing is left to remove
    } catch (...) {
        Abandon();
        FFailed = true;
        throw;
    }
}

} // namespace znx
