#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/Alert.h"
#include "platform/Bundle.h"

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

// The alert stands over the middle of its window while the window is shown, else over the middle
// of the screen (the start-up alert comes before the window shows), and carries our own warning
// image drawn at the icon size for the display's pixel ratio.
TEST(Alert, CentredOverItsWindowOrTheScreenWithOurWarningImage) {
  QWidget window;
  window.setGeometry(230, 140, 420, 300);
  const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
  struct Case {
    const char* name;
    QWidget* parent;
    bool windowShown;
    QPoint centre;
  };
  const Case cases[] = {
      {"over the shown window", &window, true, window.geometry().center()},
      {"window not shown yet", &window, false, screenCentre},
      {"no window", nullptr, false, screenCentre},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    window.setVisible(c.windowShown);
    bool checked = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return ADD_FAILURE() << "no alert shown";
      const QPoint centre = box->frameGeometry().center();
      EXPECT_LE((centre - c.centre).manhattanLength(), 2) << centre.x() << "," << centre.y();
      const int side = box->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, box);
      const QPixmap icon = box->iconPixmap();
      EXPECT_EQ(icon.devicePixelRatio(), qApp->devicePixelRatio());
      EXPECT_EQ(icon.size(), QSize(side, side) * qApp->devicePixelRatio());
      EXPECT_EQ(icon.toImage(), platform::imageNamed(QStringLiteral("icon_warning"), QSize(side, side)).toImage());
      checked = true;
      box->buttons().constFirst()->click();
    });
    platform::runAlert({QString(), QStringLiteral("The camera could not be started."), {QStringLiteral("OK")}}, c.parent);
    EXPECT_TRUE(checked);
  }
}

}  // namespace
