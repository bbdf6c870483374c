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

namespace {

std::uint32_t HashOf(std::string_view name) {
    const std::size_t hash = std::hash<std::string_view>()(name);
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

} // namespace

std::size_t TFileTable::SlotOf(std::string_view name, std::uint32_t hash) const {
    const std::size_t mask = FSlots.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const TSlot& slot = FSlots[at];
        if (slot.Entry == 0 || (slot.Hash == hash && FEntries[slot.Entry - 1].first == name)) {
            return at;
        }
    }
}

void TFileTable::Grow() {
    std::vector<TSlot> old(std::max<std::size_t>(FSlots.size() * 2, 64));
    old.swap(FSlots);
    const std::size_t mask = FSlots.size() - 1;
    for (const TSlot& slot : old) {
        if (slot.Entry != 0) {
            std::size_t at = slot.Hash & mask;
            while (FSlots[at].Entry != 0) {
                at = (at + 1) & mask;
            }
            FSlots[at] = slot;
        }
    }
}

void TFileTable::Reserve(std::size_t count) {
    while (FSlots.size() < 2 * count) {
        Grow();
    }
}

std::uint32_t TFileTable::EntryOf(std::string_view name) const {
    return FSlots.empty() ? 0 : FSlots[SlotOf(name, HashOf(name))].Entry;
}

const TBackupFile* TFileTable::Find(std::string_view name) const {
    const std::uint32_t entry = EntryOf(name);
    return entry == 0 ? nullptr : &FEntries[entry - 1].second;
}

bool TFileTable::Add(std::string name, TBackupFile file) {
    if (2 * (FEntries.size() + 1) > FSlots.size()) {
        Grow();
    }
    const std::uint32_t hash = HashOf(name);
    TSlot& slot = FSlots[SlotOf(name, hash)];
    if (slot.Entry != 0) {
        return false;
    }
    FEntries.emplace_back(std::move(name), std::move(file));
    slot = {static_cast<std::uint32_t>(FEntries.size()), hash};
    return true;
}

std::string_view TFileTable::SharedDomain(std::string_view domain) {
    const auto found = FDomains.find(domain);
    return found != FDomains.end() ? *found : *FDomains.emplace(domain).first;
}

bool TFileTable::AddRecord(std::string_view domain, std::string_view path, TBackupFile file, bool takeKey) {
    std::string key = TableKeyOf(domain, path);
    file.Domain = SharedDomain(domain);
    file.PathStart = static_cast<std::uint32_t>(key.size() - path.size());
    const std::uint32_t holder = EntryOf(key);
    if (holder == 0) {
        return Add(std::move(key), std::move(file));
    }
    if (!takeKey) {
        AddUnderDomain(path, std::move(file));
        return false;
    }
    TBackupFile previous = std::exchange(FEntries[holder - 1].second, std::move(file));
    AddUnderDomain(std::string_view(key).substr(previous.PathStart), std::move(previous));
    return true;
}

void TFileTable::AddUnderDomain(std::string_view path, TBackupFile file) {
    // "Domain/path"; should a name like that be taken as well, "Domain (2)/path", ...
    std::string folder(file.Domain);
    for (int n = 2;; ++n) {
        file.PathStart = static_cast<std::uint32_t>(folder.size() + 1);
        if (Add(folder + "/" + std::string(path), file)) {
            return;
        }
        folder = std::string(file.Domain) + " (" + std::to_string(n) + ")";
    }
}

void TFileTable::Clear() {
    FSlots.clear();
    FEntries.clear();
    FLinks.clear();
    FLeftOut.clear();
    FShadowed.clear();
    FDomains.clear();
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
