// vykonar-profile: the administrator's tool for the server profiles that
// vykonar reads at the start of every run. On Linux no server product writes
// them, so this is where they are set up: it shows the three profiles as the
// runner loads them (passwords masked), sets a profile's connection text and
// options in the machine-wide or the user's hive, sets the editor's
// connection string (kind 3) and imports regedit exports.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "runner/ServerProfiles.h"

namespace {

using namespace znx;

const char* const kUsage =
    "Usage:\n"
    "  vykonar-profile show [KIND]\n"
    "  vykonar-profile set-connection KIND TEXT|- [--machine|--user]\n"
    "  vykonar-profile clear-connection KIND [--machine|--user]\n"
    "  vykonar-profile set-option KIND NAME VALUE [--machine|--user]\n"
    "  vykonar-profile unset-option KIND NAME [--machine|--user]\n"
    "  vykonar-profile set-alias KIND NAME VALUE [--machine|--user]\n"
    "  vykonar-profile unset-alias KIND NAME [--machine|--user]\n"
    "  vykonar-profile set-ado TEXT|- [--machine|--user]\n"
    "  vykonar-profile import FILE [--into machine|user|classes]\n"
    "  vykonar-profile hives\n"
    "\n"
    "KIND is 1 or KORAL, 2 or KASTELAN, 3 or CS_ALL. Kinds 1 and 2 are written to\n"
    "the machine-wide hive unless --user is given, kind 3 to the user's hive\n"
    "unless --machine is given. TEXT \"-\" reads the text from standard input.\n"
    "NAME of an option: PORT, CTIMEOUT, ADOTIMEOUT, DIRSHAREDROOT, DATAPATH, INDEX.\n"
    "Hives: $ZNX_MACHINE_REG or /etc/znx/machine.reg, $ZNX_USER_REG or\n"
    "${XDG_CONFIG_HOME:-$HOME/.config}/znx/user.reg, $ZNX_CLASSES_REG or\n"
    "/etc/znx/classes.reg.\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const char* KindName(int Kind) {
    switch (Kind) {
    case 1: return "KORAL";
    case 2: return "KASTELAN";
    case 3: return "CS_ALL";
    default: return "";
    }
}

int ParseKind(const std::string& Text) {
    for (int k = 1; k <= 3; ++k)
        if (Text == std::to_string(k) || SameTextAZ(Text, KindName(k))) return k;
    throw UsageError("unknown profile kind \"" + Text + "\" (1, 2, 3, KORAL, KASTELAN or CS_ALL)");
}

// The value of the password keys of a connection string replaced by stars.
std::string MaskPasswords(const std::string& Text) {
    std::string out;
    size_t i = 0;
    while (i < Text.size()) {
        const size_t eq = Text.find('=', i);
        const size_t semi = Text.find(';', i);
        if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
            const size_t end = semi == std::string::npos ? Text.size() : semi + 1;
            out += Text.substr(i, end - i);
            i = end;
            continue;
        }
        const std::string key = Text.substr(i, eq - i);
        out += key + "=";
        size_t j = eq + 1;
        while (j < Text.size() && Text[j] == ' ') ++j;
        size_t end = j;
        if (end < Text.size() && (Text[end] == '"' || Text[end] == '\'' || Text[end] == '{')) {
            const char close = Text[end] == '{' ? '}' : Text[end];
            ++end;
            while (end < Text.size()) {
                if (Text[end] == close) {
                    if (end + 1 < Text.size() && Text[end + 1] == close) {
                        end += 2;
                        continue;
                    }
                    ++end;
                    break;
                }
                ++end;
            }
        }
        end = Text.find(';', end);
        if (end == std::string::npos) end = Text.size();
        const std::string k = Trim(key);
        if (SameTextAZ(k, "Password") || SameTextAZ(k, "Pwd")) out += "********";
        else out += Text.substr(eq + 1, end - eq - 1);
        if (end < Text.size()) out += ';';
        i = end + 1;
    }
    return out;
}

std::string Describe(TRootKey Root) {
    const std::string path = RegistryStoreName(Root);
    std::string text = path + " (";
    if (!FileExists(path)) text += "missing, ";
    text += RegistryStoreWritable(Root) ? "writable)"
                                        : "not writable by this process, which therefore does not see it)";
    return text;
}

void ShowProfile(int Kind, bool& Failed) {
    std::cout << "Profile " << Kind << " (" << KindName(Kind) << "), key " << ProfileKeyPath(Kind) << "\n";
    TSrvOptions p;
    TProfileSource source = TProfileSource::psNone;
    bool available = false;
    try {
        available = LoadServerProfile(Kind, p, false, source);
    } catch (const Error& e) {
        std::cout << "  error:          " << e.Message() << "\n"
                  << "                  (vykonar logs this and carries out no task)\n\n";
        Failed = true;
        return;
    }
    std::cout << "  available:      ";
    if (!available) std::cout << "no (no connection text in either hive)\n";
    else if (source == TProfileSource::psMachine) std::cout << "yes, from the machine-wide hive\n";
    else std::cout << "yes, from the user's hive\n";
    std::cout << "  connection:     " << MaskPasswords(p.ConnectionText) << "\n";
    if (Kind != 3) {
        std::cout << "  PORT            " << p.Port << "\n"
                  << "  CTIMEOUT        " << p.CTimeout << "\n"
                  << "  ADOTIMEOUT      " << p.AdoTimeout << "\n"
                  << "  DIRSHAREDROOT   " << p.DirSharedRoot << "\n"
                  << "  DATAPATH        " << p.DataPath << "\n"
                  << "  INDEX           " << p.Index << "\n"
                  << "  aliases:" << (p.Aliases.empty() ? "        (none)" : "") << "\n";
        for (const std::string& a : p.Aliases) {
            const size_t eq = a.find('=');
            std::cout << "    " << a.substr(0, eq + 1) << MaskPasswords(a.substr(eq + 1)) << "\n";
        }
    } else {
        std::cout << "  ADOTIMEOUT      " << p.AdoTimeout << "\n";
    }
    std::cout << "\n";
}

// Reads a text from standard input: one line; without echo on a terminal.
std::string ReadSecretLine(const std::string& Prompt) {
    std::string line;
    {
        THiddenInput hidden;
        if (hidden.Terminal()) std::cerr << Prompt << std::flush;
        std::getline(std::cin, line);
        if (hidden.Terminal()) std::cerr << "\n";
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

struct Args {
    std::vector<std::string> Positional;
    int Hive = 0; // 0 default, 1 machine, 2 user
    std::string Into;
};

Args ParseArgs(int argc, char** argv, int From) {
    Args a;
    for (int i = From; i < argc; ++i) {
        const std::string s = argv[i];
        if (s == "--machine") a.Hive = 1;
        else if (s == "--user") a.Hive = 2;
        else if (s == "--into") {
            if (i + 1 >= argc) throw UsageError("--into needs machine, user or classes");
            a.Into = argv[++i];
        } else if (s.rfind("--into=", 0) == 0) a.Into = s.substr(7);
        else if (s.size() > 2 && s.rfind("--", 0) == 0) throw UsageError("unknown option " + s);
        else a.Positional.push_back(s);
    }
    return a;
}

TRootKey TargetRoot(const Args& A, int Kind) {
    if (A.Hive == 1) return TRootKey::HKEY_LOCAL_MACHINE;
    if (A.Hive == 2) return TRootKey::HKEY_CURRENT_USER;
    return Kind == 3 ? TRootKey::HKEY_CURRENT_USER : TRootKey::HKEY_LOCAL_MACHINE;
}

void Need(const Args& A, size_t Count) {
    if (A.Positional.size() != Count) throw UsageError("wrong number of arguments");
}

// The folder of a machine-wide hive is made when the administrator writes
// the first profile (the user's folder is made by the registry itself).
void PrepareFolder(TRootKey Root) {
    const std::string dir = std::filesystem::path(RegistryStoreName(Root)).parent_path().string();
    if (dir.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
}

void Apply(const std::vector<TRegChange>& Changes, TRootKey Root) {
    PrepareFolder(Root);
    ApplyRegistryChanges(Changes);
    std::cout << "Written to " << RegistryStoreName(Root) << "\n";
}

TRegChange SetString(TRootKey Root, const std::string& Key, const std::string& Name, const std::string& Text) {
    TRegChange c;
    c.Kind = TRegChange::ckSetValue;
    c.Root = Root;
    c.Key = Key;
    c.Name = Name;
    c.RawType = REG_SZ;
    c.Data = RegDataFromString(Text);
    return c;
}

TRegChange DeleteValue(TRootKey Root, const std::string& Key, const std::string& Name) {
    TRegChange c;
    c.Kind = TRegChange::ckDeleteValue;
    c.Root = Root;
    c.Key = Key;
    c.Name = Name;
    return c;
}

std::string TextArgument(const std::string& Arg, const std::string& Prompt) {
    std::string text = Arg == "-" ? ReadSecretLine(Prompt) : Arg;
    if (text.empty()) throw UsageError("the text is empty (clear-connection removes a connection)");
    return text;
}

void SetConnection(int Kind, const std::string& Text, TRootKey Root) {
    const std::string key = ProfileKeyPath(Kind);
    if (Kind == 3) {
        Apply({SetString(Root, key + "\\" + ProfileNames::Editor, ProfileNames::AdoString, Text)}, Root);
        return;
    }
    // Both values in one change of the hive, so that a run never sees a
    // length that does not belong to the stored bytes.
    TRegChange conn;
    conn.Kind = TRegChange::ckSetValue;
    conn.Root = Root;
    conn.Key = key;
    conn.Name = ProfileNames::Connection;
    conn.RawType = REG_BINARY;
    conn.Data = ScrambleText(Text);
    Apply({conn, SetString(Root, key + "\\" + ProfileNames::Options, ProfileNames::ConnectionLength,
                           std::to_string(Text.size()))},
          Root);
}

const char* const kOptions[] = {ProfileNames::Port,          ProfileNames::CTimeout, ProfileNames::AdoTimeout,
                                ProfileNames::DirSharedRoot, ProfileNames::DataPath, ProfileNames::Index};

std::string OptionName(const std::string& Name) {
    for (const char* o : kOptions)
        if (SameTextAZ(Name, o)) return o;
    if (SameTextAZ(Name, ProfileNames::ConnectionLength))
        throw UsageError("CSL is set together with the connection text (set-connection)");
    throw UsageError("unknown option \"" + Name + "\" (PORT, CTIMEOUT, ADOTIMEOUT, DIRSHAREDROOT, DATAPATH, INDEX)");
}

bool IntegerOption(const std::string& Name) {
    return Name == ProfileNames::CTimeout || Name == ProfileNames::AdoTimeout || Name == ProfileNames::Index;
}

int KindOneOrTwo(const std::string& Text) {
    const int kind = ParseKind(Text);
    if (kind == 3) throw UsageError("profile 3 has no options or aliases, only its connection text");
    return kind;
}

int Import(const Args& A) {
    Need(A, 1);
    const std::string file = A.Positional[0];
    std::vector<TRegChange> changes = ParseRegistryExport(ReadWholeFile(file), file);
    if (!A.Into.empty()) {
        TRootKey into;
        if (A.Into == "machine") into = TRootKey::HKEY_LOCAL_MACHINE;
        else if (A.Into == "user") into = TRootKey::HKEY_CURRENT_USER;
        else if (A.Into == "classes") into = TRootKey::HKEY_CLASSES_ROOT;
        else throw UsageError("--into needs machine, user or classes");
        for (TRegChange& c : changes) c.Root = into;
    }
    if (changes.empty()) {
        std::cout << "Nothing to import: " << file << " holds no keys\n";
        return 0;
    }
    std::vector<TRootKey> roots;
    int keys = 0, values = 0, deletions = 0;
    for (const TRegChange& c : changes) {
        if (c.Kind == TRegChange::ckCreateKey) ++keys;
        else if (c.Kind == TRegChange::ckSetValue) ++values;
        else ++deletions;
        bool seen = false;
        for (TRootKey r : roots) seen = seen || r == c.Root;
        if (!seen) roots.push_back(c.Root);
    }
    for (TRootKey r : roots) PrepareFolder(r);
    ApplyRegistryChanges(changes);
    std::cout << "Imported " << keys << " keys, " << values << " values and " << deletions << " deletions into";
    for (size_t i = 0; i < roots.size(); ++i) std::cout << (i ? ", " : " ") << RegistryStoreName(roots[i]);
    std::cout << "\n";
    return 0;
}

int Run(int argc, char** argv) {
    if (argc < 2) throw UsageError("no command");
    const std::string command = argv[1];
    if (command == "help" || command == "--help" || command == "-h") {
        std::cout << kUsage;
        return 0;
    }
    const Args a = ParseArgs(argc, argv, 2);
    if (command == "show") {
        if (a.Positional.size() > 1) throw UsageError("wrong number of arguments");
        std::cout << "Machine-wide hive: " << Describe(TRootKey::HKEY_LOCAL_MACHINE) << "\n"
                  << "User's hive:       " << Describe(TRootKey::HKEY_CURRENT_USER) << "\n\n";
        bool failed = false;
        if (a.Positional.empty()) {
            for (int k = 1; k <= 3; ++k) ShowProfile(k, failed);
        } else {
            ShowProfile(ParseKind(a.Positional[0]), failed);
        }
        return failed ? 1 : 0;
    }
    if (command == "hives") {
        Need(a, 0);
        std::cout << "HKEY_LOCAL_MACHINE  " << Describe(TRootKey::HKEY_LOCAL_MACHINE) << "\n"
                  << "HKEY_CURRENT_USER   " << Describe(TRootKey::HKEY_CURRENT_USER) << "\n"
                  << "HKEY_CLASSES_ROOT   " << Describe(TRootKey::HKEY_CLASSES_ROOT) << "\n";
        return 0;
    }
    if (command == "set-connection") {
        Need(a, 2);
        const int kind = ParseKind(a.Positional[0]);
        SetConnection(kind, TextArgument(a.Positional[1], "Connection text: "), TargetRoot(a, kind));
        return 0;
    }
    if (command == "set-ado") {
        Need(a, 1);
        SetConnection(3, TextArgument(a.Positional[0], "ADO connection string: "), TargetRoot(a, 3));
        return 0;
    }
    if (command == "clear-connection") {
        Need(a, 1);
        const int kind = ParseKind(a.Positional[0]);
        const TRootKey root = TargetRoot(a, kind);
        const std::string key = ProfileKeyPath(kind);
        if (kind == 3) Apply({DeleteValue(root, key + "\\" + ProfileNames::Editor, ProfileNames::AdoString)}, root);
        else
            Apply({SetString(root, key + "\\" + ProfileNames::Options, ProfileNames::ConnectionLength, "0"),
                   DeleteValue(root, key, ProfileNames::Connection)},
                  root);
        return 0;
    }
    if (command == "set-option" || command == "unset-option") {
        const bool set = command == "set-option";
        Need(a, set ? 3 : 2);
        const int kind = KindOneOrTwo(a.Positional[0]);
        const std::string name = OptionName(a.Positional[1]);
        const TRootKey root = TargetRoot(a, kind);
        const std::string key = ProfileKeyPath(kind) + "\\" + ProfileNames::Options;
        if (!set) {
            Apply({DeleteValue(root, key, name)}, root);
            return 0;
        }
        int32_t number;
        if (IntegerOption(name) && !TryStrToInt(a.Positional[2], number))
            throw UsageError(name + " needs an integer, not \"" + a.Positional[2] + "\"");
        Apply({SetString(root, key, name, a.Positional[2])}, root);
        return 0;
    }
    if (command == "set-alias" || command == "unset-alias") {
        const bool set = command == "set-alias";
        Need(a, set ? 3 : 2);
        const int kind = KindOneOrTwo(a.Positional[0]);
        const TRootKey root = TargetRoot(a, kind);
        const std::string key = ProfileKeyPath(kind) + "\\" + ProfileNames::Aliases;
        if (a.Positional[1].empty()) throw UsageError("an alias needs a name");
        if (set) Apply({SetString(root, key, a.Positional[1], a.Positional[2])}, root);
        else Apply({DeleteValue(root, key, a.Positional[1])}, root);
        return 0;
    }
    if (command == "import") return Import(a);
    throw UsageError("unknown command \"" + command + "\"");
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "vykonar-profile: " << e.what() << "\n\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "vykonar-profile: " << e.what() << "\n";
        return 1;
    }
}
