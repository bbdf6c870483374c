#include "crypto/aes_block.h"

#include <atomic>
#include <cstring>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#if defined(__x86_64__)
#include <immintrin.h>
#define KESTROW_AESNI 1
#endif

namespace kestrow {

namespace {

std::atomic<bool> gForceSoftware{false};

#if KESTROW_AESNI
// The AES-256 key expansion and inverse cipher with AES-NI (FIPS 197, as in Intel's AES-NI white
// paper): encryption round keys first, the middle ones passed through InvMixColumns for the
// equivalent inverse cipher.
// The key's four words each XORed with all the words before it.
__attribute__((target("aes,sse2"))) __m128i PrefixXor(__m128i key) {
    __m128i shifted = _mm_slli_si128(key, 4);
    key = _mm_xor_si128(key, shifted);
    shifted = _mm_slli_si128(shifted, 4);
    key = _mm_xor_si128(key, shifted);
    shifted = _mm_slli_si128(shifted, 4);
    return _mm_xor_si128(key, shifted);
}

__attribute__((target("aes,sse2"))) __m128i ExpandA(__m128i key, __m128i assist) {
    return _mm_xor_si128(PrefixXor(key), _mm_shuffle_epi32(assist, 0xff));
}

__attribute__((target("aes,sse2"))) __m128i ExpandB(__m128i previous, __m128i key) {
    const __m128i assist = _mm_shuffle_epi32(_mm_aeskeygenassist_si128(previous, 0x00), 0xaa);
    return _mm_xor_si128(PrefixXor(key), assist);
}

#define KESTROW_EXPAND_ROUND(i, rcon)                                                                        \
    a = ExpandA(a, _mm_aeskeygenassist_si128(b, rcon));                                                      \
    encrypt[i] = a;                                                                                          \
    if ((i) < 14) {                                                                                          \
        b = ExpandB(a, b);                                                                                   \
        encrypt[(i) + 1] = b;                                                                                \
    }

__attribute__((target("aes,sse2"))) void ExpandDecryptionKeys(const std::uint8_t* key, __m128i* decrypt) {
    __m128i encrypt[15];
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + 16));
    encrypt[0] = a;
    encrypt[1] = b;
    KESTROW_EXPAND_ROUND(2, 0x01)
    KESTROW_EXPAND_ROUND(4, 0x02)
    KESTROW_EXPAND_ROUND(6, 0x04)
    KESTROW_EXPAND_ROUND(8, 0x08)
    KESTROW_EXPAND_ROUND(10, 0x10)
    KESTROW_EXPAND_ROUND(12, 0x20)
    KESTROW_EXPAND_ROUND(14, 0x40)
    decrypt[0] = encrypt[14];
    for (int i = 1; i < 14; ++i) {
        decrypt[i] = _mm_aesimc_si128(encrypt[14 - i]);
    }
    decrypt[14] = encrypt[0];
    OPENSSL_cleanse(encrypt, sizeof encrypt);
}

#undef KESTROW_EXPAND_ROUND

__attribute__((target("aes,sse2"))) void DecryptBlock(const __m128i* keys, std::uint8_t* block) {
    __m128i state = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block)), keys[0]);
    for (int i = 1; i < 14; ++i) {
        state = _mm_aesdec_si128(state, keys[i]);
    }
    state = _mm_aesdeclast_si128(state, keys[14]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block), state);
}
#endif

struct TCipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

} // namespace

struct TAes256BlockDecryptor::TState {
#if KESTROW_AESNI
    alignas(16) __m128i Keys[15];
#endif
    bool Hardware = false;
    bool Ready = false;
    std::unique_ptr<EVP_CIPHER_CTX, TCipherCtxFree> Ctx;

    ~TState() {
#if KESTROW_AESNI
        OPENSSL_cleanse(Keys, sizeof Keys);
#endif
    }
};

TAes256BlockDecryptor::TAes256BlockDecryptor() : FState(std::make_unique<TState>()) {}
TAes256BlockDecryptor::TAes256BlockDecryptor(TAes256BlockDecryptor&&) noexcept = default;
TAes256BlockDecryptor& TAes256BlockDecryptor::operator=(TAes256BlockDecryptor&&) noexcept = default;
TAes256BlockDecryptor::~TAes256BlockDecryptor() = default;

bool TAes256BlockDecryptor::HardwareAvailable() {
#if KESTROW_AESNI
    static const bool available = __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse2");
    return available && !gForceSoftware.load();
#else
    return false;
#endif
}

void TAes256BlockDecryptor::ForceSoftware(bool force) {
    gForceSoftware = force;
}

bool TAes256BlockDecryptor::SetKey(const std::uint8_t* key) {
    FState->Ready = false;
#if KESTROW_AESNI
    if (HardwareAvailable()) {
        ExpandDecryptionKeys(key, FState->Keys);
        FState->Hardware = true;
        FState->Ready = true;
        return true;
    }
#endif
    FState->Hardware = false;
    FState->Ctx.reset(EVP_CIPHER_CTX_new());
    FState->Ready = FState->Ctx &&
                    EVP_DecryptInit_ex(FState->Ctx.get(), EVP_aes_256_ecb(), nullptr, key, nullptr) == 1 &&
                    EVP_CIPHER_CTX_set_padding(FState->Ctx.get(), 0) == 1;
    return FState->Ready;
}

bool TAes256BlockDecryptor::Decrypt(std::uint8_t* block) const {
    if (!FState->Ready) {
        return false;
    }
#if KESTROW_AESNI
    if (FState->Hardware) {
        DecryptBlock(FState->Keys, block);
        return true;
    }
#endif
    return EVP_Cipher(FState->Ctx.get(), block, block, 16) > 0;
}

} // namespace kestrow
