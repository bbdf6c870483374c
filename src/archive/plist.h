#pragma once

#include <string>

namespace kestrow {

// Every property list is read the same way: brought into XML form in a file (binary lists are
// converted into the caller's working file), loaded into a DOM and walked pairwise.

// The XML file of a property list: the source itself when it is XML, else `dstFile` holding the
// conversion of the binary list. Empty when the source is missing or does not convert. Without
// `checkHeader` the source is taken to be binary without looking.
std::string PlistToXml(const std::string& srcFile, const std::string& dstFile, bool checkHeader);

// Converts a binary (or XML) property list into an XML one written to `dstFile`.
bool ConvertBinaryPlist(const std::string& srcFile, const std::string& dstFile, bool overwrite);

// PlistToXml, then, when `key` is given, the <data> value of that key in the top-level <dict>
// decoded into `workFile` and converted there in place (an embedded property list). Empty when the
// key is missing, its value is empty or nothing could be written.
std::string OpenPlistXml(const std::string& plistFile, const std::string& key, const std::string& workFile);

} // namespace kestrow
