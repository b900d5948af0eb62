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
