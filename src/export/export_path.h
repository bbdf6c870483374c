#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace kestrow {

// The path of a new export file or folder: `name` cut to its first 68 characters, each of
// " * / : < > ? \ | (and NUL) made "_", inside `folder` (ending with "/"), with `extension` (empty
// for a folder); an empty name is "Unnamed". When the candidate names anything (a file, a folder or a link),
// "_1", "_2", ... go after the name until one is free, so that an export never writes into, replaces or
// empties what was there. A `companion` suffix (such as "_files" beside "Chat.html") must be free as well,
// taken after the numbered name.
std::string MakeExportPath(std::string_view name, std::string_view extension, const std::string& folder,
                           std::string_view companion = {});

// A name safe as one file name: cut to `maxCharacters`, each of the nine characters above (and
// NUL) replaced by `replacement`; "." and ".." become a run of the replacement.
std::string SafeFileName(std::string_view name, std::size_t maxCharacters, char replacement);

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
