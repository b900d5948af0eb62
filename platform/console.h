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

namespace znx {

// While it lives, characters typed on the terminal of standard input are not
// echoed (for passwords). Does nothing when standard input is no terminal.
class THiddenInput {
public:
    THiddenInput();
    ~THiddenInput();
    THiddenInput(const THiddenInput&) = delete;
    THiddenInput& operator=(const THiddenInput&) = delete;
    // Whether standard input is a terminal (a console on Windows).
    bool Terminal() const { return FTerminal; }

private:
    bool FTerminal = false;
    bool FChanged = false;
    unsigned long FSaved = 0;
};

} // namespace znx
