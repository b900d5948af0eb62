#pragma once
// The data-folder backup action and its text routines.

#include <string>

#include "storage/PLVIni.h"

namespace znx {

void RunBackup(const TStrings& CommandLines, const std::string& Catalog, bool WithSubfolders);

} // namespace znx
