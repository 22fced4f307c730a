#pragma once
// How far the wheel and the paging keys move the widgets.

namespace qv::ui {

inline constexpr int kWheelNotch = 120;  // angleDelta() of one notch of a common wheel
inline constexpr int kRowsPerNotch = 3;  // an opened list scrolls this many rows a notch
inline constexpr int kPageStep = 10;     // Page Up / Page Down on a number field

}  // namespace qv::ui
