#include "runner/ServerProfiles.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/text.h"

namespace znx {
namespace {

const char kScrambleKey[] = "Nothing to see here today";
constexpr size_t kScrambleKeyLength = sizeof kScrambleKey - 1; // 25

std::string InvalidDataType(const std::string& Name) {
    return Format(SysText("Invalid data type for '%s'"), Name);
}
std::string FailedToGetData(const std::string& Name) {
    return Format(SysText("Failed to get data for '%s'"), Name);
}

bool IsStringType(uint32_t RawType) { return RawType == REG_SZ || RawType == REG_EXPAND_SZ; }

// The string value Name of the sub-key (empty: of the key itself) of the
// open profile key. The sub-key is opened for this one read, with full
// access, and never created. False when the key, the sub-key or the value is
// missing; a value of zero length is the empty text.
bool ReadText(TRegistry& Key, const std::string& SubKey, const std::string& Name, std::string& Text) {
    if (!Key.KeyOpen()) return false;
    TRegistry sub(KEY_ALL_ACCESS);
    sub.SetRootKey(Key.RootKey());
    std::string path = Key.CurrentPath();
    if (!SubKey.empty()) path = path.empty() ? SubKey : path + "\\" + SubKey;
    if (!sub.OpenKey(path, false)) return false;
    uint32_t type = REG_NONE, size = 0;
    if (!sub.GetDataInfo(Name, type, size)) return false;
    if (!IsStringType(type)) throw Error(InvalidDataType(Name));
    Text.clear();
    if (size == 0) return true;
    std::string raw;
    if (!sub.ReadRawValue(Name, type, raw)) throw Error(FailedToGetData(Name));
    if (!IsStringType(type)) throw Error(InvalidDataType(Name));
    Text = RegStringFromData(raw); // up to the first NUL
    return true;
}

void ReadTextField(TRegistry& Key, const std::string& SubKey, const std::string& Name, std::string& Field) {
    std::string text;
    if (ReadText(Key, SubKey, Name, text)) Field = text;
}

// Decimal text (hexadecimal after "$" or "0x"); anything else keeps the field.
void ReadIntegerField(TRegistry& Key, const std::string& SubKey, const std::string& Name, int32_t& Field) {
    std::string text;
    int32_t value;
    if (ReadText(Key, SubKey, Name, text) && TryStrToInt(text, value)) Field = value;
}

// The scrambled connection text: the binary value "CONNECTION" of the key
// itself, at most Length bytes. A value holding more bytes than Length, or
// one of a string or number type, is an error; a shorter one gives the bytes
// it holds, a missing one nothing.
std::string ReadConnection(TRegistry& Key, int32_t Length) {
    const std::string name = ProfileNames::Connection;
    uint32_t type = REG_NONE, size = 0;
    if (!Key.GetDataInfo(name, type, size)) return {};
    if (size > static_cast<uint32_t>(Length)) throw Error(InvalidDataType(name));
    std::string buffer(size, '\0');
    const size_t count = Key.ReadBinaryData(name, buffer.data(), buffer.size());
    buffer.resize(std::min(count, buffer.size()));
    return buffer;
}

void ReadAliases(TRegistry& Key, std::vector<std::string>& Aliases) {
    if (!Key.KeyOpen()) return;
    TRegistry sub(KEY_ALL_ACCESS);
    sub.SetRootKey(Key.RootKey());
    if (!sub.OpenKey(Key.CurrentPath() + "\\" + ProfileNames::Aliases, false)) return;
    std::vector<std::string> names;
    sub.GetValueNames(names);
    sub.CloseKey();
    for (const std::string& name : names) {
        std::string text;
        if (ReadText(Key, ProfileNames::Aliases, name, text) && !text.empty()) Aliases.push_back(name + "=" + text);
    }
}

} // namespace

std::string ProfileKeyPath(int Kind) {
    switch (Kind) {
    case 1: return "Software\\ZNX\\KORLSRV";
    case 2: return "Software\\ZNX\\KASTLSRV";
    case 3: return "Software\\ZNX";
    default: return {};
    }
}

void SetProfileDefaults(TSrvOptions& Profile, int Kind) {
    Profile.Port = Kind == 1 ? "2106" : Kind == 2 ? "2107" : "";
    Profile.CTimeout = 300;
    Profile.AdoTimeout = 30;
    Profile.Aliases.clear();
    Profile.ConnectionText.clear();
    Profile.Index = 1;
    Profile.DataPath = "C:\\MSSQL7\\DATA";
    // DirSharedRoot stays: a user's profile without it keeps the machine-wide one.
}

std::string ScrambleText(const std::string& Text) {
    std::string out(Text);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) ^
                                   static_cast<unsigned char>(kScrambleKey[i % kScrambleKeyLength]));
    return out;
}

std::unique_ptr<TRegistry> OpenProfileKey(const std::string& Path, bool UserHive, bool CanCreate) {
    auto reg = std::make_unique<TRegistry>(KEY_ALL_ACCESS);
    reg->SetRootKey(UserHive ? TRootKey::HKEY_CURRENT_USER : TRootKey::HKEY_LOCAL_MACHINE);
    if (!Path.empty()) reg->OpenKey(Path, CanCreate); // not opened: every value reads as missing
    return reg;
}

bool ReadServerProfile(TSrvOptions& Profile, TRegistry& Key, int Kind) {
    SetProfileDefaults(Profile, Kind);
    if (Kind == 3) {
        ReadTextField(Key, ProfileNames::Editor, ProfileNames::AdoString, Profile.ConnectionText);
        return !Profile.ConnectionText.empty();
    }
    const std::string options = ProfileNames::Options;
    ReadTextField(Key, options, ProfileNames::Port, Profile.Port);
    ReadIntegerField(Key, options, ProfileNames::CTimeout, Profile.CTimeout);
    ReadTextField(Key, options, ProfileNames::DirSharedRoot, Profile.DirSharedRoot);
    ReadIntegerField(Key, options, ProfileNames::Index, Profile.Index);
    ReadIntegerField(Key, options, ProfileNames::AdoTimeout, Profile.AdoTimeout);
    ReadTextField(Key, options, ProfileNames::DataPath, Profile.DataPath);
    int32_t length = 0;
    ReadIntegerField(Key, options, ProfileNames::ConnectionLength, length);
    if (length > 0) Profile.ConnectionText = ScrambleText(ReadConnection(Key, length));
    else Profile.ConnectionText.clear();
    ReadAliases(Key, Profile.Aliases);
    return !Profile.ConnectionText.empty();
}

bool LoadServerProfile(int Kind, TSrvOptions& Profile, bool CanCreate, TProfileSource& Source) {
    Source = TProfileSource::psNone;
    const std::string path = ProfileKeyPath(Kind);
    {
        std::unique_ptr<TRegistry> key = OpenProfileKey(path, false, CanCreate);
        if (ReadServerProfile(Profile, *key, Kind)) {
            Source = TProfileSource::psMachine;
            return true;
        }
    }
    std::unique_ptr<TRegistry> key = OpenProfileKey(path, true, CanCreate);
    const bool result = ReadServerProfile(Profile, *key, Kind);
    if (result) Source = TProfileSource::psUser;
    return result;
}

bool LoadServerProfile(int Kind, TSrvOptions& Profile) {
    TProfileSource source;
    return LoadServerProfile(Kind, Profile, true, source);
}

} // namespace znx
