#include "runner/RunAction.h"

#include "runner/Backup.h"
#include "runner/SqlAction.h"

namespace znx {

void TRunnerActions::RunAction(const TStrings& CommandLines, const std::string& Catalog, int Timeout,
                               TaskKind Kind) {
    switch (Kind) {
    case tkKoral:
    case tkKastelan:
    case tkCsAll:
        RunSqlAction(CommandLines, Catalog, Timeout, Kind);
        break;
    case tkParadox:
    case tkParadoxR:
        RunBackup(CommandLines, Catalog, Kind == tkParadoxR);
        break;
    case tkNone:
        break;
    }
}

} // namespace znx
