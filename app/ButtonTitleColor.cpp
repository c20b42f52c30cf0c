#include "app/ButtonTitleColor.h"

#include <QAbstractButton>
#include <QColor>
#include <QPalette>
#include <QPushButton>

#include "app/DarkLook.h"

void updateButtonTitleColor(QAbstractButton* button) {
  if (!button) return;
  const QColor color = button->isEnabled() ? darkLook::accentColor() : QColor(96, 96, 96);
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
