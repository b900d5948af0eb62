#pragma once
// The task definition file: one section per task, named by the task ID; the
// keys of a task; the kind keywords; commands and targets as numbered lists.

#include <array>
#include <string>

#include "storage/PLVIni.h"

namespace znx {

// The number of a task kind. Kinds 1 to 3 are SQL tasks, 4 and 5 folder backups.
enum TaskKind : int {
    tkNone = 0,
    tkKoral = 1,
    tkKastelan = 2,
    tkCsAll = 3,
    tkParadox = 4,
    tkParadoxR = 5,
};

struct TTaskKindInfo {
    const char* Keyword;     // as the editor writes it
    TaskKind Kind;           // the runner's number
    int DialogIndex;         // position in the editor's kind choice
    const char* DialogText;  // text of that choice (UTF-8 source text)
    const char* DisplayName; // the editor's task list column (UTF-8 source text)
};

// The five kinds in the runner's order (KORAL first).
const std::array<TTaskKindInfo, 5>& TaskKinds();

// The runner's mapping of a TYPE text: the whole keyword, letters a to z in
// any case, nothing else folded; 0 when none matches.
TaskKind TaskTypeOf(const std::string& TypeText);

// The editor's task list column: the display name of the exact upper-case
// keyword, else the keyword as written.
std::string KindDisplayName(const std::string& Keyword);
// The editor's dialog: the choice of an exact keyword (0 when none matches),
// and the keyword of a choice.
int KindDialogIndex(const std::string& Keyword);
std::string KindKeywordOfDialogIndex(int Index);

// Key names as the editor writes them and as the runner asks for them.
namespace TaskKeys {
inline constexpr const char* Name = "Name";
inline constexpr const char* Type = "type";
inline constexpr const char* Timeout = "timeout";
inline constexpr const char* Sql = "SQL";
inline constexpr const char* Catalog = "catalog";
inline constexpr const char* RunnerName = "NAME";
inline constexpr const char* RunnerType = "TYPE";
inline constexpr const char* RunnerTimeout = "TIMEOUT";
inline constexpr const char* RunnerCatalog = "CATALOG";
} // namespace TaskKeys

inline constexpr int DefaultEditorTimeout = 600;

// Entries Base0, Base1, ... up to the first missing (or empty) one.
TStrings ReadNumberedList(TCustomIniFile& Ini, const std::string& Section, const std::string& Base);

// The runner's readers.
TStrings ReadCommandLines(TCustomIniFile& Ini, const std::string& Section); // SQL, else SQLn
TStrings ReadCatalogs(TCustomIniFile& Ini, const std::string& Section);     // CATALOGn only
int ReadTimeout(TCustomIniFile& Ini, const std::string& Section);           // -1 when missing

// The editor's list reader: the unnumbered key first, then the numbered ones.
TStrings ReadKeyList(TCustomIniFile& Ini, const std::string& Section, const std::string& Base);

// The editor's list writer: removes the unnumbered key and every numbered key
// of the base name, whatever its number, then writes the entries from 0,
// skipping empty and all-blank ones, so the list is gap-free and nothing of
// an older, longer list survives.
void WriteKeyList(TCustomIniFile& Ini, const std::string& Section, const std::string& Base,
                  const TStrings& List);

// Saves a task: Name, type, timeout, then the SQL list, then the catalog list.
void SaveTask(TCustomIniFile& Ini, const std::string& Section, const std::string& Name,
              const std::string& TypeKeyword, int Timeout, const TStrings& SqlLines,
              const TStrings& Targets);

} // namespace znx
