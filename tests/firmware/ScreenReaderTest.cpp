// Every screen in each of its states and in each language, read the way a screen reader reads
// it: through Qt's accessibility interfaces, which the desktop's accessibility bus exposes.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "FirmwareScreenFixture.h"
#include "FirmwareTestSupport.h"
#include "app/AppFixture.h"
#include "app/CheckDeviceViewController.h"
#include "app/CheckSupportDeviceViewController.h"
#include "app/FennicProgressBar.h"
#include "app/GoFrimwareUpdateViewController.h"
#include "app/IntroViewController.h"
#include "app/SetupGuideViewController.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/FirmwareSelectViewController.h"
#include "firmware/NamedImage.h"
#include "firmware/SelectLocationViewController.h"

namespace {

using firmware_testing::text;

QAccessibleInterface* readerOf(QObject* object) { return QAccessible::queryAccessibleInterface(object); }

// The roles a user acts on or must be told about, whether or not they take the focus.
bool needsName(QAccessible::Role role) {
  switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::List:
    case QAccessible::ListItem:
    case QAccessible::Table:
    case QAccessible::Cell:
    case QAccessible::ProgressBar:
    case QAccessible::EditableText:
    case QAccessible::Graphic:
    case QAccessible::Dialog:
    case QAccessible::Window:
      return true;
    default:
      return false;
  }
}

// What a screen reader would stumble over in the shown part of the tree under `node`, one line
// for each fault, with the path of object names that leads to it.
void audit(QAccessibleInterface* node, const QString& path, QStringList& faults) {
  if (!node || !node->isValid()) return;
  const QAccessible::State state = node->state();
  if (state.invisible) return;
  QObject* object = node->object();
  const QString here = path + u'/' + (object && !object->objectName().isEmpty() ? object->objectName()
                                                                                  : QStringLiteral("role %1").arg(node->role()));
  const auto fault = [&](const QString& what) { faults << here + QStringLiteral(": ") + what; };

  const QString name = node->text(QAccessible::Name);
  if ((state.focusable || needsName(node->role())) && name.trimmed().isEmpty()) fault(QStringLiteral("no name"));
  for (const QAccessible::Text t : {QAccessible::Name, QAccessible::Description}) {
    const QString said = node->text(t);
    if (said.contains(QLatin1StringView("<p")) || said.contains(QLatin1StringView("<html"))) {
      fault(QStringLiteral("markup read out: ") + said);
    }
  }
  if (object && object->property("decorative").toBool()) fault(QStringLiteral("decoration in the tree"));

  // The confirmation boxes: check boxes whose state is the mark they show.
  if (object && object->objectName() == QLatin1StringView("btnCheck")) {
    const bool shownTicked = namedImage(qobject_cast<QWidget*>(object)) == QLatin1StringView("icon_check_highlight");
    if (node->role() != QAccessible::CheckBox) fault(QStringLiteral("not a check box"));
    if (!state.checkable) fault(QStringLiteral("not checkable"));
    if (bool(state.checked) != shownTicked) fault(QStringLiteral("checked state differs from the mark shown"));
  }
  if (node->role() == QAccessible::ProgressBar) {
    QAccessibleValueInterface* value = node->valueInterface();
    if (!value) {
      fault(QStringLiteral("no value"));
    } else {
      const double low = value->minimumValue().toDouble();
      const double high = value->maximumValue().toDouble();
      const double now = value->currentValue().toDouble();
      // A busy indicator (no range) has nothing to tell.
      if (high > low && (now < low || now > high)) fault(QStringLiteral("value %1 outside %2...%3").arg(now).arg(low).arg(high));
    }
  }
  for (int i = 0; i < node->childCount(); ++i) audit(node->child(i), here, faults);
}

class ScreenReading : public FirmwareScreenFixture {
 protected:
  // The faults in every shown window: the main one and a sheet over it.
  void expectReadable(const char* state) {
    SCOPED_TRACE(state);
    window()->setWindowTitle(QStringLiteral("Ravlio"));  // as the main window names itself
    QStringList faults;
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->isVisible()) audit(readerOf(top), QString(), faults);
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join(u'\n').toStdString();
  }

  FirmwareSelectViewController* showList() { return FirmwareScreenFixture::showList(kSize); }

  static QString rowName(QTableWidget* table, int row) {
    QAccessibleInterface* reader = readerOf(table);
    QAccessibleTableInterface* cells = reader ? reader->tableInterface() : nullptr;
    QAccessibleInterface* cell = cells ? cells->cellAt(row, 0) : nullptr;
    return cell ? cell->text(QAccessible::Name) : QString();
  }

  static constexpr QSize kSize{800, 560};
};

TEST_F(ScreenReading, EveryScreenIsReadableInEachLanguage) {
  for (const LanguageCase& language : displayLanguages()) {
    SCOPED_TRACE(language.name);
    setLanguage(language.language);

    auto* intro = show<IntroViewController>("IntroViewController", kSize);
    ASSERT_NE(intro, nullptr);
    expectReadable("intro");
    EXPECT_EQ(readerOf(window())->role(), QAccessible::Window);
    // The language pop-up is labelled by the text beside it.
    bool labelled = false;
    for (const auto& [label, relation] : readerOf(intro->pbtnLanguage)->relations(QAccessible::Label)) {
      labelled = labelled || label->object() == intro->view()->findChild<QLabel*>(QStringLiteral("lbLanguage"));
    }
    EXPECT_TRUE(labelled);

    auto* check = show<CheckDeviceViewController>("CheckDeviceViewController", kSize);
    ASSERT_NE(check, nullptr);
    expectReadable("device check");
    check->showStatus(true);
    expectReadable("device connected");
    check->onClickConnectNext();
    expectReadable("reading the device");

    for (const char* name : {"Tavo Quill", "Tavo Unknown"}) {
      ASSERT_NE(show<CheckSupportDeviceViewController>("CheckSupportDeviceViewController", kSize,
                                                       [name](CheckSupportDeviceViewController& screen) {
                                                         screen.productName = QString::fromLatin1(name);
                                                         screen.firmwareVersion = QStringLiteral("1.0.2");
                                                       }),
                nullptr);
      expectReadable(name);
    }

    // The rows read their version, the new marker and the choice.
    auto* list = showList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->tbv->rowCount(), 3);
    expectReadable("list");
    EXPECT_EQ(rowName(list->tbv, 0), QStringLiteral("1.2.0, ") + text("accessible_firmware_row_new"));
    list->tbv->selectRow(1);
    expectReadable("list, one chosen");
    EXPECT_EQ(rowName(list->tbv, 0), QStringLiteral("1.2.0, ") + text("accessible_firmware_row_new"));
    EXPECT_EQ(rowName(list->tbv, 1), QStringLiteral("1.1.0, ") + text("accessible_firmware_row_selected"));
    EXPECT_EQ(rowName(list->tbv, 2), QStringLiteral("1.0.2"));
    list->onClickShowFirmewareInfo();
    expectReadable("description");
    list->onClickCheck();
    ASSERT_TRUE(list->btnCheck->isChecked());
    expectReadable("description, confirmed");
    list->onClickHideFirmewareInfo();
    expectReadable("back at the list");

    ASSERT_NE(showListWithoutInternet(kSize), nullptr);
    expectReadable("no internet");

    // The progress bar's value is the percentage shown beside it.
    auto* download = showDownload(kSize);
    ASSERT_NE(download, nullptr);
    for (const auto& [name, enter] : downloadStates(download, text("download_firmware_fail_content2_unzip"))) {
      enter();
      expectReadable(name);
      QAccessibleValueInterface* value = readerOf(download->fennicProgressBar)->valueInterface();
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(QString::number(value->currentValue().toInt()) + u'%', download->lbPercent->text()) << name;
      EXPECT_EQ(value->maximumValue().toInt(), 100);
    }

    // The card chooser is named by its heading; the path it shows is read as written.
    download->showDownloadFinishedState();
    download->presentSelectLocation();
    auto* chooser = dynamic_cast<SelectLocationViewController*>(download->presentedViewController());
    ASSERT_NE(chooser, nullptr);
    QWidget* sheet = chooser->view()->window();
    EXPECT_EQ(readerOf(sheet)->role(), QAccessible::Dialog);
    EXPECT_EQ(readerOf(sheet)->text(QAccessible::Name), text("select_location_title"));
    expectReadable("card chooser");
    const QString card = folders_->attachRoot() + QStringLiteral("/CARD");
    ASSERT_TRUE(QDir().mkpath(card));
    chooser->showSelectedLocation(QUrl::fromLocalFile(card));
    expectReadable("card chosen");
    EXPECT_EQ(readerOf(chooser->lbLocation)->text(QAccessible::Description), card);
    chooser->toggleCheck();
    expectReadable("card confirmed");
    chooser->dismissViewController(chooser);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    ASSERT_NE(show<GoFrimwareUpdateViewController>("GoFrimwareUpdateViewController", kSize), nullptr);
    expectReadable("hand-over");

    auto* guide = show<SetupGuideViewController>("SetupGuideViewController", kSize);
    ASSERT_NE(guide, nullptr);
    for (const int page : {1, 5, 9}) {
      guide->showPage(page - 1);
      expectReadable(qPrintable(QStringLiteral("guide page %1").arg(page)));
      EXPECT_EQ(readerOf(guide->ivContent)->text(QAccessible::Name),
                text("picture_setup_guide_step").arg(page));
    }
  }
}

// A card whose name holds markup: what is read out is the path as written, not markup that
// stands for it.
TEST_F(ScreenReading, MarkupInTheCardNameIsReadAsWritten) {
  auto* download = showDownload(kSize);
  ASSERT_NE(download, nullptr);
  download->presentSelectLocation();
  auto* chooser = dynamic_cast<SelectLocationViewController*>(download->presentedViewController());
  ASSERT_NE(chooser, nullptr);
  const QString card = folders_->attachRoot() + QStringLiteral("/<img src=x><b>CARD & co");
  ASSERT_TRUE(QDir().mkpath(card));
  chooser->showSelectedLocation(QUrl::fromLocalFile(card));
  const QString read = readerOf(chooser->lbLocation)->text(QAccessible::Description);
  EXPECT_EQ(read, chooser->lbLocation->text());
  EXPECT_TRUE(read.endsWith(QStringLiteral("/<img src=x><b>CARD & co"))) << read.toStdString();
  chooser->dismissViewController(chooser);
}

}  // namespace
