#include <cstdint>
#include <string>

#include "crypto/base64.h"
#include "crypto/key_bag.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string block(reinterpret_cast<const char*>(data), size);
    kestrow::TBackupKeyBag keyBag(kestrow::Base64Encode(block), 0);
    // Unlocking only where the derivation is cheap: the parse is what takes hostile input.
    if (keyBag.LastError() == kestrow::kbeSuccess && keyBag.Iterations() <= 16 &&
        !keyBag.HasDoubleDerivation()) {
        if (keyBag.SetItunesPassword("password")) {
            for (const auto& record : keyBag.RawKeys()) {
                keyBag.UnwrapFileKey(record.Clas, record.Wpky);
            }
        }
    }
    return 0;
}
