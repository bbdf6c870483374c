// File decryption throughput, file to file, on a 256 MiB protected file, against the openssl command
// on the same data; with the peak resident memory of the decryption.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include "crypto/file_decrypt.h"
#include "peak_memory.h"
#include "platform/file_io.h"
#include "platform/temp_folder.h"

namespace {

constexpr std::size_t kFileSize = std::size_t{256} << 20;

struct TFixture {
    kestrow::TTempFolder Folder;
    kestrow::TBytes Key = kestrow::TBytes(32, 0x42);
    std::string Source = Folder.Path() + "cipher";

    TFixture() {
        // Encrypted in chunks so that building the data does not raise the peak itself.
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        const unsigned char iv[16] = {};
        EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, Key.data(), iv);
        std::FILE* out = std::fopen(Source.c_str(), "wb");
        std::vector<unsigned char> plain(1 << 20, 'p');
        std::vector<unsigned char> cipher(plain.size() + 32);
        int n = 0;
        for (std::size_t done = 0; done < kFileSize; done += plain.size()) {
            plain[0] = static_cast<unsigned char>(done >> 20);
            EVP_EncryptUpdate(ctx, cipher.data(), &n, plain.data(), static_cast<int>(plain.size()));
            std::fwrite(cipher.data(), 1, static_cast<std::size_t>(n), out);
        }
        EVP_EncryptFinal_ex(ctx, cipher.data(), &n);
        std::fwrite(cipher.data(), 1, static_cast<std::size_t>(n), out);
        std::fclose(out);
        EVP_CIPHER_CTX_free(ctx);
    }
};

TFixture& Fixture() {
    static TFixture fixture;
    return fixture;
}

void BM_DecryptBackupFileToFile(benchmark::State& state) {
    TFixture& f = Fixture();
    const std::string target = f.Folder.Path() + "plain";
    kestrow::bench::ResetPeakMemory();
    for (auto _ : state) {
        std::remove(target.c_str());
        if (!kestrow::DecryptBackupFileToFile(f.Source, f.Key, target, kFileSize)) {
            state.SkipWithError("decryption failed");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
    state.counters["peak_rss_MiB"] = kestrow::bench::PeakMemoryMiB();
}
BENCHMARK(BM_DecryptBackupFileToFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_OpensslEncCommand(benchmark::State& state) {
    TFixture& f = Fixture();
    const std::string target = f.Folder.Path() + "plain-openssl";
    std::string hexKey;
    for (auto b : f.Key) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", b);
        hexKey += digits;
    }
    const std::string run = "openssl enc -d -aes-256-cbc -K " + hexKey +
                            " -iv 00000000000000000000000000000000 -in " + f.Source + " -out " + target;
    for (auto _ : state) {
        if (std::system(run.c_str()) != 0) {
            state.SkipWithError("openssl failed");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_OpensslEncCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace

BENCHMARK_MAIN();
