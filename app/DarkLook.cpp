#include "app/DarkLook.h"

#include <QApplication>

namespace darkLook {

QColor windowColor() { return {35, 35, 35}; }
QColor accentColor() { return {251, 205, 81}; }
QColor labelColor() { return {236, 236, 236}; }
// The grey the scenes give their descriptions.
QColor secondaryLabelColor() { return {184, 184, 184}; }

QPalette palette(QPalette base) {
  const QColor background = windowColor();
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    base.setColor(group, QPalette::Window, background);
    base.setColor(group, QPalette::Base, QColor(28, 28, 28));
    base.setColor(group, QPalette::AlternateBase, QColor(44, 44, 44));
    base.setColor(group, QPalette::WindowText, labelColor());
    base.setColor(group, QPalette::Text, labelColor());
    base.setColor(group, QPalette::ButtonText, labelColor());
    base.setColor(group, QPalette::PlaceholderText, secondaryLabelColor());
    base.setColor(group, QPalette::Button, QColor(52, 52, 52));
    base.setColor(group, QPalette::Highlight, accentColor());
    base.setColor(group, QPalette::HighlightedText, background);
    base.setColor(group, QPalette::ToolTipBase, QColor(52, 52, 52));
    base.setColor(group, QPalette::ToolTipText, labelColor());
  }
  base.setColor(QPalette::Disabled, QPalette::Window, background);
  base.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
  base.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
  base.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(96, 96, 96));
  base.setColor(QPalette::Disabled, QPalette::Button, QColor(44, 44, 44));
  return base;
}

QString styleSheet() {
  // Both roles share shape and size, so a button keeps its place and size from screen to
  // screen; the primary one carries the accent border, the secondary one a quiet border.
  return QStringLiteral(
      "QPushButton[buttonRole=\"primary\"], QPushButton[buttonRole=\"secondary\"] {"
      " border-radius: 8px; padding: 9px 30px; font-size: 15px; font-weight: 600; min-width: 80px; }"
      "QPushButton[buttonRole=\"primary\"] { background-color: rgb(52, 52, 52); border: 1px solid rgb(251, 205, 81); }"
      "QPushButton[buttonRole=\"primary\"]:hover { background-color: rgb(64, 60, 46); }"
      "QPushButton[buttonRole=\"primary\"]:pressed { background-color: rgb(78, 70, 44); }"
      "QPushButton[buttonRole=\"primary\"]:disabled { background-color: rgb(44, 44, 44); border-color: rgb(70, 70, 70); }"
      "QPushButton[buttonRole=\"secondary\"] { background-color: transparent; border: 1px solid rgb(128, 128, 128); }"
      "QPushButton[buttonRole=\"secondary\"]:hover { background-color: rgb(52, 52, 52); border-color: rgb(170, 170, 170); }"
      "QPushButton[buttonRole=\"secondary\"]:pressed { background-color: rgb(64, 64, 64); }"
      "QPushButton[buttonRole=\"secondary\"]:disabled { border-color: rgb(70, 70, 70); }"
      // The one focus ring, around whichever control has the keyboard focus; its border fits in
      // the room the ring is given outside the control.
      "QWidget#focusRing { background: transparent; border: 2px solid rgb(251, 205, 81); border-radius: 11px; }");
}

void applyToApplication() {
  QApplication::setPalette(palette(QApplication::palette()));
  qApp->setStyleSheet(styleSheet());
}

}  // namespace darkLook
