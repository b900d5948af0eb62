#include "runner/RunLog.h"

#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace znx {

bool LogStopped = false;

std::string FindSwitch(const std::string& Switch) {
    if (Switch.empty()) return {};
    const std::string wanted = AnsiUpperCase(Switch);
    const size_t n = Switch.size();
    for (int i = 1; i <= ParamCount(); ++i) {
        const std::string param = ParamStr(i);
        if (AnsiUpperCase(param.substr(0, n)) == wanted) return param.substr(std::min(n, param.size()));
    }
    return {};
}

void WriteLog(const std::string& Msg, const std::string& LogPath) {
    if (LogPath.empty() || LogStopped) return;
    std::string line = Format("%s: %s", FormatLogDateTime(Now()), Msg) + "\r\n";
    if (!AppendToFile(LogPath, line)) LogStopped = true;
}

} // namespace znx
