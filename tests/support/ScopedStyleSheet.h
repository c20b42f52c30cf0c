#pragma once

#include <QApplication>
#include <QString>

namespace testing_support {

// Gives the application `sheet` (or leaves its sheet, for none) while it lives, then puts back
// the sheet it had before, however the test ends: a sheet left behind restyles the windows of
// every later test.
class ScopedStyleSheet {
 public:
  ScopedStyleSheet() : saved_(qApp->styleSheet()) {}
  explicit ScopedStyleSheet(const QString& sheet) : ScopedStyleSheet() { qApp->setStyleSheet(sheet); }
  ~ScopedStyleSheet() { qApp->setStyleSheet(saved_); }
  ScopedStyleSheet(const ScopedStyleSheet&) = delete;
  ScopedStyleSheet& operator=(const ScopedStyleSheet&) = delete;

 private:
  QString saved_;
};

}  // namespace testing_support
