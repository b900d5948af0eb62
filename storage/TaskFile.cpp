#include "storage/TaskFile.h"

#include "platform/text.h"

namespace znx {

const std::array<TTaskKindInfo, 5>& TaskKinds() {
    static const std::array<TTaskKindInfo, 5> kinds{{
        {"KORAL", tkKoral, 0, "Koral/Korálek CS, Kuryr", "Koral/Korálek"},
        {"KASTELAN", tkKastelan, 1, "Kastelán CS", "Kastelán"},
        {"CS_ALL", tkCsAll, 4, "Hromadně Koral/Korálek CS, Kastelán, Kuryr", "Hromadně CS"},
        {"PARADOX", tkParadox, 2, "Složka s daty (např. Korálíček PX, SHARED CS)", "Složka"},
        {"PARADOX_R", tkParadoxR, 3, "Složka s daty včetně podsložek (např. Korálíček PX, SHARED CS)",
         "Složka a podsložky"},
    }};
    return kinds;
}

TaskKind TaskTypeOf(const std::string& TypeText) {
    for (const auto& k : TaskKinds())
        if (SameTextAZ(TypeText, k.Keyword)) return k.Kind;
    return tkNone;
}

std::string KindDisplayName(const std::string& Keyword) {
    for (const auto& k : TaskKinds())
        if (Keyword == k.Keyword) return SysText(k.DisplayName);
    return Keyword;
}

int KindDialogIndex(const std::string& Keyword) {
    for (const auto& k : TaskKinds())
        if (Keyword == k.Keyword) return k.DialogIndex;
    return 0;
}

std::string KindKeywordOfDialogIndex(int Index) {
    for (const auto& k : TaskKinds())
        if (k.DialogIndex == Index) return k.Keyword;
    return TaskKinds()[0].Keyword;
}

TStrings ReadNumberedList(TCustomIniFile& Ini, const std::string& Section, const std::string& Base) {
    TStrings list;
    for (int i = 0;; ++i) {
        std::string value = Ini.ReadString(Section, Base + std::to_string(i), "");
        if (value.empty()) break;
        list.push_back(std::move(value));
    }
    return list;
}

TStrings ReadCommandLines(TCustomIniFile& Ini, const std::string& Section) {
    std::string single = Ini.ReadString(Section, TaskKeys::Sql, "");
    if (!single.empty()) return {single};
    return ReadNumberedList(Ini, Section, TaskKeys::Sql);
}

TStrings ReadCatalogs(TCustomIniFile& Ini, const std::string& Section) {
    return ReadNumberedList(Ini, Section, TaskKeys::RunnerCatalog);
}

int ReadTimeout(TCustomIniFile& Ini, const std::string& Section) {
    return Ini.ReadInteger(Section, TaskKeys::RunnerTimeout, -1);
}

TStrings ReadKeyList(TCustomIniFile& Ini, const std::string& Section, const std::string& Base) {
    TStrings list;
    std::string unnumbered = Ini.ReadString(Section, Base, "");
    if (!unnumbered.empty()) list.push_back(unnumbered);
    TStrings numbered = ReadNumberedList(Ini, Section, Base);
    list.insert(list.end(), numbered.begin(), numbered.end());
    return list;
}

namespace {
// Base followed by a decimal number without leading zeros, or Base alone.
bool IsListKey(const std::string& name, const std::string& base) {
    if (name.size() < base.size() || !AnsiSameText(name.substr(0, base.size()), base)) return false;
    std::string digits = name.substr(base.size());
    if (digits.empty()) return true;
    if (digits.size() > 1 && digits[0] == '0') return false;
    for (char c : digits)
        if (c < '0' || c > '9') return false;
    return true;
}
} // namespace

void WriteKeyList(TCustomIniFile& Ini, const std::string& Section, const std::string& Base,
                  const TStrings& List) {
    TStrings names;
    Ini.ReadSection(Section, names);
    for (const std::string& name : names)
        if (!name.empty() && IsListKey(name, Base)) Ini.DeleteKey(Section, name);
    int i = 0;
    for (const std::string& entry : List) {
        if (Trim(entry).empty()) continue; // the file cannot hold an empty entry
        Ini.WriteString(Section, Base + std::to_string(i++), entry);
    }
}

void SaveTask(TCustomIniFile& Ini, const std::string& Section, const std::string& Name,
              const std::string& TypeKeyword, int Timeout, const TStrings& SqlLines,
              const TStrings& Targets) {
    Ini.WriteString(Section, TaskKeys::Name, Name);
    Ini.WriteString(Section, TaskKeys::Type, TypeKeyword);
    Ini.WriteInteger(Section, TaskKeys::Timeout, Timeout);
    WriteKeyList(Ini, Section, TaskKeys::Sql, SqlLines);
    WriteKeyList(Ini, Section, TaskKeys::Catalog, Targets);
}

} // namespace znx
