#pragma once
// The running process: its executable and its command-line parameters.

#include <string>
#include <vector>

namespace znx {

// Records the parameters as the system split them; main calls it first.
void SetCommandLine(int argc, char** argv);
void SetCommandLine(std::vector<std::string> params); // params[0] is the program

// Number of parameters after the program name, and parameter i (0 = program).
int ParamCount();
std::string ParamStr(int index);

// Full path of the running module as the system reports it (not argv[0]).
std::string ExecutablePath();

// The path with the part of its file name after the last dot replaced by ext
// (ext includes the dot); a file name without a dot gets ext appended.
std::string ChangeFileExt(const std::string& path, const std::string& ext);

// The folder of a path, without a trailing delimiter.
std::string ExtractFileDir(const std::string& path);

// The platform's path delimiter ("/" on Linux, "\" on Windows).
char PathDelim();

} // namespace znx
