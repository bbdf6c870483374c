#include "crypto/key_bag.h"

#include "crypto/base64.h"
#include "crypto/key_wrap.h"
#include "crypto/password_key_cache.h"

namespace kestrow {

namespace {

constexpr std::size_t kMaxPasswordBytes = 255;

// Reads tag-length-value items without ever reading past the block.
class TTlvReader {
public:
    explicit TTlvReader(const TBytes& block) : FBlock(block) {}

    bool AtEnd() const { return FPos >= FBlock.size(); }
    // Reads the next item header; false when it, or its value, runs past the block.
    bool Next(std::string& tag, std::size_t& length) {
        if (FBlock.size() - FPos < 8) {
            return false;
        }
        tag.assign(reinterpret_cast<const char*>(FBlock.data() + FPos), 4);
        length = BigEndian(FPos + 4);
        FPos += 8;
        return length <= FBlock.size() - FPos;
    }
    std::int32_t Integer(std::size_t length) {
        const std::int32_t value = length == 4 ? static_cast<std::int32_t>(BigEndian(FPos)) : 0;
        FPos += length;
        return value;
    }
    TBytes Bytes(std::size_t length) {
        TBytes value(FBlock.begin() + static_cast<std::ptrdiff_t>(FPos),
                     FBlock.begin() + static_cast<std::ptrdiff_t>(FPos + length));
        FPos += length;
        return value;
    }
    void Skip(std::size_t length) { FPos += length; }

private:
    std::uint32_t BigEndian(std::size_t at) const {
        return (std::uint32_t{FBlock[at]} << 24) | (std::uint32_t{FBlock[at + 1]} << 16) |
               (std::uint32_t{FBlock[at + 2]} << 8) | std::uint32_t{FBlock[at + 3]};
    }
    const TBytes& FBlock;
    std::size_t FPos = 0;
};

void ResetRecord(TKeyBagRawKey& record) {
    record.Pbky.clear();
    record.Wpky.clear();
    record.Wrap = -1;
}

} // namespace

const char* KeyBagErrorName(TKeyBagError error) {
    static constexpr const char* kNames[] = {"kbeSuccess", "kbeOther", "kbeType",  "kbeFormat",
                                             "kbeCode",    "kbeWrap",  "kbeNoKey", "kbeWrongKey"};
    return error <= kbeWrongKey ? kNames[error] : "unknown";
}

TBackupKeyBag::TBackupKeyBag(std::string_view keyBagBase64, std::int32_t idx) : FBackIdx(idx) {
    Parse(keyBagBase64);
}

void TBackupKeyBag::Parse(std::string_view keyBagBase64) {
    const TBytes block = Base64Decode(keyBagBase64);
    if (block.empty()) {
        FErr = kbeOther;
        return;
    }
    TTlvReader reader(block);
    TKeyBagRawKey pending;
    bool uuidSeen = false;
    bool complete = true;
    std::string tag;
    std::size_t length = 0;
    while (!reader.AtEnd()) {
        if (!reader.Next(tag, length)) {
            complete = false; // a truncated item: the pending record is incomplete
            break;
        }
        if (tag == "UUID") {
            // The first UUID opens the header: what came before it stays in the pending record.
            if (uuidSeen) {
                if (!pending.Wpky.empty()) {
                    FRawKeys.push_back(pending);
                }
                ResetRecord(pending);
            }
            uuidSeen = true;
            reader.Skip(length);
        } else if (tag == "VERS") {
            FVers = reader.Integer(length);
        } else if (tag == "ITER") {
            FIter = reader.Integer(length);
        } else if (tag == "SALT") {
            FSalt = reader.Bytes(length);
        } else if (tag == "TYPE") {
            FType = reader.Integer(length);
            if (FType != 1 && FType != 3) {
                FErr = kbeType;
                return;
            }
        } else if (tag == "CLAS") {
            pending.Clas = reader.Integer(length);
        } else if (tag == "WRAP") {
            pending.Wrap = reader.Integer(length);
        } else if (tag == "KTYP") {
            pending.Ktyp = reader.Integer(length);
        } else if (tag == "WPKY") {
            pending.Wpky = reader.Bytes(length);
        } else if (tag == "PBKY") {
            pending.Pbky = reader.Bytes(length);
        } else if (tag == "DPSL") {
            FDpsl = reader.Bytes(length);
        } else if (tag == "DPIC") {
            FDpic = reader.Integer(length);
        } else if (tag == "DPWT") {
            FDpwt = reader.Integer(length);
        } else {
            reader.Skip(length);
        }
    }
    if (complete && !pending.Wpky.empty()) {
        FRawKeys.push_back(pending);
    }
    FErr = FRawKeys.empty() ? kbeFormat : kbeSuccess;
}

bool TBackupKeyBag::DerivePasswordKey(const std::string& password, TBytes& key) const {
    const bool countsOk =
        FIter >= 1 && FIter <= kMaxIterations && (FDpsl.empty() || (FDpic >= 1 && FDpic <= kMaxIterations));
    if (!countsOk) {
        return false;
    }
    TPasswordKeyRequest request;
    request.Password = password.substr(0, kMaxPasswordBytes);
    request.Salt = FSalt;
    request.Iterations = FIter;
    request.DoubleSalt = FDpsl;
    request.DoubleIterations = FDpic;
    return DerivePasswordKeyCached(request, key);
}

bool TBackupKeyBag::SetItunesPassword(const std::string& password) {
    FPass = password;
    FKeys.clear();
    FUnwrappers.clear();
    FCurveUnwrappers.clear();
    if (password.empty()) {
        FErr = kbeWrongKey;
        return false;
    }
    TBytes passwordKey;
    if (!DerivePasswordKey(password, passwordKey)) {
        FErr = kbeCode;
        return false;
    }
    for (const TKeyBagRawKey& record : FRawKeys) {
        if (record.Wpky.empty() || record.Wrap == 1 || FKeys.contains(record.Clas)) {
            continue; // of two records of one class the first is kept
        }
        TKeyBagKey key{record.Ktyp, record.Pbky, record.Wpky};
        if (record.Wrap == 2 && !AesUnwrapKey(passwordKey, record.Wpky, key.Key)) {
            FErr = kbeWrap;
            return false;
        }
        if (FVers >= 3 && key.KeyType == 1) {
            TCurve25519Unwrapper curve;
            if (curve.SetKeys(key.Key, key.PubKey)) {
                FCurveUnwrappers.emplace(record.Clas, std::move(curve));
            }
        } else if (TAesKeyUnwrapper unwrapper; unwrapper.SetKek(key.Key)) {
            FUnwrappers.emplace(record.Clas, std::move(unwrapper));
        }
        FKeys.emplace(record.Clas, std::move(key));
    }
    FErr = kbeSuccess;
    return true;
}

bool TBackupKeyBag::TestItunesPassword(const std::string& password) {
    if (FTestWpky.empty()) {
        for (const TKeyBagRawKey& record : FRawKeys) {
            if (record.Wrap == 2) {
                FTestWpky = record.Wpky;
                break;
            }
        }
    }
    if (FTestWpky.empty()) {
        return false;
    }
    TBytes passwordKey;
    TBytes unwrapped;
    return DerivePasswordKey(password, passwordKey) && AesUnwrapKey(passwordKey, FTestWpky, unwrapped);
}

TBytes TBackupKeyBag::UnwrapFileKey(std::int32_t protectClass, const TBytes& cihperKey) {
    const auto found = FKeys.find(protectClass);
    if (found == FKeys.end()) {
        FErr = kbeNoKey;
        return {};
    }
    const TKeyBagKey& classKey = found->second;
    TBytes fileKey;
    bool ok = false;
    if (FVers >= 3 && classKey.KeyType == 1) {
        const auto curve = FCurveUnwrappers.find(protectClass);
        ok = curve != FCurveUnwrappers.end() && curve->second.Unwrap(cihperKey, fileKey);
    } else if (const auto unwrapper = FUnwrappers.find(protectClass); unwrapper != FUnwrappers.end()) {
        ok = unwrapper->second.Unwrap(cihperKey, fileKey);
    }
    if (!ok) {
        FErr = kbeWrongKey;
        return {};
    }
    return fileKey;
}

} // namespace kestrow
