#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QTextDocument>
#include <QToolTip>

#include "app/MiddleElision.h"

namespace testing_support {

// A product name as long as the camera's 256-byte field holds, with markup in it, so that a
// label shows neither all of it nor its tags.
inline QString longProductName() {
  QString name = QStringLiteral("Tavo <b>Quill</b> ");
  while (name.size() < 240) name += QStringLiteral("Wren Larch Orrin ");
  name.truncate(240);
  return name + QStringLiteral(" Moth Sable End");  // 255 characters and the terminating zero
}

// The label shows its whole text, which holds `name`, elided in the middle on one line: the
// start and the end stay, it fits its width and lies inside its window, and its tooltip gives
// the whole text as written.
inline void expectElidedInTheMiddle(QLabel* label, const QString& name) {
  ASSERT_TRUE(label);
  const QString text = label->text();
  EXPECT_TRUE(text.contains(name));
  const QString shown = shownText(label);
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith(text.left(4))) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith(text.right(4))) << shown.toStdString();
  EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
  EXPECT_LT(label->sizeHint().height(), 2 * label->fontMetrics().height());  // one line
  const QRect inWindow(label->mapTo(label->window(), QPoint(0, 0)), label->size());
  EXPECT_TRUE(label->window()->rect().contains(inWindow))
      << inWindow.x() << "," << inWindow.width() << " in " << label->window()->width();
  EXPECT_EQ(label->textFormat(), Qt::PlainText);

  QHelpEvent ask(QEvent::ToolTip, label->rect().center(), label->mapToGlobal(label->rect().center()));
  QApplication::sendEvent(label, &ask);
  QTextDocument tip;
  tip.setHtml(QToolTip::text());
  EXPECT_EQ(tip.toPlainText(), text);
  QToolTip::hideText();
}

}  // namespace testing_support
