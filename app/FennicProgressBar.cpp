#include "app/FennicProgressBar.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPainter>
#include <QPen>

#include <cmath>

#include "app/DarkLook.h"

namespace {

// The bar as a read-only progress indicator: its value is the percentage.
class ProgressBarInterface final : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit ProgressBarInterface(FennicProgressBar* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return QStringLiteral("%1%").arg(std::lround(bar()->progressValue()));
    return QAccessibleWidget::text(t);
  }

  QVariant currentValue() const override { return bar()->progressValue(); }
  void setCurrentValue(const QVariant&) override {}  // shows progress; nobody sets it
  QVariant maximumValue() const override { return 100.0; }
  QVariant minimumValue() const override { return 0.0; }
  QVariant minimumStepSize() const override { return 1.0; }

 private:
  FennicProgressBar* bar() const { return static_cast<FennicProgressBar*>(widget()); }
};

QAccessibleInterface* progressBarFactory(const QString& className, QObject* object) {
  if (className != QLatin1StringView(FennicProgressBar::staticMetaObject.className())) return nullptr;
  auto* bar = qobject_cast<FennicProgressBar*>(object);
  return bar ? new ProgressBarInterface(bar) : nullptr;
}

}  // namespace

// The dark look's colours, not the palette's: the bar draws the same in any palette.
FennicProgressBar::FennicProgressBar(QWidget* parent)
    : QWidget(parent), barColor_(darkLook::labelColor()), trackColor_(darkLook::secondaryLabelColor()) {
  static const bool installed = [] {
    QAccessible::installFactory(&progressBarFactory);
    return true;
  }();
  (void)installed;
}

FennicProgressBar::~FennicProgressBar() = default;

double FennicProgressBar::clampedProgress(double value) {
  // NaN compares false with everything and would slip through both bounds.
  if (std::isnan(value) || value <= 0.0) return 0.0;
  if (value > 100.0) return 100.0;
  return value;
}

void FennicProgressBar::setProgressValue(double value) {
  const double clamped = clampedProgress(value);
  const bool changed = clamped != progressValue_;
  progressValue_ = clamped;
  update();
  if (changed) {
    QAccessibleValueChangeEvent event(this, progressValue_);
    QAccessible::updateAccessibility(&event);
  }
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
