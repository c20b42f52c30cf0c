#include "app/ButtonTitleColor.h"

#include <QAbstractButton>
#include <QColor>
#include <QPalette>

void updateButtonTitleColor(QAbstractButton* button) {
  if (!button) return;
  const QColor color = button->isEnabled() ? QColor(251, 205, 81) : QColor(96, 96, 96);
  QPalette palette = button->palette();
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::ButtonText, color);
  }
  button->setPalette(palette);
}
