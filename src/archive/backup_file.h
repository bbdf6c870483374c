#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/bytes.h"

namespace kestrow {

// One content file of a backup. Fields are ordered so that a table of 200,000 entries wastes no
// padding.
struct TBackupFile {
    std::string FileName;          // relative to the backup folder
    std::int64_t Size = 0;         // plain size in bytes, as recorded in the manifest
    bool IsApp = false;            // the domain is an application domain
    std::uint16_t Mode = 0;        // permission bits as recorded (type in the top 4 bits); 0: none kept
    std::uint32_t PathStart = 0;   // where the device-relative path begins in the entry's name
    TBytes Key;                    // unwrapped AES file key; empty when the file is not protected
    std::string_view Domain;       // the manifest domain, kept once by the file table it is in
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

// A content file as a manifest record names it, before its key and domain are known.
inline TBackupFile ContentFile(std::string fileName, std::int64_t size, bool isApp) {
    TBackupFile file;
    file.FileName = std::move(fileName);
    file.Size = size;
    file.IsApp = isApp;
    return file;
}

// The file table: one entry per manifest record, iterated in manifest order, each under a name of
// its own (compared case-sensitively). The first record of a table key is named by that key, so a
// lookup by table key finds the record the device databases are read from; a later record whose
// key is taken (non-application domains share keys) is named "Domain/relative path" instead, so no
// file of the backup is lost.
class TFileTable {
public:
    using TEntry = std::pair<std::string, TBackupFile>;

    TFileTable() = default;
    TFileTable(const TFileTable&) = delete; // entries view into the table's own domains
    TFileTable& operator=(const TFileTable&) = delete;
    TFileTable(TFileTable&&) = default;
    TFileTable& operator=(TFileTable&&) = default;

    bool Contains(std::string_view name) const { return Find(name) != nullptr; }
    const TBackupFile* Find(std::string_view name) const;
    // Adds the record of `domain` + `path` under its table key, or under its domain when the key is
    // taken. With `takeKey` the new record takes a taken key and the one that held it moves under
    // its domain. False when the record did not get its table key.
    bool AddRecord(std::string_view domain, std::string_view path, TBackupFile file, bool takeKey = false);
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
    void Reserve(std::size_t count);
    std::size_t Size() const { return FEntries.size(); }
    const TEntry& At(std::size_t index) const { return FEntries[index]; } // in manifest order
    bool Empty() const { return FEntries.empty(); }
    auto begin() const { return FEntries.begin(); }
    auto end() const { return FEntries.end(); }

private:
    // The index: open addressing over entry numbers + 1 (0: free), each with its name's hash, so
    // a lookup touches one array and compares a name only when the hashes agree.
    struct TSlot {
        std::uint32_t Entry = 0;
        std::uint32_t Hash = 0;
    };
    // The slot holding `name`, or the free slot where it would go.
    std::size_t SlotOf(std::string_view name, std::uint32_t hash) const;
    std::uint32_t EntryOf(std::string_view name) const; // entry number + 1, or 0
    void Grow();
    bool Add(std::string name, TBackupFile file);
    void AddUnderDomain(std::string_view path, TBackupFile file);
    std::string_view SharedDomain(std::string_view domain);

    std::deque<TEntry> FEntries; // stable addresses: files are handed out by reference
    std::vector<TSlot> FSlots;   // a power of two in size, at most half used
    struct TTextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    // Every domain once (nodes keep their strings in place); entries view into these.
    std::unordered_set<std::string, TTextHash, std::equal_to<>> FDomains;
    std::vector<TManifestLink> FLinks;
    std::vector<TEntry> FLeftOut;
    std::vector<std::string> FShadowed;
};

constexpr std::string_view kAppDomainPrefix = "AppDomain-";

class TBackupKeyBag;

// The device-relative path of an entry, as the manifest records it.
inline std::string_view RelativePathOf(const TFileTable::TEntry& entry) {
    return std::string_view(entry.first)
        .substr(std::min<std::size_t>(entry.second.PathStart, entry.first.size()));
}

// Adds one file of the manifest being read. A protected file (`isProtected`: an encrypted backup
// and a key recorded for it) gets its unwrapped key and stays out when the key does not unwrap.
void AddManifestFile(TFileTable& files, std::string_view domain, std::string_view path, TBackupFile file,
                     bool isProtected, TBackupKeyBag* keyBag, std::int32_t protectionClass,
                     const TBytes& wrappedKey);

// The table key of a device file: for an application domain the domain without its first 14
// characters ("AppDomain-com."), "/" and the path; for any other domain the path alone.
std::string TableKeyOf(std::string_view domain, std::string_view relativePath);
bool IsAppDomain(std::string_view domain);

} // namespace kestrow
