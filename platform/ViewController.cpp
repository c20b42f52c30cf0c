#include "platform/ViewController.h"

#include <QDialog>
#include <QVBoxLayout>

#include "platform/WindowController.h"

namespace platform {

ViewController::ViewController(QObject* parent) : QObject(parent) {}

ViewController::~ViewController() {
  // The sheet's dialog holds the presented screen's view; the presented screen itself is a
  // child of this object and goes with it.
  if (presented_) delete presented_->sheet_.data();
  delete view_.data();
}

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

void ViewController::presentViewControllerAsSheet(std::unique_ptr<ViewController> controller) {
  if (!controller || presented_) return;
  QWidget* over = view();
  ViewController* sheet = controller.release();
  sheet->setParent(this);
  sheet->presenting_ = this;
  presented_ = sheet;

  // A child of this screen's view, so that it goes when the screen goes; window-modal over the
  // screen's window.
  auto* dialog = new QDialog(over, Qt::Dialog);
  dialog->setObjectName(QStringLiteral("sheet"));
  dialog->setWindowTitle(over->window()->windowTitle());
  dialog->setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(sheet->view());
  sheet->sheet_ = dialog;
  // Escape and the window's close button end the sheet as its own close action would.
  connect(dialog, &QDialog::rejected, sheet, [sheet] { sheet->dismissViewController(sheet); });

  sheet->viewWillAppear();
  dialog->open();
  sheet->viewDidAppear();
}

void ViewController::dismissViewController(ViewController* controller) {
  if (!controller) return;
  ViewController* presenting = controller->presenting_;
  if (!presenting || (presenting != this && controller != this)) return;
  QDialog* dialog = controller->sheet_;
  controller->viewWillDisappear();
  presenting->presented_ = nullptr;
  controller->presenting_ = nullptr;
  controller->sheet_ = nullptr;
  if (dialog) {
    dialog->disconnect(controller);
    dialog->hide();
    dialog->deleteLater();
  }
  controller->deleteLater();
}

}  // namespace platform
