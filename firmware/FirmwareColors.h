#pragma once

#include <QColor>

// The colours of the firmware screens.
namespace firmware_colors {

inline const QColor kAccentYellow{251, 205, 81};
inline const QColor kDarkGrey{35, 35, 35};

}  // namespace firmware_colors
