#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace kestrow {

constexpr std::size_t kMaxNameBytes = 255; // NAME_MAX

constexpr std::string_view kUnnamedExport = "Unnamed";

// The path of a new export file or folder: `name` made safe (SafeFileName: 68 characters, "_" for
// each of " * / : < > ? \ | , NUL and control characters, short enough for 255 bytes with a suffix
// and the extension) inside `folder` (ending with "/"), with `extension` (empty for a folder); an
// empty name is "Unnamed". When the candidate names anything (a file, a folder or a link), "_1",
// "_2", ... go after the name until one is free, so that an export never writes into, replaces or
// empties what was there. A `companion` suffix (such as "_files" beside "Chat.html") must be free as
// well, taken after the numbered name.
std::string MakeExportPath(std::string_view name, std::string_view extension, const std::string& folder,
                           std::string_view companion = {});

// MakeExportPath for the files of one export run: the next suffix to try is remembered per name,
// so that thousands of records with one name cost no more than distinct names.
class TExportNames {
public:
    std::string Path(std::string_view name, std::string_view extension, const std::string& folder,
                     std::string_view companion = {});

private:
    std::unordered_map<std::string, int> FNext; // folder, name, extension, companion -> next suffix
};

// A name safe as one file name: cut to `maxCharacters` and then to `maxBytes` (never inside a
// character), each of the nine characters above (and NUL) replaced by `replacement`, each control
// character (C0, DEL, C1) by "_"; "." and ".." become a run of the replacement.
std::string SafeFileName(std::string_view name, std::size_t maxCharacters, char replacement,
                         std::size_t maxBytes = kMaxNameBytes);

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
