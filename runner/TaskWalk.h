#pragma once
// The task walk: opens the definition file, runs the task named on the
// command line or every task in file order, one catalog step per catalog.

#include <string>

#include "runner/RunAction.h"
#include "storage/PLVIni.h"

namespace znx {

// Runs the one task TaskId (when not empty) or all tasks. Raises the errors
// that end the run: an unknown task ID, an unreadable file, and what a task
// raises outside its catalog steps.
void RunTaskWalk(const std::string& IniPath, const std::string& LogPath, const std::string& TaskId,
                 const std::string& CatalogOverride, TActions& Actions);

// Reads and runs the task of one section.
void RunTask(TCustomIniFile& Ini, const std::string& Section, const std::string& LogPath,
             const std::string& CatalogOverride, TActions& Actions);

} // namespace znx
