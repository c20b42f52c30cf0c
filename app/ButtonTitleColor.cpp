#include "app/ButtonTitleColor.h"

#include <QAbstractButton>
#include <QColor>
#include <QPalette>
#include <QPushButton>

#include "app/DarkLook.h"

void updateButtonTitleColor(QAbstractButton* button) {
  if (!button) return;
  const QColor color = button->isEnabled() ? darkLook::accentColor() : QColor(96, 96, 96);
  // Under a scene's style sheet a palette alone does not hold: each re-polish (a button made
  // visible, moved into the window) puts back the palette the first polish saw. The button's
  // own style sheet outlasts that and wins over the scene's.
  button->setStyleSheet(QStringLiteral("color: %1;").arg(color.name()));
  QPalette palette = button->palette();
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::ButtonText, color);
  }
  button->setPalette(palette);
}

void updateButtonTitleColors(QWidget* root) {
  if (!root) return;
  for (QPushButton* button : root->findChildren<QPushButton*>()) updateButtonTitleColor(button);
}
