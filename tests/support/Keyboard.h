#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include "platform/FocusRing.h"

namespace testing_support {

// Where a key goes now, as the window system would send it: the open pop-up's focused control,
// else the active modal window's (a sheet, a panel), else the focused control of `window`, else
// `window` itself.
inline QWidget* keyTarget(QWidget* window) {
  for (QWidget* top : {QApplication::activePopupWidget(), QApplication::activeModalWidget()}) {
    if (top) return top->focusWidget() ? top->focusWidget() : top;
  }
  if (!window) return nullptr;
  return window->focusWidget() ? window->focusWidget() : window;
}

// One key pressed and released, to wherever the keyboard's keys go now. The event loop runs
// first, as it does between a user's keystrokes: a window that was asked to activate is active.
inline void press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QCoreApplication::processEvents();
  QWidget* target = keyTarget(window);
  ASSERT_NE(target, nullptr);
  QTest::keyClick(target, key, modifiers);
}

// Presses Tab until `control` has the focus; fails when a full round of the controls of
// `window` never reaches it.
inline void tabTo(QWidget* window, const QWidget* control, int maxPresses = 20) {
  for (int i = 0; i < maxPresses && keyTarget(window) != control; ++i) press(window, Qt::Key_Tab);
  ASSERT_EQ(keyTarget(window), control) << "Tab never reaches " << control->objectName().toStdString();
}

// The focus ring is drawn around `control`, and around it only.
inline void expectRingAround(const QWidget* control) {
  QCoreApplication::processEvents();
  const QWidget* ring = platform::FocusRing::frame();
  ASSERT_NE(ring, nullptr) << "no focus ring";
  ASSERT_EQ(ring->parentWidget(), control->window());
  const QRect area(control->mapTo(control->window(), QPoint(0, 0)), control->size());
  const int m = platform::FocusRing::kMargin;
  EXPECT_EQ(ring->geometry(), area.adjusted(-m, -m, m, m)) << control->objectName().toStdString();
}

}  // namespace testing_support
