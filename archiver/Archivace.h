#pragma once
// The archiver component "ZNX.Archivace": packs the files of folders into a
// ZIP archive (deflate, ZIP64 where sizes need it). Files are streamed in
// blocks of a fixed size, so memory does not grow with the size of a file.
//
// Settings (InitParams restores them): no archive file, no masks, no exclude
// masks, StripPath, StoreFullPath, Format83 and RecurseSubDirs all off.
//
// Entry names: with StripPath the file name alone; else with StoreFullPath
// the full path of the file (made absolute and normalised, without the
// leading "/"); else the path below the mask's folder. Never a ".." part.
//
// AddToArchive writes the archive under a temporary name beside the archive
// file; Close finishes it and puts it in place of the archive file, so an
// older archive of that name stays whole until the new one is complete. An
// archive not closed when the object goes away is removed.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/automation.h"

struct archive;

namespace znx {

// Wildcard match as the file system of the archiver's origin does it: "*"
// any run of characters, "?" one character, letter case ignored (Czech
// letters included); the mask "*.*" matches every name.
bool MatchesMask(const std::string& Name, const std::string& Mask);

// A path part in the 8.3 form, "~n" numbering against the names in Used
// (which gets the result added).
std::string ShortName83(const std::string& Name, std::set<std::string>& Used);

class TArchivace : public IArchivace {
public:
    TArchivace();
    ~TArchivace() override;

    void InitParams() override;
    // Leaves the full path of the archive file in the argument.
    void SetArchiveFile(std::string& FileName) override;
    void AddMask(const std::string& Mask) override;
    void AddExcludeMask(const std::string& Mask) override;
    void SetStripPath(bool Value) override;
    void SetStoreFullPath(bool Value) override;
    void SetFormat83(bool Value) override;
    void SetRecurseSubDirs(bool Value) override;
    void AddToArchive() override;
    void Close() override;

    // Size of the blocks files are read and handed on in.
    static constexpr size_t BlockSize = 64 * 1024;

private:
    struct TMask {
        std::string Folder;  // full path, no trailing "/" (except the root)
        std::string Pattern; // the wildcard part
    };
    struct TSource {
        uint64_t Device, Inode;
        std::string Path;
    };

    void Abandon();
    void OpenArchive();
    void AddFolder(const TMask& Mask, const std::string& Folder, const std::string& Relative);
    void AddFile(const std::string& Path, const std::string& Relative);
    void AddDirectory(const std::string& Path, const std::string& Relative);
    bool Excluded(const std::string& Path, const std::string& FileName) const;
    std::string EntryName(const std::string& Path, const std::string& Relative, bool Directory);
    std::string To83(const std::string& Name);
    [[noreturn]] void FailArchive(const std::string& What) const;

    // settings
    std::string FArchiveFile;
    std::vector<TMask> FMasks;
    std::vector<std::string> FExcludeMasks;
    bool FStripPath = false;
    bool FStoreFullPath = false;
    bool FFormat83 = false;
    bool FRecurseSubDirs = false;

    // the archive being written
    struct archive* FArchive = nullptr;
    int FFd = -1;
    std::string FTempPath;
    std::string FTarget; // the archive file this archive will replace
    uint64_t FTempDevice = 0, FTempInode = 0;
    bool FTargetExists = false;
    uint64_t FTargetDevice = 0, FTargetInode = 0;
    uint32_t FTargetMode = 0;
    bool FFailed = false; // AddToArchive failed; the archive was abandoned
    std::map<std::string, TSource> FEntries;
    std::map<std::string, std::string> FShortDirs;              // long entry folder -> 8.3 form
    std::map<std::string, std::set<std::string>> FShortUsed;    // 8.3 folder -> names used in it
    std::unique_ptr<char[]> FBuffer;
};

} // namespace znx
