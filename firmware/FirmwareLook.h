#pragma once

#include <QColor>
#include <QString>

#include <optional>

#include "app/DarkLook.h"

class QLabel;

// The look the firmware screens share: their colours, the way a label takes its colour, and
// the line that names a firmware.
namespace firmware_look {

inline const QColor kAccentYellow = darkLook::accentColor();
inline const QColor kDarkGrey = darkLook::windowColor();
inline const QColor kGrey96{96, 96, 96};
inline const QColor kRed{255, 75, 75};
inline const QColor kGrey136{136, 136, 136};

// Colours a label's text through a style sheet, not the palette: under a scene's style sheet a
// label paints with the colour that style sheets give it.
void setTextColor(QLabel* label, const QColor& color);

// "<product name> <Firmware Ver.> <version>", each part empty when absent.
[[nodiscard]] QString firmwareTitle(const std::optional<QString>& productName, const std::optional<QString>& version);

}  // namespace firmware_look
