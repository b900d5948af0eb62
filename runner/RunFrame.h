#pragma once
// The frame of a run: process state, file names, the first log lines, the
// profile loading, the hand-over to the task walk and the run-level handler.

#include <array>
#include <memory>
#include <string>

#include "runner/ServerProfiles.h"

namespace znx {

// Process-wide state, created before the run and held until the process ends.
struct TProcessState {
    // Indexed 1 to 3 by the task kind the profile serves; entry 0 is unused.
    std::array<std::unique_ptr<TSrvOptions>, 4> ServerProfiles;
    std::array<bool, 4> ProfileAvailable{};
};
TProcessState& ProcessState();
void CreateProcessState();
void FreeProcessState();

// One run over the definition file.
void RunTasks(const std::string& IniPath, const std::string& LogPath);

// The main program: file names, then RunTasks. Returns the exit code.
int VykonarMain(int argc, char** argv);

} // namespace znx
