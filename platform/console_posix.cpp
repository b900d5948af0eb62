#include "console.h"

#include <cstdio>

namespace znx {

TProcessSetUp::TProcessSetUp() = default;
TProcessSetUp::~TProcessSetUp() = default;

void ReportErrorToConsole(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace znx

#include <termios.h>
#include <unistd.h>

namespace znx {

THiddenInput::THiddenInput() {
    FTerminal = ::isatty(0) != 0;
    termios old{};
    if (FTerminal && ::tcgetattr(0, &old) == 0) {
        FSaved = static_cast<unsigned long>(old.c_lflag);
        termios quiet = old;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        FChanged = ::tcsetattr(0, TCSANOW, &quiet) == 0;
    }
}

THiddenInput::~THiddenInput() {
    termios now{};
    if (FChanged && ::tcgetattr(0, &now) == 0) {
        now.c_lflag = static_cast<tcflag_t>(FSaved);
        ::tcsetattr(0, TCSANOW, &now);
    }
}

} // namespace znx
