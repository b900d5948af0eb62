#include "runner/Backup.h"

#include <filesystem>
#include <random>
#include <system_error>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace znx {
namespace {

// A colon ends a drive name only where paths have drive letters.
bool ColonEndsDrive() { return PathDelim() == '\\'; }

// The last part of the folder path: the text after its last delimiter or colon.
std::string LastPart(const std::string& Folder) {
    const std::string path = StripTrailingBackslash(Folder);
    const std::string stops = std::string(1, PathDelim()) + ":";
    const size_t last = path.find_last_of(stops);
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string TwoDigits(int value) {
    std::string s = std::to_string(value);
    return s.size() < 2 ? "0" + s : s;
}

// A name for the new archive while it is made: in the same folder, so that
// it can be renamed over the archive file; the archive's own name at its end,
// so that the extension stays. A name that is taken is never used.
std::string TemporaryArchivePath(const std::string& Prefix, const std::string& FileName) {
    static std::mt19937_64 random{std::random_device{}()};
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string token;
        for (int i = 0; i < 8; ++i) token += digits[random() % 36];
        const std::string path = Prefix + "~" + token + "~" + FileName;
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return path;
    }
    throw Error(Format(SysText("Cannot create file \"%s\". %s"), Prefix + FileName,
                       SysText("No free temporary name")));
}

std::string ReplaceText(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); !from.empty() && at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

bool SamePath(const std::string& a, const std::string& b) {
    return FileNamesIgnoreCase() ? AnsiSameText(a, b) : a == b;
}

// Whether the archive file lies among the files the component is asked to
// take: in the folder itself, or below it when sub-folders are included.
bool ArchiveInsideFolder(const std::string& ArchivePath, const std::string& Folder, bool WithSubfolders) {
    const std::string archiveDir = ExtractFileDir(ExpandFileName(ArchivePath));
    const std::string folder = ExpandFileName(Folder);
    if (SamePath(archiveDir, folder)) return true;
    if (!WithSubfolders) return false;
    const std::string prefix = AddTrailingBackslash(folder);
    return archiveDir.size() > prefix.size() && SamePath(archiveDir.substr(0, prefix.size()), prefix);
}

} // namespace

int SplitText(const std::string& Text, std::string_view Separators, TStrings& List, bool DropEmpty,
              bool QuotesGroup) {
    List.clear();
    if (Text.empty()) return 0;
    std::string part;
    bool filled = false, quoted = false;
    int count = 0;
    for (char c : Text) {
        if (QuotesGroup && c == '"') quoted = !quoted;
        if (Separators.find(c) != std::string_view::npos && !quoted) {
            if (filled || !DropEmpty) {
                List.push_back(part);
                ++count;
                part.clear();
            }
            filled = false;
        } else {
            part += c;
            filled = true;
        }
    }
    if (filled || !DropEmpty) {
        List.push_back(part);
        ++count;
    }
    return count;
}

std::string AddTrailingBackslash(const std::string& Text) {
    if (Text.empty()) return Text;
    const char last = Text.back();
    if (last == PathDelim() || (last == ':' && ColonEndsDrive())) return Text;
    return Text + PathDelim();
}

std::string StripTrailingBackslash(const std::string& Text) {
    if (Text.size() >= 2 && Text.back() == PathDelim()) return Text.substr(0, Text.size() - 1);
    return Text;
}

TBackupKind BackupKindOf(const std::string& Word) {
    const std::string w = Unquote(Word);
    if (SameTextAZ(w, "SHARED")) return bkShared;
    if (SameTextAZ(w, "DATA")) return bkData;
    if (SameTextAZ(w, "REPORT")) return bkReport;
    return bkOther;
}

std::string ArchiveFileName(const std::string& Folder, const std::string& Extension, TBackupKind Kind,
                            const LocalTime& Date) {
    const std::string year = std::to_string(Date.year);
    switch (Kind) {
    case bkData:
        return LastPart(Folder) + "_" + year + "_" + TwoDigits(Date.month) + Extension;
    case bkReport:
        return "REPORT" + Extension;
    case bkShared:
        return "SHARED" + LastPart(Folder) + Extension;
    case bkOther:
        break;
    }
    return "A_" + year + Extension;
}

void ArchiveFolder(const std::string& Folder, const std::string& Destination, const std::string& Extension,
                   TBackupKind Kind, bool WithSubfolders, const TBackupServices& Services) {
    const LocalTime date = Services.Clock(); // once, before anything else
    if (Folder.empty()) return;

    const std::string fileName = ArchiveFileName(Folder, Extension, Kind, date);
    const std::string prefix = AddTrailingBackslash(Destination);
    const std::string archivePath = prefix + fileName;
    const std::string tempPath = TemporaryArchivePath(prefix, fileName);

    std::unique_ptr<IArchivace> archiver = Services.CreateArchiver();
    try {
        archiver->InitParams();
        std::string file = tempPath; // the component may leave a value here; it is not used
        archiver->SetArchiveFile(file);
        archiver->AddMask(AddTrailingBackslash(Folder) + "*.*");
        archiver->AddExcludeMask("*.LCK");
        // The archive this one replaces stays where it is until the end: when
        // it lies among the files to take, it must not go into the new one.
        if (ArchiveInsideFolder(archivePath, Folder, WithSubfolders))
            archiver->AddExcludeMask(ExpandFileName(archivePath));
        archiver->SetStripPath(false);
        archiver->SetStoreFullPath(true);
        archiver->SetFormat83(false);
        archiver->SetRecurseSubDirs(WithSubfolders);
        archiver->AddToArchive();
        archiver->Close();
        archiver.reset(); // released before the archive is put in place

        // The archive keeps the permissions an administrator gave the one it
        // replaces (where it can).
        std::error_code ec;
        const std::filesystem::file_status old = std::filesystem::status(archivePath, ec);
        if (!ec && std::filesystem::is_regular_file(old))
            std::filesystem::permissions(tempPath, old.permissions(), ec);
        ec.clear();
        std::filesystem::rename(tempPath, archivePath, ec);
        if (ec)
            throw Error(Format(SysText("Cannot create file \"%s\". %s"), archivePath,
                               ec == std::errc::no_such_file_or_directory
                                   ? SysText("The archiver component made no archive")
                                   : ec.message()));
    } catch (const Error& e) {
        archiver.reset();
        std::error_code ignored;
        std::filesystem::remove(tempPath, ignored);
        // The component knows the archive by its temporary name only; the log
        // names the archive file.
        std::string message = ReplaceText(e.Message(), ExpandFileName(tempPath), ExpandFileName(archivePath));
        throw Error(ReplaceText(message, tempPath, archivePath));
    } catch (...) {
        archiver.reset();
        std::error_code ignored;
        std::filesystem::remove(tempPath, ignored);
        throw;
    }
}

TBackupServices DefaultBackupServices() {
    TBackupServices services;
    services.Clock = [] { return Now(); };
    services.CreateArchiver = [] { return CreateArchivace(ArchivaceProgId); };
    return services;
}

void RunBackup(const TStrings& CommandLines, const std::string& Catalog, bool WithSubfolders) {
    RunBackup(CommandLines, Catalog, WithSubfolders, DefaultBackupServices());
}

void RunBackup(const TStrings& CommandLines, const std::string& Catalog, bool WithSubfolders,
               const TBackupServices& Services) {
    std::string text;
    for (const std::string& line : CommandLines) text += line + "\r\n";
    text = Trim(text);

    TStrings words;
    if (SplitText(text, " ", words, true, true) < 3 || !SameTextAZ(Unquote(words[0]), "BACKUP"))
        throw Error(SysText("Chybná syntaxe příkazu pro akci typu PARADOX"));
    const TBackupKind kind = BackupKindOf(words[1]);
    const std::string destination = Unquote(words[2]);
    const std::string extension = words.size() <= 3 ? std::string(".FAR") : "." + words[3];
    ArchiveFolder(Unquote(Catalog), destination, extension, kind, WithSubfolders, Services);
}

} // namespace znx
