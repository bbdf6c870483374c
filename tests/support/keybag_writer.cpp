#include "support/keybag_writer.h"

namespace kestrow::test {

namespace {

std::string BigEndian32(std::uint32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[static_cast<std::size_t>(i)] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    }
    return out;
}

} // namespace

TTlvWriter& TTlvWriter::Tag(const std::string& tag, const TBytes& value) {
    FBytes += tag.substr(0, 4);
    FBytes += BigEndian32(static_cast<std::uint32_t>(value.size()));
    FBytes += StringOf(value);
    return *this;
}

TTlvWriter& TTlvWriter::Int(const std::string& tag, std::int32_t value) {
    return Tag(tag, BytesOf(BigEndian32(static_cast<std::uint32_t>(value))));
}

TTlvWriter& TTlvWriter::Raw(const std::string& bytes) {
    FBytes += bytes;
    return *this;
}

std::string TTlvWriter::Base64() const {
    return OpenSslBase64(FBytes);
}

TTestKeyBag::TTestKeyBag(std::string password, std::int32_t iterations, std::int32_t version,
                         std::int32_t type, std::uint32_t seed)
    : FPassword(std::move(password)), FIterations(iterations), FVersion(version), FType(type), FRandom(seed) {
    FSalt = FRandom.Bytes(20);
}

void TTestKeyBag::SetDoubleDerivation(std::int32_t iterations) {
    FDoubleSalt = FRandom.Bytes(20);
    FDoubleIterations = iterations;
}

TTestKeyBag& TTestKeyBag::AddClass(std::int32_t clas, std::int32_t wrap, std::int32_t ktyp) {
    TClass entry;
    entry.Wrap = wrap;
    entry.Ktyp = ktyp;
    entry.Key = FRandom.Bytes(32);
    if (ktyp == 1) {
        entry.PubKey = X25519PublicOf(entry.Key);
    }
    FClasses[clas] = entry;
    return *this;
}

TBytes TTestKeyBag::PasswordKey() const {
    // Devices take at most the first 255 password bytes; keybags of 2016 and later run them through
    // PBKDF2-HMAC-SHA-256 first and derive the SHA-1 key from that.
    const std::string password = FPassword.substr(0, 255);
    if (FDoubleSalt.empty()) {
        return OpenSslPbkdf2(password, FSalt, FIterations, false);
    }
    return OpenSslPbkdf2(StringOf(OpenSslPbkdf2(password, FDoubleSalt, FDoubleIterations, true)), FSalt,
                         FIterations, false);
}

std::string TTestKeyBag::Block() const {
    const TBytes passwordKey = PasswordKey();
    TTestRandom uuids(99);
    TTlvWriter tlv;
    tlv.Int("VERS", FVersion).Int("TYPE", FType).Tag("UUID", uuids.Bytes(16)).Tag("HMCK", uuids.Bytes(40));
    tlv.Int("WRAP", 0).Tag("SALT", FSalt).Int("ITER", FIterations);
    if (!FDoubleSalt.empty()) {
        tlv.Int("DPWT", 1).Int("DPIC", FDoubleIterations).Tag("DPSL", FDoubleSalt);
    }
    for (const auto& [clas, entry] : FClasses) {
        tlv.Tag("UUID", uuids.Bytes(16)).Int("CLAS", clas).Int("WRAP", entry.Wrap).Int("KTYP", entry.Ktyp);
        tlv.Tag("WPKY", entry.Wrap == 2 ? AesWrapKey(passwordKey, entry.Key) : entry.Key);
        if (!entry.PubKey.empty()) {
            tlv.Tag("PBKY", entry.PubKey);
        }
    }
    return tlv.Bytes();
}

std::string TTestKeyBag::Base64() const {
    return OpenSslBase64(Block());
}

TBytes TTestKeyBag::WrapFileKey(std::int32_t clas, const TBytes& fileKey) {
    const TClass& entry = FClasses.at(clas);
    if (FVersion >= 3 && entry.Ktyp == 1) {
        const TBytes ephemeralPrivate = FRandom.Bytes(32);
        const TBytes ephemeralPublic = X25519PublicOf(ephemeralPrivate);
        const TBytes shared = OpenSslX25519(ephemeralPrivate, entry.PubKey);
        std::string message("\x00\x00\x00\x01", 4);
        message += StringOf(shared) + StringOf(ephemeralPublic) + StringOf(entry.PubKey);
        TBytes wrapped = ephemeralPublic;
        const TBytes inner = AesWrapKey(OpenSslSha256(message), fileKey);
        wrapped.insert(wrapped.end(), inner.begin(), inner.end());
        return wrapped;
    }
    return AesWrapKey(entry.Key, fileKey);
}

} // namespace kestrow::test
