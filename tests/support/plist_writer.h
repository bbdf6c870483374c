#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <plist/plist.h>

namespace kestrow::test {

// Owns a libplist node tree.
struct TPlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using TPlistPtr = std::unique_ptr<void, TPlistDeleter>;

std::string PlistXml(plist_t root);
std::string PlistBinary(plist_t root);
// A date node for a Unix time (libplist counts from 2001-01-01).
plist_t PlistDate(std::int64_t unixSeconds);
// A minimal XML property list around the given top-level <dict> children.
std::string XmlPlistOfDictBody(const std::string& body);

// Hostile binary property lists, written byte by byte (libplist's own writer recurses and could
// not write them): arrays nested `levels` deep, each holding the next; and `levels` arrays each
// holding the next twice, a tree of 2^levels nodes from a few hundred bytes.
std::string DeepBinaryPlist(std::size_t levels);
std::string SharedBinaryPlist(std::size_t levels);

} // namespace kestrow::test
