#include "mount/mount_tree.h"

#include <algorithm>
#include <unordered_map>

#include "platform/paths.h"
#include "platform/text.h"

namespace kestrow {

namespace {

// Adds folders and the leaf while a tree is built; folders are found by their full path.
class TTreeBuilder {
public:
    explicit TTreeBuilder(std::vector<TMountNode>& nodes) : FNodes(nodes) {
        FNodes.assign(1, TMountNode());
        FFolders.emplace("", TMountTree::kRoot);
    }

    // The new leaf's node, or kNone when a name on the way (or the leaf's) is taken.
    std::uint32_t AddLeaf(const std::string& path) {
        const std::size_t slash = path.rfind('/');
        const std::uint32_t folder =
            slash == std::string::npos ? TMountTree::kRoot : FolderOf(path.substr(0, slash));
        if (folder == TMountTree::kNone || FFolders.contains(path) || !FTaken.emplace(path, 0).second) {
            return TMountTree::kNone;
        }
        return AddChild(folder, path.substr(slash == std::string::npos ? 0 : slash + 1));
    }

private:
    std::uint32_t FolderOf(const std::string& path) {
        if (const auto found = FFolders.find(path); found != FFolders.end()) {
            return found->second;
        }
        if (FTaken.contains(path)) {
            return TMountTree::kNone; // a file has this name
        }
        const std::size_t slash = path.rfind('/');
        const std::uint32_t parent =
            slash == std::string::npos ? TMountTree::kRoot : FolderOf(path.substr(0, slash));
        if (parent == TMountTree::kNone) {
            return TMountTree::kNone;
        }
        const std::uint32_t folder =
            AddChild(parent, path.substr(slash == std::string::npos ? 0 : slash + 1));
        FFolders.emplace(path, folder);
        return folder;
    }

    std::uint32_t AddChild(std::uint32_t parent, std::string name) {
        const auto index = static_cast<std::uint32_t>(FNodes.size());
        FNodes.emplace_back().Name = std::move(name);
        FNodes[parent].Children.push_back(index);
        return index;
    }

    std::vector<TMountNode>& FNodes;
    std::unordered_map<std::string, std::uint32_t> FFolders;
    std::unordered_map<std::string, char> FTaken; // leaves
};

} // namespace

std::string MountPathOf(const std::string& key, const std::string& domain, bool byDomain) {
    if (!byDomain) {
        return key;
    }
    const std::string prefix = TableKeyOf(domain, ""); // "" or the application's "<identifier>/"
    return domain + "/" + (StartsWith(key, prefix) ? key.substr(prefix.size()) : key);
}

std::vector<TMountSkipped> TMountTree::Build(const TFileTable& files, bool byDomain) {
    std::vector<TMountSkipped> skipped;
    TTreeBuilder builder(FNodes);
    const auto place = [&](const std::string& key, const std::string& domain) {
        const std::string path = MountPathOf(key, domain, byDomain);
        const bool emptyName = path.find("//") != std::string::npos || path.back() == '/';
        if (!IsSafeRelativePath(path) || emptyName || (byDomain && domain.empty())) {
            skipped.push_back({key, "unsafe path"});
            return kNone;
        }
        const std::uint32_t node = builder.AddLeaf(path);
        if (node == kNone) {
            skipped.push_back({key, "name taken"});
        }
        return node;
    };
    for (const auto& [key, file] : files) {
        if (const std::uint32_t node = place(key, file.Domain); node != kNone) {
            FNodes[node].File = &file;
        }
    }
    for (const TManifestLink& link : files.Links()) {
        if (const std::uint32_t node = place(link.Key, link.Domain); node != kNone) {
            FNodes[node].Link = &link;
        }
    }
    for (TMountNode& node : FNodes) {
        std::sort(node.Children.begin(), node.Children.end(),
                  [this](std::uint32_t a, std::uint32_t b) { return FNodes[a].Name < FNodes[b].Name; });
        node.Children.shrink_to_fit();
    }
    return skipped;
}

std::uint32_t TMountTree::Child(const TMountNode& folder, std::string_view name) const {
    const auto found =
        std::lower_bound(folder.Children.begin(), folder.Children.end(), name,
                         [this](std::uint32_t a, std::string_view n) { return FNodes[a].Name < n; });
    return found != folder.Children.end() && FNodes[*found].Name == name ? *found : kNone;
}

std::uint32_t TMountTree::Find(std::string_view path) const {
    std::uint32_t node = kRoot;
    std::size_t pos = 0;
    while (node != kNone && pos < path.size()) {
        if (path[pos] == '/') {
            ++pos;
            continue;
        }
        const std::size_t end = std::min(path.find('/', pos), path.size());
        node = FNodes[node].IsFolder() ? Child(FNodes[node], path.substr(pos, end - pos)) : kNone;
        pos = end;
    }
    return node;
}

} // namespace kestrow
