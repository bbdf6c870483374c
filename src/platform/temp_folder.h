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
    const std::string& Path() const { return FPath; } // ends with "/"

private:
    std::string FPath;
};

// Removes a folder tree without following symbolic links. Returns false when something stayed.
bool RemoveTree(const std::string& path);

} // namespace kestrow
