#pragma once
// Small file-system queries and changes whose failures callers may ignore;
// the ones that must not be ignored go through RecordFile and TextFile.

#include <cstdint>
#include <string>
#include <vector>

namespace zel {

bool FileExists(const std::string& path); // a file, not a folder
bool DirectoryExists(const std::string& path);
// The path itself, not what a link names: a link, or a regular file.
bool IsSymbolicLink(const std::string& path);
bool IsPlainFile(const std::string& path);
// Size in bytes, or -1 when there is no such file.
std::int64_t FileSizeOf(const std::string& path);
// Names of every entry of a folder (files, folders, hidden ones), without
// "." and ".."; empty when the folder cannot be listed.
std::vector<std::string> ListDirectory(const std::string& path);
// Each returns whether it worked; none raises.
bool DeleteFileAt(const std::string& path);      // a file or a link itself, never a folder
bool CreateDirectoryAt(const std::string& path); // one level
bool RemoveDirectoryAt(const std::string& path); // an empty folder only
std::string CurrentDirectory();
bool SetCurrentDirectory(const std::string& path);

} // namespace zel
