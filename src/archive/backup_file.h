#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/bytes.h"

namespace kestrow {

// One content file of a backup.
struct TBackupFile {
    std::string FileName;          // relative to the backup folder
    std::int64_t Size = 0;         // plain size in bytes, as recorded in the manifest
    bool IsApp = false;            // the domain is an application domain
    TBytes Key;                    // unwrapped AES file key; empty when the file is not protected
    std::string Domain;            // the record's domain
    std::uint16_t Mode = 0;        // permission bits as recorded (type in the top 4 bits); 0: none kept
    std::int64_t ModifiedTime = 0; // seconds since 1970 as recorded; 0: none kept
    TBytes Digest;                 // SHA-1 of the plain content as recorded (Manifest.mbdb); else empty
};

// A symbolic link recorded in the manifest (it has no content file).
struct TManifestLink {
    std::string Key; // table key, as a file's
    std::string Domain;
    std::string Target;
    std::uint16_t Mode = 0;
    std::int64_t ModifiedTime = 0;
};

// The file table: table key -> content file, iterated in manifest order. Keys are compared
// case-sensitively.
class TFileTable {
public:
    using TEntry = std::pair<std::string, TBackupFile>;

    bool Contains(std::string_view key) const { return FIndex.contains(key); }
    const TBackupFile* Find(std::string_view key) const;
    // Adds a new key; false (and nothing changes) when the key is present.
    bool Add(std::string key, TBackupFile file);
    // Replaces the file of a present key, keeping its place in the order.
    void Replace(std::string_view key, TBackupFile file);
    void Clear();

    // What the manifest holds beside the table: symbolic links; files left out because their key
    // does not unwrap (an integrity check lists them); and the content files of records whose key
    // an earlier record took (they are part of the backup, not strays).
    void AddLink(TManifestLink link) { FLinks.push_back(std::move(link)); }
    const std::vector<TManifestLink>& Links() const { return FLinks; }
    void AddLeftOut(std::string key, TBackupFile file) {
        FLeftOut.emplace_back(std::move(key), std::move(file));
    }
    const std::vector<TEntry>& LeftOut() const { return FLeftOut; }
    void AddShadowed(std::string fileName) { FShadowed.push_back(std::move(fileName)); }
    const std::vector<std::string>& Shadowed() const { return FShadowed; }
    void Reserve(std::size_t count) { FIndex.reserve(count); }
    std::size_t Size() const { return FEntries.size(); }
    const TEntry& At(std::size_t index) const { return FEntries[index]; } // in manifest order
    bool Empty() const { return FEntries.empty(); }
    auto begin() const { return FEntries.begin(); }
    auto end() const { return FEntries.end(); }

private:
    std::deque<TEntry> FEntries; // stable addresses: the index views into these keys
    std::unordered_map<std::string_view, std::size_t> FIndex;
    std::vector<TManifestLink> FLinks;
    std::vector<TEntry> FLeftOut;
    std::vector<std::string> FShadowed;
};

constexpr std::string_view kAppDomainPrefix = "AppDomain-";

class TBackupKeyBag;

// Adds one file of the manifest being read. A protected file (`isProtected`: an encrypted backup
// and a key recorded for it) gets its unwrapped key and stays out when the key does not unwrap.
void AddManifestFile(TFileTable& files, std::string key, TBackupFile file, bool isProtected,
                     TBackupKeyBag* keyBag, std::int32_t protectionClass, const TBytes& wrappedKey);

// The table key of a device file: for an application domain the domain without its first 14
// characters ("AppDomain-com."), "/" and the path; for any other domain the path alone.
std::string TableKeyOf(std::string_view domain, std::string_view relativePath);
bool IsAppDomain(std::string_view domain);

} // namespace kestrow
