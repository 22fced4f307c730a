#include "settings/column_split.h"

#include <cstddef>

namespace qv {

namespace {

// Codes 1..32: control characters and the blank. NUL is an ordinary character here.
bool isSkippable(unsigned char c) { return c >= 1 && c <= 32; }

}  // namespace

// The text is stepped byte by byte. In UTF-8 every byte of a multi-byte character is
// 0x80 or above, so no part of one can be taken for a quote, a comma or a code 1..32:
// a character is never cut, and the result equals stepping by whole characters.
std::vector<std::string> splitColumns(std::string_view row) {
    std::vector<std::string> columns;
    const std::size_t n = row.size();
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < n && isSkippable(static_cast<unsigned char>(row[i]))) ++i;
    };

    skipBlanks();
    while (i < n) {
        std::string column;
        if (row[i] == '"') {
            ++i;
            while (i < n) {
                if (row[i] == '"') {
                    if (i + 1 < n && row[i + 1] == '"') {
                        column += '"';
                        i += 2;
                        continue;
                    }
                    ++i;  // the closing quote
                    break;
                }
                column += row[i++];
            }
            // An unclosed quote takes the rest of the text.
        } else {
            const std::size_t start = i;
            while (i < n && row[i] != ',' && !isSkippable(static_cast<unsigned char>(row[i]))) ++i;
            column.assign(row.substr(start, i - start));
        }
        columns.push_back(std::move(column));
        skipBlanks();
        if (i < n && row[i] == ',') {
            if (i + 1 == n) columns.emplace_back();
            ++i;
            skipBlanks();
        }
    }
    return columns;
}

std::string columnOf(std::string_view row, int k) {
    if (k < 0) return {};
    auto columns = splitColumns(row);
    if (static_cast<std::size_t>(k) >= columns.size()) return {};
    return std::move(columns[static_cast<std::size_t>(k)]);
}

}  // namespace qv
