#include "settings/preset_match.h"

#include "settings/column_split.h"

namespace qv {

int presetRowFor(std::span<const std::string_view> rows, std::string_view columnText) {
    if (columnText.empty()) return -1;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (columnOf(rows[i], 0) == columnText) return static_cast<int>(i);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].find(columnText) != std::string_view::npos) return static_cast<int>(i);
    return -1;
}

}  // namespace qv
