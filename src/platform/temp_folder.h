#pragma once

#include <string>

namespace kestrow {

// A private folder (mode 0700) under $TMPDIR, made with mkdtemp. Decrypted working copies of
// personal data live here, and the folder with everything in it is removed when the owner ends.
class TTempFolder {
public:
    TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    ~TTempFolder();

    bool IsValid() const { return !FPath.empty(); }
    int Error() const { return FError; }              // errno of a folder that could not be made
    const std::string& Path() const { return FPath; } // ends with "/"

private:
    std::string FPath;
    int FError = 0;
};

// Removes a folder tree without following symbolic links. Returns false when something stayed.
bool RemoveTree(const std::string& path);

// Removes every private folder that still exists: the last act of a process ended by a signal while
// its owners could not run their destructors.
void RemoveLiveTempFolders();

} // namespace kestrow
