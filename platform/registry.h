#pragma once
// The registry: a TRegistry-like class over the Windows registry, or on Linux
// over hive files in the text format of regedit exports (HKEY_LOCAL_MACHINE
// in /etc/znx/machine.reg or $ZNX_MACHINE_REG, HKEY_CURRENT_USER in
// ${XDG_CONFIG_HOME:-~/.config}/znx/user.reg or $ZNX_USER_REG).
//
// Key paths are written with backslashes ("Software\ZNX\Planora"); key and
// value names compare without regard to letter case and keep the case they
// were created with. Errors are znx::Error.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace znx {

enum class TRootKey { HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };

// Access masks (the Windows values).
inline constexpr uint32_t KEY_READ = 0x20019;
inline constexpr uint32_t KEY_WRITE = 0x20006;
inline constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

// The data type of a value.
enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

// Raw registry value types (REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3,
// REG_DWORD = 4, REG_MULTI_SZ = 7, REG_QWORD = 11, ...).
inline constexpr uint32_t REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4,
                          REG_MULTI_SZ = 7, REG_QWORD = 11;

class TRegistry {
public:
    // Root HKEY_CURRENT_USER, as the platform's class starts.
    explicit TRegistry(uint32_t Access = KEY_ALL_ACCESS);
    ~TRegistry(); // closes the key
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    TRootKey RootKey() const;
    void SetRootKey(TRootKey Root); // closes an open key
    uint32_t Access() const;
    void SetAccess(uint32_t Access);

    // Opens the key below the root with the object's access, creating every
    // missing key on the way when CanCreate. False when the key is missing
    // (and not to be created) or cannot be opened with that access; on
    // Linux, write access needs the right to write the hive file.
    bool OpenKey(const std::string& Key, bool CanCreate);
    bool KeyExists(const std::string& Key);
    void CloseKey();
    // The open key's path below the root; empty when none is open.
    std::string CurrentPath() const;

    bool ValueExists(const std::string& Name);
    // rdUnknown for a missing value or one of another type.
    TRegDataType GetDataType(const std::string& Name);
    // The raw type and the data size in bytes; false when the value is missing.
    bool GetDataInfo(const std::string& Name, uint32_t& RawType, uint32_t& DataSize);

    // String or expandable string, up to its first NUL; "" when missing.
    // Raises "Invalid data type for '%s'" for a value of any other type.
    std::string ReadString(const std::string& Name);
    // Copies at most BufSize bytes of a binary value; returns the count.
    // Raises "Invalid data type for '%s'" when the value is not binary or
    // holds more bytes than BufSize. As in the platform's class, values of a
    // type it reports as rdUnknown (REG_NONE, REG_MULTI_SZ, REG_QWORD ...)
    // count as binary; 0 for a missing value.
    size_t ReadBinaryData(const std::string& Name, void* Buffer, size_t BufSize);
    // A 32-bit number value; raises "Invalid data type for '%s'" otherwise.
    int32_t ReadInteger(const std::string& Name);

    // Writes raise Error when the key was not opened with write access or
    // the store cannot be written.
    void WriteString(const std::string& Name, const std::string& Value);
    void WriteExpandString(const std::string& Name, const std::string& Value);
    void WriteBinaryData(const std::string& Name, const void* Buffer, size_t BufSize);
    void WriteInteger(const std::string& Name, int32_t Value);
    bool DeleteValue(const std::string& Name);
    bool DeleteKey(const std::string& Key);

    // The open key's value names, in stored order; its sub-key names.
    void GetValueNames(std::vector<std::string>& Names);
    void GetKeyNames(std::vector<std::string>& Names);

    // True while a key is open (CurrentPath is empty also for the root).
    bool KeyOpen() const;
    // A value as the registry stores it: its raw type and its bytes (string
    // types in UTF-16LE with their terminating NUL). False when missing.
    bool ReadRawValue(const std::string& Name, uint32_t& RawType, std::string& Data);
    // Stores a value of any raw type with exactly these bytes.
    void WriteRawValue(const std::string& Name, uint32_t RawType, const std::string& Data);

    struct Impl;

private:
    std::unique_ptr<Impl> FImpl;
};

// The raw bytes of a string value (UTF-16LE) as text in the system code page,
// up to the first NUL; and a text as such bytes, NUL included.
std::string RegStringFromData(const std::string& Data);
std::string RegDataFromString(const std::string& Text);

// Where a root's keys are kept: on Linux the hive file
// ($ZNX_MACHINE_REG or /etc/znx/machine.reg, $ZNX_USER_REG or
// ${XDG_CONFIG_HOME:-$HOME/.config}/znx/user.reg, $ZNX_CLASSES_REG or
// /etc/znx/classes.reg); on Windows the root's name.
std::string RegistryStoreName(TRootKey Root);
// Whether this process may change the root's keys, which opening a key with
// write access needs (on Linux: replace the hive file; the user's folder is
// created when missing).
bool RegistryStoreWritable(TRootKey Root);
// The root's name as regedit writes it ("HKEY_LOCAL_MACHINE", ...).
std::string RootKeyName(TRootKey Root);

// One change of a batch, as a regedit export describes it: a key created
// ([key]) or deleted with its sub-keys ([-key]), a value set ("name"=...)
// or deleted ("name"=-). Key paths are below the root; Name "" is the
// default value (@). Data holds the raw bytes (see ReadRawValue).
struct TRegChange {
    enum TKind { ckCreateKey, ckDeleteKey, ckSetValue, ckDeleteValue };
    TKind Kind = ckCreateKey;
    TRootKey Root = TRootKey::HKEY_CURRENT_USER;
    std::string Key;
    std::string Name;
    uint32_t RawType = REG_NONE;
    std::string Data;
    int Line = 0; // the line of the export it came from, 0 when built in code
};

// Reads a regedit export (UTF-16LE with BOM or UTF-8; the header
// "Windows Registry Editor Version 5.00" or "REGEDIT4") into its changes, in
// file order. Raises Error naming SourceName and the line on bad input.
std::vector<TRegChange> ParseRegistryExport(const std::string& Bytes, const std::string& SourceName);

// Applies the changes in order. On Linux every hive involved is locked,
// re-read, changed and written once, atomically: all changes of one hive
// land together or none does.
void ApplyRegistryChanges(const std::vector<TRegChange>& Changes);

} // namespace znx
