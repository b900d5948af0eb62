// Process-wide set-up on Windows: COM for this thread (the archiver is
// reached through automation), and the default error report in the OEM code
// page that the console shows.
#include "console.h"

#include <objbase.h>
#include <windows.h>

namespace znx {
namespace {
bool g_comInitialised = false;
}

TProcessSetUp::TProcessSetUp() {
    // S_FALSE (already initialised on this thread) also needs a matching
    // CoUninitialize; only a failure does not.
    g_comInitialised = SUCCEEDED(CoInitialize(nullptr));
}

TProcessSetUp::~TProcessSetUp() {
    if (g_comInitialised) CoUninitialize();
    g_comInitialised = false;
}

void ReportErrorToConsole(const std::string& text) {
    std::string oem = text + "\r\n";
    CharToOemBuffA(oem.data(), oem.data(), static_cast<DWORD>(oem.size()));
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(err, oem.data(), static_cast<DWORD>(oem.size()), &written, nullptr);
}

} // namespace znx

namespace znx {

THiddenInput::THiddenInput() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    FTerminal = in != INVALID_HANDLE_VALUE && in != nullptr && GetConsoleMode(in, &mode);
    if (FTerminal) {
        FSaved = mode;
        FChanged = SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
    }
}

THiddenInput::~THiddenInput() {
    if (FChanged) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), static_cast<DWORD>(FSaved));
}

} // namespace znx
