#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

// A picture ready to be shown inline: its bytes already scaled and encoded by the caller.
struct TInlinePicture {
    std::string Mime; // "image/jpeg"
    std::string Bytes;
};

// Picture bytes as placed in a data URI: base64, standard alphabet, "=" padding, lines of 76
// characters separated by CR LF.
std::string InlinePictureBase64(std::string_view bytes);

// A relative link to a file written by an export: each "/"-separated part percent-encoded (every
// byte but letters, digits and "-._~"), so that names holding "#", "?", "%" or blanks still lead to
// their file; safe inside a double-quoted attribute.
std::string FileLink(std::string_view relativePath);

// A comma-separated list of addresses split as members: items end at ",", blanks before an item
// are dropped, and double quotes group text that holds commas (the quotes themselves are removed,
// a doubled quote inside stands for one).
std::vector<std::string> SplitCommaText(std::string_view text);

} // namespace kestrow
