#pragma once
// The one error type of the system. Everything the platform layer, the INI
// class, the registry layer and the data-access layer raise is of it; the
// runner catches it per catalog and per run, the editor shows it and goes on.
// The message is 8-bit text in the system code page.

#include <stdexcept>
#include <string>

namespace znx {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

} // namespace znx
