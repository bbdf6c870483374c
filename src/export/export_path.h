#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

namespace kestrow {

// A path for `name` inside `folder` (ending with "/") that names nothing existing (a file, a folder
// or a link, dangling or not): the name itself, else "stem (2).ext", "stem (3).ext", ... so that an
// export never overwrites.
std::string UniqueExportPath(const std::string& folder, const std::string& name);

// Names the files of a flat export in one open folder as UniqueExportPath does, remembering the
// names given in this run, so that thousands of equal names cost no more than distinct ones.
class TFlatNames {
public:
    explicit TFlatNames(int folderFd) : FFolderFd(folderFd) {}
    std::string Next(const std::string& name);

private:
    bool Taken(const std::string& candidate) const;

    int FFolderFd;
    std::unordered_set<std::string> FUsed;
    std::unordered_map<std::string, int> FNextNumber;
};

} // namespace kestrow
