// The registry on Linux: one hive file per root in the text format of regedit
// exports (platform/regfile.h).
//
// Reading needs no lock: a hive file is only ever replaced whole (temporary
// file + rename), so a reader sees either the old or the new content. Parsed
// hives are kept per file and parsed again when the file's identity, size or
// modification time changes. Every change takes an advisory lock (flock on
// "<hive>.lock" beside the hive), reads the hive again under the lock,
// applies the change and writes the hive atomically, so processes that
// change one hive at the same time never lose each other's values. A hive
// that does not parse is reported (file and line) and never written.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/regfile.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace znx {
namespace {

using regfile::THive;
using regfile::TKeyNode;
using regfile::TValue;

// Access bits that ask for more than reading.
constexpr uint32_t kWriteBits = 0x0002 /*KEY_SET_VALUE*/ | 0x0004 /*KEY_CREATE_SUB_KEY*/ |
                                0x0020 /*KEY_CREATE_LINK*/ | 0x00010000 /*DELETE*/ | 0x00040000 /*WRITE_DAC*/ |
                                0x00080000 /*WRITE_OWNER*/ | 0x10000000 /*GENERIC_ALL*/ |
                                0x40000000 /*GENERIC_WRITE*/;

bool WantsWrite(uint32_t Access) { return (Access & kWriteBits) != 0; }

std::string EnvOr(const char* Name, const std::string& Default) {
    const char* v = std::getenv(Name);
    return v && *v ? std::string(v) : Default;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
    throw Error("No home folder is known for the user's registry file (set HOME or ZNX_USER_REG)");
}

std::string HivePath(TRootKey Root) {
    switch (Root) {
    case TRootKey::HKEY_LOCAL_MACHINE:
        return EnvOr("ZNX_MACHINE_REG", "/etc/znx/machine.reg");
    case TRootKey::HKEY_CLASSES_ROOT:
        return EnvOr("ZNX_CLASSES_REG", "/etc/znx/classes.reg");
    case TRootKey::HKEY_CURRENT_USER:
        break;
    }
    if (const char* v = std::getenv("ZNX_USER_REG"); v && *v) return v;
    std::string config;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && x[0] == '/') config = x;
    else config = HomeFolder() + "/.config";
    return config + "/znx/user.reg";
}

std::string FolderOf(const std::string& Path) {
    std::string dir = std::filesystem::path(Path).parent_path().string();
    return dir.empty() ? "." : dir;
}

// The file a write must replace: the target of a symbolic link, so that the
// link stays a link.
std::string WritePath(const std::string& Path) {
    std::error_code ec;
    std::filesystem::path p(Path);
    for (int depth = 0; depth < 32 && std::filesystem::is_symlink(p, ec); ++depth) {
        std::filesystem::path target = std::filesystem::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return p.lexically_normal().string();
}

// Creates the missing folders of the path (only the owner may enter them).
void MakeFolders(const std::string& Folder) {
    std::string partial;
    for (const auto& part : std::filesystem::path(Folder)) {
        partial = partial.empty() ? part.string() : (std::filesystem::path(partial) / part).string();
        if (partial == "/") continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
}

// Whether this process may replace the hive file: write the folder (the
// temporary file) and, when the file exists, read and write it.
bool HiveWritable(const std::string& Path) {
    const std::string path = WritePath(Path);
    const std::string dir = FolderOf(path);
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (::access(dir.c_str(), W_OK | X_OK) != 0) return false;
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return false;
        return ::access(path.c_str(), R_OK | W_OK) == 0;
    }
    return errno == ENOENT;
}

// ---- parsed hives ------------------------------------------------------------

struct TSignature {
    dev_t Dev = 0;
    ino_t Ino = 0;
    off_t Size = 0;
    long long MSec = 0, MNsec = 0;
    bool operator==(const TSignature&) const = default;
};

TSignature SignatureOf(const struct stat& St) {
    return {St.st_dev, St.st_ino, St.st_size, static_cast<long long>(St.st_mtim.tv_sec),
            static_cast<long long>(St.st_mtim.tv_nsec)};
}

struct TCacheEntry {
    TSignature Signature;
    std::shared_ptr<const THive> Hive;
};

std::mutex g_cacheMutex;
std::map<std::string, TCacheEntry> g_cache;

enum class TLoad { Ok, Unreadable };

// Reads the whole open file; false on a read error.
bool ReadFd(int Fd, std::string& Content) {
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(Fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        Content.append(buf, static_cast<size_t>(n));
    }
}

// The hive as stored now: empty when the file does not exist; null with
// Unreadable when it cannot be read. Raises the parse error of a bad file.
std::shared_ptr<const THive> LoadHive(TRootKey Root, const std::string& Path, TLoad& Status) {
    Status = TLoad::Ok;
    int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::make_shared<THive>(Root);
        Status = TLoad::Unreadable;
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Status = TLoad::Unreadable;
        return nullptr;
    }
    const TSignature sig = SignatureOf(st);
    {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        auto it = g_cache.find(Path);
        if (it != g_cache.end() && it->second.Signature == sig && it->second.Hive->Root() == Root) {
            ::close(fd);
            return it->second.Hive;
        }
    }
    std::string content;
    const bool ok = ReadFd(fd, content);
    ::close(fd);
    if (!ok) {
        Status = TLoad::Unreadable;
        return nullptr;
    }
    std::shared_ptr<const THive> hive = regfile::ReadHive(content, Path, Root);
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_cache[Path] = {sig, hive};
    return hive;
}

class TLockFile {
public:
    explicit TLockFile(const std::string& HiveFile) {
        const std::string path = HiveFile + ".lock";
        FFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (FFd < 0) FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (FFd < 0) throw Error(Format("Cannot create file \"%s\". %s", path, SysErrorMessage(errno)));
        while (::flock(FFd, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(FFd);
            throw Error(Format("Cannot lock file \"%s\". %s", path, SysErrorMessage(err)));
        }
    }
    ~TLockFile() { ::close(FFd); } // closing releases the lock
    TLockFile(const TLockFile&) = delete;
    TLockFile& operator=(const TLockFile&) = delete;

private:
    int FFd = -1;
};

// One change of a hive: lock, read again, change, write when changed.
// Change returns whether it changed anything.
void ChangeHive(TRootKey Root, const std::function<bool(THive&)>& Change) {
    const std::string named = HivePath(Root);
    if (Root == TRootKey::HKEY_CURRENT_USER) MakeFolders(FolderOf(named));
    if (!HiveWritable(named))
        throw Error(Format("Registry file \"%s\" cannot be written by this process", named));
    const std::string path = WritePath(named);
    TLockFile lock(path);

    std::unique_ptr<THive> hive;
    bool exists = true;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) throw Error(Format("Cannot open file \"%s\". %s", path, SysErrorMessage(errno)));
        exists = false;
        hive = std::make_unique<THive>(Root);
    } else {
        std::string content;
        const bool ok = ReadFd(fd, content);
        const int err = errno;
        ::close(fd);
        if (!ok) throw Error(Format("Cannot open file \"%s\". %s", path, SysErrorMessage(err)));
        hive = regfile::ReadHive(content, named, Root);
    }
    if (!Change(*hive)) return;
    if (!exists) {
        // A new hive is readable by its owner only: it can hold passwords.
        // The replace below keeps the mode of this placeholder.
        int nfd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (nfd >= 0) ::close(nfd);
    }
    ReplaceWholeFile(path, regfile::WriteHive(*hive));
    struct stat st;
    std::shared_ptr<const THive> written(std::move(hive));
    std::lock_guard<std::mutex> guard(g_cacheMutex);
    if (::stat(path.c_str(), &st) == 0) {
        g_cache[named] = {SignatureOf(st), written}; // under the lock nobody else has written since
        if (path != named) g_cache.erase(path);
    } else {
        g_cache.erase(named);
    }
}

std::string InvalidDataType(const std::string& Name) { return Format("Invalid data type for '%s'", Name); }
std::string SetDataFailed(const std::string& Name) { return Format("Failed to set data for '%s'", Name); }

TRegDataType DataTypeOf(uint32_t RawType) {
    switch (RawType) {
    case REG_SZ: return TRegDataType::rdString;
    case REG_EXPAND_SZ: return TRegDataType::rdExpandString;
    case REG_DWORD: return TRegDataType::rdInteger;
    case REG_BINARY: return TRegDataType::rdBinary;
    default: return TRegDataType::rdUnknown;
    }
}

} // namespace

// ---- the class ----------------------------------------------------------------

struct TRegistry::Impl {
    TRootKey Root = TRootKey::HKEY_CURRENT_USER;
    uint32_t Access = KEY_ALL_ACCESS;
    bool Open = false;
    std::vector<std::string> Path;

    // The open key as stored now; null when none is open or it is gone. Hive
    // keeps the tree alive while the node is used.
    const TKeyNode* Current(std::shared_ptr<const THive>& Hive) const {
        if (!Open) return nullptr;
        TLoad status;
        Hive = LoadHive(Root, HivePath(Root), status);
        return Hive ? Hive->Find(Path) : nullptr;
    }
    const TValue* Value(const std::string& Name, std::shared_ptr<const THive>& Hive) const {
        const TKeyNode* node = Current(Hive);
        return node ? node->FindValue(Name) : nullptr;
    }
    void Write(const std::string& Name, uint32_t Type, const std::string& Data) {
        if (!Open || !WantsWrite(Access) || !regfile::ValueNameStorable(Name)) throw Error(SetDataFailed(Name));
        const std::vector<std::string> path = Path;
        ChangeHive(Root, [&](THive& h) {
            bool created = false;
            return h.Create(path, created).SetValue(Name, Type, Data) || created;
        });
    }
};

TRegistry::TRegistry(uint32_t Access) : FImpl(std::make_unique<Impl>()) { FImpl->Access = Access; }
TRegistry::~TRegistry() = default;

TRootKey TRegistry::RootKey() const { return FImpl->Root; }
void TRegistry::SetRootKey(TRootKey Root) {
    CloseKey();
    FImpl->Root = Root;
}
uint32_t TRegistry::Access() const { return FImpl->Access; }
void TRegistry::SetAccess(uint32_t Access) { FImpl->Access = Access; }

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
    const std::vector<std::string> path = regfile::SplitKeyPath(Key);
    const std::string hivePath = HivePath(FImpl->Root);
    if (WantsWrite(FImpl->Access)) {
        if (FImpl->Root == TRootKey::HKEY_CURRENT_USER) MakeFolders(FolderOf(hivePath));
        if (!HiveWritable(hivePath)) return false;
    }
    TLoad status;
    std::shared_ptr<const THive> hive = LoadHive(FImpl->Root, hivePath, status);
    if (!hive) return false;
    if (!hive->Find(path)) {
        if (!CanCreate) return false;
        for (const std::string& part : path)
            if (!regfile::KeyNameStorable(part)) return false;
        if (!HiveWritable(hivePath)) return false;
        ChangeHive(FImpl->Root, [&](THive& h) {
            bool created = false;
            h.Create(path, created);
            return created;
        });
    }
    FImpl->Open = true;
    FImpl->Path = path;
    return true;
}

bool TRegistry::KeyExists(const std::string& Key) {
    TLoad status;
    std::shared_ptr<const THive> hive = LoadHive(FImpl->Root, HivePath(FImpl->Root), status);
    return hive && hive->Find(regfile::SplitKeyPath(Key)) != nullptr;
}

void TRegistry::CloseKey() {
    FImpl->Open = false;
    FImpl->Path.clear();
}

std::string TRegistry::CurrentPath() const { return FImpl->Open ? regfile::JoinKeyPath(FImpl->Path) : ""; }
bool TRegistry::KeyOpen() const { return FImpl->Open; }

bool TRegistry::ValueExists(const std::string& Name) {
    std::shared_ptr<const THive> hive;
    return FImpl->Value(Name, hive) != nullptr;
}

TRegDataType TRegistry::GetDataType(const std::string& Name) {
    std::shared_ptr<const THive> hive;
    const TValue* v = FImpl->Value(Name, hive);
    return v ? DataTypeOf(v->Type) : TRegDataType::rdUnknown;
}

bool TRegistry::GetDataInfo(const std::string& Name, uint32_t& RawType, uint32_t& DataSize) {
    std::shared_ptr<const THive> hive;
    const TValue* v = FImpl->Value(Name, hive);
    if (!v) return false;
    RawType = v->Type;
    DataSize = static_cast<uint32_t>(v->Data.size());
    return true;
}

bool TRegistry::ReadRawValue(const std::string& Name, uint32_t& RawType, std::string& Data) {
    std::shared_ptr<const THive> hive;
    const TValue* v = FImpl->Value(Name, hive);
    if (!v) return false;
    RawType = v->Type;
    Data = v->Data;
    return true;
}

std::string TRegistry::ReadString(const std::string& Name) {
    std::shared_ptr<const THive> hive;
    const TValue* v = FImpl->Value(Name, hive);
    if (!v) return "";
    if (v->Type != REG_SZ && v->Type != REG_EXPAND_SZ) throw Error(InvalidDataType(Name));
    return RegStringFromData(v->Data);
}

size_t TRegistry::ReadBinaryData(const std::string& Name, void* Buffer, size_t BufSize) {
    std::shared_ptr<const THive> hive;
    const TValue* v = FImpl->Value(Name, hive);
    if (!v) return 0;
    const TRegDataType type = DataTypeOf(v->Type);
    if ((type != TRegDataType::rdBinary && type != TRegDataType::rdUnknown) || v->Data.size() > BufSize)
        throw Error(InvalidDataType(Name));
    if (!v->Data.empty()) std::memcpy(Buffer, v->Data.data(), v->Data.size());
    return v->Data.size();
}

int32_t TRegistry::ReadInteger(const std::string& Name) {
    std::shared_ptr<const THive> hive;
    const TValue* v = FImpl->Value(Name, hive);
    if (!v) throw Error(Format("Failed to get data for '%s'", Name));
    if (v->Type != REG_DWORD) throw Error(InvalidDataType(Name));
    if (v->Data.size() != 4) throw Error(Format("Failed to get data for '%s'", Name));
    uint32_t bits = 0;
    for (int k = 3; k >= 0; --k) bits = (bits << 8) | static_cast<unsigned char>(v->Data[static_cast<size_t>(k)]);
    return static_cast<int32_t>(bits);
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
    std::string data;
    if (!regfile::Utf8ToUtf16Le(Value, data)) throw Error(SetDataFailed(Name));
    data.append(2, '\0');
    FImpl->Write(Name, REG_SZ, data);
}

void TRegistry::WriteExpandString(const std::string& Name, const std::string& Value) {
    std::string data;
    if (!regfile::Utf8ToUtf16Le(Value, data)) throw Error(SetDataFailed(Name));
    data.append(2, '\0');
    FImpl->Write(Name, REG_EXPAND_SZ, data);
}

void TRegistry::WriteBinaryData(const std::string& Name, const void* Buffer, size_t BufSize) {
    FImpl->Write(Name, REG_BINARY, std::string(static_cast<const char*>(Buffer), BufSize));
}

void TRegistry::WriteInteger(const std::string& Name, int32_t Value) {
    const auto bits = static_cast<uint32_t>(Value);
    std::string data;
    for (int k = 0; k < 4; ++k) data += static_cast<char>((bits >> (8 * k)) & 0xFF);
    FImpl->Write(Name, REG_DWORD, data);
}

void TRegistry::WriteRawValue(const std::string& Name, uint32_t RawType, const std::string& Data) {
    FImpl->Write(Name, RawType, Data);
}

bool TRegistry::DeleteValue(const std::string& Name) {
    if (!FImpl->Open || !WantsWrite(FImpl->Access)) return false;
    {
        std::shared_ptr<const THive> hive;
        if (!FImpl->Value(Name, hive)) return false;
    }
    if (!HiveWritable(HivePath(FImpl->Root))) return false;
    bool deleted = false;
    const std::vector<std::string> path = FImpl->Path;
    ChangeHive(FImpl->Root, [&](THive& h) {
        TKeyNode* node = h.Find(path);
        deleted = node && node->DeleteValue(Name);
        return deleted;
    });
    return deleted;
}

bool TRegistry::DeleteKey(const std::string& Key) {
    const std::vector<std::string> path = regfile::SplitKeyPath(Key);
    if (path.empty() || !KeyExists(Key)) return false;
    if (!HiveWritable(HivePath(FImpl->Root))) return false;
    bool deleted = false;
    ChangeHive(FImpl->Root, [&](THive& h) {
        deleted = h.Delete(path);
        return deleted;
    });
    return deleted;
}

void TRegistry::GetValueNames(std::vector<std::string>& Names) {
    Names.clear();
    std::shared_ptr<const THive> hive;
    if (const TKeyNode* node = FImpl->Current(hive))
        for (const TValue& v : node->Values()) Names.push_back(v.Name);
}

void TRegistry::GetKeyNames(std::vector<std::string>& Names) {
    Names.clear();
    std::shared_ptr<const THive> hive;
    if (const TKeyNode* node = FImpl->Current(hive))
        for (size_t i = 0; i < node->SubKeyCount(); ++i) Names.push_back(node->SubKey(i).Name());
}

// ---- free functions --------------------------------------------------------------

std::string RegistryStoreName(TRootKey Root) { return HivePath(Root); }

bool RegistryStoreWritable(TRootKey Root) {
    const std::string path = HivePath(Root);
    if (Root == TRootKey::HKEY_CURRENT_USER) MakeFolders(FolderOf(path));
    return HiveWritable(path);
}

void ApplyRegistryChanges(const std::vector<TRegChange>& Changes) {
    std::vector<TRootKey> roots;
    for (const TRegChange& c : Changes) {
        for (const std::string& part : regfile::SplitKeyPath(c.Key))
            if (!regfile::KeyNameStorable(part)) throw Error(Format("Failed to create key %s", c.Key));
        if (c.Kind == TRegChange::ckSetValue && !regfile::ValueNameStorable(c.Name))
            throw Error(SetDataFailed(c.Name));
        bool seen = false;
        for (TRootKey r : roots) seen = seen || r == c.Root;
        if (!seen) roots.push_back(c.Root);
    }
    for (TRootKey root : roots) {
        ChangeHive(root, [&](THive& h) {
            bool changed = false;
            for (const TRegChange& c : Changes)
                if (c.Root == root) changed = h.Apply(c) || changed;
            return changed;
        });
    }
}

} // namespace znx
