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

// The command text of the lines: each line followed by CR LF, the last too.
std::string JoinCommandLines(const TStrings& CommandLines);

// The command text after parameter parsing: outside literals in ', " or `,
// ":name" (up to a blank, ",", ";", ")", CR, LF or the end) becomes "?" and
// "::" becomes ":". Text inside literals is untouched.
std::string ParseCommandParameters(const std::string& Text);

// The command time-out: the task's when above 0, else the profile's.
int CommandTimeoutFor(int TaskTimeout, int ProfileTimeout);

} // namespace znx
