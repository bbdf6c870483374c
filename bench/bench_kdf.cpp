// Password key derivation: the older keybag's 10,000 PBKDF2-HMAC-SHA-1 rounds and the 2016 keybag's
// 10,000,000 PBKDF2-HMAC-SHA-256 rounds before them.
#include <benchmark/benchmark.h>

#include "crypto/kdf.h"

namespace {

void BM_Pbkdf2Sha1_10k(benchmark::State& state) {
    const kestrow::TBytes salt(20, 7);
    kestrow::TBytes key;
    for (auto _ : state) {
        kestrow::Pbkdf2HmacSha1("password", salt, 10'000, 32, key);
        benchmark::DoNotOptimize(key.data());
    }
}
BENCHMARK(BM_Pbkdf2Sha1_10k)->Unit(benchmark::kMillisecond);

void BM_Pbkdf2Sha256_10M(benchmark::State& state) {
    const kestrow::TBytes salt(20, 7);
    kestrow::TBytes key;
    for (auto _ : state) {
        kestrow::Pbkdf2HmacSha256("password", salt, 10'000'000, 32, key);
        benchmark::DoNotOptimize(key.data());
    }
}
BENCHMARK(BM_Pbkdf2Sha256_10M)->Unit(benchmark::kSecond)->Iterations(1);

// The whole password-key derivation of a 2016 keybag: SHA-256 rounds, then the SHA-1 rounds.
void BM_DoubleDerivation(benchmark::State& state) {
    const kestrow::TBytes salt(20, 7);
    kestrow::TBytes first;
    kestrow::TBytes key;
    for (auto _ : state) {
        kestrow::Pbkdf2HmacSha256("password", salt, 10'000'000, 32, first);
        kestrow::Pbkdf2HmacSha1(kestrow::StringOf(first), salt, 10'000, 32, key);
        benchmark::DoNotOptimize(key.data());
    }
}
BENCHMARK(BM_DoubleDerivation)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
