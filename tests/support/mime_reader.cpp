#include "support/mime_reader.h"

#include <cctype>

#include <openssl/evp.h>

namespace kestrow::test {

namespace {

// Headers up to the first empty line; `text` is left at the body.
std::optional<std::map<std::string, std::string>> ReadHeaders(std::string_view& text) {
    std::map<std::string, std::string> headers;
    std::string last;
    for (;;) {
        const std::size_t end = text.find("\r\n");
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 2);
        if (line.empty()) {
            return headers;
        }
        if ((line.front() == ' ' || line.front() == '\t') && !last.empty()) {
            headers[last] += " " + std::string(line.substr(line.find_first_not_of(" \t")));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        last = std::string(line.substr(0, colon));
        headers[last] = std::string(line.substr(line.find_first_not_of(' ', colon + 1)));
    }
}

std::optional<std::string> DecodeBase64(std::string_view text) {
    std::string compact;
    for (const char c : text) {
        if (c != '\r' && c != '\n') {
            compact += c;
        }
    }
    if (compact.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string out(compact.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(compact.data()),
                                  static_cast<int>(compact.size()));
    if (n < 0) {
        return std::nullopt;
    }
    const std::size_t padding =
        compact.empty()
            ? 0
            : (compact.back() == '=') + (compact.size() > 1 && compact[compact.size() - 2] == '=');
    out.resize(static_cast<std::size_t>(n) - padding);
    return out;
}

std::optional<std::string> DecodeQuotedPrintable(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (text.substr(i + 1, 2) == "\r\n") {
            i += 2; // soft line break
        } else if (i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::string BoundaryOf(const std::string& contentType) {
    const std::size_t at = contentType.find("boundary=\"");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t start = at + 10;
    return contentType.substr(start, contentType.find('"', start) - start);
}

} // namespace

std::optional<TMimeMessage> ReadMime(std::string_view text) {
    TMimeMessage message;
    auto headers = ReadHeaders(text);
    if (!headers || !headers->contains("Content-Type")) {
        return std::nullopt;
    }
    message.Headers = std::move(*headers);
    const std::string boundary = BoundaryOf(message.Headers["Content-Type"]);
    if (boundary.empty()) {
        return std::nullopt;
    }
    const std::string delimiter = "\r\n--" + boundary;
    std::size_t at = text.find(delimiter);
    while (at != std::string_view::npos) {
        std::string_view rest = text.substr(at + delimiter.size());
        if (rest.substr(0, 2) == "--") {
            return message; // the closing delimiter
        }
        rest.remove_prefix(2); // CR LF after the delimiter
        auto partHeaders = ReadHeaders(rest);
        const std::size_t end = rest.find(delimiter);
        if (!partHeaders || end == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view body = rest.substr(0, end);
        const std::string encoding = (*partHeaders)["Content-Transfer-Encoding"];
        const auto decoded = encoding == "base64"             ? DecodeBase64(body)
                             : encoding == "quoted-printable" ? DecodeQuotedPrintable(body)
                                                              : std::optional<std::string>(body);
        if (!decoded) {
            return std::nullopt;
        }
        message.Parts.push_back({std::move(*partHeaders), *decoded});
        at = text.size() - rest.size() + end;
    }
    return std::nullopt;
}

} // namespace kestrow::test
