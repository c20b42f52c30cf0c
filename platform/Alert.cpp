#include "platform/Alert.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>

#include "platform/Bundle.h"
#include "platform/Placement.h"

namespace platform {
namespace {

// A message box that places itself once it knows its size: over its parent's window while that
// is on screen, else in the middle of the screen (a window not yet shown has no place of its own).
class AlertBox final : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);  // sizes the box
    move(centredPosition(parentWidget(), frameGeometry().size()));
  }
};

// Our own warning image at the style's icon size, drawn for the display's pixel ratio; the
// toolkit's icon is a small bitmap scaled up.
void setWarningIcon(QMessageBox& box) {
  const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
  const QPixmap icon = imageNamed(QStringLiteral("icon_warning"), QSize(side, side));
  if (icon.isNull()) {
    box.setIcon(QMessageBox::Warning);
  } else {
    box.setIconPixmap(icon);
  }
}

int presentWithMessageBox(const AlertSpec& spec, QWidget* parent) {
  AlertBox box(parent);
  box.setWindowTitle(Bundle::main().infoValue(QStringLiteral("CFBundleName")).value_or(QStringLiteral("Ravlio")));
  setWarningIcon(box);
  // Alerts carry texts from the firmware service too: markup in them must show as written.
  box.setTextFormat(Qt::PlainText);
  // An alert with only an informative text shows it as its message.
  if (spec.messageText.isEmpty()) {
    box.setText(spec.informativeText);
  } else {
    box.setText(spec.messageText);
    box.setInformativeText(spec.informativeText);
    if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
      informative->setTextFormat(Qt::PlainText);
    }
  }
  QList<QAbstractButton*> buttons;
  for (const QString& title : spec.buttons) buttons.append(box.addButton(title, QMessageBox::AcceptRole));
  if (buttons.isEmpty()) buttons.append(box.addButton(QMessageBox::Ok));
  box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
  box.exec();
  const int index = static_cast<int>(buttons.indexOf(box.clickedButton()));
  return index < 0 ? 0 : index;
}

AlertPresenter& presenter() {
  static AlertPresenter p;
  return p;
}

}  // namespace

int runAlert(const AlertSpec& spec, QWidget* parent) {
  if (presenter()) return presenter()(spec, parent);
  return presentWithMessageBox(spec, parent);
}

void setAlertPresenter(AlertPresenter p) { presenter() = std::move(p); }

}  // namespace platform
