#include "runner/RunFrame.h"

#include <cstdio>

#include "platform/console.h"
#include "platform/datetime.h"
#include "platform/error.h"
#include "platform/process.h"
#include "platform/text.h"
#include "runner/RunLog.h"
#include "runner/TaskWalk.h"

namespace znx {

TProcessState& ProcessState() {
    static TProcessState state;
    return state;
}

void CreateProcessState() {
    for (int k = 1; k <= 3; ++k) ProcessState().ServerProfiles[static_cast<size_t>(k)] = std::make_unique<TSrvOptions>();
    ProcessState().ProfileAvailable = {};
    LogStopped = false;
}

void FreeProcessState() {
    for (auto& p : ProcessState().ServerProfiles) p.reset();
}

namespace {
std::string StartLine(const std::string& TaskId, const std::string& Catalog) {
    if (!TaskId.empty() && !Catalog.empty())
        return Format(SysText("Zpracování spuštěno pro akci ID=%s a katalog \"%s\""), TaskId, Catalog);
    if (!TaskId.empty()) return Format(SysText("Zpracování spuštěno pro akci ID=%s"), TaskId);
    if (!Catalog.empty()) return Format(SysText("Zpracování spuštěno pro katalog \"%s\""), Catalog);
    return SysText("Zpracování spuštěno");
}
} // namespace

void RunTasks(const std::string& IniPath, const std::string& LogPath) {
    WriteLog(Format(SysText("Konfigurace načtena z \"%s\""), IniPath), LogPath);
    const std::string taskId = FindSwitch("/A");
    const std::string catalog = FindSwitch("/C");
    try {
        WriteLog(StartLine(taskId, catalog), LogPath);
        TProcessState& state = ProcessState();
        for (size_t k = 1; k <= 3; ++k)
            state.ProfileAvailable[k] = LoadServerProfile(static_cast<int>(k), *state.ServerProfiles[k]);
        TRunnerActions actions;
        RunTaskWalk(IniPath, LogPath, taskId, catalog, actions);
    } catch (const Error& e) {
        WriteLog(Format(SysText("CHYBA: \"%s\" "), e.Message()), LogPath);
    }
}

int VykonarMain(int argc, char** argv) {
    SetCommandLine(argc, argv);
    InitLocale();
    TProcessSetUp setUp; // per-process services (COM on Windows)
    CreateProcessState();
    int code = 0;
    try {
        std::string iniPath = FindSwitch("/INI");
        const std::string exe = ExecutablePath();
        if (iniPath.empty()) iniPath = ChangeFileExt(exe, ".ini");
        const std::string logPath = ChangeFileExt(exe, ".log");
        RunTasks(iniPath, logPath);
    } catch (const std::exception& e) {
        // The default error report: the text on standard error, exit code 1.
        ReportErrorToConsole(e.what());
        code = 1;
    }
    FreeProcessState();
    return code;
}

} // namespace znx
