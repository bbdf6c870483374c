#include "crypto/digest.h"

#include <memory>

#include <openssl/evp.h>

namespace kestrow {

namespace {

struct TMdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// Algorithms are fetched once and the context reused: a manifest names hundreds of thousands of
// files, each by a digest, and an implicit fetch per call costs more than the digest itself.
const EVP_MD* Sha1Md() {
    static EVP_MD* md = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    return md;
}

const EVP_MD* Sha256Md() {
    static EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return md;
}

TBytes Digest(const EVP_MD* md, std::string_view data) {
    thread_local std::unique_ptr<EVP_MD_CTX, TMdCtxFree> ctx(EVP_MD_CTX_new());
    TBytes out(static_cast<std::size_t>(EVP_MD_get_size(md)));
    unsigned int length = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data.data(), data.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), out.data(), &length) != 1) {
        return {};
    }
    out.resize(length);
    return out;
}

} // namespace

TBytes Sha1(std::string_view data) {
    return Digest(Sha1Md(), data);
}

TBytes Sha256(std::string_view data) {
    return Digest(Sha256Md(), data);
}

std::string HexOf(const TBytes& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 0x0F]);
    }
    return hex;
}

std::string Sha1HexOf(std::string_view data) {
    return HexOf(Sha1(data));
}

TSha1Stream::TSha1Stream() : FCtx(EVP_MD_CTX_new()) {
    if (FCtx != nullptr && EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(FCtx), Sha1Md(), nullptr) != 1) {
        EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(FCtx));
        FCtx = nullptr;
    }
}

TSha1Stream::~TSha1Stream() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(FCtx));
}

void TSha1Stream::Update(const void* data, std::size_t size) {
    if (FCtx != nullptr && EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(FCtx), data, size) != 1) {
        EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(FCtx));
        FCtx = nullptr;
    }
}

TBytes TSha1Stream::Final() {
    TBytes out(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (FCtx == nullptr || EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(FCtx), out.data(), &length) != 1) {
        return {};
    }
    out.resize(length);
    return out;
}

} // namespace kestrow
