#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "crypto/base64.h"
#include "crypto/kdf.h"
#include "crypto/key_bag.h"
#include "crypto/password_key_cache.h"
#include "support/crypto_writer.h"
#include "support/hex.h"
#include "support/keybag_writer.h"

namespace kestrow {
namespace {

using test::TTestKeyBag;
using test::TTlvWriter;

TEST(KeyBagParse, ErrorsOfTheParse) {
    EXPECT_EQ(TBackupKeyBag("", 0).LastError(), kbeOther);
    EXPECT_EQ(TBackupKeyBag("\r\n\t ", 0).LastError(), kbeOther);
    for (int type : {0, 2}) {
        TTlvWriter tlv;
        tlv.Int("VERS", 3)
            .Int("TYPE", type)
            .Tag("UUID", TBytes(16))
            .Tag("UUID", TBytes(16))
            .Tag("WPKY", TBytes(40));
        EXPECT_EQ(TBackupKeyBag(tlv.Base64(), 0).LastError(), kbeType) << type;
    }
    TTlvWriter headerOnly;
    headerOnly.Int("VERS", 3).Int("TYPE", 1).Tag("UUID", TBytes(16)).Tag("SALT", TBytes(20)).Int("ITER", 5);
    TBackupKeyBag noRecord(headerOnly.Base64(), 0);
    EXPECT_EQ(noRecord.LastError(), kbeFormat);
    EXPECT_EQ(noRecord.KeyCount(), 0);
}

TEST(KeyBagParse, ReadsRecordsAndHeaderWhereverTheyStand) {
    TTestKeyBag bag("pw", 10, 3, 3);
    bag.AddClass(1).AddClass(2, 2, 1).AddClass(3, 1);
    // Line breaks and tabs in the stored text do no harm.
    std::string text;
    const std::string base64 = bag.Base64();
    for (std::size_t i = 0; i < base64.size(); i += 10) {
        text += base64.substr(i, 10) + (i % 20 == 0 ? "\r\n" : "\t");
    }
    TBackupKeyBag keyBag(text, 4);
    ASSERT_EQ(keyBag.LastError(), kbeSuccess);
    EXPECT_EQ(keyBag.KeyCount(), 3);
    EXPECT_EQ(keyBag.Version(), 3);
    EXPECT_EQ(keyBag.KeyBagType(), kbtOTA);
    EXPECT_EQ(keyBag.BackupIdx(), 4);
    EXPECT_EQ(keyBag.RawKeys()[1].Ktyp, 1);
    EXPECT_EQ(keyBag.RawKeys()[1].Pbky.size(), 32u);
    EXPECT_EQ(keyBag.RawKeys()[2].Wrap, 1);
}

TEST(KeyBagParse, HostileLengthsNeverReadPastTheBlock) {
    TTlvWriter tlv;
    tlv.Int("VERS", 3).Int("TYPE", 1).Tag("UUID", TBytes(16));
    tlv.Int("CLAS", 1).Int("WRAP", 3).Tag("WPKY", TBytes(32, 7));
    tlv.Tag("UUID", TBytes(16)).Int("CLAS", 2).Raw(std::string("WPKY\x7f\xff\xff\xff", 8) + "short");
    TBackupKeyBag bag(tlv.Base64(), 0);
    EXPECT_EQ(bag.LastError(), kbeSuccess);
    EXPECT_EQ(bag.KeyCount(), 1); // the truncated second record is not taken

    // A value running a few bytes past the end: the record must not be taken with bytes from
    // beyond the block.
    TTlvWriter overrun;
    overrun.Int("TYPE", 1).Tag("UUID", TBytes(16)).Int("CLAS", 1).Tag("WPKY", TBytes(40, 3));
    overrun.Tag("UUID", TBytes(16)).Int("CLAS", 2).Raw(std::string("WPKY\x00\x00\x00\x28", 8) + "short");
    TBackupKeyBag overrunBag(overrun.Base64(), 0);
    ASSERT_EQ(overrunBag.KeyCount(), 1);
    EXPECT_EQ(overrunBag.RawKeys()[0].Clas, 1);
    EXPECT_EQ(overrunBag.RawKeys()[0].Wpky, TBytes(40, 3));

    TTlvWriter onlyTruncated;
    onlyTruncated.Int("TYPE", 1).Tag("UUID", TBytes(16)).Raw(std::string("WPKY\x00\x00\x01\x00", 8) + "abc");
    EXPECT_EQ(TBackupKeyBag(onlyTruncated.Base64(), 0).LastError(), kbeFormat);
    EXPECT_EQ(TBackupKeyBag(Base64Encode("UUI"), 0).LastError(), kbeFormat);
}

TEST(KeyBagParse, ItemsBeforeTheFirstUuidStayPending) {
    TTlvWriter tlv;
    tlv.Tag("WPKY", TBytes(40, 1)).Int("WRAP", 3).Tag("UUID", TBytes(16)); // opens the header
    tlv.Tag("UUID", TBytes(16)).Int("CLAS", 5).Tag("WPKY", TBytes(40, 2));
    TBackupKeyBag bag(tlv.Base64(), 0);
    ASSERT_EQ(bag.KeyCount(), 2);
    EXPECT_EQ(bag.RawKeys()[0].Wpky, TBytes(40, 1));
    EXPECT_EQ(bag.RawKeys()[0].Wrap, 3);
    EXPECT_EQ(bag.RawKeys()[1].Wpky, TBytes(40, 2));
    EXPECT_EQ(bag.RawKeys()[1].Clas, 5);
    EXPECT_EQ(bag.RawKeys()[1].Wrap, -1);
}

TEST(KeyBagParse, IntegerTagOfOtherLengthIsSkippedByItsLength) {
    TTlvWriter tlv;
    tlv.Int("TYPE", 1).Tag("UUID", TBytes(16)).Tag("CLAS", BytesOf(std::string("WPKY\x00\x00\x00\x01x", 9)));
    tlv.Tag("WPKY", TBytes(40, 1));
    TBackupKeyBag bag(tlv.Base64(), 0);
    ASSERT_EQ(bag.KeyCount(), 1);
    EXPECT_EQ(bag.RawKeys()[0].Clas, 0);
    EXPECT_EQ(bag.RawKeys()[0].Wpky, TBytes(40, 1));
}

TEST(KeyBagPassword, WrongThenRightPassword) {
    TTestKeyBag bag("right one", 10);
    bag.AddClass(1).AddClass(3).AddClass(4, 1);
    TBackupKeyBag keyBag(bag.Base64(), 0);
    EXPECT_FALSE(keyBag.TestItunesPassword("wrong"));
    EXPECT_TRUE(keyBag.TestItunesPassword("right one"));
    EXPECT_EQ(keyBag.LastError(), kbeSuccess); // testing leaves LastError alone

    EXPECT_FALSE(keyBag.SetItunesPassword(""));
    EXPECT_EQ(keyBag.LastError(), kbeWrongKey);
    EXPECT_FALSE(keyBag.SetItunesPassword("wrong"));
    EXPECT_EQ(keyBag.LastError(), kbeWrap);
    EXPECT_TRUE(keyBag.SetItunesPassword("right one"));
    EXPECT_EQ(keyBag.LastError(), kbeSuccess);
    EXPECT_EQ(keyBag.iTunesPassword(), "right one");

    const TBytes fileKey = test::TTestRandom(3).Bytes(32);
    EXPECT_EQ(keyBag.UnwrapFileKey(3, bag.WrapFileKey(3, fileKey)), fileKey);
    // WRAP 1 records are counted but give no class key.
    EXPECT_EQ(keyBag.KeyCount(), 3);
    EXPECT_TRUE(keyBag.UnwrapFileKey(4, bag.WrapFileKey(4, fileKey)).empty());
    EXPECT_EQ(keyBag.LastError(), kbeNoKey);
    TBytes damaged = bag.WrapFileKey(3, fileKey);
    damaged[5] ^= 1;
    EXPECT_TRUE(keyBag.UnwrapFileKey(3, damaged).empty());
    EXPECT_EQ(keyBag.LastError(), kbeWrongKey);
}

TEST(KeyBagPassword, RecordsWithoutWrapKeepTheirKeyAsStored) {
    TTlvWriter tlv;
    const TBytes classKey = test::TTestRandom(8).Bytes(32);
    tlv.Int("VERS", 3).Int("TYPE", 1).Tag("SALT", TBytes(20, 1)).Tag("UUID", TBytes(16));
    tlv.Tag("UUID", TBytes(16)).Int("CLAS", 6).Tag("WPKY", classKey);
    TBackupKeyBag keyBag(tlv.Base64(), 0);
    ASSERT_EQ(keyBag.RawKeys().at(0).Wrap, -1);
    EXPECT_FALSE(keyBag.TestItunesPassword("any")); // no WRAP 2 record to test against
    ASSERT_TRUE(keyBag.SetItunesPassword("any"));
    const TBytes fileKey(32, 9);
    EXPECT_EQ(keyBag.UnwrapFileKey(6, test::AesWrapKey(classKey, fileKey)), fileKey);
}

TEST(KeyBagPassword, Curve25519ClassesOnlyFromVersion3) {
    const TBytes fileKey = test::TTestRandom(4).Bytes(32);
    TTestKeyBag v3("pw", 10, 3);
    v3.AddClass(2, 2, 1);
    TBackupKeyBag keyBag3(v3.Base64(), 0);
    ASSERT_TRUE(keyBag3.SetItunesPassword("pw"));
    const TBytes curveWrapped = v3.WrapFileKey(2, fileKey);
    EXPECT_EQ(curveWrapped.size(), 72u);
    EXPECT_EQ(keyBag3.UnwrapFileKey(2, curveWrapped), fileKey);

    // A version-2 keybag unwraps with AES even for key type 1.
    TTestKeyBag v2("pw", 10, 2);
    v2.AddClass(2, 2, 1);
    TBackupKeyBag keyBag2(v2.Base64(), 0);
    ASSERT_TRUE(keyBag2.SetItunesPassword("pw"));
    const TBytes aesWrapped = v2.WrapFileKey(2, fileKey);
    EXPECT_EQ(aesWrapped.size(), 40u);
    EXPECT_EQ(keyBag2.UnwrapFileKey(2, aesWrapped), fileKey);
}

TEST(KeyBagPassword, MissingIterDerivesWith10000) {
    const TBytes salt(20, 3);
    TBytes passwordKey;
    ASSERT_TRUE(DeriveBackupPasswordKey("pw", salt, 10000, passwordKey));
    const TBytes classKey(32, 4);
    TTlvWriter tlv;
    tlv.Int("VERS", 3).Int("TYPE", 1).Tag("SALT", salt).Tag("UUID", TBytes(16));
    tlv.Tag("UUID", TBytes(16))
        .Int("CLAS", 1)
        .Int("WRAP", 2)
        .Tag("WPKY", test::AesWrapKey(passwordKey, classKey));
    TBackupKeyBag keyBag(tlv.Base64(), 0);
    EXPECT_TRUE(keyBag.TestItunesPassword("pw"));
}

TEST(KeyBagPassword, DoubleDerivationRunsOncePerPassword) {
    TTestKeyBag bag("new style", 5, 4);
    bag.SetDoubleDerivation(7);
    bag.AddClass(1).AddClass(3);
    const std::string text = bag.Base64(); // the writer derives with OpenSSL, outside the cache
    TBackupKeyBag keyBag(text, 0);
    ASSERT_TRUE(keyBag.HasDoubleDerivation());
    const std::uint64_t before = PasswordKeyDerivationCount();
    EXPECT_TRUE(keyBag.TestItunesPassword("new style"));
    EXPECT_TRUE(keyBag.SetItunesPassword("new style"));
    EXPECT_FALSE(keyBag.SetItunesPassword("old style"));
    EXPECT_TRUE(TBackupKeyBag(text, 1).SetItunesPassword("new style"));
    // The check derives; the unlocks reuse that derivation; only the wrong password costs another.
    EXPECT_EQ(PasswordKeyDerivationCount() - before, 2u);
}

TEST(KeyBagPassword, DoubleDerivationTakesTheFirst255PasswordBytes) {
    const std::string password = std::string(254, 'p') + "\xC3\xA9" + std::string(44, 'q'); // 300 bytes
    TTestKeyBag bag(password, 3, 4);
    bag.SetDoubleDerivation(2);
    bag.AddClass(1);
    TBackupKeyBag keyBag(bag.Base64(), 0);
    EXPECT_TRUE(keyBag.SetItunesPassword(password));
    // Byte 255 cuts the "é" in half: what follows the first 255 bytes never counts.
    EXPECT_TRUE(keyBag.SetItunesPassword(password.substr(0, 255) + "anything"));
    EXPECT_FALSE(keyBag.SetItunesPassword(password.substr(0, 254)));
}

TEST(KeyBagPassword, TheFirstRecordOfAClassWins) {
    const TBytes salt(20, 4);
    const TBytes passwordKey = test::OpenSslPbkdf2("pw", salt, 2, false);
    const TBytes first = test::TTestRandom(1).Bytes(32);
    const TBytes second = test::TTestRandom(2).Bytes(32);
    TTlvWriter tlv;
    tlv.Int("VERS", 3).Int("TYPE", 1).Tag("SALT", salt).Int("ITER", 2).Tag("UUID", TBytes(16));
    tlv.Tag("UUID", TBytes(16))
        .Int("CLAS", 1)
        .Int("WRAP", 2)
        .Tag("WPKY", test::AesWrapKey(passwordKey, first));
    tlv.Tag("UUID", TBytes(16))
        .Int("CLAS", 1)
        .Int("WRAP", 2)
        .Tag("WPKY", test::AesWrapKey(passwordKey, second));
    TBackupKeyBag keyBag(tlv.Base64(), 0);
    ASSERT_EQ(keyBag.KeyCount(), 2);
    ASSERT_TRUE(keyBag.SetItunesPassword("pw"));
    const TBytes fileKey(32, 6);
    EXPECT_EQ(keyBag.UnwrapFileKey(1, test::AesWrapKey(first, fileKey)), fileKey);
    EXPECT_TRUE(keyBag.UnwrapFileKey(1, test::AesWrapKey(second, fileKey)).empty());
}

TEST(KeyBagPassword, AbsurdIterationCountsAreRefused) {
    TTlvWriter tlv;
    tlv.Int("VERS", 4).Int("TYPE", 1).Tag("SALT", TBytes(20)).Int("ITER", 1).Tag("DPSL", TBytes(20));
    tlv.Int("DPIC", 2'000'000'000).Tag("UUID", TBytes(16));
    tlv.Tag("UUID", TBytes(16)).Int("CLAS", 1).Int("WRAP", 2).Tag("WPKY", TBytes(40, 1));
    TBackupKeyBag keyBag(tlv.Base64(), 0);
    EXPECT_FALSE(keyBag.SetItunesPassword("pw"));
    EXPECT_EQ(keyBag.LastError(), kbeCode);
}

// Published password-check vectors of both keybag generations (password "hashcat").
TEST(KeyBagPassword, PublishedVectors) {
    std::ifstream in(std::string(KESTROW_REALDATA) + "/keybag-vectors.txt");
    if (!in) {
        GTEST_SKIP() << "shared real data not present";
    }
    int checked = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("$itunes_backup$", 0) != 0) {
            continue;
        }
        std::vector<std::string> fields;
        std::stringstream parts(line);
        for (std::string field; std::getline(parts, field, '*');) {
            fields.push_back(field);
        }
        fields.resize(7);
        const int dpic = fields[5].empty() ? 0 : std::stoi(fields[5]);
        if (dpic > 100'000) {
            continue; // seconds of work: benchmarks only
        }
        TTlvWriter tlv;
        tlv.Int("VERS", fields[1] == "10" ? 4 : 3).Int("TYPE", 1).Tag("SALT", test::FromHex(fields[4]));
        tlv.Int("ITER", std::stoi(fields[3]));
        if (dpic > 0) {
            tlv.Tag("DPSL", test::FromHex(fields[6])).Int("DPIC", dpic);
        }
        tlv.Tag("UUID", TBytes(16)).Tag("UUID", TBytes(16)).Int("CLAS", 1).Int("WRAP", 2);
        tlv.Tag("WPKY", test::FromHex(fields[2]));
        TBackupKeyBag keyBag(tlv.Base64(), 0);
        EXPECT_TRUE(keyBag.TestItunesPassword("hashcat")) << line;
        EXPECT_FALSE(keyBag.TestItunesPassword("hashcaT")) << line;
        ++checked;
    }
    EXPECT_EQ(checked, 3);
}

} // namespace
} // namespace kestrow
