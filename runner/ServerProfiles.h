#pragma once
// Server profiles: how to reach the servers of the task kinds 1 to 3.

#include <cstdint>
#include <string>
#include <vector>

namespace znx {

class TSrvOptions {
public:
    std::string Port;
    int32_t CTimeout = 0;
    int32_t AdoTimeout = 0;
    std::vector<std::string> Aliases; // "name=value" lines
    std::string ConnectionText;
    std::string DirSharedRoot;
    std::string DataPath;
    int32_t Index = 0;
};

// Reads the profile of kind 1, 2 or 3 (machine-wide first, then the user's);
// true when it has a connection text.
bool LoadServerProfile(int Kind, TSrvOptions& Profile);

} // namespace znx
