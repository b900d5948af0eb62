#pragma once
// The four version numbers an executable carries: major, minor, release and
// build. On Linux the editor's executable carries them in an ELF note
// ("ZNX", type 1: four little 16-bit numbers in the file's byte order) that
// the build fills from the project's version; on Windows they are the fixed
// file version of the version resource.

#include <cstdint>
#include <string>

namespace znx::editor {

// False when the file cannot be read or carries no version numbers; the four
// numbers are then 0.
bool GetFileVersionNumbers(const std::string& FileName, uint16_t& Major, uint16_t& Minor,
                           uint16_t& Release, uint16_t& Build);

// The numbers this program was built with (the same the note carries).
void BuiltVersionNumbers(uint16_t& Major, uint16_t& Minor, uint16_t& Release, uint16_t& Build);

} // namespace znx::editor
