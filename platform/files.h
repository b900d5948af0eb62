#pragma once
// File services: whole-file read, atomic whole-file replace, one-line append,
// the Windows-folder stand-in and path expansion.

#include <string>

namespace znx {

bool FileExists(const std::string& path);

// True when this process may write the file (or create it in its folder).
bool FileWritable(const std::string& path);

// The whole content. Raises Error "Cannot open file "%s". %s" on failure.
std::string ReadWholeFile(const std::string& path);

// Replaces the whole content atomically: a temporary file in the same folder
// is written, flushed and renamed over the old one, whose permissions it keeps.
// A failure leaves the old file whole and raises
// Error "Cannot create file "%s". %s".
void ReplaceWholeFile(const std::string& path, const std::string& content);

// Appends the bytes with a single write call on a file opened for appending
// (created when missing). Raises Error "Cannot open file "%s". %s" when the
// file cannot be opened; returns false when the write or the close failed.
bool AppendToFile(const std::string& path, const std::string& bytes);

// Deletes a file; false when it could not be deleted.
bool DeleteFile(const std::string& path);

// The folder that stands in for the Windows folder: $ZNX_WINDOWS_DIR, else
// /etc/znx on Linux; the real one on Windows. Raises Error
// "Unable to retrieve Windows directory" when it cannot be obtained.
std::string WindowsDirectory();

// Full path against the current folder, "." and ".." resolved lexically.
std::string ExpandFileName(const std::string& path);

// True when the name has no folder part (no path delimiter, or on Windows no
// "\" and no ":").
bool IsBareFileName(const std::string& path);

// Whether the file system compares names without regard to letter case.
bool FileNamesIgnoreCase();

// The system's text for an errno / GetLastError code.
std::string SysErrorMessage(int code);

} // namespace znx
