#include "platform/ViewController.h"

#include "platform/WindowController.h"

namespace platform {

ViewController::ViewController(QObject* parent) : QObject(parent) {}

ViewController::~ViewController() { delete view_.data(); }

QWidget* ViewController::view() {
  if (!view_) {
    auto* root = new QWidget;
    root->setObjectName(QStringLiteral("view"));
    view_ = root;
    setupView(root);
    viewDidLoad();
  }
  return view_;
}

WindowController* ViewController::windowController() const { return windowController_; }

void ViewController::setupView(QWidget*) {}

}  // namespace platform
