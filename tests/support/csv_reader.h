#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow::test {

// Records of CSV text read as RFC 4180 says: fields separated by ",", records by CR LF; a field in
// double quotes may hold commas, line breaks and doubled quotes. Nothing when the text breaks the
// rules (a quote inside an unquoted field, text after a closing quote, a quote left open).
std::optional<std::vector<std::vector<std::string>>> ReadCsv(std::string_view text);

} // namespace kestrow::test
