#include <gtest/gtest.h>

#include "crypto/aes_block.h"
#include "crypto/base64.h"
#include "crypto/digest.h"
#include "crypto/kdf.h"
#include "crypto/key_wrap.h"
#include "support/crypto_writer.h"
#include "support/hex.h"

namespace kestrow {
namespace {

using test::FromHex;

const TBytes kKek256 = FromHex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");

TEST(Digest, KnownAnswers) {
    EXPECT_EQ(Sha1HexOf("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(HexOf(Sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // The content file name of the messages database.
    EXPECT_EQ(Sha1HexOf("HomeDomain-Library/SMS/sms.db"), "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
}

TEST(Kdf, Pbkdf2Vectors) {
    TBytes key;
    ASSERT_TRUE(Pbkdf2HmacSha1("password", BytesOf("salt"), 1, 20, key));
    EXPECT_EQ(HexOf(key), "0c60c80f961f0e71f3a9b524af6012062fe037a6");
    ASSERT_TRUE(Pbkdf2HmacSha1("password", BytesOf("salt"), 4096, 20, key));
    EXPECT_EQ(HexOf(key), "4b007901b765489abead49d926f721d065a429c1");
    ASSERT_TRUE(Pbkdf2HmacSha1("passwordPASSWORDpassword", BytesOf("saltSALTsaltSALTsaltSALTsaltSALTsalt"),
                               4096, 25, key));
    EXPECT_EQ(HexOf(key), "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
    ASSERT_TRUE(Pbkdf2HmacSha256("passwd", BytesOf("salt"), 1, 64, key));
    EXPECT_EQ(HexOf(key), "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                          "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
    EXPECT_FALSE(Pbkdf2HmacSha1("password", BytesOf("salt"), 0, 20, key));
}

TEST(Kdf, PasswordKeyUsesAtMost255Bytes) {
    const std::string longPassword(300, 'p');
    TBytes full;
    TBytes cut;
    ASSERT_TRUE(DeriveBackupPasswordKey(longPassword, BytesOf("salt"), 2, full));
    ASSERT_TRUE(DeriveBackupPasswordKey(longPassword.substr(0, 255), BytesOf("salt"), 2, cut));
    EXPECT_EQ(full, cut);
    EXPECT_EQ(full.size(), 32u);
}

TEST(KeyWrap, Rfc3394UnwrapWith256BitKek) {
    struct TCase {
        const char* Wrapped;
        const char* Key;
    };
    const TCase cases[] = {
        {"64E8C3F9CE0F5BA263E9777905818A2A93C8191E7D6E8AE7", "00112233445566778899AABBCCDDEEFF"},
        {"A8F9BC1612C68B3FF6E6F4FBE30E71E4769C8B80A32CB8958CD5D17D6B254DA1",
         "00112233445566778899AABBCCDDEEFF0001020304050607"},
        {"28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21",
         "00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F"},
    };
    for (const TCase& c : cases) {
        TBytes key;
        ASSERT_TRUE(AesUnwrapKey(kKek256, FromHex(c.Wrapped), key)) << c.Wrapped;
        EXPECT_EQ(key, FromHex(c.Key));
    }
}

TEST(KeyWrap, AnyFlippedBitOrBadLengthFails) {
    const TBytes wrapped =
        FromHex("28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21");
    TBytes key;
    for (std::size_t bit = 0; bit < wrapped.size() * 8; bit += 7) {
        TBytes damaged = wrapped;
        damaged[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        EXPECT_FALSE(AesUnwrapKey(kKek256, damaged, key)) << "bit " << bit;
        EXPECT_TRUE(key.empty());
    }
    EXPECT_FALSE(AesUnwrapKey(TBytes(kKek256.begin(), kKek256.begin() + 16), wrapped, key));
    EXPECT_FALSE(AesUnwrapKey(kKek256, TBytes(wrapped.begin(), wrapped.begin() + 39), key));
    EXPECT_FALSE(AesUnwrapKey(kKek256, TBytes(wrapped.begin(), wrapped.begin() + 8), key));
    EXPECT_FALSE(AesUnwrapKey(kKek256, TBytes(), key));
}

TEST(KeyWrap, ProcessorAndLibraryAesAgree) {
    test::TTestRandom random(77);
    for (int i = 0; i < 200; ++i) {
        const TBytes kek = random.Bytes(32);
        const TBytes key = random.Bytes(i % 2 == 0 ? 32 : 16);
        TBytes wrapped = test::AesWrapKey(kek, key);
        for (bool software : {false, true}) {
            TAes256BlockDecryptor::ForceSoftware(software);
            TBytes unwrapped;
            EXPECT_TRUE(AesUnwrapKey(kek, wrapped, unwrapped)) << i << software;
            EXPECT_EQ(unwrapped, key);
            TBytes damaged = wrapped;
            damaged[static_cast<std::size_t>(i) % damaged.size()] ^= 0x40;
            EXPECT_FALSE(AesUnwrapKey(kek, damaged, unwrapped));
        }
        TAes256BlockDecryptor::ForceSoftware(false);
    }
}

TEST(X25519, Rfc7748Vectors) {
    TBytes out;
    ASSERT_TRUE(X25519(FromHex("a546e36bf0527c9d3b16154b82465edd62144c0ac1fc5a18506a2244ba449ac4"),
                       FromHex("e6db6867583030db3594c1a424b15f7c726624ec26b3353b10a903a6d0ab1c4c"), out));
    EXPECT_EQ(HexOf(out), "c3da55379de9c6908e94ea4df28d084f32eccf03491c71f754b4075577a28552");
    const TBytes alice = FromHex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
    const TBytes bobPublic = FromHex("de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
    ASSERT_TRUE(X25519(alice, bobPublic, out));
    EXPECT_EQ(HexOf(out), "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742");
}

TEST(X25519, CurveUnwrapRefusesShortInputBeforeAnyArithmetic) {
    TBytes key;
    EXPECT_FALSE(UnwrapCurve25519FileKey(TBytes(32, 1), TBytes(32, 2), TBytes(63, 3), key));
    EXPECT_FALSE(UnwrapCurve25519FileKey(TBytes(31, 1), TBytes(32, 2), TBytes(72, 3), key));
    EXPECT_TRUE(key.empty());
}

TEST(Base64, IgnoresCharactersOutsideTheAlphabet) {
    EXPECT_EQ(Base64DecodeToString("aGVs\r\n\tbG8g\n d29y bGQ="), "hello world");
    EXPECT_EQ(Base64DecodeToString("aGVsbG8"), "hello"); // missing padding
    EXPECT_EQ(Base64DecodeToString("!!!"), "");
    EXPECT_EQ(Base64DecodeToString(""), "");
    EXPECT_EQ(Base64DecodeToString("YQ==YWJj"), "a"); // stops at the padding
    const std::string all = [] {
        std::string s;
        for (int i = 0; i < 256; ++i) {
            s.push_back(static_cast<char>(i));
        }
        return s;
    }();
    EXPECT_EQ(Base64DecodeToString(Base64Encode(all, 76)), all);
    EXPECT_EQ(Base64Encode("hello world"), "aGVsbG8gd29ybGQ=");
    EXPECT_EQ(Base64Encode(std::string(60, 'x'), 72).find("\r\n"), 72u);
}

} // namespace
} // namespace kestrow
