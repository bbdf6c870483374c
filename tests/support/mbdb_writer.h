#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrow::test {

// One Manifest.mbdb record; an absent string (std::nullopt) is written as length 0xFFFF.
struct TMbdbRecordPlan {
    std::optional<std::string> Domain;
    std::optional<std::string> Path;
    std::optional<std::string> LinkTarget;
    std::optional<std::string> DataHash;
    std::optional<std::string> EncryptionKey; // 4-byte class prefix + wrapped key
    std::uint16_t Mode = 0x81A4;
    std::int64_t Size = 0;
    std::uint32_t ModifiedTime = 1336637730; // access and change times follow it
    std::uint8_t ProtectionClass = 0;
    std::vector<std::pair<std::string, std::string>> Properties;
};

std::string MbdbRecordBytes(const TMbdbRecordPlan& record);
std::string MbdbBytes(const std::vector<TMbdbRecordPlan>& records);
// The 4-byte little-endian class prefix of an encryption-key string.
std::string ProtectionPrefix(std::uint32_t clas);

} // namespace kestrow::test
