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

// The rules every screen shares: the primary and the secondary button (a button names its
// role in its dynamic property "buttonRole"). Titles take no colour here: the title-colour rule
// gives it.
[[nodiscard]] QString styleSheet();

// Gives the whole application the dark palette and the shared rules.
void applyToApplication();

}  // namespace darkLook
