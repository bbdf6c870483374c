#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow::test {

// A MIME multipart message read back (a web archive): its headers and its parts with their bodies
// decoded (base64 through OpenSSL, quoted-printable by RFC 2045). Header names are kept as written.
struct TMimePart {
    std::map<std::string, std::string> Headers;
    std::string Body;
};
struct TMimeMessage {
    std::map<std::string, std::string> Headers; // folded lines unfolded
    std::vector<TMimePart> Parts;
};

// Nothing when the message is no multipart message, a part is not closed by the final boundary,
// or a body does not decode.
std::optional<TMimeMessage> ReadMime(std::string_view text);

} // namespace kestrow::test
