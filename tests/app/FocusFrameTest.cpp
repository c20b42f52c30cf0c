// The application's look marks the keyboard focus once, with the focus ring: a styled control
// never gets the style's own focus frame drawn inside it as well.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "app/DarkLook.h"
#include "support/Keyboard.h"
#include "support/ScopedStyleSheet.h"

namespace {

TEST(FocusFrame, AStyledControlLooksTheSameWithTheKeyboardFocus) {
  const testing_support::ScopedStyleSheet sheet;
  darkLook::applyToApplication();
  {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* start = new QPushButton(QStringLiteral("Start"), &window);
    auto* primary = new QPushButton(QStringLiteral("Choose Memory Card"), &window);
    primary->setProperty("buttonRole", QStringLiteral("primary"));
    auto* secondary = new QPushButton(QStringLiteral("Back"), &window);
    secondary->setProperty("buttonRole", QStringLiteral("secondary"));
    // A confirmation box as the scenes draw it: a flat push button with its tick as the icon.
    auto* box = new QPushButton(QStringLiteral("I have read the notes above."), &window);
    box->setCheckable(true);
    box->setStyleSheet(QStringLiteral("QPushButton { background: transparent; border: none; padding: 4px 0; }"));
    for (QWidget* w : {start, primary, secondary, box}) layout->addWidget(w);
    window.resize(420, 240);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    const struct {
      const char* name;
      QPushButton* control;
    } cases[] = {{"primary button", primary}, {"secondary button", secondary}, {"confirmation box", box}};
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      start->setFocus(Qt::OtherFocusReason);
      QApplication::processEvents();
      const QImage unfocused = c.control->grab().toImage();
      // The focus comes by Tab, as a keyboard user moves it: only then does a style draw its frame.
      ASSERT_NO_FATAL_FAILURE(testing_support::tabTo(&window, c.control));
      QApplication::processEvents();
      EXPECT_EQ(c.control->grab().toImage(), unfocused);
    }
  }
}

}  // namespace
