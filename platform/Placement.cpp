#include "platform/Placement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace platform {

QPoint centredPosition(const QWidget* over, QSize size) {
  const QWidget* window = over ? over->window() : nullptr;
  QRect area;
  if (window && window->isVisible()) {
    area = window->frameGeometry();
  } else if (QScreen* screen = window ? window->screen() : QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  return area.center() - QPoint(size.width() / 2, size.height() / 2);
}

QWidget* applicationWindowOf(QWidget* widget) {
  QWidget* window = widget ? widget->window() : nullptr;
  while (window && window->parentWidget()) window = window->parentWidget()->window();
  return window;
}

}  // namespace platform
