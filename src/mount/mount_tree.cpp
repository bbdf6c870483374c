#include "mount/mount_tree.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "platform/paths.h"
#include "platform/text.h"

namespace kestrow {

namespace {

// Adds folders and the leaf while a tree is built. Folders are found by their full path; leaves
// (most of the tree) only by a hash of folder and name, confirmed in the folder, so building a tree
// of 200,000 files does not hold every path twice.
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
        const std::string_view name =
            std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
        if (folder == TMountTree::kNone || FFolders.contains(path) || HasLeaf(folder, name)) {
            return TMountTree::kNone;
        }
        FLeaves.insert(LeafHash(folder, name));
        return AddChild(folder, std::string(name));
    }

private:
    static std::size_t LeafHash(std::uint32_t folder, std::string_view name) {
        return std::hash<std::string_view>()(name) ^ (std::size_t{folder} * 0x9E3779B97F4A7C15ull);
    }

    bool HasLeaf(std::uint32_t folder, std::string_view name) const {
        if (!FLeaves.contains(LeafHash(folder, name))) {
            return false;
        }
        const auto& children = FNodes[folder].Children;
        return std::any_of(children.begin(), children.end(), [&](std::uint32_t child) {
            return FNodes[child].Name == name && !FFolderNodes.contains(child);
        });
    }

    std::uint32_t FolderOf(const std::string& path) {
        if (const auto found = FFolders.find(path); found != FFolders.end()) {
            return found->second;
        }
        const std::size_t slash = path.rfind('/');
        const std::uint32_t parent =
            slash == std::string::npos ? TMountTree::kRoot : FolderOf(path.substr(0, slash));
        const std::string_view name =
            std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
        if (parent == TMountTree::kNone || HasLeaf(parent, name)) {
            return TMountTree::kNone; // a file has this name
        }
        const std::uint32_t folder = AddChild(parent, std::string(name));
        FFolders.emplace(path, folder);
        FFolderNodes.insert(folder);
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
    std::unordered_set<std::uint32_t> FFolderNodes;
    std::unordered_set<std::size_t> FLeaves; // hashes of (folder, name)
};

} // namespace

std::string MountPathOf(const std::string& key, std::string_view domain, bool byDomain) {
    if (!byDomain) {
        return key;
    }
    const std::string prefix = TableKeyOf(domain, ""); // "" or the application's "<identifier>/"
    return std::string(domain) + "/" + (StartsWith(key, prefix) ? key.substr(prefix.size()) : key);
}

std::vector<TMountSkipped> TMountTree::Build(const TFileTable& files, bool byDomain) {
    std::vector<TMountSkipped> skipped;
    TTreeBuilder builder(FNodes);
    // Room for the files, the links and a folder for every eighth of them: the node array is not
    // doubled (and held twice) while the tree grows.
    FNodes.reserve(files.Size() + files.Links().size() + files.Size() / 8 + 64);
    const auto place = [&](const std::string& key, std::string_view domain) {
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
