#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Divides a catalogue or preset row into its columns (quotes, doubled quotes,
// blanks and control characters, leading and trailing commas). UTF-8 in and out.
std::vector<std::string> splitColumns(std::string_view row);

// Column k of the row, or an empty text when the row has fewer columns.
std::string columnOf(std::string_view row, int k);

}  // namespace qv
