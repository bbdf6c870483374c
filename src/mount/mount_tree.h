#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/backup_file.h"

namespace kestrow {

// One name in the mounted tree: a folder, a file of the table or a recorded symbolic link.
struct TMountNode {
    std::string Name;
    std::vector<std::uint32_t> Children; // folders: sorted by name
    const TBackupFile* File = nullptr;
    const TManifestLink* Link = nullptr;
    std::int64_t Size = -1; // a file's plain size once known
    bool IsFolder() const { return File == nullptr && Link == nullptr; }
};

// A file or link the tree cannot show, with the reason.
struct TMountSkipped {
    std::string Key;
    const char* Reason; // "unsafe path", "name taken"
};

// The folder tree of a backup's files as extract-all writes it (the table key's "/" as folders) or,
// by domain, as Domain/relative path. Nodes point into the file table, which must outlive the tree.
class TMountTree {
public:
    static constexpr std::uint32_t kRoot = 0;
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    // The one place where table entries become paths; returns what could not be placed.
    std::vector<TMountSkipped> Build(const TFileTable& files, bool byDomain);
    // The node of an absolute path ("/" is the root), or kNone.
    std::uint32_t Find(std::string_view path) const;
    TMountNode& Node(std::uint32_t index) { return FNodes[index]; }
    const TMountNode& Node(std::uint32_t index) const { return FNodes[index]; }
    std::size_t Size() const { return FNodes.size(); }

private:
    std::uint32_t Child(const TMountNode& folder, std::string_view name) const;

    std::vector<TMountNode> FNodes;
};

// The path of a table entry in the tree: its key, or by domain Domain/relative path.
std::string MountPathOf(const std::string& key, std::string_view domain, bool byDomain);

} // namespace kestrow
