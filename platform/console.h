#pragma once
// Process-wide set-up and the default error report of console programs.

#include <string>

namespace znx {

// Holds the per-process services a run needs (COM on Windows; nothing on Linux).
class TProcessSetUp {
public:
    TProcessSetUp();
    ~TProcessSetUp();
    TProcessSetUp(const TProcessSetUp&) = delete;
    TProcessSetUp& operator=(const TProcessSetUp&) = delete;
};

// Writes the text and a line break to standard error, converted to the
// console's code page (the OEM code page on Windows).
void ReportErrorToConsole(const std::string& text);

} // namespace znx
