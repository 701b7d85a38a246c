#pragma once
// Files and folders.
#include <cstdint>
#include <string>

namespace mm::sys {

bool PathExists(const std::string& path);  // any kind of entry
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
std::int64_t FileSize(const std::string& path);  // -1 when missing
// Creates the folder and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);
// True when a new file can be created in the folder (tried, then removed).
bool CanCreateFilesIn(const std::string& folder);
bool RemoveFile(const std::string& path);
// Renames without ever replacing an existing target; false (errno EEXIST) when
// the target exists. Works on file systems without renameat2 and hard links
// too (many FUSE mounts, exFAT): the target is then created exclusively and
// the file renamed over that empty file of its own.
bool RenameNoReplace(const std::string& from, const std::string& to);

// The system calls RenameNoReplace stands on. Tests swap them to act out file
// systems that lack some (many FUSE mounts, exFAT); each returns 0 or -1 with
// errno, as the system call does.
struct RenameCalls {
    int (*renameNoReplace)(const char* from, const char* to);  // renameat2(RENAME_NOREPLACE)
    int (*link)(const char* from, const char* to);
    int (*rename)(const char* from, const char* to);
};
RenameCalls SystemRenameCalls();
// Installs calls for the whole process; returns the ones installed before.
RenameCalls SetRenameCalls(RenameCalls calls);
bool ReadFile(const std::string& path, std::string& out);
// Writes a whole file beside the target and renames it over the target.
bool WriteFileAtomic(const std::string& path, const std::string& data);
// Writes a whole file to "<path>.part" and renames it to path only when whole,
// never replacing anything: false (errno EEXIST) when path exists. The part
// file is removed on failure.
bool WriteNewFile(const std::string& path, const std::string& data);
// Longest name (in bytes) the file system allows in that folder.
long MaxNameBytes(const std::string& folder);

std::string HomeDir();
// $XDG_CONFIG_HOME or ~/.config
std::string ConfigHome();
// $XDG_DATA_HOME or ~/.local/share
std::string DataHome();
std::string DirName(const std::string& path);

}  // namespace mm::sys
