#pragma once
// Hive files in the text format of regedit exports: the tree of keys and
// values of one root held in memory, the reader of exports and the writer.
//
// Key and value names compare without regard to letter case (AnsiUpperCase)
// and keep the case they were created with; keys and values keep the order
// in which they were stored. Value data are the raw bytes the registry holds:
// string types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) in UTF-16LE with their
// terminating NULs.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry.h"

namespace znx::regfile {

struct TValue {
    std::string Name;
    uint32_t Type = REG_NONE;
    std::string Data;
};

class TKeyNode {
public:
    explicit TKeyNode(std::string Name = {}) : FName(std::move(Name)) {}
    TKeyNode(const TKeyNode&) = delete;
    TKeyNode& operator=(const TKeyNode&) = delete;

    const std::string& Name() const { return FName; }
    const std::vector<TValue>& Values() const { return FValues; }
    size_t SubKeyCount() const { return FSubKeys.size(); }
    const TKeyNode& SubKey(size_t i) const { return *FSubKeys[i]; }

    TKeyNode* FindSubKey(std::string_view Name);
    const TKeyNode* FindSubKey(std::string_view Name) const;
    // The sub-key of that name, created (appended) when missing.
    TKeyNode& AddSubKey(const std::string& Name, bool& Created);
    bool DeleteSubKey(std::string_view Name);

    const TValue* FindValue(std::string_view Name) const;
    // Sets or adds the value (an existing one keeps its place and the case of
    // its name); true when anything changed.
    bool SetValue(const std::string& Name, uint32_t Type, const std::string& Data);
    bool DeleteValue(std::string_view Name);

private:
    std::string FName;
    std::vector<TValue> FValues;
    std::vector<std::unique_ptr<TKeyNode>> FSubKeys;
    std::unordered_map<std::string, size_t> FValueIndex; // folded name -> position
    std::unordered_map<std::string, size_t> FKeyIndex;
};

// The keys of one root.
class THive {
public:
    explicit THive(TRootKey Root) : FRoot(Root) {}
    TRootKey Root() const { return FRoot; }
    TKeyNode& Top() { return FTop; }
    const TKeyNode& Top() const { return FTop; }

    const TKeyNode* Find(const std::vector<std::string>& Path) const;
    TKeyNode* Find(const std::vector<std::string>& Path);
    // Creates every missing key on the way; Created tells whether any was.
    TKeyNode& Create(const std::vector<std::string>& Path, bool& Created);
    // Deletes the key with its sub-keys; false when it did not exist (the
    // root itself cannot be deleted).
    bool Delete(const std::vector<std::string>& Path);

    // Applies one change; true when the hive changed. The change must be of
    // this hive's root.
    bool Apply(const TRegChange& Change);

private:
    TRootKey FRoot;
    TKeyNode FTop;
};

// "Software\ZNX\\KORLSRV\" -> {"Software", "ZNX", "KORLSRV"}; empty parts dropped.
std::vector<std::string> SplitKeyPath(std::string_view Path);
std::string JoinKeyPath(const std::vector<std::string>& Parts);

// Whether a key or value name can be stored in a hive file: valid UTF-8
// without line breaks (and, for key names, without a backslash).
bool KeyNameStorable(std::string_view Name);
bool ValueNameStorable(std::string_view Name);

// The root named in an export ("HKEY_LOCAL_MACHINE", "HKLM", any case).
bool ParseRootName(std::string_view Name, TRootKey& Root);

// Reads the content of a hive file of the root. Raises Error
// "Registry file "<file>", line <n>: <what>" on bad input, also for a key
// of another root. An empty file is an empty hive.
std::unique_ptr<THive> ReadHive(const std::string& Bytes, const std::string& FileName, TRootKey Root);
// The hive as a regedit export: UTF-8, the version 5 header, keys in tree
// order (parents first, siblings in stored order), values in stored order.
std::string WriteHive(const THive& Hive);

// UTF-8 <-> UTF-16LE bytes. Utf8ToUtf16Le is false on invalid UTF-8;
// Utf16LeToUtf8 is false on an odd size or an unpaired surrogate.
bool Utf8ToUtf16Le(std::string_view Text, std::string& Bytes);
bool Utf16LeToUtf8(std::string_view Bytes, std::string& Text);

} // namespace znx::regfile
