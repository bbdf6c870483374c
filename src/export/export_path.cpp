#include "export/export_path.h"

#include <algorithm>
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
// Room kept for "_" and the decimal digits of a suffix.
constexpr std::size_t kSuffixRoom = 11;

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

// The length of the C1 control character (U+0080 to U+009F) at `at`, else 0.
std::size_t C1ControlAt(std::string_view text, std::size_t at) {
    return at + 1 < text.size() && static_cast<unsigned char>(text[at]) == 0xC2 &&
                   static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[at + 1]) <= 0x9F
               ? 2
               : 0;
}

// The longest start of `text` of at most `maxBytes` that ends on a character boundary.
std::string_view FirstBytes(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

} // namespace

std::string SafeFileName(std::string_view name, std::size_t maxCharacters, char replacement,
                         std::size_t maxBytes) {
    const std::string cut = FirstCharacters(name, maxCharacters);
    std::string safe;
    safe.reserve(cut.size());
    for (std::size_t at = 0; at < cut.size(); ++at) {
        const char c = cut[at];
        if (const std::size_t c1 = C1ControlAt(cut, at); c1 != 0) {
            safe += '_';
            at += c1 - 1;
        } else if (static_cast<unsigned char>(c) < 0x20 && c != '\0') {
            safe += '_';
        } else if (c == '\x7F') {
            safe += '_';
        } else {
            safe += IsForbiddenInName(c) ? replacement : c;
        }
    }
    safe.resize(FirstBytes(safe, maxBytes).size());
    if (safe == "." || safe == "..") {
        safe.assign(safe.size(), replacement);
    }
    return safe;
}

std::string TExportNames::Path(std::string_view name, std::string_view extension, const std::string& folder,
                               std::string_view companion) {
    const std::size_t tail = std::max(extension.size(), companion.size()) + kSuffixRoom;
    const std::size_t maxBytes = kMaxNameBytes > tail ? kMaxNameBytes - tail : 1;
    // A record without a name still gets a visible file (not ".vcf", hidden from file managers).
    const std::string safe = name.empty() ? std::string(kUnnamedExport)
                                          : SafeFileName(name, kMaxExportNameCharacters, '_', maxBytes);
    const std::string base = folder + safe;
    const auto free = [&](const std::string& stem) {
        return !PathExists(stem + std::string(extension)) &&
               (companion.empty() || !PathExists(stem + std::string(companion)));
    };
    std::string key = base;
    (key += '\0') += extension;
    (key += '\0') += companion;
    int& next = FNext.try_emplace(std::move(key), 0).first->second;
    std::string stem = next == 0 ? base : fmt::format("{}_{}", base, next);
    while (!free(stem)) {
        stem = fmt::format("{}_{}", base, ++next);
    }
    ++next; // this one is taken now
    return stem + std::string(extension);
}

std::string MakeExportPath(std::string_view name, std::string_view extension, const std::string& folder,
                           std::string_view companion) {
    return TExportNames().Path(name, extension, folder, companion);
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
