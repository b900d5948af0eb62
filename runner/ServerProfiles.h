#pragma once
// Server profiles: how to reach the servers of the task kinds 1 to 3.
//
// Kinds 1 and 2 are kept by the server products under "Software\ZNX\KORLSRV"
// and "Software\ZNX\KASTLSRV": the scrambled binary value "CONNECTION" in
// the key itself; "PORT", "CTIMEOUT", "DIRSHAREDROOT", "INDEX",
// "ADOTIMEOUT", "DATAPATH" and "CSL" (the connection's byte length) as text
// in its sub-key "OPTIONS"; the ADO aliases as text values of "ALIASADO".
// Kind 3 is the editor's connection string, "ADOString" in the sub-key
// "Planora" of "Software\ZNX". Each profile is read from the machine-wide
// hive first and, when that gives no connection text, from the user's.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace znx {

class TSrvOptions {
public:
    std::string Port;
    int32_t CTimeout = 0;
    int32_t AdoTimeout = 0;
    std::vector<std::string> Aliases; // "name=value" lines
    std::string ConnectionText;
    std::string DirSharedRoot;
    std::string DataPath;
    int32_t Index = 0;
};

// Reads the profile of kind 1, 2 or 3 (machine-wide first, then the user's);
// true when it has a connection text.
bool LoadServerProfile(int Kind, TSrvOptions& Profile);

// Where a loaded profile's connection text came from.
enum class TProfileSource { psNone, psMachine, psUser };

// LoadServerProfile that also tells the hive the connection text came from.
// With CanCreate false it creates no missing keys; what it reads is the same,
// since a key it would create is empty.
bool LoadServerProfile(int Kind, TSrvOptions& Profile, bool CanCreate, TProfileSource& Source);

// "Software\ZNX\KORLSRV", "Software\ZNX\KASTLSRV", "Software\ZNX" for the
// kinds 1, 2, 3; empty for any other kind.
std::string ProfileKeyPath(int Kind);

// A registry object with full access, rooted in HKEY_CURRENT_USER when
// UserHive, else HKEY_LOCAL_MACHINE, with the key path open (missing keys
// created when CanCreate). When the key cannot be opened (or created) with
// full access, no key is open and every value of the profile reads as
// missing.
std::unique_ptr<TRegistry> OpenProfileKey(const std::string& Path, bool UserHive, bool CanCreate = true);

// Fills the profile from the open profile key (defaults first); true when it
// got a connection text. Raises "Invalid data type for '%s'" for a value of
// the wrong type and "Failed to get data for '%s'" for one the registry
// does not deliver.
bool ReadServerProfile(TSrvOptions& Profile, TRegistry& Key, int Kind);

// The defaults of the kind; DirSharedRoot is left as it is.
void SetProfileDefaults(TSrvOptions& Profile, int Kind);

// Each byte XOR the fixed key "Nothing to see here today" (cycled); its own
// inverse.
std::string ScrambleText(const std::string& Text);

// The names the profiles are stored under.
namespace ProfileNames {
inline constexpr const char* Options = "OPTIONS";
inline constexpr const char* Aliases = "ALIASADO";
inline constexpr const char* Editor = "Planora";
inline constexpr const char* Connection = "CONNECTION";
inline constexpr const char* ConnectionLength = "CSL";
inline constexpr const char* AdoString = "ADOString";
inline constexpr const char* Port = "PORT";
inline constexpr const char* CTimeout = "CTIMEOUT";
inline constexpr const char* DirSharedRoot = "DIRSHAREDROOT";
inline constexpr const char* Index = "INDEX";
inline constexpr const char* AdoTimeout = "ADOTIMEOUT";
inline constexpr const char* DataPath = "DATAPATH";
} // namespace ProfileNames

} // namespace znx
