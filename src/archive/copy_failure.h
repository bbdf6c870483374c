#pragma once

#include <string>
#include <utility>

namespace kestrow {

// A file that could not be written: where it was going and why (errno; Reason when the cause was
// no system error, such as a database that could not be read).
struct TCopyFailure {
    TCopyFailure() = default;
    TCopyFailure(std::string target, int error, std::string reason = {})
        : Target(std::move(target)), Error(error), Reason(std::move(reason)) {}

    std::string Target;
    int Error = 0;
    std::string Reason;
};

} // namespace kestrow
