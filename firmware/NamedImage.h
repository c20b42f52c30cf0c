#pragma once

#include <QString>

class QAbstractButton;
class QLabel;
class QWidget;

// Shows the bundle image `name` (platform::imageNamed) in a label at the label's minimum size
// (else the image's own), or as a button's icon at its icon size, and remembers the name, so
// that what a widget shows can be asked for by name.
void setNamedImage(QLabel* label, const QString& name);
void setNamedImage(QAbstractButton* button, const QString& name);
// The name last shown in `widget`; empty when none.
[[nodiscard]] QString namedImage(const QWidget* widget);
