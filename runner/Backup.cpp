#include "runner/Backup.h"

#include "platform/error.h"

namespace znx {

void RunBackup(const TStrings& /*CommandLines*/, const std::string& /*Catalog*/, bool /*WithSubfolders*/) {
    throw Error("Folder backups are not built into this runner yet");
}

} // namespace znx
