#include "export/export_path.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <fmt/format.h>

#include "platform/paths.h"
#include "platform/utf8.h"

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

constexpr std::size_t kMaxExportNameCharacters = 68;
constexpr std::string_view kUnnamed = "Unnamed";

bool IsForbiddenInName(char c) {
    switch (c) {
    case '"':
    case '*':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|':
    case '\0': // no path can hold it
        return true;
    default:
        return false;
    }
}

} // namespace

std::string SafeFileName(std::string_view name, std::size_t maxCharacters, char replacement) {
    std::string safe = FirstCharacters(name, maxCharacters);
    for (char& c : safe) {
        if (IsForbiddenInName(c)) {
            c = replacement;
        }
    }
    if (safe == "." || safe == "..") {
        safe.assign(safe.size(), replacement);
    }
    return safe;
}

std::string MakeExportPath(std::string_view name, std::string_view extension, const std::string& folder,
                           std::string_view companion) {
    // A record without a name still gets a visible file (not ".vcf", hidden from file managers).
    const std::string base =
        folder + (name.empty() ? std::string(kUnnamed) : SafeFileName(name, kMaxExportNameCharacters, '_'));
    const auto free = [&](const std::string& stem) {
        return !PathExists(stem + std::string(extension)) &&
               (companion.empty() || !PathExists(stem + std::string(companion)));
    };
    std::string stem = base;
    for (int n = 1; !free(stem); ++n) {
        stem = fmt::format("{}_{}", base, n);
    }
    return stem + std::string(extension);
}

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
