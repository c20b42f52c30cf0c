#include "app/MiddleElision.h"

#include <QEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace {

constexpr char kElidingProperty[] = "ravlioElidesInTheMiddle";

QRect textRect(const QLabel* label) {
  const int m = label->margin();
  return label->contentsRect().adjusted(m, m, -m, -m);
}

// Paints the label's text elided when it does not fit, and answers its tooltip requests with
// the whole text while it is elided. Lives as the label's child.
class MiddleElider final : public QObject {
 public:
  explicit MiddleElider(QLabel* label) : QObject(label), label_(label) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != label_) return false;
    if (event->type() == QEvent::Paint) return paintElided();
    if (event->type() == QEvent::ToolTip) {
      if (shownText(label_) == label_->text()) {
        QToolTip::hideText();
      } else {
        // Markup in a name shows as written; blanks stay, and the long line wraps.
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                           QStringLiteral("<p style='white-space:pre-wrap'>") + label_->text().toHtmlEscaped() +
                               QStringLiteral("</p>"),
                           label_);
      }
      return true;
    }
    return false;
  }

 private:
  // Lets the label paint itself while its text fits; otherwise draws the elided text the way a
  // label draws its text (these labels have no frame or background of their own).
  bool paintElided() {
    const QString shown = shownText(label_);
    if (shown == label_->text()) return false;
    QPainter painter(label_);
    label_->style()->drawItemText(&painter, textRect(label_), int(QStyle::visualAlignment(label_->layoutDirection(), label_->alignment())),
                                  label_->palette(), label_->isEnabled(), shown, label_->foregroundRole());
    return true;
  }

  QLabel* label_;
};

}  // namespace

void elideInTheMiddle(QLabel* label) {
  if (!label || label->property(kElidingProperty).toBool()) return;
  label->setProperty(kElidingProperty, true);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(false);
  // A long name must not widen the screen past its window: the label gives way down to nothing.
  label->setMinimumWidth(1);
  label->installEventFilter(new MiddleElider(label));
}

QString shownText(const QLabel* label) {
  if (!label) return {};
  const QString text = label->text();
  const int width = textRect(label).width();
  if (label->fontMetrics().horizontalAdvance(text) <= width) return text;
  return label->fontMetrics().elidedText(text, Qt::ElideMiddle, width);
}
