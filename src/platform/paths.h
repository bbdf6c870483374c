#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrow {

// Paths are UTF-8 byte strings with "/" as separator. A folder path handed around between the
// layers ends with "/", so that a folder and a name join by plain concatenation.

std::string WithTrailingSlash(std::string_view path);
std::string WithoutTrailingSlash(std::string_view path);
std::string LastPathComponent(std::string_view path);
std::string ParentFolder(std::string_view path); // ends with "/", empty when the path has no folder part
std::string ExtensionOf(std::string_view path);  // without the dot, empty when none

bool FileExists(const std::string& path); // a regular file (symbolic links followed)
bool FolderExists(const std::string& path);
bool PathExists(const std::string& path);              // anything, a dangling link included
std::int64_t FileSizeOf(const std::string& path);      // -1 when missing
std::int64_t LastWriteTimeOf(const std::string& path); // nanoseconds since 1970; 0 when missing or empty

// The path of `name` inside `folder` (ending with "/"), matched ASCII case-insensitively when no
// entry has exactly that name; folder + name when none matches.
std::string FindNameNoCase(const std::string& folder, const std::string& name);

// Creates the folder and every missing parent. Returns 0 or the errno of the failure.
int MakeFolders(const std::string& path);

// A table key or other untrusted relative path is safe to append below a chosen folder when it is
// relative, has no "." or ".." segment, no backslash and no NUL byte.
bool IsSafeRelativePath(std::string_view path);

} // namespace kestrow
