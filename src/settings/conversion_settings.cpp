#include "settings/conversion_settings.h"

#include <algorithm>
#include <cstddef>

#include "base/palette.h"
#include "settings/column_split.h"

namespace qv {

namespace {

std::uint32_t panelTint(Panel panel) {
    switch (panel) {
        case Panel::Video:
            return palette::kVideoTint;
        case Panel::Audio:
            return palette::kAudioTint;
        case Panel::Options:
            return palette::kOptionsTint;
    }
    return palette::kWhite;
}

}  // namespace

std::uint32_t tintForIndex(Panel panel, int itemIndex) {
    return itemIndex != 0 ? panelTint(panel) : palette::kWhite;
}

std::uint32_t tintForValue(Panel panel, int value) {
    return value > 0 ? panelTint(panel) : palette::kWhite;
}

std::string selectedColumn(CatalogueId id, int index, int column) {
    const auto rows = catalogue(id);
    if (index < 0 || static_cast<std::size_t>(index) >= rows.size()) return {};
    return columnOf(rows[static_cast<std::size_t>(index)], column);
}

std::vector<const ControlEntry*> presetDrivenControls() {
    std::vector<const ControlEntry*> driven;
    for (const ControlEntry& c : kControls)
        if (c.presetColumn > 0) driven.push_back(&c);
    std::sort(driven.begin(), driven.end(), [](const ControlEntry* a, const ControlEntry* b) {
        return a->presetColumn < b->presetColumn;
    });
    return driven;
}

}  // namespace qv
