#include "app/FennicProgressBar.h"

#include <QPainter>
#include <QPen>

#include <cmath>

#include "app/DarkLook.h"

// The dark look's colours, not the palette's: the bar draws the same in any palette.
FennicProgressBar::FennicProgressBar(QWidget* parent)
    : QWidget(parent), barColor_(darkLook::labelColor()), trackColor_(darkLook::secondaryLabelColor()) {}

FennicProgressBar::~FennicProgressBar() = default;

double FennicProgressBar::clampedProgress(double value) {
  // NaN compares false with everything and would slip through both bounds.
  if (std::isnan(value) || value <= 0.0) return 0.0;
  if (value > 100.0) return 100.0;
  return value;
}

void FennicProgressBar::setProgressValue(double value) {
  progressValue_ = clampedProgress(value);
  update();
}

void FennicProgressBar::paintEvent(QPaintEvent*) {
  const double w = width();
  const double h = height();
  const double t = barThickness_;
  const double y = h / 2.0;

  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  // Flat ends stop exactly at the end points; a square cap would show a block at 0 %.
  QPen pen(trackColor_, t, Qt::SolidLine, Qt::FlatCap);
  painter.setPen(pen);
  painter.drawLine(QPointF(t / 2.0, y), QPointF(w - t / 2.0, y));

  const double length = progressValue_ / 100.0 * (w - t);
  if (length <= 0.0) return;
  pen.setColor(barColor_);
  painter.setPen(pen);
  painter.drawLine(QPointF(t / 2.0, y), QPointF(t / 2.0 + length, y));
}
