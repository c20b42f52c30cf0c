#include "platform/ViewController.h"

#include <QAbstractButton>
#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Accessibility.h"
#include "platform/WindowController.h"

namespace platform {
namespace {

// Covers the window behind a sheet, so that nothing of it stays legible, and keeps the sheet
// attached to the window's top edge while the window moves or changes size. A child of the
// window; it goes with the sheet.
class SheetCover final : public QWidget {
 public:
  SheetCover(QWidget* window, QWidget* sheet) : QWidget(window), sheet_(sheet) {
    setObjectName(QStringLiteral("sheetCover"));
    setDecorative(this);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(window->rect());
    window->installEventFilter(this);
    sheet->installEventFilter(this);
    connect(sheet, &QObject::destroyed, this, &QObject::deleteLater);
    show();
    raise();
  }

  // The sheet's place: centred at the window's top edge, no wider or taller than the window.
  void placeSheet() {
    QWidget* window = parentWidget();
    if (!sheet_ || !window) return;
    const QSize wanted = sheet_->sizeHint().expandedTo(sheet_->minimumSizeHint());
    const QSize size = wanted.boundedTo(window->size());
    const QPoint top = window->mapToGlobal(QPoint((window->width() - size.width()) / 2, 0));
    sheet_->setGeometry(QRect(top, size));
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == parentWidget() && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
      setGeometry(parentWidget()->rect());
      placeSheet();
    }
    if (watched == sheet_ && event->type() == QEvent::Hide) hide();
    return false;
  }
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(20, 20, 20)); }

 private:
  // Held as a QWidget, never cast to its dialog: the filter also sees it while it is destroyed.
  QPointer<QWidget> sheet_;
};

// The sheet's window: Return presses the sheet's primary button, wherever the focus is, as it
// does in the main window; Escape still closes the sheet.
class SheetDialog final : public QDialog {
 public:
  SheetDialog(QWidget* parent, ViewController* sheet)
      : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), sheet_(sheet) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (isReturnKey(event)) {
      if (sheet_) sheet_->pressPrimaryButton();
      event->accept();
      return;
    }
    QDialog::keyPressEvent(event);
  }

 private:
  QPointer<ViewController> sheet_;
};

bool usableControl(const QWidget* widget, const QWidget* view) {
  return widget->isVisibleTo(view) && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus);
}

}  // namespace

bool isReturnKey(const QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  return modifiers == Qt::NoModifier && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter);
}

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
    installAccessibleInterfaces();
    setupView(root);
    // Return goes to the primary button, never to the button that happens to have the focus.
    for (QPushButton* button : root->findChildren<QPushButton*>()) button->setAutoDefault(false);
    viewDidLoad();
  }
  return view_;
}

WindowController* ViewController::windowController() const { return windowController_; }

void ViewController::setupView(QWidget*) {}

QAbstractButton* ViewController::primaryButton() const {
  if (!view_) return nullptr;
  for (QAbstractButton* button : view_->findChildren<QAbstractButton*>()) {
    if (button->property("buttonRole").toString() == QLatin1StringView("primary") && button->isVisibleTo(view_) &&
        button->isEnabled()) {
      return button;
    }
  }
  return nullptr;
}

bool ViewController::pressPrimaryButton() {
  QAbstractButton* button = primaryButton();
  if (!button) return false;
  button->click();
  return true;
}

QWidget* ViewController::firstControl() const {
  if (!view_) return nullptr;
  for (QWidget* widget : view_->findChildren<QWidget*>()) {
    if (widget->property("initialFocus").toBool() && usableControl(widget, view_)) return widget;
  }
  if (QAbstractButton* button = primaryButton(); button && usableControl(button, view_)) return button;
  // The focus chain runs through the whole window and back to the view.
  for (QWidget* widget = view_->nextInFocusChain(); widget && widget != view_; widget = widget->nextInFocusChain()) {
    if (view_->isAncestorOf(widget) && usableControl(widget, view_)) return widget;
  }
  return nullptr;
}

void ViewController::focusFirstControl() {
  if (QWidget* control = firstControl()) control->setFocus(Qt::OtherFocusReason);
}

void ViewController::keepFocus() {
  if (!view_) return;
  const QWidget* focused = view_->window()->focusWidget();
  if (focused && view_->isAncestorOf(focused) && usableControl(focused, view_)) return;
  focusFirstControl();
}

void ViewController::presentViewControllerAsSheet(std::unique_ptr<ViewController> controller) {
  if (!controller || presented_) return;
  QWidget* over = view();
  ViewController* sheet = controller.release();
  sheet->setParent(this);
  sheet->presenting_ = this;
  presented_ = sheet;

  // A child of this screen's view, so that it goes when the screen goes; window-modal over the
  // screen's window, without a frame of its own: it hangs from the window's top edge.
  auto* dialog = new SheetDialog(over, sheet);
  dialog->setObjectName(QStringLiteral("sheet"));
  dialog->setWindowTitle(over->window()->windowTitle());
  // Assistive technology names the sheet by its heading, which its scene gives as its title.
  const QString heading = sheet->view()->windowTitle();
  dialog->setAccessibleName(heading.isEmpty() ? dialog->windowTitle() : heading);
  dialog->setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(sheet->view());
  sheet->sheet_ = dialog;
  // Escape and the window's close button end the sheet as its own close action would.
  connect(dialog, &QDialog::rejected, sheet, [sheet] { sheet->dismissViewController(sheet); });

  auto* cover = new SheetCover(over->window(), dialog);
  cover->placeSheet();

  sheet->viewWillAppear();
  dialog->open();
  dialog->activateWindow();  // the keys go to the sheet from now on
  sheet->viewDidAppear();
  if (presented_ == sheet) sheet->focusFirstControl();
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
    dialog->deleteLater();  // its cover goes with it
    // The keys go back to the window the sheet hung from.
    if (presenting->view_) presenting->view_->window()->activateWindow();
  }
  controller->deleteLater();
}

}  // namespace platform
