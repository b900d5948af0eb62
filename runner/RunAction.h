#pragma once
// The seam between the task walk and the actions: one call per catalog.

#include <string>

#include "storage/PLVIni.h"
#include "storage/TaskFile.h"

namespace znx {

class TActions {
public:
    virtual ~TActions() = default;
    // Runs the action of the kind for one catalog value (as read or given).
    // Returns on success; raises Error with a message text on failure.
    virtual void RunAction(const TStrings& CommandLines, const std::string& Catalog, int Timeout,
                           TaskKind Kind) = 0;
};

// The runner's actions: the SQL action for kinds 1 to 3, the folder backup
// for kinds 4 and 5 (with subfolders for 5), nothing for any other kind.
class TRunnerActions : public TActions {
public:
    void RunAction(const TStrings& CommandLines, const std::string& Catalog, int Timeout,
                   TaskKind Kind) override;
};

} // namespace znx
