#pragma once

#include <string>
#include <vector>

namespace kestrow::test {

// Every path below `folder`, relative to it, sorted: what an export left there.
std::vector<std::string> NamesBelow(const std::string& folder);

// A file's bytes; empty when it cannot be read.
std::string FileText(const std::string& path);

} // namespace kestrow::test
