#include "platform/WindowController.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "platform/FocusRing.h"
#include "platform/ViewController.h"

namespace platform {

// The top-level widget; tells its controller when it closes.
class WindowController::Window final : public QWidget {
 public:
  explicit Window(WindowController* owner) : owner_(owner) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
  }

 protected:
  // Return that no control took presses the screen's primary button.
  void keyPressEvent(QKeyEvent* event) override {
    ViewController* content = owner_ ? owner_->contentViewController() : nullptr;
    if (isReturnKey(event) && content && content->pressPrimaryButton()) {
      event->accept();
      return;
    }
    QWidget::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override {
    QWidget::closeEvent(event);
    if (owner_) owner_->handleClose();
  }

 private:
  QPointer<WindowController> owner_;
};

WindowController::WindowController(Storyboard* storyboard, QObject* parent)
    : QObject(parent), storyboard_(storyboard) {}

WindowController::~WindowController() {
  delete content_.data();
  delete window_.data();
}

QWidget* WindowController::window() {
  if (!window_) {
    windowWillLoad();
    FocusRing::install();
    window_ = new Window(this);
    windowDidLoad();
  }
  return window_;
}

void WindowController::setContentViewController(std::unique_ptr<ViewController> controller) {
  if (!controller) return;
  QWidget* win = window();
  ViewController* old = content_;
  const bool visible = win->isVisible();
  if (old && visible) old->viewWillDisappear();

  ViewController* next = controller.release();
  next->setParent(this);
  next->windowController_ = this;
  QWidget* view = next->view();
  content_ = next;
  if (visible) next->viewWillAppear();

  if (old && old->view_) {
    old->view_->hide();
    win->layout()->removeWidget(old->view_);
  }
  win->layout()->addWidget(view);
  view->show();
  if (visible) {
    next->viewDidAppear();
    if (content_ == next) next->focusFirstControl();
  }

  if (old) {
    old->windowController_ = nullptr;
    old->deleteLater();  // the caller may be running inside the old screen
  }
}

void WindowController::showWindow() {
  QWidget* win = window();
  const bool wasVisible = win->isVisible();
  if (content_ && !wasVisible) content_->viewWillAppear();
  win->show();
  win->raise();
  win->activateWindow();
  if (content_ && !wasVisible) {
    content_->viewDidAppear();
    if (content_) content_->focusFirstControl();
  }
}

void WindowController::close() {
  if (window_) window_->close();
  handleClose();
}

void WindowController::handleClose() {
  if (closed_) return;
  closed_ = true;
  windowWillClose();
}

}  // namespace platform
