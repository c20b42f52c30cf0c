#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "platform/Alert.h"

namespace {

// Texts from outside (a firmware service's message) must show as they are, not as markup.
TEST(Alert, ShowsItsTextsAsPlainText) {
  platform::AlertSpec spec;
  spec.messageText = QStringLiteral("<b>No firmware</b> for <i>this</i> model");
  spec.informativeText = QStringLiteral("<a href='x'>details</a>");
  spec.buttons = {QStringLiteral("OK"), QStringLiteral("Cancel")};
  std::vector<std::pair<QString, Qt::TextFormat>> labels;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    for (const char* name : {"qt_msgbox_label", "qt_msgbox_informativelabel"}) {
      const auto* label = box->findChild<QLabel*>(QString::fromLatin1(name));
      ASSERT_NE(label, nullptr) << name;
      labels.emplace_back(label->text(), label->textFormat());
    }
    for (QAbstractButton* b : box->buttons()) {
      if (b->text() == QStringLiteral("Cancel")) b->click();
    }
  });
  EXPECT_EQ(platform::runAlert(spec), 1);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0], std::make_pair(spec.messageText, Qt::PlainText));
  EXPECT_EQ(labels[1], std::make_pair(spec.informativeText, Qt::PlainText));
}

}  // namespace
