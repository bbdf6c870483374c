#include "export/export_path.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <fmt/format.h>

#include "platform/paths.h"

namespace kestrow {

namespace {

// "stem (n).ext"; a leading dot is part of the stem, not an extension.
std::string NumberedName(const std::string& name, int n) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return fmt::format("{} ({})", name, n);
    }
    return fmt::format("{} ({}){}", name.substr(0, dot), n, name.substr(dot));
}

} // namespace

std::string UniqueExportPath(const std::string& folder, const std::string& name) {
    std::string candidate = folder + name;
    for (int n = 2; PathExists(candidate); ++n) {
        candidate = folder + NumberedName(name, n);
    }
    return candidate;
}

bool TFlatNames::Taken(const std::string& candidate) const {
    struct stat info {};
    return FUsed.contains(candidate) ||
           ::fstatat(FFolderFd, candidate.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

std::string TFlatNames::Next(const std::string& name) {
    std::string candidate = name;
    if (Taken(candidate)) {
        int& next = FNextNumber.try_emplace(name, 2).first->second;
        do {
            candidate = NumberedName(name, next++);
        } while (Taken(candidate));
    }
    FUsed.insert(candidate);
    return candidate;
}

} // namespace kestrow
