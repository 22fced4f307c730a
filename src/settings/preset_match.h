#pragma once
// Which row of a catalogue a preset's column selects.
#include <span>
#include <string_view>

namespace qv {

// The row whose value equals the column text, else the first row whose whole
// text contains it; -1 when none does or the text is empty. Matching the value
// first lets a bare quality number such as "5" find "5,VBR" rather than the
// first constant-rate row that happens to contain the digit.
int presetRowFor(std::span<const std::string_view> rows, std::string_view columnText);

}  // namespace qv
