#pragma once

#include <string>

namespace kestrow {

// A path for `name` inside `folder` (ending with "/") that names no existing file: the name
// itself, else "stem (2).ext", "stem (3).ext", ... so that an export never overwrites.
std::string UniqueExportPath(const std::string& folder, const std::string& name);

} // namespace kestrow
