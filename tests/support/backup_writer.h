#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrow::test {

struct TTestFile {
    TTestFile() = default;
    TTestFile(std::string domain, std::string path, std::string content, std::uint16_t mode = 0x81A4)
        : Domain(std::move(domain)), Path(std::move(path)), Content(std::move(content)), Mode(mode) {}

    std::string Domain = "HomeDomain";
    std::string Path;
    std::string Content;
    std::uint16_t Mode = 0x81A4;
    std::uint8_t ProtectionClass = 3;
    bool Protected = true;                    // in an encrypted backup: encrypted with its own key
    std::optional<std::int64_t> RecordedSize; // default: the content's size
    std::int64_t ModifiedTime = 1475000000;
    std::string LinkTarget; // a symbolic link's (mode 0xA1ED)
    bool BadKey = false;    // its wrapped key is damaged, so it does not unwrap
};

enum class TLayout { Mbdb, Old, ManifestDb, None };

struct TBackupPlan {
    std::string FolderName;
    std::string DeviceName = "Test iPhone";
    std::string UniqueId;               // empty: none written
    std::int64_t DateUnix = 1336637730; // 2012-05-10 08:15:30 UTC
    bool Encrypted = false;
    std::string Password = "secret";
    std::int32_t Iterations = 10;
    std::int32_t KeyBagVersion = 3;
    std::int32_t CurveClass = 2;       // the class with a Curve25519 key (-1: none)
    std::int32_t DoubleIterations = 0; // > 0: a 2016 keybag deriving with PBKDF2-HMAC-SHA-256 first
    bool BinaryManifest = true;
    bool WriteInfo = true;
    std::string SnapshotState = "finished"; // Status.plist; empty: none written
    bool WriteContent = true;               // false: manifests only (benchmarks of the opening)
    bool LockdownInManifest = true;
    TLayout Layout = TLayout::Mbdb;
    std::vector<TTestFile> Files;
    std::optional<std::string> KeyBagBlock; // replaces the keybag written for an encrypted backup
    // When set, the content of file i (Content is ignored): large backups are written one file at a
    // time instead of being held in memory (Mbdb and ManifestDb layouts).
    std::function<std::string(std::size_t index)> Generate;
};

// An NSKeyedArchiver "MBFile" blob as the `file` column of a current-layout manifest holds it.
std::string MbFileBlob(const std::string& relativePath, std::int64_t size, std::int32_t protectionClass,
                       std::uint16_t mode, const std::string& encryptionKey,
                       std::int64_t modifiedTime = 1475000000, const std::string& linkTarget = {});

// Writes a backup folder under `root` (created as needed) and returns its path, ending with "/".
std::string WriteBackup(const std::string& root, const TBackupPlan& plan);
// Writes (creating folders) a file with the given bytes.
void WriteTestFile(const std::string& path, const std::string& contents);

} // namespace kestrow::test
