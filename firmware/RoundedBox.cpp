#include "firmware/RoundedBox.h"

#include <QPainter>
#include <QPainterPath>

RoundedBox::RoundedBox(QWidget* parent) : QWidget(parent) {}

void RoundedBox::setBorderColor(const QColor& color) {
  borderColor_ = color;
  update();
}

void RoundedBox::setFillColor(const QColor& color) {
  fillColor_ = color;
  update();
}

void RoundedBox::setCornerRadius(int radius) {
  cornerRadius_ = radius;
  update();
}

void RoundedBox::setBorderWidth(int width) {
  borderWidth_ = width;
  update();
}

void RoundedBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  // The stroke straddles the path, so the path sits half a border inside the widget.
  const qreal inset = borderWidth_ / 2.0;
  QPainterPath path;
  path.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), cornerRadius_, cornerRadius_);
  painter.fillPath(path, fillColor_);
  if (borderWidth_ > 0 && borderColor_.alpha() > 0) painter.strokePath(path, QPen(borderColor_, borderWidth_));
}
