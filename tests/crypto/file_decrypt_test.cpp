#include <gtest/gtest.h>

#include "crypto/file_decrypt.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "support/crypto_writer.h"

namespace kestrow {
namespace {

using test::AesCbcEncryptPkcs7;
using test::AesCbcEncryptRaw;

class FileDecrypt : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& contents) {
        const std::string path = FFolder.Path() + name;
        EXPECT_TRUE(WriteWholeFile(path, contents));
        return path;
    }
    std::string ToStream(const std::string& cipherText, std::int64_t recorded, bool expectOk = true) {
        std::string out;
        EXPECT_EQ(DecryptBackupFileToStream(Write("src", cipherText), FKey, out, recorded), expectOk);
        return out;
    }
    std::string ToFile(const std::string& cipherText, std::int64_t recorded) {
        const std::string target = FFolder.Path() + "out";
        std::remove(target.c_str());
        EXPECT_TRUE(DecryptBackupFileToFile(Write("src", cipherText), FKey, target, recorded));
        std::string out;
        EXPECT_TRUE(ReadWholeFile(target, out));
        return out;
    }

    TTempFolder FFolder;
    TBytes FKey = test::TTestRandom(5).Bytes(32);
};

TEST_F(FileDecrypt, ValidPaddingDecidesTheLength) {
    for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 1000u}) {
        const std::string plain = test::TTestRandom(static_cast<std::uint32_t>(size)).Text(size);
        const std::string cipher = AesCbcEncryptPkcs7(FKey, plain);
        // Recorded size right, too small, too large, zero: valid padding wins each time.
        for (std::int64_t recorded : {static_cast<std::int64_t>(size), static_cast<std::int64_t>(size) - 3,
                                      static_cast<std::int64_t>(size) + 5, std::int64_t{0}}) {
            EXPECT_EQ(ToStream(cipher, recorded), plain) << size << " recorded " << recorded;
            EXPECT_EQ(ToFile(cipher, recorded), plain) << size << " recorded " << recorded;
        }
    }
}

TEST_F(FileDecrypt, InvalidPaddingFallsBackToTheRecordedSize) {
    // 32 bytes ending in 0x00: not valid PKCS#7 padding.
    const std::string plain = std::string(31, 'a') + '\0';
    const std::string cipher = AesCbcEncryptRaw(FKey, plain);
    EXPECT_EQ(ToStream(cipher, 20), plain.substr(0, 20)); // excess 12: cut
    EXPECT_EQ(ToFile(cipher, 16), plain.substr(0, 16));   // excess 16: cut
    EXPECT_EQ(ToStream(cipher, 15), plain);               // excess 17: left whole
    EXPECT_EQ(ToStream(cipher, 0), plain);                // no recorded size: left whole
    EXPECT_EQ(ToFile(cipher, 40), plain);                 // recorded larger: left whole
}

TEST_F(FileDecrypt, EveryPaddingByteIsChecked) {
    // The last byte alone looks like two bytes of padding; the byte before it is no padding.
    const std::string plain = std::string(31, 'a') + '\x02';
    const std::string cipher = AesCbcEncryptRaw(FKey, plain);
    EXPECT_EQ(ToStream(cipher, 32), plain);
    EXPECT_EQ(ToFile(cipher, 32), plain);
}

TEST_F(FileDecrypt, RefusesPartialBlocksShortKeysAndMissingFiles) {
    const std::string cipher = AesCbcEncryptPkcs7(FKey, "hello");
    std::string out;
    EXPECT_FALSE(DecryptBackupFileToStream(Write("partial", cipher.substr(0, 15)), FKey, out, 5));
    EXPECT_FALSE(
        DecryptBackupFileToStream(Write("full", cipher), TBytes(FKey.begin(), FKey.begin() + 31), out, 5));
    EXPECT_FALSE(DecryptBackupFileToStream(FFolder.Path() + "missing", FKey, out, 5));
    const std::string target = FFolder.Path() + "target";
    ASSERT_TRUE(WriteWholeFile(target, "keep me"));
    EXPECT_FALSE(DecryptBackupFileToFile(Write("partial2", cipher + "x"), FKey, target, 5));
    std::string kept;
    ASSERT_TRUE(ReadWholeFile(target, kept));
    EXPECT_EQ(kept, "keep me");
    EXPECT_FALSE(DecryptBackupFileToFile(FFolder.Path() + "missing", FKey, FFolder.Path() + "new", 5));
    EXPECT_FALSE(PathExists(FFolder.Path() + "new"));
}

TEST_F(FileDecrypt, MultiMegabyteFileMatchesOneShotDecryption) {
    // Larger than several chunks and not a multiple of the chunk size.
    const std::string plain = test::TTestRandom(11).Text((5u << 20) + 12345);
    const std::string cipher = AesCbcEncryptPkcs7(FKey, plain);
    EXPECT_EQ(ToFile(cipher, static_cast<std::int64_t>(plain.size())), plain);
    EXPECT_EQ(ToStream(cipher, static_cast<std::int64_t>(plain.size())), plain);
}

} // namespace
} // namespace kestrow
