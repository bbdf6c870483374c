#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/key_wrap.h"
#include "platform/bytes.h"

namespace kestrow {

enum TKeyBagError : std::uint8_t {
    kbeSuccess = 0, // parse or unlock succeeded
    kbeOther,       // the keybag text is empty or decodes to nothing
    kbeType,        // TYPE is neither 1 nor 3
    kbeFormat,      // no class key record was found
    kbeCode,        // the password key could not be derived
    kbeWrap,        // a password-wrapped class key did not unwrap (wrong password)
    kbeNoKey,       // no unlocked class key for the requested protection class
    kbeWrongKey,    // empty password, or a file key did not unwrap
};

enum TKeyBagType : std::uint8_t { kbtSystem = 0, kbtBackup, kbtEscrow, kbtOTA };

const char* KeyBagErrorName(TKeyBagError error);

struct TKeyBagRawKey {
    std::int32_t Clas = 0;
    std::int32_t Wrap = -1;
    std::int32_t Ktyp = 0;
    TBytes Pbky;
    TBytes Wpky;
};

struct TKeyBagKey {
    std::int32_t KeyType = 0;
    TBytes PubKey;
    TBytes Key;
};

// The keybag of an encrypted backup: a tag-length-value block (base64 in the backup's description)
// with the password salt and iteration counts and one wrapped key per protection class. Reports
// through Boolean results and LastError; never throws.
class TBackupKeyBag {
public:
    TBackupKeyBag(std::string_view keyBagBase64, std::int32_t idx);

    // Derives the password key and unlocks every class key.
    bool SetItunesPassword(const std::string& password);
    // Checks a password without touching the class keys or LastError.
    bool TestItunesPassword(const std::string& password);
    // The AES key of one protected file, or empty.
    TBytes UnwrapFileKey(std::int32_t protectClass, const TBytes& cihperKey);

    TKeyBagError LastError() const { return FErr; }
    std::int32_t BackupIdx() const { return FBackIdx; }
    std::int32_t Version() const { return FVers; }
    TKeyBagType KeyBagType() const { return static_cast<TKeyBagType>(FType & 0xFF); }
    int KeyCount() const { return static_cast<int>(FRawKeys.size()); }
    const std::string& iTunesPassword() const { return FPass; }
    const std::vector<TKeyBagRawKey>& RawKeys() const { return FRawKeys; }
    bool HasDoubleDerivation() const { return !FDpsl.empty(); }
    std::int32_t Iterations() const { return FIter; }
    std::int32_t DoubleIterations() const { return FDpic; }

    // Iteration counts above this are taken as a damaged keybag rather than derived for minutes.
    static constexpr std::int64_t kMaxIterations = 100'000'000;

private:
    void Parse(std::string_view keyBagBase64);
    bool DerivePasswordKey(const std::string& password, TBytes& key) const;

    TKeyBagError FErr = kbeSuccess;
    std::int32_t FBackIdx = 0;
    std::vector<TKeyBagRawKey> FRawKeys;
    std::map<std::int32_t, TKeyBagKey> FKeys;
    std::int32_t FVers = 0;
    std::int32_t FType = 0;
    TBytes FSalt;
    std::int32_t FIter = 10000;
    std::string FPass;
    TBytes FTestWpky;
    // Keybags of 2016 and later derive twice: PBKDF2-HMAC-SHA-256 over DPSL and DPIC first.
    TBytes FDpsl;
    std::int32_t FDpic = 0;
    std::int32_t FDpwt = 0;
    // Key schedules of the unlocked AES class keys, made once per unlock.
    std::map<std::int32_t, TAesKeyUnwrapper> FUnwrappers;
    std::map<std::int32_t, TCurve25519Unwrapper> FCurveUnwrappers;
};

} // namespace kestrow
