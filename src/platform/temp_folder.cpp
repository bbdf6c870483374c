#include "platform/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace kestrow {

TTempFolder::TTempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp");
    if (pattern.back() != '/') {
        pattern.push_back('/');
    }
    pattern += "kestrow-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
        FPath = pattern + "/";
    }
}

TTempFolder::~TTempFolder() {
    if (IsValid()) {
        RemoveTree(FPath);
    }
}

bool RemoveTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return !ec;
}

} // namespace kestrow
