#include <cstdint>
#include <string_view>

#include "archive/manifest_mbdb.h"
#include "crypto/key_bag.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kestrow::TFileTable files;
    kestrow::TSessionLog log;
    kestrow::TBackupKeyBag keyBag("", 0);
    kestrow::ReadMbdbBytes(bytes, false, nullptr, files, log);
    files.Clear();
    kestrow::ReadMbdbBytes(bytes, true, &keyBag, files, log);
    return 0;
}
