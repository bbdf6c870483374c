#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

// The cells of a note's table (rows of cell texts, all rows as wide as the table) from the table
// attachment's merge data, inflated: a mergeable-data protobuf whose ICTable object names its row
// and column orders (crRows, crColumns) and its cells (cellColumns: column -> row -> cell note).
// Empty when the data holds no readable table or one over 100,000 cells; cell texts beyond 4 MiB
// in all are left empty.
std::vector<std::vector<std::string>> ReadNoteTable(std::string_view mergeData);

} // namespace kestrow
