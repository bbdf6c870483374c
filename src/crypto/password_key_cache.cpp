#include "crypto/password_key_cache.h"

#include <atomic>
#include <map>
#include <mutex>

#include <openssl/crypto.h>

#include "crypto/digest.h"
#include "crypto/kdf.h"

namespace kestrow {

namespace {

std::mutex gCacheMutex;
std::map<std::string, TBytes> gCache; // SHA-256 of the request -> derived key
std::atomic<std::uint64_t> gDerivations{0};

void AppendField(std::string& out, const void* data, std::size_t size) {
    const auto length = static_cast<std::uint32_t>(size);
    out.append(reinterpret_cast<const char*>(&length), sizeof length);
    out.append(static_cast<const char*>(data), size);
}

TBytes CacheIndexOf(const TPasswordKeyRequest& request) {
    std::string text;
    AppendField(text, request.Password.data(), request.Password.size());
    AppendField(text, request.Salt.data(), request.Salt.size());
    AppendField(text, &request.Iterations, sizeof request.Iterations);
    AppendField(text, request.DoubleSalt.data(), request.DoubleSalt.size());
    AppendField(text, &request.DoubleIterations, sizeof request.DoubleIterations);
    return Sha256(text);
}

bool Derive(const TPasswordKeyRequest& request, TBytes& key) {
    ++gDerivations;
    if (request.DoubleSalt.empty()) {
        return DeriveBackupPasswordKey(request.Password, request.Salt, request.Iterations, key);
    }
    TBytes first;
    return Pbkdf2HmacSha256(request.Password, request.DoubleSalt, request.DoubleIterations, 32, first) &&
           Pbkdf2HmacSha1(StringOf(first), request.Salt, request.Iterations, 32, key);
}

} // namespace

bool DerivePasswordKeyCached(const TPasswordKeyRequest& request, TBytes& key) {
    const std::string index = StringOf(CacheIndexOf(request));
    {
        std::lock_guard lock(gCacheMutex);
        if (const auto found = gCache.find(index); found != gCache.end()) {
            key = found->second;
            return true;
        }
    }
    if (!Derive(request, key)) {
        return false;
    }
    std::lock_guard lock(gCacheMutex);
    gCache[index] = key;
    return true;
}

void ForgetPasswordKeys() {
    std::lock_guard lock(gCacheMutex);
    for (auto& [index, key] : gCache) {
        OPENSSL_cleanse(key.data(), key.size());
    }
    gCache.clear();
}

std::uint64_t PasswordKeyDerivationCount() {
    return gDerivations.load();
}

} // namespace kestrow
