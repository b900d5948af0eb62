// The registry on Windows: the system's registry through the wide-character
// calls, names and strings converted from and to the ANSI code page. Keys
// are opened in the 32-bit view (KEY_WOW64_32KEY), so a 64-bit build reads
// and writes the same product keys as the 32-bit programs.
#include "platform/registry.h"

#include <windows.h>
#undef DeleteFile

// The system's root handles, taken before their macros give way to the
// names of TRootKey.
namespace {
const HKEY kClassesRoot = HKEY_CLASSES_ROOT;
const HKEY kCurrentUser = HKEY_CURRENT_USER;
const HKEY kLocalMachine = HKEY_LOCAL_MACHINE;
} // namespace
#undef HKEY_CLASSES_ROOT
#undef HKEY_CURRENT_USER
#undef HKEY_LOCAL_MACHINE

#include <cstring>

#include "platform/error.h"
#include "platform/regfile.h"
#include "platform/text.h"

namespace znx {
namespace {

constexpr REGSAM kView = KEY_WOW64_32KEY;

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Narrow(const wchar_t* text, size_t chars) {
    if (chars == 0) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(chars), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(chars), out.data(), n, nullptr, nullptr);
    return out;
}

// The wide text of a string value's bytes, up to its first NUL.
std::string StringOfData(const std::string& data) {
    const size_t units = data.size() / 2;
    std::wstring w(units, L'\0');
    if (units) std::memcpy(w.data(), data.data(), units * 2);
    const size_t nul = w.find(L'\0');
    if (nul != std::wstring::npos) w.resize(nul);
    return Narrow(w.data(), w.size());
}

std::string DataOfString(const std::string& text) {
    const std::wstring w = Wide(text);
    std::string data(reinterpret_cast<const char*>(w.data()), w.size() * 2);
    data.append(2, '\0');
    return data;
}

HKEY RootHandle(TRootKey Root) {
    switch (Root) {
    case TRootKey::HKEY_CLASSES_ROOT: return kClassesRoot;
    case TRootKey::HKEY_LOCAL_MACHINE: return kLocalMachine;
    case TRootKey::HKEY_CURRENT_USER: break;
    }
    return kCurrentUser;
}

std::wstring KeyPath(const std::string& Key) { return Wide(regfile::JoinKeyPath(regfile::SplitKeyPath(Key))); }

std::string InvalidDataType(const std::string& Name) { return Format("Invalid data type for '%s'", Name); }
std::string SetDataFailed(const std::string& Name) { return Format("Failed to set data for '%s'", Name); }
std::string GetDataFailed(const std::string& Name) { return Format("Failed to get data for '%s'", Name); }

TRegDataType DataTypeOf(DWORD RawType) {
    switch (RawType) {
    case REG_SZ: return TRegDataType::rdString;
    case REG_EXPAND_SZ: return TRegDataType::rdExpandString;
    case REG_DWORD: return TRegDataType::rdInteger;
    case REG_BINARY: return TRegDataType::rdBinary;
    default: return TRegDataType::rdUnknown;
    }
}

// A value's type and bytes; false when it is missing.
bool QueryValue(HKEY Key, const std::string& Name, DWORD& Type, std::string& Data) {
    const std::wstring name = Wide(Name);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = 0;
        if (RegQueryValueExW(Key, name.c_str(), nullptr, &Type, nullptr, &size) != ERROR_SUCCESS) return false;
        Data.assign(size, '\0');
        const LONG rc = RegQueryValueExW(Key, name.c_str(), nullptr, &Type,
                                         reinterpret_cast<BYTE*>(Data.data()), &size);
        if (rc == ERROR_SUCCESS) {
            Data.resize(size);
            return true;
        }
        if (rc != ERROR_MORE_DATA) return false; // changed in between: ask again
    }
    return false;
}

bool SetValue(HKEY Key, const std::string& Name, DWORD Type, const std::string& Data) {
    return RegSetValueExW(Key, Wide(Name).c_str(), 0, Type, reinterpret_cast<const BYTE*>(Data.data()),
                          static_cast<DWORD>(Data.size())) == ERROR_SUCCESS;
}

// Deletes the key with everything below it; true when it is gone.
bool DeleteTree(HKEY Root, const std::wstring& Path) {
    HKEY k = nullptr;
    LONG rc = RegOpenKeyExW(Root, Path.c_str(), 0, KEY_ALL_ACCESS | kView, &k);
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    rc = RegDeleteTreeW(k, nullptr);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS) return false;
    rc = RegDeleteKeyExW(Root, Path.c_str(), kView, 0);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

} // namespace

struct TRegistry::Impl {
    TRootKey Root = TRootKey::HKEY_CURRENT_USER;
    uint32_t Access = KEY_ALL_ACCESS;
    HKEY Key = nullptr;
    std::string Path;

    ~Impl() { Close(); }
    void Close() {
        if (Key) RegCloseKey(Key);
        Key = nullptr;
        Path.clear();
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
    const std::wstring path = KeyPath(Key);
    const REGSAM sam = static_cast<REGSAM>(FImpl->Access) | kView;
    HKEY k = nullptr;
    LONG rc;
    if (CanCreate && !path.empty()) {
        rc = RegCreateKeyExW(RootHandle(FImpl->Root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr,
                             &k, nullptr);
    } else {
        rc = RegOpenKeyExW(RootHandle(FImpl->Root), path.c_str(), 0, sam, &k);
    }
    if (rc != ERROR_SUCCESS) return false;
    FImpl->Close();
    FImpl->Key = k;
    FImpl->Path = regfile::JoinKeyPath(regfile::SplitKeyPath(Key));
    return true;
}

bool TRegistry::KeyExists(const std::string& Key) {
    HKEY k = nullptr;
    const LONG rc = RegOpenKeyExW(RootHandle(FImpl->Root), KeyPath(Key).c_str(), 0, KEY_READ | kView, &k);
    if (rc == ERROR_SUCCESS) RegCloseKey(k);
    return rc == ERROR_SUCCESS || rc == ERROR_ACCESS_DENIED; // there, but not for us to read
}

void TRegistry::CloseKey() { FImpl->Close(); }

std::string TRegistry::CurrentPath() const { return FImpl->Key ? FImpl->Path : ""; }
bool TRegistry::KeyOpen() const { return FImpl->Key != nullptr; }

bool TRegistry::ValueExists(const std::string& Name) {
    return FImpl->Key &&
           RegQueryValueExW(FImpl->Key, Wide(Name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

TRegDataType TRegistry::GetDataType(const std::string& Name) {
    DWORD type = 0;
    if (!FImpl->Key ||
        RegQueryValueExW(FImpl->Key, Wide(Name).c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
        return TRegDataType::rdUnknown;
    return DataTypeOf(type);
}

bool TRegistry::GetDataInfo(const std::string& Name, uint32_t& RawType, uint32_t& DataSize) {
    DWORD type = 0, size = 0;
    if (!FImpl->Key ||
        RegQueryValueExW(FImpl->Key, Wide(Name).c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    RawType = type;
    DataSize = size;
    return true;
}

bool TRegistry::ReadRawValue(const std::string& Name, uint32_t& RawType, std::string& Data) {
    DWORD type = 0;
    if (!FImpl->Key || !QueryValue(FImpl->Key, Name, type, Data)) return false;
    RawType = type;
    return true;
}

std::string TRegistry::ReadString(const std::string& Name) {
    DWORD type = 0;
    std::string data;
    if (!FImpl->Key || !QueryValue(FImpl->Key, Name, type, data)) return "";
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw Error(InvalidDataType(Name));
    return StringOfData(data);
}

size_t TRegistry::ReadBinaryData(const std::string& Name, void* Buffer, size_t BufSize) {
    DWORD type = 0;
    std::string data;
    if (!FImpl->Key || !QueryValue(FImpl->Key, Name, type, data)) return 0;
    const TRegDataType kind = DataTypeOf(type);
    if ((kind != TRegDataType::rdBinary && kind != TRegDataType::rdUnknown) || data.size() > BufSize)
        throw Error(InvalidDataType(Name));
    if (!data.empty()) std::memcpy(Buffer, data.data(), data.size());
    return data.size();
}

int32_t TRegistry::ReadInteger(const std::string& Name) {
    DWORD type = 0;
    std::string data;
    if (!FImpl->Key || !QueryValue(FImpl->Key, Name, type, data)) throw Error(GetDataFailed(Name));
    if (type != REG_DWORD) throw Error(InvalidDataType(Name));
    if (data.size() != 4) throw Error(GetDataFailed(Name));
    uint32_t bits = 0;
    std::memcpy(&bits, data.data(), 4);
    return static_cast<int32_t>(bits);
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
    WriteRawValue(Name, REG_SZ, DataOfString(Value));
}

void TRegistry::WriteExpandString(const std::string& Name, const std::string& Value) {
    WriteRawValue(Name, REG_EXPAND_SZ, DataOfString(Value));
}

void TRegistry::WriteBinaryData(const std::string& Name, const void* Buffer, size_t BufSize) {
    WriteRawValue(Name, REG_BINARY, std::string(static_cast<const char*>(Buffer), BufSize));
}

void TRegistry::WriteInteger(const std::string& Name, int32_t Value) {
    std::string data(4, '\0');
    const auto bits = static_cast<uint32_t>(Value);
    std::memcpy(data.data(), &bits, 4);
    WriteRawValue(Name, REG_DWORD, data);
}

void TRegistry::WriteRawValue(const std::string& Name, uint32_t RawType, const std::string& Data) {
    // The system refuses a key that was not opened with write access.
    if (!FImpl->Key || !SetValue(FImpl->Key, Name, RawType, Data)) throw Error(SetDataFailed(Name));
}

bool TRegistry::DeleteValue(const std::string& Name) {
    return FImpl->Key && RegDeleteValueW(FImpl->Key, Wide(Name).c_str()) == ERROR_SUCCESS;
}

bool TRegistry::DeleteKey(const std::string& Key) {
    const std::wstring path = KeyPath(Key);
    if (path.empty() || !KeyExists(Key)) return false;
    return DeleteTree(RootHandle(FImpl->Root), path);
}

void TRegistry::GetValueNames(std::vector<std::string>& Names) {
    Names.clear();
    if (!FImpl->Key) return;
    DWORD count = 0, longest = 0;
    if (RegQueryInfoKeyW(FImpl->Key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::wstring buf(longest + 1, L'\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD len = static_cast<DWORD>(buf.size());
        if (RegEnumValueW(FImpl->Key, i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        Names.push_back(Narrow(buf.data(), len));
    }
}

void TRegistry::GetKeyNames(std::vector<std::string>& Names) {
    Names.clear();
    if (!FImpl->Key) return;
    DWORD count = 0, longest = 0;
    if (RegQueryInfoKeyW(FImpl->Key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::wstring buf(longest + 1, L'\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD len = static_cast<DWORD>(buf.size());
        if (RegEnumKeyExW(FImpl->Key, i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        Names.push_back(Narrow(buf.data(), len));
    }
}

std::string RegistryStoreName(TRootKey Root) { return RootKeyName(Root); }

bool RegistryStoreWritable(TRootKey Root) {
    HKEY k = nullptr;
    const LONG rc = RegOpenKeyExW(RootHandle(Root), L"", 0, KEY_WRITE | kView, &k);
    if (rc == ERROR_SUCCESS) RegCloseKey(k);
    return rc == ERROR_SUCCESS;
}

void ApplyRegistryChanges(const std::vector<TRegChange>& Changes) {
    // The system's registry has no batch of changes: they are applied in
    // order, and the first that fails stops the rest with its error.
    for (const TRegChange& c : Changes) {
        const HKEY root = RootHandle(c.Root);
        const std::wstring path = KeyPath(c.Key);
        HKEY k = nullptr;
        switch (c.Kind) {
        case TRegChange::ckCreateKey:
        case TRegChange::ckSetValue: {
            if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | kView,
                                nullptr, &k, nullptr) != ERROR_SUCCESS)
                throw Error(Format("Failed to create key %s", c.Key));
            const bool ok = c.Kind == TRegChange::ckCreateKey || SetValue(k, c.Name, c.RawType, c.Data);
            RegCloseKey(k);
            if (!ok) throw Error(SetDataFailed(c.Name));
            break;
        }
        case TRegChange::ckDeleteKey:
            if (path.empty() || !DeleteTree(root, path)) throw Error(Format("Failed to delete key %s", c.Key));
            break;
        case TRegChange::ckDeleteValue:
            if (RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | kView, &k) == ERROR_SUCCESS) {
                const LONG rc = RegDeleteValueW(k, Wide(c.Name).c_str());
                RegCloseKey(k);
                if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
                    throw Error(Format("Failed to delete value '%s'", c.Name));
            }
            break;
        }
    }
}

} // namespace znx
