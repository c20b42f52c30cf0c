#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFont>
#include <QFontInfo>
#include <QLabel>
#include <QLayout>
#include <QWidget>

#include <string>

// Checks on a laid-out window, the way a user sees it: text that is cut off or a widget pushed
// out of the window is a fault whatever the screen does.
namespace testing_support {

// The screens' fonts are installed (scripts/deps.sh build installs fonts-noto-core and
// fonts-noto-cjk): without them the checks below would measure some other font.
inline void requireFonts() {
  for (const char* family : {"Noto Sans", "Noto Sans CJK KR"}) {
    ASSERT_EQ(QFontInfo(QFont(QString::fromLatin1(family))).family().toStdString(), family)
        << "the font is not installed; scripts/deps.sh build installs it";
  }
}

// Runs the layout passes a shown window would run before it is painted.
inline void settleLayout(QWidget* window) {
  for (int pass = 0; pass < 4; ++pass) {
    QCoreApplication::sendPostedEvents();
    if (window->layout()) window->layout()->activate();
  }
}

inline std::string describe(const QWidget* widget) {
  QString text = widget->objectName();
  if (const auto* label = qobject_cast<const QLabel*>(widget)) text += QStringLiteral(" \"") + label->text().left(40) + u'"';
  return text.toStdString();
}

// The part of `widget` that its ancestors up to `window` leave visible, in window coordinates.
inline QRect visibleRect(const QWidget* widget, const QWidget* window) {
  QRect visible(widget->mapTo(window, QPoint(0, 0)), widget->size());
  for (const QWidget* p = widget->parentWidget(); p && p != window; p = p->parentWidget()) {
    visible &= QRect(p->mapTo(window, QPoint(0, 0)), p->size());
  }
  return visible & window->rect();
}

// Every shown widget lies inside the window, every shown label's text fits the part of the
// label that is visible (a wrapped one in the height it needs at its width), and every shown
// button's title fits the button.
inline void expectNothingCutOff(QWidget* window) {
  settleLayout(window);
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(window) || widget->isWindow()) continue;
    SCOPED_TRACE(describe(widget));
    const QRect inWindow(widget->mapTo(window, QPoint(0, 0)), widget->size());
    EXPECT_TRUE(window->rect().contains(inWindow))
        << "lies at " << inWindow.x() << "," << inWindow.y() << " " << inWindow.width() << "x" << inWindow.height()
        << " outside the window of " << window->width() << "x" << window->height();

    if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
      const QRect visible = visibleRect(label, window);
      EXPECT_EQ(visible.size(), label->size()) << "partly hidden by its container: " << visible.width() << "x"
                                               << visible.height() << " of " << label->width() << "x" << label->height();
      if (label->wordWrap()) {
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << "at width " << label->width();
      } else {
        EXPECT_GE(label->width(), label->sizeHint().width());
        EXPECT_GE(label->height(), label->fontMetrics().height());
      }
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget); button && !button->text().isEmpty()) {
      EXPECT_GE(button->width(), button->minimumSizeHint().width());
      EXPECT_GE(button->height(), button->minimumSizeHint().height());
    }
  }
}

// The screens' action buttons sit on one line at the bottom, all of one height, with the
// rightmost one in the window's bottom-right corner at the screens' common margins.
inline void expectButtonsInPlace(QWidget* window, int rightMargin = 48, int bottomMargin = 32) {
  settleLayout(window);
  const QAbstractButton* rightmost = nullptr;
  int height = -1;
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    if (!button->isVisibleTo(window) || !button->property("buttonRole").isValid()) continue;
    SCOPED_TRACE(describe(button));
    const QRect inWindow(button->mapTo(window, QPoint(0, 0)), button->size());
    EXPECT_EQ(window->height() - 1 - inWindow.bottom(), bottomMargin);
    if (height < 0) height = inWindow.height();
    EXPECT_EQ(inWindow.height(), height);
    if (!rightmost || inWindow.right() > rightmost->mapTo(window, QPoint(rightmost->width() - 1, 0)).x()) rightmost = button;
  }
  ASSERT_NE(rightmost, nullptr) << "no action button";
  SCOPED_TRACE(describe(rightmost));
  EXPECT_EQ(window->width() - 1 - rightmost->mapTo(window, QPoint(rightmost->width() - 1, 0)).x(), rightMargin);
}

// Every shown action button's title is in the colour of its enabled state: yellow when enabled,
// dark grey when disabled.
inline void expectTitleColours(QWidget* window) {
  int checked = 0;
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    if (!button->isVisibleTo(window) || !button->property("buttonRole").isValid()) continue;
    ++checked;
    SCOPED_TRACE(describe(button));
    const QColor expected = button->isEnabled() ? QColor(251, 205, 81) : QColor(96, 96, 96);
    EXPECT_EQ(button->palette().color(QPalette::Active, QPalette::ButtonText).name().toStdString(),
              expected.name().toStdString());
  }
  EXPECT_GT(checked, 0) << "no action button shown";
}

// Every shown text of the window is set in `family`: the font actually matched, so a family
// that is not installed fails too.
inline void expectFontFamily(QWidget* window, const QString& family) {
  settleLayout(window);
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(window)) continue;
    const auto* label = qobject_cast<const QLabel*>(widget);
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    if (!(label && !label->text().isEmpty()) && !(button && !button->text().isEmpty())) continue;
    SCOPED_TRACE(describe(widget));
    // Style sheets apply their font when the widget is polished.
    widget->ensurePolished();
    EXPECT_EQ(QFontInfo(widget->font()).family().toStdString(), family.toStdString());
  }
}

}  // namespace testing_support
