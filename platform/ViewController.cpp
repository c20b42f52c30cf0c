#include "platform/ViewController.h"

#include <QDialog>
#include <QEvent>
#include <QPainter>
#include <QVBoxLayout>

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

}  // namespace

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
  // screen's window, without a frame of its own: it hangs from the window's top edge.
  auto* dialog = new QDialog(over, Qt::Dialog | Qt::FramelessWindowHint);
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

  auto* cover = new SheetCover(over->window(), dialog);
  cover->placeSheet();

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
    dialog->deleteLater();  // its cover goes with it
  }
  controller->deleteLater();
}

}  // namespace platform
