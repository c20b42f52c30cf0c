#include "platform/Alert.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "platform/Bundle.h"

namespace platform {
namespace {

int presentWithMessageBox(const AlertSpec& spec, QWidget* parent) {
  QMessageBox box(parent);
  box.setWindowTitle(Bundle::main().infoValue(QStringLiteral("CFBundleName")).value_or(QStringLiteral("Ravlio")));
  box.setIcon(QMessageBox::Warning);
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
