#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include "FirmwareTestSupport.h"
#include "camera/ViewEvent.h"
#include "firmware/FirmwareScenes.h"
#include "firmware/FirmwareSelectCell.h"
#include "firmware/FirmwareSelectViewController.h"
#include "firmware/NamedImage.h"
#include "firmware/RoundedBox.h"
#include "platform/Alert.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"
#include "platform/Storyboard.h"
#include "support/LongNames.h"

namespace {

using firmware_service::HttpResponse;
using firmware_testing::catalogueJson;

const QColor kYellow(251, 205, 81);
const QColor kDark(35, 35, 35);

using firmware_testing::text;
QString title(const QString& name, const QString& version) {
  return name + u' ' + text("firmware_version") + u' ' + version;
}
// The colour a label's text is painted in: the most frequent opaque colour of its glyphs'
// fully covered pixels that is not the background's. Style sheets and palettes both count.
QColor textColor(QLabel* label) {
  const QImage image = label->grab().toImage();
  const QRgb background = image.pixel(0, 0);
  QHash<QRgb, int> counts;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (p != background) ++counts[p];
    }
  }
  QRgb best = background;
  for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
    if (it.value() > counts.value(best)) best = it.key();
  }
  return QColor::fromRgb(best);
}
QColor buttonColor(const QPushButton* button) { return button->palette().color(QPalette::Active, QPalette::ButtonText); }

class FirmwareSelect : public ::testing::Test {
 protected:
  void SetUp() override {
    registerFirmwareScenes(storyboard_);
    platform::setAlertPresenter([this](const platform::AlertSpec& spec, QWidget*) {
      alerts.push_back(spec);
      return 0;
    });
  }
  void TearDown() override { platform::setAlertPresenter(nullptr); }

  // A loaded, shown screen whose first answer has been handled.
  std::unique_ptr<FirmwareSelectViewController> open(std::optional<QString> name, std::optional<QString> version) {
    std::unique_ptr<FirmwareSelectViewController> screen(
        dynamic_cast<FirmwareSelectViewController*>(storyboard_.instantiateController(QStringLiteral("FirmwareSelectViewController")).release()));
    screen->productName = std::move(name);
    screen->firmwareVersion = std::move(version);
    screen->view()->resize(800, 560);
    screen->view()->show();
    settle(*screen);
    return screen;
  }

  static void settle(FirmwareSelectViewController& screen) {
    EXPECT_TRUE(platform::processEventsUntil([&] { return !screen.isRequestPending(); }, std::chrono::seconds(20)));
  }

  static QPushButton* button(FirmwareSelectViewController& screen, const QString& name) {
    return screen.view()->findChild<QPushButton*>(name);
  }

  static FirmwareSelectCell* cell(FirmwareSelectViewController& screen, int row) {
    return qobject_cast<FirmwareSelectCell*>(screen.tbv->cellWidget(row, 0));
  }

  // A press and release on the row's title, as a user clicks it.
  static void click(QWidget* widget) {
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
  }
  static void hover(QWidget* widget, bool enter) {
    if (enter) {
      QEnterEvent event(QPointF(1, 1), QPointF(1, 1), widget->mapToGlobal(QPointF(1, 1)));
      QApplication::sendEvent(widget, &event);
    } else {
      QEvent event(QEvent::Leave);
      QApplication::sendEvent(widget, &event);
    }
  }

  // Which of the three views shows.
  static std::string state(const FirmwareSelectViewController& screen) {
    std::string s;
    if (!screen.vSelectFirmware->isHidden()) s += "list ";
    if (!screen.vNoInternetConnection->isHidden()) s += "no-internet ";
    if (!screen.vSelectedFirmwareInfo->isHidden()) s += "description ";
    return s;
  }

  firmware_testing::LocalService service;
  platform::Storyboard storyboard_;  // the scenes' texts are looked up for scenes it knows
  std::vector<platform::AlertSpec> alerts;
};

TEST_F(FirmwareSelect, ListsTheCatalogueNewestFirstDownToTheCamerasVersion) {
  service.answer(catalogueJson({{"1.0.1", 10}, {"1.1.0", 10}, {"1.0.2", 10}}));
  struct Case {
    std::optional<QString> name;
    std::optional<QString> version;
    QStringList rows;
    bool warning;
  };
  const QString r5 = QStringLiteral("Tavo Quill");
  const QStringList all = {title(r5, QStringLiteral("1.1.0")), title(r5, QStringLiteral("1.0.2")),
                           title(r5, QStringLiteral("1.0.1"))};
  const Case cases[] = {
      {r5, QStringLiteral("1.0.2"), {title(r5, QStringLiteral("1.1.0")), title(r5, QStringLiteral("1.0.2"))}, false},
      // The camera runs the newest: the only row is its own version, and it is still marked.
      {r5, QStringLiteral("1.1.0"), {title(r5, QStringLiteral("1.1.0"))}, true},
      {r5, QStringLiteral("2.0"), all, false},
      {r5, std::nullopt, all, false},
      {std::nullopt, QStringLiteral("1.0.1"),
       {title(QString(), QStringLiteral("1.1.0")), title(QString(), QStringLiteral("1.0.2")),
        title(QString(), QStringLiteral("1.0.1"))},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.value_or(QStringLiteral("<no name>")).toStdString() + " " +
                 c.version.value_or(QStringLiteral("<no version>")).toStdString());
    auto screen = open(c.name, c.version);
    EXPECT_EQ(state(*screen), "list ");
    EXPECT_EQ(screen->lbCurrentCameraFirmwareWarning->isHidden(), !c.warning);
    EXPECT_EQ(screen->lbCurrentCameraInfo->text(),
              c.name && c.version ? title(*c.name, *c.version) : text("firmware_camera_unknown"));
    ASSERT_EQ(screen->tbv->rowCount(), c.rows.size());
    for (int row = 0; row < c.rows.size(); ++row) {
      FirmwareSelectCell* rowCell = cell(*screen, row);
      ASSERT_NE(rowCell, nullptr);
      EXPECT_EQ(rowCell->lbTitle->text(), c.rows[row]);
      EXPECT_EQ(rowCell->bNew->isHidden(), row != 0);  // the top row, whatever the camera runs
    }
    EXPECT_FALSE(screen->btnShowFirmewareInfo->isEnabled());
    EXPECT_FALSE(screen->btnFirmwareDownload->isEnabled());
    EXPECT_EQ(buttonColor(screen->btnFirmwareDownload), QColor(96, 96, 96));
  }
}

// With digit parts by number and the rest by code point, 1.10 < 1.2a < 1.9 < 1.10 was a cycle;
// the sort could put 1.9 first, and the list then showed only the camera's own version.
TEST_F(FirmwareSelect, VersionOrderCycleNoLongerHidesNewerFirmware) {
  service.answer(catalogueJson({{"1.9", 10}, {"1.10", 10}, {"1.2a", QJsonValue(QJsonValue::Undefined)}}));
  const QString r5 = QStringLiteral("Tavo Quill");
  auto screen = open(r5, QStringLiteral("1.9"));
  ASSERT_EQ(screen->tbv->rowCount(), 2);
  EXPECT_EQ(cell(*screen, 0)->lbTitle->text(), title(r5, QStringLiteral("1.10")));
  EXPECT_EQ(cell(*screen, 1)->lbTitle->text(), title(r5, QStringLiteral("1.9")));
  EXPECT_FALSE(cell(*screen, 0)->bNew->isHidden());
  EXPECT_TRUE(screen->lbCurrentCameraFirmwareWarning->isHidden());
}

TEST_F(FirmwareSelect, AnswerTable) {
  HttpResponse stall;
  stall.stall = true;
  HttpResponse tooLarge = HttpResponse::text(200, "{\"error_msg\":\"ok\",\"pad\":\"" + QByteArray(10 << 20, 'x') + "\"}");
  enum class Shows { List, NoInternet, Alert };
  struct Case {
    const char* name;
    HttpResponse response;
    Shows shows;
    int rows = 0;
    QString alert = {};
  };
  const Case cases[] = {
      {"catalogue", HttpResponse::text(200, catalogueJson({{"1.1", 1}, {"1.0", 1}})), Shows::List, 2},
      {"wrong types", HttpResponse::text(200, R"({"error_msg":"ok","download_link_data":{"1.1":["x"]}})"), Shows::List},
      {"service error", HttpResponse::text(200, R"({"error_msg":"<b>No firmware</b> for this model"})"), Shows::Alert, 0,
       QStringLiteral("<b>No firmware</b> for this model")},
      {"empty object", HttpResponse::text(200, "{}"), Shows::Alert},
      {"top-level array", HttpResponse::text(200, "[]"), Shows::Alert},
      {"malformed JSON", HttpResponse::text(200, "{\"error_msg\":\"ok\""), Shows::NoInternet},
      {"not UTF-8", HttpResponse::text(200, "{\"error_msg\":\"\xfe\xff\"}"), Shows::NoInternet},
      {"10 MB", tooLarge, Shows::NoInternet},
      {"server error", HttpResponse::text(500, catalogueJson({{"1.0", 1}})), Shows::NoInternet},
      {"stalled", stall, Shows::NoInternet},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    alerts.clear();
    service.response = c.response;
    firmware::CatalogueClient::setTransferTimeout(c.response.stall ? firmware_testing::kStallTimeout
                                                                    : firmware_testing::kSlack);
    auto screen = open(QStringLiteral("Tavo Quill"), QStringLiteral("1.0"));
    EXPECT_EQ(state(*screen), c.shows == Shows::NoInternet ? "no-internet " : "list ");
    EXPECT_EQ(screen->tbv->rowCount(), c.rows);
    ASSERT_EQ(alerts.size(), c.shows == Shows::Alert ? 1u : 0u);
    if (c.shows == Shows::Alert) {
      EXPECT_EQ(alerts[0].messageText, c.alert);
      EXPECT_EQ(alerts[0].buttons, QStringList{QStringLiteral("OK")});
    }
  }
}

TEST_F(FirmwareSelect, RetryAfterAFailureShowsTheListAndAsksAgain) {
  service.response = HttpResponse::text(503, "busy");
  auto screen = open(QStringLiteral("Tavo Quill"), QStringLiteral("1.0"));
  ASSERT_EQ(state(*screen), "no-internet ");
  service.answer(catalogueJson({{"1.0", 1}}));
  button(*screen, QStringLiteral("btnNoInternetConnectionAfterRetry"))->click();
  EXPECT_EQ(state(*screen), "list ");  // at once, while the new request runs
  EXPECT_TRUE(screen->isRequestPending());
  settle(*screen);
  EXPECT_EQ(screen->tbv->rowCount(), 1);
  EXPECT_FALSE(screen->lbCurrentCameraFirmwareWarning->isHidden());
  EXPECT_EQ(service.server.requests().size(), 2);
}

TEST_F(FirmwareSelect, ChoosingARowHoverAndChosenLook) {
  service.answer(catalogueJson({{"1.2", 1}, {"1.1", 1}, {"1.0", 1}}));
  auto screen = open(QStringLiteral("Tavo Quill"), QStringLiteral("1.0"));
  ASSERT_EQ(screen->tbv->rowCount(), 3);
  FirmwareSelectCell* top = cell(*screen, 0);
  FirmwareSelectCell* middle = cell(*screen, 1);

  // Before a choice: the scene's fills, and hover only.
  EXPECT_EQ(top->bBg->fillColor().alpha(), 0);
  hover(top->bBg, true);
  EXPECT_EQ(top->bBg->borderColor(), kYellow);
  EXPECT_EQ(textColor(top->lbTitle), kYellow);
  EXPECT_EQ(namedImage(top->ivCheck), QStringLiteral("icon_check_highlight"));
  hover(top->bBg, false);
  EXPECT_EQ(top->bBg->borderColor(), QColor(Qt::white));
  EXPECT_EQ(namedImage(top->ivCheck), QStringLiteral("icon_check_off"));

  click(middle->lbTitle);
  ASSERT_EQ(screen->selectedCameraFirmwareInfo, screen->arCameraFirmwareInfo.at(1));
  EXPECT_TRUE(screen->btnShowFirmewareInfo->isEnabled());
  EXPECT_EQ(buttonColor(screen->btnShowFirmewareInfo), kYellow);
  ASSERT_EQ(cell(*screen, 1), middle);
  EXPECT_TRUE(middle->isSelected);
  EXPECT_EQ(middle->bBg->fillColor(), kYellow);
  EXPECT_EQ(middle->bBg->borderColor(), kYellow);
  EXPECT_EQ(textColor(middle->lbTitle), kDark);
  EXPECT_EQ(namedImage(middle->ivCheck), QStringLiteral("icon_check_on"));
  EXPECT_FALSE(top->isSelected);
  EXPECT_EQ(top->bBg->fillColor().alpha(), 0);
  EXPECT_EQ(top->bNew->fillColor(), kYellow);
  EXPECT_EQ(textColor(top->lbNew), kDark);

  // Hovering the chosen row changes nothing; another row lights up until the mouse leaves.
  hover(middle->bBg, true);
  hover(middle->bBg, false);
  EXPECT_EQ(middle->bBg->borderColor(), kYellow);
  EXPECT_EQ(textColor(middle->lbTitle), kDark);
  EXPECT_EQ(namedImage(middle->ivCheck), QStringLiteral("icon_check_on"));

  // The newest row chosen: its marker turns dark.
  click(top->lbTitle);
  EXPECT_EQ(top->bNew->fillColor(), kDark);
  EXPECT_EQ(textColor(top->lbNew), QColor(Qt::white));
  EXPECT_FALSE(middle->isSelected);
  EXPECT_EQ(middle->bBg->fillColor().alpha(), 0);

  // Nothing selected (a ctrl-click on the chosen row) keeps the choice and its look.
  screen->tbv->clearSelection();
  EXPECT_EQ(screen->selectedCameraFirmwareInfo, screen->arCameraFirmwareInfo.at(0));
  EXPECT_TRUE(top->isSelected);
  EXPECT_TRUE(screen->btnShowFirmewareInfo->isEnabled());
}

TEST_F(FirmwareSelect, DescriptionAndConfirmationBox) {
  service.answer(catalogueJson({{"1.1", 1}, {"1.0", 1}}));
  auto screen = open(std::nullopt, QStringLiteral("1.0"));
  screen->onClickShowFirmewareInfo();  // nothing chosen: nothing happens
  EXPECT_EQ(state(*screen), "list ");

  screen->tbv->selectRow(0);
  screen->btnShowFirmewareInfo->click();
  EXPECT_EQ(state(*screen), "description ");
  EXPECT_EQ(screen->lbUpdateFirmwareInfo->text(), title(QString(), QStringLiteral("1.1")));
  EXPECT_EQ(screen->tvFirmwareDescription->toPlainText(), text("firmware_notice_info") + QStringLiteral("\n\nNotes for 1.1"));

  auto* back = button(*screen, QStringLiteral("btnHideFirmewareInfo"));
  for (int visit = 0; visit < 2; ++visit) {
    SCOPED_TRACE(visit);
    EXPECT_FALSE(screen->isCheck);
    EXPECT_EQ(namedImage(screen->btnCheck), QStringLiteral("icon_check_off"));
    EXPECT_FALSE(screen->btnFirmwareDownload->isEnabled());
    screen->btnCheck->click();
    EXPECT_EQ(namedImage(screen->btnCheck), QStringLiteral("icon_check_highlight"));
    EXPECT_TRUE(screen->btnFirmwareDownload->isEnabled());
    EXPECT_EQ(buttonColor(screen->btnFirmwareDownload), kYellow);
    // Leaving the description unticks the box; the choice stays.
    back->click();
    EXPECT_EQ(state(*screen), "list ");
    EXPECT_FALSE(screen->isCheck);
    EXPECT_FALSE(screen->btnFirmwareDownload->isEnabled());
    EXPECT_EQ(screen->selectedCameraFirmwareInfo, screen->arCameraFirmwareInfo.at(0));
    screen->btnShowFirmewareInfo->click();
  }
}

TEST_F(FirmwareSelect, ServiceTextsShowAsPlainText) {
  service.answer(R"({"error_msg":"ok","download_link_data":{"<b>2.0</b>":"l"},"firmware_file_info":{"<b>2.0</b>":"f"},)"
                 R"("firmware_description":{"<b>2.0</b>":"<a href='x'>notes</a>"},"firmware_file_name_info":{"f":1}})");
  auto screen = open(QStringLiteral("<i>Tavo</i>"), QStringLiteral("1.0"));
  ASSERT_EQ(screen->tbv->rowCount(), 1);
  screen->tbv->selectRow(0);
  screen->btnShowFirmewareInfo->click();
  for (const QLabel* label : {screen->lbCurrentCameraInfo.data(), screen->lbUpdateFirmwareInfo.data(), cell(*screen, 0)->lbTitle.data()}) {
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
  }
  EXPECT_TRUE(screen->tvFirmwareDescription->toPlainText().endsWith(QStringLiteral("<a href='x'>notes</a>")));
}

// A name of the camera's full length at the smallest window: the camera line, the row and the
// chosen version's line each show its middle elided.
TEST_F(FirmwareSelect, LongProductNamesAreElidedInTheMiddle) {
  service.answer(catalogueJson({{"1.1.0", 10}}));
  const QString name = testing_support::longProductName();
  auto screen = open(name, QStringLiteral("1.0.0"));
  screen->view()->resize(720, 520);
  ASSERT_EQ(screen->tbv->rowCount(), 1);
  screen->tbv->selectRow(0);
  QApplication::processEvents();
  EXPECT_LE(screen->view()->minimumSizeHint().width(), 720);
  testing_support::expectElidedInTheMiddle(screen->lbCurrentCameraInfo, name);
  testing_support::expectElidedInTheMiddle(cell(*screen, 0)->lbTitle, name);
  screen->btnShowFirmewareInfo->click();
  QApplication::processEvents();
  testing_support::expectElidedInTheMiddle(screen->lbUpdateFirmwareInfo, name);
}

TEST_F(FirmwareSelect, DownloadWithoutAChoiceOrAWindowStays) {
  auto screen = open(QStringLiteral("Tavo Quill"), QStringLiteral("1.0"));
  // No choice: the description and no-internet views go, nothing else happens.
  screen->vNoInternetConnection->show();
  screen->onClickFiremwareDownload();
  EXPECT_EQ(state(*screen), "list ");
  // A choice, but no window to show the download screen in: the screen stays.
  screen->tbv->selectRow(0);
  screen->btnShowFirmewareInfo->click();
  screen->btnCheck->click();
  screen->btnFirmwareDownload->click();
  EXPECT_EQ(state(*screen), "");

  std::vector<ViewEvent::ViewEventType> events;
  platform::NotificationCenter::defaultCenter().addObserver(&events, QString::fromLatin1(kViewEvent),
                                                            [&](const platform::Notification& n) {
                                                              events.push_back(std::dynamic_pointer_cast<const ViewEvent>(n.object)->type());
                                                            });
  button(*screen, QStringLiteral("btnShowBeforePage"))->click();
  button(*screen, QStringLiteral("btnNoInternetShowBeforePage"))->click();
  platform::NotificationCenter::defaultCenter().removeObserver(&events);
  EXPECT_EQ(events, std::vector<ViewEvent::ViewEventType>(2, ViewEvent::ViewEventType::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW));
}

TEST_F(FirmwareSelect, ScreenGoneBeforeTheAnswerIsNeverTouched) {
  service.response = HttpResponse::text(200, R"({"error_msg":"late"})");
  service.response.bytesPerSecond = 100;  // about 0.2 s
  auto screen = std::make_unique<FirmwareSelectViewController>();
  screen->view();
  ASSERT_TRUE(platform::processEventsUntil([&] { return !service.server.requests().isEmpty(); }, std::chrono::seconds(20)));
  screen.reset();
  platform::processEventsUntil([] { return false; }, std::chrono::milliseconds(400));
  EXPECT_TRUE(alerts.empty());
}

}  // namespace
