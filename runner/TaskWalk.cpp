#include "runner/TaskWalk.h"

#include "platform/error.h"
#include "platform/text.h"
#include "runner/RunLog.h"
#include "storage/TaskFile.h"

namespace znx {
namespace {

enum class StepForm { Single, List };

// One catalog step: the action, then its success line; any error of either
// becomes the catalog error line and the walk goes on.
void RunCatalogStep(const std::string& Name, const std::string& Catalog, StepForm Form,
                    const TStrings& Lines, int Timeout, TaskKind Kind, const std::string& LogPath,
                    TActions& Actions) {
    try {
        Actions.RunAction(Lines, Catalog, Timeout, Kind);
        WriteLog(Format(SysText(Form == StepForm::Single ? "\"%s\" (katalog \"%s\") proběhlo OK"
                                                         : "\"%s\" v katalogu \"%s\" proběhlo OK"),
                        Name, Catalog),
                 LogPath);
    } catch (const Error& e) {
        WriteLog(Format(SysText("CHYBA: Akce \"%s\", katalog \"%s\", Text chyby: %s "), Name, Catalog,
                        e.Message()),
                 LogPath);
    }
}

} // namespace

void RunTask(TCustomIniFile& Ini, const std::string& Section, const std::string& LogPath,
             const std::string& CatalogOverride, TActions& Actions) {
    const std::string name = Ini.ReadString(Section, TaskKeys::RunnerName, "");
    const TaskKind kind = TaskTypeOf(Ini.ReadString(Section, TaskKeys::RunnerType, ""));
    if (kind == tkNone) throw Error(Format(SysText("Neznámý typ úlohy v \"%s\""), Section));
    const TStrings lines = ReadCommandLines(Ini, Section);
    const TStrings catalogs = ReadCatalogs(Ini, Section);
    const int timeout = ReadTimeout(Ini, Section);

    std::string catalog = CatalogOverride;
    if (catalog.empty() && catalogs.empty()) {
        if (kind == tkParadox || kind == tkParadoxR)
            throw Error(SysText("Není zadán katalog pro archivaci"));
        catalog = "master";
    }
    if (!catalog.empty()) {
        RunCatalogStep(name, catalog, StepForm::Single, lines, timeout, kind, LogPath, Actions);
        return;
    }
    for (const std::string& c : catalogs)
        RunCatalogStep(name, c, StepForm::List, lines, timeout, kind, LogPath, Actions);
}

void RunTaskWalk(const std::string& IniPath, const std::string& LogPath, const std::string& TaskId,
                 const std::string& CatalogOverride, TActions& Actions) {
    TPLVIniFile ini(IniPath);
    TStrings sections;
    ini.ReadSections(sections);
    if (!TaskId.empty()) {
        bool found = false;
        for (const std::string& s : sections)
            if (AnsiSameText(s, TaskId)) {
                found = true;
                break;
            }
        if (!found)
            throw Error(Format(SysText("Neexistující ID úlohy v parametru příkazového řádku (%s)"), TaskId));
        RunTask(ini, TaskId, LogPath, CatalogOverride, Actions);
        return;
    }
    for (const std::string& s : sections) RunTask(ini, s, LogPath, CatalogOverride, Actions);
}

} // namespace znx
