// The whole walk through the real main window: the simulated camera, the local firmware service
// in-process with a package made here, the disk-image tool, and a temporary folder as the card.
// Detection waits in fake time; the network, the tool and the copy's worker run in real time.

#include <QComboBox>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <chrono>
#include <vector>

#include "FirmwareFixture.h"
#include "FirmwareTestSupport.h"
#include "app/AppFixture.h"
#include "app/CheckDeviceViewController.h"
#include "app/CheckSupportDeviceViewController.h"
#include "app/GoFrimwareUpdateViewController.h"
#include "app/IntroViewController.h"
#include "app/SetupGuideViewController.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/FirmwareScenes.h"
#include "firmware/FirmwareSelectViewController.h"
#include "firmware/SelectLocationViewController.h"
#include "platform/OpenPanel.h"
#include "platform/UserDefaults.h"
#include "support/DiskImages.h"
#include "support/Keyboard.h"
#include "support/TestFiles.h"
#include "tools/firmware-service/FirmwarePackages.h"
#include "tools/firmware-service/FirmwareService.h"

namespace {

using Type = ViewEvent::ViewEventType;

const QString kFirmwareName = QStringLiteral("QUILL_120.FIR");
const QString kCardName = QStringLiteral("TAVO_SD");
const QString kPhoto = QStringLiteral("DCIM/100TAVO/IMG_0001.JPG");

using firmware_testing::text;

// Every file and folder below `folder`, hidden ones too: sorted relative paths, comma-separated.
std::string tree(const QString& folder) {
  QStringList entries;
  QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) entries << QDir(folder).relativeFilePath(it.next());
  entries.sort();
  return entries.join(QStringLiteral(", ")).toStdString();
}

template <typename W>
W* child(platform::ViewController* screen, const char* name) {
  W* widget = screen ? screen->view()->findChild<W*>(QString::fromLatin1(name)) : nullptr;
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

class EndToEnd : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    registerFirmwareScenes(storyboard_);
    ASSERT_TRUE(folders_.isValid());
    platform::UserDefaults::setStoragePath(folders_.path(QStringLiteral("defaults.ini")));
    ASSERT_NO_FATAL_FAILURE(makeService());
    ASSERT_NO_FATAL_FAILURE(makeCard());
    platform::setOpenPanelPresenter(
        [this](const platform::OpenPanelOptions& options, QObject*, platform::OpenPanelCompletion completion) {
          EXPECT_TRUE(options.canChooseDirectories);
          EXPECT_FALSE(options.canChooseFiles);
          ++panels_;
          completion(platform::ModalResponse::OK, {QUrl::fromLocalFile(card_ + QStringLiteral("/DCIM/100TAVO"))});
        });
    camera_ = sim().addCamera(cameraSpec("Orvell Tavo Quill", "1.0.2"));
  }

  void TearDown() override {
    platform::setOpenPanelPresenter(nullptr);
    AppFixture::TearDown();
    platform::UserDefaults::setStoragePath({});
  }

  // Three versions for the camera's model, each with its package; the newest holds the
  // firmware file the walk takes to the card, beside a file that must not go there.
  void makeService() {
    const QString packages = folders_.path(QStringLiteral("packages"));
    ASSERT_TRUE(QDir().mkpath(packages));
    const QString staging = folders_.path(QStringLiteral("firmware"));
    QString error;
    ASSERT_TRUE(firmware_service::writeFirmwareFile(staging, kFirmwareName, 300 * 1024 + 7, &error))
        << error.toStdString();
    firmware_ = testing_support::readFile(staging);
    testing_support::makeImage(packages + QStringLiteral("/TavoQuill_FW120.dmg"),
                               {{kFirmwareName, firmware_}, {QStringLiteral("ReadMe.txt"), "Copy the .FIR file."}});
    testing_support::makeImage(packages + QStringLiteral("/TavoQuill_FW110.dmg"), {{QStringLiteral("QUILL_110.FIR"), "1.1.0"}});
    testing_support::makeImage(packages + QStringLiteral("/TavoQuill_FW102.dmg"), {{QStringLiteral("QUILL_102.FIR"), "1.0.2"}});

    QJsonArray versions;
    for (const char* v : {"1.0.2", "1.2.0", "1.1.0"}) {
      const QString version = QString::fromLatin1(v);
      versions.append(QJsonObject{{QStringLiteral("version"), version},
                                  {QStringLiteral("file"), QStringLiteral("TavoQuill_FW") + QString(version).remove(u'.') +
                                                               QStringLiteral(".dmg")},
                                  {QStringLiteral("description"), QStringLiteral("<b>Notes</b> for ") + version}});
    }
    const QJsonObject catalogue{
        {QStringLiteral("models"),
         QJsonObject{{QStringLiteral("Tavo Quill"), QJsonObject{{QStringLiteral("versions"), versions}}}}}};
    firmwareService_ = std::make_unique<firmware_service::FirmwareService>(catalogue, packages);
    service_.handler = [this](const firmware_service::HttpRequest& request) {
      return firmwareService_->handle(request, service_.server.baseUrl());
    };
  }

  // The card: a volume beside the attached images, with a picture already on it.
  void makeCard() {
    card_ = folders_.attachRoot() + u'/' + kCardName;
    testing_support::writeFile(card_ + u'/' + kPhoto, "a picture");
  }

  // Real time: the network, the disk-image tool and the copy do not follow the fake clock.
  static bool waitFor(const std::function<bool()>& done) {
    return platform::processEventsUntil(done, std::chrono::seconds(120));
  }

  template <typename Screen>
  Screen* remember() {
    Screen* screen = content<Screen>();
    if (screen) screens_.emplace_back(screen);
    return screen;
  }

  // The window as the program opens it: the intro first.
  void openAtIntro() {
    window_ = std::make_unique<MainWindowController>(&storyboard_);
    window_->window()->resize(800, 560);
    window_->setContentViewController(storyboard_.instantiateController(QStringLiteral("IntroViewController")));
    window_->showWindow();
  }

  // From the intro to the update guide, through every screen's own buttons.
  void walkToGuide() {
    const int connected = count(Type::DEVICE_CONNECTED);
    const auto requests = service_.server.requests().size();

    // Intro: nothing to put out of the way, so Next is there at once.
    auto* intro = remember<IntroViewController>();
    ASSERT_NE(intro, nullptr);
    ASSERT_TRUE(intro->btnNext->isEnabled());
    intro->btnNext->click();

    // Device check: not connected until the search accepts the camera.
    auto* check = remember<CheckDeviceViewController>();
    ASSERT_NE(check, nullptr);
    auto* connectNext = child<QPushButton>(check, "btnConnectNext");
    auto* status = child<QLabel>(check, "lbConnectStatus");
    ASSERT_TRUE(connectNext && status);
    EXPECT_EQ(status->text(), text("camera_disconnected"));
    EXPECT_FALSE(connectNext->isEnabled());
    ASSERT_TRUE(runUntil([&] { return count(Type::DEVICE_CONNECTED) > connected; }, 10));
    EXPECT_EQ(status->text(), text("camera_connected"));
    ASSERT_TRUE(connectNext->isEnabled());
    connectNext->click();

    // Support check: the name without the maker's, found in the model list.
    ASSERT_TRUE(runUntil([&] { return content<CheckSupportDeviceViewController>() != nullptr; }, 10));
    auto* support = remember<CheckSupportDeviceViewController>();
    EXPECT_FALSE(child<QWidget>(support, "vSupportDevice")->isHidden());
    EXPECT_TRUE(child<QWidget>(support, "vNotSupportDevice")->isHidden());
    EXPECT_EQ(child<QLabel>(support, "lbSupportDeviceName")->text(), QStringLiteral("Tavo Quill"));
    child<QPushButton>(support, "btnSupportNext")->click();

    // List: the versions down to the camera's own, newest first; its notes as plain text.
    auto* list = remember<FirmwareSelectViewController>();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(waitFor([&] { return !list->isRequestPending(); }));
    ASSERT_EQ(service_.server.requests().size(), requests + 1);
    EXPECT_EQ(service_.server.requests().back().target, "/tavoinfo/downlink?model=VGF2byBRdWlsbA==&os=mac&currentver=1.0.2");
    EXPECT_TRUE(list->vNoInternetConnection->isHidden());
    EXPECT_EQ(list->lbCurrentCameraInfo->text(), QStringLiteral("Tavo Quill ") + text("firmware_version") + QStringLiteral(" 1.0.2"));
    ASSERT_EQ(list->tbv->rowCount(), 3);
    EXPECT_EQ(list->arCameraFirmwareInfo.at(0)->version, QStringLiteral("1.2.0"));
    EXPECT_EQ(list->arCameraFirmwareInfo.at(2)->version, QStringLiteral("1.0.2"));
    EXPECT_FALSE(list->btnShowFirmewareInfo->isEnabled());
    list->tbv->selectRow(0);
    ASSERT_TRUE(list->btnShowFirmewareInfo->isEnabled());
    list->btnShowFirmewareInfo->click();
    ASSERT_FALSE(list->vSelectedFirmwareInfo->isHidden());
    EXPECT_TRUE(list->tvFirmwareDescription->toPlainText().endsWith(QStringLiteral("<b>Notes</b> for 1.2.0")));
    EXPECT_FALSE(list->btnFirmwareDownload->isEnabled());
    list->btnCheck->click();
    ASSERT_TRUE(list->btnFirmwareDownload->isEnabled());
    list->btnFirmwareDownload->click();

    // Download and extraction.
    auto* download = remember<FirmwareFileDownloadViewController>();
    ASSERT_NE(download, nullptr);
    EXPECT_EQ(download->lbFirmwareInfo->text(),
              QStringLiteral("Tavo Quill ") + text("firmware_version") + QStringLiteral(" 1.2.0"));
    EXPECT_EQ(download->lbTopContent->text(), text("downloading_firmware_top"));
    EXPECT_FALSE(download->btnShowSelectLocation->isEnabled());
    ASSERT_TRUE(waitFor([&] {
      return download->lbTopContent->text() != text("downloading_firmware_top") && !download->isExtracting();
    }));
    ASSERT_EQ(download->lbTopContent->text(), text("download_firmware_finish_top"));
    EXPECT_EQ(download->lbPercent->text(), QStringLiteral("100%"));
    EXPECT_EQ(service_.server.requests().back().requestLine, "GET /firmware/TavoQuill_FW120.dmg HTTP/1.1");
    EXPECT_EQ(folders_.attached().join(u',').toStdString(), "TAVO_SD") << "the package is still attached";
    EXPECT_EQ(tree(folders_.workingFolder()), "QUILL_120.FIR, TavoQuill_FW120.dmg");
    ASSERT_TRUE(download->btnShowSelectLocation->isEnabled());
    download->btnShowSelectLocation->click();

    // Card chooser: a folder on the card stands for the card's root; tick, then copy.
    auto* chooser = dynamic_cast<SelectLocationViewController*>(download->presentedViewController());
    ASSERT_NE(chooser, nullptr);
    EXPECT_FALSE(chooser->btnFirmwareCopy->isEnabled());
    const int panels = panels_;
    child<QToolButton>(chooser, "btnSelectLocation")->click();
    EXPECT_EQ(panels_, panels + 1);
    EXPECT_EQ(chooser->lbLocation->text(), card_);
    EXPECT_TRUE(chooser->lbLocationWarning->isHidden());
    EXPECT_FALSE(chooser->btnFirmwareCopy->isEnabled());
    chooser->btnCheck->click();
    ASSERT_TRUE(chooser->btnFirmwareCopy->isEnabled());
    chooser->btnFirmwareCopy->click();
    EXPECT_EQ(download->presentedViewController(), nullptr);

    // Copy, then its finished state.
    EXPECT_EQ(download->lbTopContent->text(), text("copy_firmware_top"));
    EXPECT_EQ(download->lbPercent->text(), QStringLiteral("0%"));
    ASSERT_TRUE(waitFor([&] { return download->lbTopContent->text() != text("copy_firmware_top"); }));
    ASSERT_EQ(download->lbTopContent->text(), text("copy_firmware_finish_top"));
    EXPECT_EQ(download->lbPercent->text(), QStringLiteral("100%"));
    EXPECT_EQ(testing_support::readFile(card_ + u'/' + kFirmwareName), firmware_)
        << "the card's file differs from the package's";
    EXPECT_EQ(tree(card_), "DCIM, DCIM/100TAVO, DCIM/100TAVO/IMG_0001.JPG, QUILL_120.FIR");
    EXPECT_EQ(testing_support::readFile(card_ + u'/' + kPhoto), "a picture");
    ASSERT_TRUE(download->btnShowUpdateGuide->isEnabled());
    download->btnShowUpdateGuide->click();

    // Hand-over, then the guide at its first page.
    auto* handOver = remember<GoFrimwareUpdateViewController>();
    ASSERT_NE(handOver, nullptr);
    child<QPushButton>(handOver, "btnFrimwareUpdate")->click();
    auto* guide = remember<SetupGuideViewController>();
    ASSERT_NE(guide, nullptr);
    EXPECT_EQ(guide->lbPage->text(), QStringLiteral("1 / 9"));
    EXPECT_TRUE(guide->btnPrevious->isHidden());
    EXPECT_TRUE(alerts.empty());
  }

  // Keys as the keyboard sends them, to wherever they go now.
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    testing_support::press(window_->window(), key, modifiers);
  }
  QWidget* focused() { return testing_support::keyTarget(window_->window()); }

  // The same road with the keyboard alone: each screen puts the focus on its first control and
  // Return presses its primary button; Tab, Space, the arrows and Escape do the rest.
  void walkToGuideByKeyboard() {
    QWidget* window = window_->window();
    const int connected = count(Type::DEVICE_CONNECTED);

    auto* intro = content<IntroViewController>();
    ASSERT_NE(intro, nullptr);
    EXPECT_EQ(focused(), intro->pbtnLanguage.data());
    press(Qt::Key_Return);

    // Return does nothing while Next is disabled, and presses it once the camera is there.
    auto* check = content<CheckDeviceViewController>();
    ASSERT_NE(check, nullptr);
    press(Qt::Key_Return);
    EXPECT_EQ(content<CheckDeviceViewController>(), check);
    ASSERT_TRUE(runUntil([&] { return count(Type::DEVICE_CONNECTED) > connected; }, 10));
    EXPECT_EQ(focused(), child<QPushButton>(check, "btnConnectNext"));
    press(Qt::Key_Return);

    ASSERT_TRUE(runUntil([&] { return content<CheckSupportDeviceViewController>() != nullptr; }, 10));
    EXPECT_EQ(focused(), child<QPushButton>(content<CheckSupportDeviceViewController>(), "btnSupportNext"));
    press(Qt::Key_Return);

    // The list has the focus; the first arrow chooses the top row, Tab leaves the list and
    // Shift+Tab comes back to it, Return opens the chosen row's description.
    auto* list = content<FirmwareSelectViewController>();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(waitFor([&] { return !list->isRequestPending(); }));
    ASSERT_EQ(list->tbv->rowCount(), 3);
    EXPECT_EQ(focused(), list->tbv.data());
    testing_support::expectRingAround(list->tbv);
    press(Qt::Key_Return);
    EXPECT_TRUE(list->vSelectedFirmwareInfo->isHidden()) << "a description opened with no row chosen";
    press(Qt::Key_Down);
    ASSERT_NE(list->selectedCameraFirmwareInfo, nullptr);
    EXPECT_EQ(list->selectedCameraFirmwareInfo->version, QStringLiteral("1.2.0"));
    press(Qt::Key_Down);
    EXPECT_EQ(list->selectedCameraFirmwareInfo->version, QStringLiteral("1.1.0"));
    press(Qt::Key_Up);
    EXPECT_EQ(list->selectedCameraFirmwareInfo->version, QStringLiteral("1.2.0"));
    press(Qt::Key_Tab);
    EXPECT_EQ(focused(), child<QPushButton>(list, "btnShowBeforePage"));
    press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), list->tbv.data());
    press(Qt::Key_Return);
    ASSERT_FALSE(list->vSelectedFirmwareInfo->isHidden());
    EXPECT_EQ(focused(), list->tvFirmwareDescription.data());
    press(Qt::Key_Return);
    EXPECT_EQ(content<FirmwareSelectViewController>(), list) << "Download went ahead unconfirmed";
    ASSERT_NO_FATAL_FAILURE(testing_support::tabTo(window, list->btnCheck));
    testing_support::expectRingAround(list->btnCheck);
    press(Qt::Key_Space);
    ASSERT_TRUE(list->btnFirmwareDownload->isEnabled());
    press(Qt::Key_Return);

    auto* download = content<FirmwareFileDownloadViewController>();
    ASSERT_NE(download, nullptr);
    ASSERT_TRUE(waitFor([&] {
      return download->lbTopContent->text() != text("downloading_firmware_top") && !download->isExtracting();
    }));
    ASSERT_EQ(download->lbTopContent->text(), text("download_firmware_finish_top"));
    EXPECT_EQ(focused(), download->btnShowSelectLocation.data());
    press(Qt::Key_Return);

    // Escape closes the sheet; Return opens it again. Its drop zone has the focus.
    ASSERT_NE(download->presentedViewController(), nullptr);
    press(Qt::Key_Escape);
    EXPECT_EQ(download->presentedViewController(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    press(Qt::Key_Return);
    auto* chooser = dynamic_cast<SelectLocationViewController*>(download->presentedViewController());
    ASSERT_NE(chooser, nullptr);
    auto* dropZone = child<QToolButton>(chooser, "btnSelectLocation");
    EXPECT_EQ(focused(), dropZone);
    testing_support::expectRingAround(dropZone);
    const int panels = panels_;
    press(Qt::Key_Return);
    EXPECT_EQ(panels_, panels) << "Return chose for the user";
    press(Qt::Key_Space);
    EXPECT_EQ(panels_, panels + 1);
    EXPECT_EQ(chooser->lbLocation->text(), card_);
    ASSERT_NO_FATAL_FAILURE(testing_support::tabTo(window, chooser->btnCheck));
    press(Qt::Key_Return);
    EXPECT_EQ(download->presentedViewController(), chooser) << "copied unconfirmed";
    press(Qt::Key_Space);
    ASSERT_TRUE(chooser->btnFirmwareCopy->isEnabled());
    press(Qt::Key_Return);
    EXPECT_EQ(download->presentedViewController(), nullptr);

    ASSERT_TRUE(waitFor([&] { return download->lbTopContent->text() != text("copy_firmware_top"); }));
    ASSERT_EQ(download->lbTopContent->text(), text("copy_firmware_finish_top"));
    EXPECT_EQ(testing_support::readFile(card_ + u'/' + kFirmwareName), firmware_);
    EXPECT_EQ(focused(), download->btnShowUpdateGuide.data());
    press(Qt::Key_Return);

    auto* handOver = content<GoFrimwareUpdateViewController>();
    ASSERT_NE(handOver, nullptr);
    EXPECT_EQ(focused(), child<QPushButton>(handOver, "btnFrimwareUpdate"));
    press(Qt::Key_Return);
    auto* guide = content<SetupGuideViewController>();
    ASSERT_NE(guide, nullptr);
    EXPECT_EQ(focused(), guide->btnNext.data());
    EXPECT_TRUE(alerts.empty());
  }

  // The guide's pages with the arrow keys, then Return on the last page: Finish.
  void browseGuideByKeyboard(SetupGuideViewController& guide) {
    for (int page = 2; page <= 9; ++page) {
      press(Qt::Key_Right);
      EXPECT_EQ(guide.lbPage->text(), QStringLiteral("%1 / 9").arg(page));
    }
    press(Qt::Key_Right);
    EXPECT_EQ(guide.lbPage->text(), QStringLiteral("9 / 9"));
    press(Qt::Key_Left);
    EXPECT_EQ(guide.lbPage->text(), QStringLiteral("8 / 9"));
    // The page area takes the focus too; the arrows turn pages there as well.
    ASSERT_NO_FATAL_FAILURE(testing_support::tabTo(window_->window(), guide.svContent));
    testing_support::expectRingAround(guide.svContent);
    press(Qt::Key_Right);
    EXPECT_EQ(guide.lbPage->text(), QStringLiteral("9 / 9"));
    EXPECT_TRUE(guide.btnNext->isHidden());
  }

  // Next through every page of the guide.
  void browseGuide(SetupGuideViewController& guide) {
    for (int page = 2; page <= 9; ++page) {
      ASSERT_FALSE(guide.btnNext->isHidden()) << page;
      guide.btnNext->click();
      EXPECT_EQ(guide.lbPage->text(), QStringLiteral("%1 / 9").arg(page));
      EXPECT_EQ(guide.lbContent->text(), platform::localizedString(QStringLiteral("setup_guide_count_step%1").arg(page)));
    }
    EXPECT_TRUE(guide.btnNext->isHidden());
    EXPECT_FALSE(guide.btnPrevious->isHidden());
  }

  // The screens met so far that still exist, once deferred deletions have run.
  int screensAlive() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int alive = 0;
    for (const auto& screen : screens_) alive += screen ? 1 : 0;
    return alive;
  }

  TemporaryFirmwareFolders folders_;
  firmware_testing::LocalService service_;
  std::unique_ptr<firmware_service::FirmwareService> firmwareService_;
  QString card_;
  QByteArray firmware_;
  vok::sim::CameraId camera_ = 0;
  int panels_ = 0;
  std::vector<QPointer<platform::ViewController>> screens_;
};

TEST_F(EndToEnd, WalkToTheCardAndFinish) {
  openAtIntro();
  ASSERT_NO_FATAL_FAILURE(walkToGuide());
  auto* guide = content<SetupGuideViewController>();
  ASSERT_NO_FATAL_FAILURE(browseGuide(*guide));
  const VokCameraRef camera = window_->camera();
  ASSERT_NE(camera, nullptr);
  child<QPushButton>(guide, "btnFinish")->click();
  expectShutdownInOrder(camera);
}

// Starting over from the guide gives a fresh intro; the new walk, in the other language this
// time, finds the camera again and takes the firmware to the card once more, over what the
// first walk left there.
TEST_F(EndToEnd, StartOverWalksAgainInKorean) {
  openAtIntro();
  ASSERT_NO_FATAL_FAILURE(walkToGuide());
  content<SetupGuideViewController>()->btnNext->click();
  child<QPushButton>(content<SetupGuideViewController>(), "btnFirstView")->click();

  auto* intro = content<IntroViewController>();
  ASSERT_NE(intro, nullptr);
  EXPECT_EQ(screensAlive(), 0) << "a screen of the first walk outlived the start over";
  screens_.clear();
  testing_support::writeFile(card_ + u'/' + kFirmwareName, "what was there before");

  // Korean, chosen as the user does: the intro is rebuilt in it.
  const platform::Bundle korean(QString::fromUtf8(RAVLIO_SOURCE_RESOURCES) + QStringLiteral("/ko.lproj"));
  intro->pbtnLanguage->setCurrentIndex(intro->pbtnLanguage->findText(QStringLiteral("한국어")));
  Q_EMIT intro->pbtnLanguage->activated(intro->pbtnLanguage->currentIndex());
  ASSERT_NE(content<IntroViewController>(), intro);
  intro = content<IntroViewController>();
  ASSERT_NE(intro, nullptr);
  EXPECT_EQ(child<QLabel>(intro, "lbTitle")->text(), korean.localizedString(QStringLiteral("intro_title")));
  EXPECT_EQ(text("camera_connected"), korean.localizedString(QStringLiteral("camera_connected")));

  ASSERT_NO_FATAL_FAILURE(walkToGuide());
  EXPECT_EQ(count(Type::DEVICE_CONNECTED), 2);
  EXPECT_EQ(sim().cameraOf(window_->camera()), camera_);
  const auto stats = sim().stats();
  EXPECT_EQ(stats.live, 1) << "only the camera in use is held";
  EXPECT_EQ(stats.useAfterRelease, 0);
  EXPECT_EQ(stats.doubleReleases, 0);
  EXPECT_EQ(service_.server.requests().size(), 4);  // a catalogue and a package, twice

  auto* guide = content<SetupGuideViewController>();
  EXPECT_EQ(guide->lbContent->text(), korean.localizedString(QStringLiteral("setup_guide_count_step1")));
  const VokCameraRef camera = window_->camera();
  child<QPushButton>(guide, "btnFinish")->click();
  expectShutdownInOrder(camera);
}

TEST_F(EndToEnd, WalkToTheCardAndFinishWithTheKeyboardAlone) {
  openAtIntro();
  ASSERT_NO_FATAL_FAILURE(walkToGuideByKeyboard());
  auto* guide = content<SetupGuideViewController>();
  ASSERT_NO_FATAL_FAILURE(browseGuideByKeyboard(*guide));
  const VokCameraRef camera = window_->camera();
  ASSERT_NE(camera, nullptr);
  press(Qt::Key_Return);
  expectShutdownInOrder(camera);
}

// Korean picked from the language pop-up with the keyboard: the rebuilt intro has the focus on
// the pop-up again, and the road goes on in Korean.
TEST_F(EndToEnd, WalkInKoreanWithTheKeyboardAlone) {
  openAtIntro();
  auto* intro = content<IntroViewController>();
  ASSERT_NE(intro, nullptr);
  ASSERT_EQ(focused(), intro->pbtnLanguage.data());
  press(Qt::Key_Space);
  ASSERT_NE(QApplication::activePopupWidget(), nullptr) << "Space did not open the pop-up";
  press(Qt::Key_Up);
  press(Qt::Key_Return);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  // The offscreen platform does not hand the activation back once a pop-up has closed.
  window_->window()->activateWindow();
  ASSERT_NE(content<IntroViewController>(), intro);
  intro = content<IntroViewController>();
  ASSERT_NE(intro, nullptr);
  const platform::Bundle korean(QString::fromUtf8(RAVLIO_SOURCE_RESOURCES) + QStringLiteral("/ko.lproj"));
  EXPECT_EQ(child<QLabel>(intro, "lbTitle")->text(), korean.localizedString(QStringLiteral("intro_title")));
  EXPECT_EQ(focused(), intro->pbtnLanguage.data());

  ASSERT_NO_FATAL_FAILURE(walkToGuideByKeyboard());
  auto* guide = content<SetupGuideViewController>();
  EXPECT_EQ(guide->lbContent->text(), korean.localizedString(QStringLiteral("setup_guide_count_step1")));
  const VokCameraRef camera = window_->camera();
  ASSERT_NO_FATAL_FAILURE(browseGuideByKeyboard(*guide));
  press(Qt::Key_Return);
  expectShutdownInOrder(camera);
}

}  // namespace
