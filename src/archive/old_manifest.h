#pragma once

#include <string>

#include "archive/backup_file.h"

namespace kestrow {

// The oldest layout: Manifest.plist holds under "data" a nested list whose "Files" dictionary maps
// content base names to their domain and length; <name>.mdinfo gives each file's device path and
// <name>.mddata holds its content. Of two files with one table key the one written last wins.
// Returns the number of entries newly added. `workFile` receives the conversions.
int ReadOldManifest(const std::string& folder, const std::string& workFile, TFileTable& files);

// The "Path" in the nested "Metadata" list of folder + baseName + ".mdinfo", or empty.
std::string ReadMdInfoPath(const std::string& folder, const std::string& baseName,
                           const std::string& workFile);

} // namespace kestrow
