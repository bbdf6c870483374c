#pragma once

#include <string>
#include <string_view>

namespace kestrow {

// The text of a message's attributedBody (an archived NSAttributedString, "typedstream"): the first
// string after the class name "NSString" or "NSMutableString": after the first "+" byte, its length
// (one byte below 0x81; 0x81 and a 16-bit, 0x82 and a 32-bit little-endian length), then that
// many bytes of UTF-8, with every U+FFFC removed. Empty for anything malformed; every read is
// bounds-checked.
std::string AttributedBodyText(std::string_view blob);

} // namespace kestrow
