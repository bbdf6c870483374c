#pragma once

#include <optional>
#include <string>

namespace kestrow {

// The backup password, from (in this order) the first line of `passwordFile`, the environment
// variable KESTROW_PASSWORD, or a prompt without echo on the terminal. Nothing when none of them
// gives one. There is deliberately no way to pass the password itself as an argument: it would show
// in the process list.
std::optional<std::string> ReadPassword(const std::string& passwordFile, std::string& error);

} // namespace kestrow
