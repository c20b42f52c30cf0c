#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace platform {

struct AlertSpec {
  QString messageText;
  QString informativeText;
  QStringList buttons;  // in the order added; the first is the default
};

// Shows an alert modally and returns the index of the button pressed (0 for the first).
// Tests install a presenter that answers at once.
using AlertPresenter = std::function<int(const AlertSpec&, QWidget* parent)>;

int runAlert(const AlertSpec& spec, QWidget* parent = nullptr);
// nullptr restores the default presenter (a QMessageBox).
void setAlertPresenter(AlertPresenter presenter);

}  // namespace platform
