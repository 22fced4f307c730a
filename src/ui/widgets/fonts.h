#pragma once
#include <QFont>

namespace qv::ui {
// "ＭＳ Ｐゴシック" where installed, else the closest Japanese proportional gothic,
// at the given pixel height.
QFont uiFont(int pixelHeight, bool bold = false);
}  // namespace qv::ui
