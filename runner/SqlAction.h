#pragma once
// The SQL action: runs a task's SQL text against one catalog.

#include <string>

#include "storage/PLVIni.h"
#include "storage/TaskFile.h"

namespace znx {

// The profile a task of the kind uses: its own when available, else 3.
// Raises "Nebylo získáno připojení k datům" when that is not available either.
int ChooseServerProfile(TaskKind Kind);

void RunSqlAction(const TStrings& CommandLines, const std::string& Catalog, int Timeout, TaskKind Kind);

} // namespace znx
