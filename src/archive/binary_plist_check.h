#pragma once

#include <cstddef>
#include <string_view>

namespace kestrow {

// Limits of what is taken for a binary property list before a parser that recurses sees it.
constexpr std::size_t kMaxPlistDepth = 512;         // nesting levels of containers
constexpr std::size_t kMaxPlistNodes = 1u << 22;    // nodes of the tree a parser would build
constexpr std::size_t kMaxPlistPathWork = 1u << 26; // sum of those nodes' depths and key lengths

// Walks the object table of a binary property list ("bplist") without recursion and tells whether
// it is a tree a parser can build safely: the trailer and offset table lie inside the data, every
// object reference is in range, dictionary keys are strings without NUL, no container nests deeper
// than kMaxPlistDepth, and the tree (with shared objects counted each time they are referenced)
// stays within the node and work limits.
bool IsSafeBinaryPlist(std::string_view data);

} // namespace kestrow
