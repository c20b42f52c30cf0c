#include "platform/FocusRing.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include "platform/Accessibility.h"

namespace platform {
namespace {

FocusRing* instance = nullptr;

// Paints only what the style sheet gives it (a border); lets the mouse through.
class RingFrame final : public QWidget {
 public:
  explicit RingFrame(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("focusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_StyledBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setDecorative(this);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
  }
};

bool takesRing(const QWidget* widget) {
  if (!widget || !(widget->focusPolicy() & Qt::TabFocus)) return false;
  const QWidget* window = widget->window();
  return window && window != widget && window->windowType() != Qt::Popup && window->windowType() != Qt::ToolTip;
}

}  // namespace

FocusRing::FocusRing(QObject* parent) : QObject(parent) {
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { follow(now); });
}

void FocusRing::install() {
  if (instance || !qApp) return;
  instance = new FocusRing(qApp);
  instance->follow(QApplication::focusWidget());
}

QWidget* FocusRing::frame() {
  if (!instance || !instance->frame_ || instance->frame_->isHidden()) return nullptr;
  return instance->frame_;
}

void FocusRing::follow(QWidget* focused) {
  unwatch();
  target_ = takesRing(focused) ? focused : nullptr;
  if (!target_) {
    if (frame_) frame_->hide();
    return;
  }
  QWidget* window = target_->window();
  if (!frame_) {
    frame_ = new RingFrame(window);
  } else if (frame_->parentWidget() != window) {
    frame_->setParent(window);
  }
  for (QWidget* w = target_; w && w != window; w = w->parentWidget()) {
    w->installEventFilter(this);
    watched_.append(w);
  }
  window->installEventFilter(this);
  watched_.append(window);
  place();
}

void FocusRing::unwatch() {
  for (const QPointer<QWidget>& w : std::as_const(watched_)) {
    if (w) w->removeEventFilter(this);
  }
  watched_.clear();
}

void FocusRing::place() {
  if (!frame_) return;
  if (!target_ || !target_->isVisible()) {
    frame_->hide();
    return;
  }
  QWidget* window = frame_->parentWidget();
  const int margin = kMargin;
  const QRect area(target_->mapTo(window, QPoint(0, 0)), target_->size());
  frame_->setGeometry(area.adjusted(-margin, -margin, margin, margin));
  frame_->show();
  frame_->raise();
}

bool FocusRing::eventFilter(QObject*, QEvent* event) {
  switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ChildAdded:  // a new screen in the window covers the frame
    case QEvent::LayoutRequest:
      place();
      break;
    default:
      break;
  }
  return false;
}

}  // namespace platform
