#include "runner/SqlAction.h"

#include "platform/error.h"
#include "platform/text.h"
#include "runner/RunFrame.h"

namespace znx {

int ChooseServerProfile(TaskKind Kind) {
    int k = static_cast<int>(Kind);
    if (k < 1 || k > 3 || !ProcessState().ProfileAvailable[static_cast<size_t>(k)]) k = 3;
    if (!ProcessState().ProfileAvailable[static_cast<size_t>(k)])
        throw Error(SysText("Nebylo získáno připojení k datům"));
    return k;
}

void RunSqlAction(const TStrings& /*CommandLines*/, const std::string& /*Catalog*/, int /*Timeout*/,
                  TaskKind Kind) {
    ChooseServerProfile(Kind);
    // Data access arrives with the ODBC layer.
    throw Error("SQL execution is not built into this runner yet");
}

} // namespace znx
