#include "export/export_path.h"

#include <fmt/format.h>

#include "platform/paths.h"

namespace kestrow {

std::string UniqueExportPath(const std::string& folder, const std::string& name) {
    std::string candidate = folder + name;
    const auto dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot != 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    for (int n = 2; PathExists(candidate); ++n) {
        candidate = fmt::format("{}{} ({}){}", folder, stem, n, extension);
    }
    return candidate;
}

} // namespace kestrow
