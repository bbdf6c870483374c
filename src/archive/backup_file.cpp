#include "archive/backup_file.h"

#include <utility>

#include "crypto/key_bag.h"
#include "platform/text.h"

namespace kestrow {

namespace {

// Drops `count` UTF-8 code points from the front without splitting a sequence.
std::string_view DropCodePoints(std::string_view text, std::size_t count) {
    std::size_t pos = 0;
    while (count > 0 && pos < text.size()) {
        ++pos;
        while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) {
            ++pos;
        }
        --count;
    }
    return text.substr(pos);
}

} // namespace

const TBackupFile* TFileTable::Find(std::string_view key) const {
    const auto found = FIndex.find(key);
    return found == FIndex.end() ? nullptr : &FEntries[found->second].second;
}

bool TFileTable::Add(std::string key, TBackupFile file) {
    FEntries.emplace_back(std::move(key), std::move(file));
    // One lookup: the entry is placed first (the index views its key) and taken back when present.
    if (!FIndex.emplace(FEntries.back().first, FEntries.size() - 1).second) {
        FEntries.pop_back();
        return false;
    }
    return true;
}

bool TFileTable::AddRecord(std::string_view domain, std::string_view path, TBackupFile file, bool takeKey) {
    std::string key = TableKeyOf(domain, path);
    file.Domain = std::string(domain);
    file.PathStart = static_cast<std::uint32_t>(key.size() - path.size());
    if (const auto found = FIndex.find(key); found != FIndex.end()) {
        if (!takeKey) {
            AddUnderDomain(path, std::move(file));
            return false;
        }
        const TEntry& holder = FEntries[found->second];
        TBackupFile previous = std::exchange(FEntries[found->second].second, std::move(file));
        AddUnderDomain(std::string_view(holder.first).substr(previous.PathStart), std::move(previous));
        return true;
    }
    return Add(std::move(key), std::move(file));
}

void TFileTable::AddUnderDomain(std::string_view path, TBackupFile file) {
    // "Domain/path"; should a name like that be taken as well, "Domain (2)/path", ...
    std::string folder = file.Domain;
    for (int n = 2;; ++n) {
        file.PathStart = static_cast<std::uint32_t>(folder.size() + 1);
        if (Add(folder + "/" + std::string(path), file)) {
            return;
        }
        folder = file.Domain + " (" + std::to_string(n) + ")";
    }
}

void TFileTable::Clear() {
    FIndex.clear();
    FEntries.clear();
    FLinks.clear();
    FLeftOut.clear();
    FShadowed.clear();
}

void AddManifestFile(TFileTable& files, std::string_view domain, std::string_view path, TBackupFile file,
                     bool isProtected, TBackupKeyBag* keyBag, std::int32_t protectionClass,
                     const TBytes& wrappedKey) {
    if (isProtected) {
        file.Key = keyBag != nullptr ? keyBag->UnwrapFileKey(protectionClass, wrappedKey) : TBytes();
        if (file.Key.empty()) {
            files.AddLeftOut(TableKeyOf(domain, path), std::move(file));
            return;
        }
    }
    files.AddRecord(domain, path, std::move(file));
}

bool IsAppDomain(std::string_view domain) {
    return StartsWith(domain, kAppDomainPrefix);
}

std::string TableKeyOf(std::string_view domain, std::string_view relativePath) {
    if (!IsAppDomain(domain)) {
        return std::string(relativePath);
    }
    std::string key(DropCodePoints(domain, 14));
    key += '/';
    key += relativePath;
    return key;
}

} // namespace kestrow
