#pragma once

#include <QColor>
#include <QPalette>

// The program's dark look, whatever the desktop's: the window's palette and the label colours
// that views without a palette role of their own take.
namespace darkLook {

[[nodiscard]] QColor windowColor();          // (35, 35, 35)
[[nodiscard]] QColor accentColor();          // (251, 205, 81): enabled titles, the chosen row
[[nodiscard]] QColor labelColor();           // primary text
[[nodiscard]] QColor secondaryLabelColor();  // descriptions, tracks: quieter than the label

// `base` with every role the screens and alerts use set to the dark look.
[[nodiscard]] QPalette palette(QPalette base);

}  // namespace darkLook
