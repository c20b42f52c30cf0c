#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/Alert.h"

namespace {

// The real message box, answered from inside its own loop: texts that hold markup are shown
// as they stand, whichever label carries them.
TEST(Alert, ShowsMarkupAsPlainText) {
  const QString message = QStringLiteral("<b>Firmware</b> not found");
  const QString detail = QStringLiteral("<img src=\"file:///etc/hostname\"><a href=\"x\">retry</a>");
  struct Case {
    platform::AlertSpec spec;
    std::vector<std::pair<const char*, QString>> labels;  // object name, text shown
  };
  const Case cases[] = {
      {{QString(), message, {QStringLiteral("OK")}}, {{"qt_msgbox_label", message}}},
      {{message, detail, {QStringLiteral("OK"), QStringLiteral("Cancel")}},
       {{"qt_msgbox_label", message}, {"qt_msgbox_informativelabel", detail}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spec.messageText.toStdString());
    int checked = 0;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return ADD_FAILURE() << "no alert shown";
      for (const auto& [name, text] : c.labels) {
        SCOPED_TRACE(name);
        auto* label = box->findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), text);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        ++checked;
      }
      box->buttons().constFirst()->click();
    });
    platform::runAlert(c.spec);
    EXPECT_EQ(checked, static_cast<int>(c.labels.size()));
  }
}

}  // namespace
