#pragma once
// The data-folder backup action and its text routines.
//
// A backup command is one line: BACKUP <kind> <destination> [<extension>].
// For each catalog (a data folder) the action names an archive by the kind
// and the date and has the archiver component "ZNX.Archivace" pack the folder
// into it. The new archive is written under a temporary name beside the
// archive file and takes its place only when the component has closed it, so
// a failed backup leaves the previous archive of that name as it was.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/automation.h"
#include "platform/datetime.h"
#include "storage/PLVIni.h"

namespace znx {

void RunBackup(const TStrings& CommandLines, const std::string& Catalog, bool WithSubfolders);

// What the backup action takes from outside: the local date and the
// archiver component. Tests put a fixed date and a recording component here.
struct TBackupServices {
    std::function<LocalTime()> Clock;
    std::function<std::unique_ptr<IArchivace>()> CreateArchiver;
};
// The clock of the system and the component created by its ProgID.
TBackupServices DefaultBackupServices();

void RunBackup(const TStrings& CommandLines, const std::string& Catalog, bool WithSubfolders,
               const TBackupServices& Services);

// The backup kind, word 2 of the command.
enum TBackupKind { bkData, bkReport, bkShared, bkOther };
TBackupKind BackupKindOf(const std::string& Word);

// Splits the text at the separator characters into List (cleared first) and
// returns the number of parts. DropEmpty: runs of separators and separators
// at either end give no parts. QuotesGroup: separators between double quotes
// do not split; the quotes stay in the part.
int SplitText(const std::string& Text, std::string_view Separators, TStrings& List, bool DropEmpty,
              bool QuotesGroup);

// The text with the path delimiter appended, unless it is empty or already
// ends in a delimiter (or, where paths have drive letters, a colon).
std::string AddTrailingBackslash(const std::string& Text);
// The text without one trailing path delimiter, when it is at least two
// characters long and ends in one.
std::string StripTrailingBackslash(const std::string& Text);

// The archive file name for the folder: by kind, from the last part of the
// folder path, the year and month of Date, and the extension (with its dot).
std::string ArchiveFileName(const std::string& Folder, const std::string& Extension, TBackupKind Kind,
                            const LocalTime& Date);

// Makes one archive of the folder in the destination folder. An empty folder
// does nothing.
void ArchiveFolder(const std::string& Folder, const std::string& Destination, const std::string& Extension,
                   TBackupKind Kind, bool WithSubfolders, const TBackupServices& Services);

} // namespace znx
