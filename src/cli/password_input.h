#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kestrow {

// The backup password, from (in this order) the first line of `passwordFile`, the environment
// variable KESTROW_PASSWORD, or a prompt without echo on the terminal. Nothing when none of them
// gives one. There is deliberately no way to pass the password itself as an argument: it would show
// in the process list.
std::optional<std::string> ReadPassword(const std::string& passwordFile, std::string& error);

// Candidate passwords of locked notes: each non-empty line of `passwordFile`, then the environment
// variable KESTROW_NOTES_PASSWORD. Never asked for: a backup's notes read without them. Nothing (and
// `error`) when the file cannot be read.
std::optional<std::vector<std::string>> ReadNotePasswords(const std::string& passwordFile,
                                                          std::string& error);

} // namespace kestrow
