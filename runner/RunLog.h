#pragma once
// The runner's command line and its run log.

#include <string>

namespace znx {

// True once writing a line to the run log has failed; from then on no line
// is written for the rest of the process.
extern bool LogStopped;

// The value of a switch ("/INI", "/A", "/C"): the rest of the first parameter
// whose first characters equal the switch in any letter case; empty if none.
std::string FindSwitch(const std::string& Switch);

// Appends "date time: message" and CR LF to the run log. Does nothing when
// the path is empty or LogStopped is set. A log that cannot be opened raises
// Error; a failed write or close sets LogStopped silently.
void WriteLog(const std::string& Msg, const std::string& LogPath);

} // namespace znx
