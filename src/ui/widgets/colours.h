#pragma once
// The palette's colours as Qt colours.
#include <QColor>
#include <cstdint>

#include "base/palette.h"

namespace qv::ui {

inline QColor colour(std::uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

}  // namespace qv::ui
