#include "runner/SqlAction.h"

#include "platform/dataaccess.h"
#include "platform/error.h"
#include "platform/text.h"
#include "runner/RunFrame.h"

namespace znx {

int ChooseServerProfile(TaskKind Kind) {
    int k = static_cast<int>(Kind);
    if (k < 1 || k > 3 || !ProcessState().ProfileAvailable[static_cast<size_t>(k)]) k = 3;
    if (!ProcessState().ProfileAvailable[static_cast<size_t>(k)] || !ProcessState().ServerProfiles[static_cast<size_t>(k)])
        throw Error(SysText("Nebylo získáno připojení k datům"));
    return k;
}

std::string JoinCommandLines(const TStrings& CommandLines) {
    std::string text;
    for (const auto& line : CommandLines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string ParseCommandParameters(const std::string& Text) {
    std::string out;
    out.reserve(Text.size());
    char literal = 0; // the quote that opened the literal we are in
    const size_t n = Text.size();
    for (size_t i = 0; i < n;) {
        const char c = Text[i];
        if (literal) {
            if (c == literal) literal = 0;
            out.push_back(c);
            ++i;
        } else if (c == '\'' || c == '"' || c == '`') {
            literal = c;
            out.push_back(c);
            ++i;
        } else if (c == ':' && i + 1 < n && Text[i + 1] == ':') {
            out.push_back(':');
            i += 2;
        } else if (c == ':') {
            ++i;
            while (i < n) {
                const char d = Text[i];
                if (d == ' ' || d == ',' || d == ';' || d == ')' || d == '\r' || d == '\n') break;
                ++i;
            }
            out.push_back('?');
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

int CommandTimeoutFor(int TaskTimeout, int ProfileTimeout) {
    return TaskTimeout > 0 ? TaskTimeout : ProfileTimeout;
}

void RunSqlAction(const TStrings& CommandLines, const std::string& Catalog, int Timeout, TaskKind Kind) {
    const int k = ChooseServerProfile(Kind);
    const TSrvOptions& profile = *ProcessState().ServerProfiles[static_cast<size_t>(k)];
    // The connection lives for this call only; leaving the scope on any path
    // closes and frees it.
    TDataConnection connection;
    connection.ConnectionString = profile.ConnectionText;
    connection.CommandTimeout = CommandTimeoutFor(Timeout, profile.AdoTimeout);
    connection.DefaultDatabase = Unquote(Catalog);
    connection.ReadCommitted = true;
    const std::string text = ParseCommandParameters(JoinCommandLines(CommandLines));
    connection.Execute(text);
}

} // namespace znx
