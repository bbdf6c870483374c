#include "archive/manifest_mbdb.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include "crypto/digest.h"
#include "platform/file_io.h"
#include "platform/text.h"

namespace kestrow {

namespace {

constexpr std::uint16_t kAbsent = 0xFFFF;
constexpr std::size_t kOwnerBlock = 16; // inode, user and group id, before the three times
constexpr std::size_t kDigestSize = 20; // SHA-1
constexpr std::size_t kMaxReserve = std::size_t{1} << 18;

// Big-endian reads over the mapped manifest; every length is checked against what is left.
class TMbdbReader {
public:
    explicit TMbdbReader(std::string_view data) : FData(data) {}

    bool AtEnd() const { return FPos >= FData.size(); }
    std::size_t Left() const { return FData.size() - FPos; }

    std::optional<std::uint64_t> Number(std::size_t bytes) {
        if (Left() < bytes) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            value = (value << 8) | static_cast<unsigned char>(FData[FPos++]);
        }
        return value;
    }
    // A string's bytes; nullopt when its length runs past the end.
    std::optional<std::string_view> String() {
        const auto length = Number(2);
        if (!length) {
            return std::nullopt;
        }
        if (*length == kAbsent) {
            return std::string_view();
        }
        if (Left() < *length) {
            return std::nullopt;
        }
        const std::string_view value = FData.substr(FPos, *length);
        FPos += *length;
        return value;
    }
    void SkipToEnd() { FPos = FData.size(); }
    bool Skip(std::size_t bytes) {
        if (Left() < bytes) {
            return false;
        }
        FPos += bytes;
        return true;
    }

private:
    std::string_view FData;
    std::size_t FPos = 0;
};

struct TMbdbRecord {
    std::string Domain;
    std::string Path;
    std::string LinkTarget;
    std::string_view DataHash;
    std::string_view EncryptionKey;
    std::uint16_t Mode = 0;
    std::int64_t ModifiedTime = 0;
    std::int64_t Size = 0;
    std::uint8_t ProtectionClass = 0;
};

enum class TRecordRead { Ok, End, KeyTruncated };

// Text strings are taken up to their first NUL; an empty domain (so also one that starts with
// NUL) ends the reading. A record cut short after its size is still complete enough to enter: the
// protection class and property count then read as 0.
TRecordRead ReadRecord(TMbdbReader& in, bool encrypted, TMbdbRecord& record) {
    const auto domain = in.String();
    if (!domain) {
        return TRecordRead::End;
    }
    record.Domain = UpToNul(*domain);
    if (record.Domain.empty()) {
        return TRecordRead::End;
    }
    const auto path = in.String();
    const auto target = path ? in.String() : std::nullopt;
    const auto hash = target ? in.String() : std::nullopt;
    if (!hash) {
        return TRecordRead::End;
    }
    record.Path = UpToNul(*path);
    record.LinkTarget = UpToNul(*target);
    record.DataHash = *hash;
    const auto key = in.String();
    if (!key) {
        return encrypted ? TRecordRead::KeyTruncated : TRecordRead::End;
    }
    record.EncryptionKey = encrypted ? *key : std::string_view();
    const auto mode = in.Number(2);
    const auto modified = mode && in.Skip(kOwnerBlock) ? in.Number(4) : std::nullopt;
    if (!modified || !in.Skip(8)) { // access and change times
        return TRecordRead::End;
    }
    const auto size = in.Number(8);
    if (!size) {
        return TRecordRead::End;
    }
    record.Mode = static_cast<std::uint16_t>(*mode);
    record.ModifiedTime = static_cast<std::int64_t>(*modified);
    record.Size = static_cast<std::int64_t>(*size);
    record.ProtectionClass = static_cast<std::uint8_t>(in.Number(1).value_or(0));
    const std::uint64_t properties = in.Number(1).value_or(0);
    for (std::uint64_t i = 0; i < properties; ++i) {
        if (!in.String() || !in.String()) {
            in.SkipToEnd();
            break;
        }
    }
    return TRecordRead::Ok;
}

bool IsRegularFile(std::uint16_t mode) {
    return (mode >> 12) == 8;
}

bool IsLink(std::uint16_t mode) {
    return (mode >> 12) == 0xA;
}

TBackupFile FileOf(const TMbdbRecord& record) {
    // The domain is set as the table takes the file in.
    TBackupFile file =
        ContentFile(Sha1HexOf(record.Domain + "-" + record.Path), record.Size, IsAppDomain(record.Domain));
    file.Mode = record.Mode;
    file.ModifiedTime = record.ModifiedTime;
    if (record.DataHash.size() == kDigestSize) {
        file.Digest.assign(record.DataHash.begin(), record.DataHash.end());
    }
    return file;
}

} // namespace

int ReadMbdbBytes(std::string_view data, bool encrypted, TBackupKeyBag* keyBag, TFileTable& files,
                  TSessionLog& log) {
    if (data.size() < 6 || data.substr(0, 4) != "mbdb") {
        return 0;
    }
    TMbdbReader in(data.substr(6));
    // A typical record is well over 128 bytes; a sparse file must not size the table on its own.
    files.Reserve(std::min<std::size_t>(data.size() / 128, kMaxReserve));
    int count = 0;
    TMbdbRecord record;
    while (!in.AtEnd()) {
        const TRecordRead outcome = ReadRecord(in, encrypted, record);
        if (outcome == TRecordRead::KeyTruncated) {
            log.Append("Dump MBD- error");
        }
        if (outcome != TRecordRead::Ok) {
            break;
        }
        if (IsLink(record.Mode) && !record.Path.empty()) {
            files.AddLink({TableKeyOf(record.Domain, record.Path), record.Domain, record.LinkTarget,
                           record.Mode, record.ModifiedTime});
        }
        if (!IsRegularFile(record.Mode) || record.Path.empty()) {
            continue;
        }
        const std::string_view keyField = record.EncryptionKey;
        const std::string_view wrapped = keyField.substr(std::min<std::size_t>(4, keyField.size()));
        AddManifestFile(files, record.Domain, record.Path, FileOf(record), encrypted && !keyField.empty(),
                        keyBag, record.ProtectionClass, TBytes(wrapped.begin(), wrapped.end()));
        ++count;
    }
    return count;
}

int ReadMbdb(const std::string& folder, bool encrypted, TBackupKeyBag* keyBag, TFileTable& files,
             TSessionLog& log) {
    TMappedFile manifest;
    if (const int err = manifest.Open(folder + "Manifest.mbdb"); err != 0) {
        if (err != ENOENT) {
            log.Append("Dump MBD- error"); // there, but it cannot be read
        }
        return 0;
    }
    return ReadMbdbBytes(manifest.View(), encrypted, keyBag, files, log);
}

} // namespace kestrow
