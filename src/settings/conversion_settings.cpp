#include "settings/conversion_settings.h"

#include <cstddef>

#include "settings/column_split.h"

namespace qv {

namespace {

std::uint32_t panelTint(Panel panel) {
    switch (panel) {
        case Panel::Video:
            return kVideoTint;
        case Panel::Audio:
            return kAudioTint;
        case Panel::Options:
            return kOptionsTint;
    }
    return kWhite;
}

}  // namespace

std::uint32_t tintForIndex(Panel panel, int itemIndex) {
    return itemIndex != 0 ? panelTint(panel) : kWhite;
}

std::uint32_t tintForValue(Panel panel, int value) { return value > 0 ? panelTint(panel) : kWhite; }

std::string stripTrailingSeparators(std::string_view path) {
#ifdef _WIN32
    // "D:\" becomes "D:"; the batch run adds the separator back before a name.
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
#else
    // "/" itself is kept: an empty text would no longer name the root folder.
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
#endif
    return std::string(path);
}

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || out.back() != kPathSeparator) out += kPathSeparator;
    out += name;
    return out;
}

std::string selectedColumn(CatalogueId id, int index, int column) {
    const auto rows = catalogue(id);
    if (index < 0 || static_cast<std::size_t>(index) >= rows.size()) return {};
    return columnOf(rows[static_cast<std::size_t>(index)], column);
}

}  // namespace qv
