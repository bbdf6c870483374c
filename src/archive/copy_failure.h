#pragma once

#include <string>

namespace kestrow {

// A file that could not be written: where it was going and why (errno).
struct TCopyFailure {
    std::string Target;
    int Error = 0;
};

} // namespace kestrow
