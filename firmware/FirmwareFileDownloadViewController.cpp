#include "firmware/FirmwareFileDownloadViewController.h"

#include <QFileInfo>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPushButton>

#include <cstdio>

#include "app/ButtonTitleColor.h"
#include "app/FennicProgressBar.h"
#include "app/GoFrimwareUpdateViewController.h"
#include "app/MiddleElision.h"
#include "firmware/DownloadRules.h"
#include "firmware/FirmwareLook.h"
#include "firmware/NamedImage.h"
#include "platform/Bundle.h"
#include "platform/FileNames.h"
#include "platform/FileOperations.h"
#include "platform/Queues.h"
#include "platform/SceneSwitch.h"
#include "platform/Storyboard.h"
#include "ui_FirmwareFileDownloadViewController.h"

namespace {

// A transfer that receives nothing for this long has stalled.
constexpr std::chrono::milliseconds kStallTimeout{30000};

void printError(const QString& description) {
  std::printf("%s %s\n", "error: ", description.toUtf8().constData());
  std::fflush(stdout);
}

}  // namespace

FirmwareFileDownloadViewController::FirmwareFileDownloadViewController(QObject* parent)
    : platform::ViewController(parent),
      ui_(std::make_unique<Ui::FirmwareFileDownloadViewController>()),
      stallTimeout_(kStallTimeout) {}

FirmwareFileDownloadViewController::~FirmwareFileDownloadViewController() = default;

void FirmwareFileDownloadViewController::setupView(QWidget* root) {
  ui_->setupUi(root);
  lbTopContent = ui_->lbTopContent;
  lbFirmwareInfo = ui_->lbFirmwareInfo;
  ivStatus = ui_->ivStatus;
  lbPercent = ui_->lbPercent;
  lbContent1 = ui_->lbContent1;
  lbContent2 = ui_->lbContent2;
  btnShowSelectLocation = ui_->btnShowSelectLocation;
  btnShowUpdateGuide = ui_->btnShowUpdateGuide;
  btnDownloadRetry = ui_->btnDownloadRetry;
  fennicProgressBar = ui_->fennicProgressBar;
  // Texts from the service are shown as they are, never as markup.
  for (QLabel* label : {lbTopContent.data(), lbContent1.data(), lbContent2.data()}) label->setTextFormat(Qt::PlainText);
  elideInTheMiddle(lbFirmwareInfo);  // product names come up to 256 characters long
  // The titles start in the colour of the scene's enabled states.
  for (QPushButton* button : {btnShowSelectLocation.data(), btnShowUpdateGuide.data(), btnDownloadRetry.data()}) {
    updateButtonTitleColor(button);
  }
  connect(btnShowSelectLocation, &QPushButton::clicked, this,
          &FirmwareFileDownloadViewController::onClickShowSelectLocation);
  connect(btnDownloadRetry, &QPushButton::clicked, this, &FirmwareFileDownloadViewController::onClickRetry);
  connect(btnShowUpdateGuide, &QPushButton::clicked, this, &FirmwareFileDownloadViewController::onClickShowUpdateGuide);
}

void FirmwareFileDownloadViewController::viewDidLoad() {
  if (!selectedCameraFirmwareInfo || !productName) return;
  lbFirmwareInfo->setText(firmware_look::firmwareTitle(productName, selectedCameraFirmwareInfo->version));
  fennicProgressBar->setBarThickness(16.0);
  showDownloadingState();
  downloadFirmware(selectedCameraFirmwareInfo);
}

// ---- display states -------------------------------------------------------------------

void FirmwareFileDownloadViewController::showPercent(int n) {
  lbPercent->setText(QString::number(n) + u'%');
  fennicProgressBar->setProgressValue(static_cast<double>(n));
}

void FirmwareFileDownloadViewController::showState(const StateLook& look) {
  const auto applyButton = [](QPushButton* button, const ButtonLook& b) {
    button->setVisible(b.shown);
    if (b.enabled) {
      button->setEnabled(*b.enabled);
      updateButtonTitleColor(button);
    }
  };
  applyButton(btnShowSelectLocation, look.selectLocation);
  applyButton(btnShowUpdateGuide, look.updateGuide);
  applyButton(btnDownloadRetry, look.retry);
  lbTopContent->setText(platform::localizedString(look.top));
  setNamedImage(ivStatus, look.image);
  ivStatus->setAccessibleName(platform::localizedString(look.pictureName));
  firmware_look::setTextColor(lbPercent, look.failed ? firmware_look::kGrey96 : firmware_look::kAccentYellow);
  if (look.percent == PercentLook::Zero) lbPercent->setText(QStringLiteral("0%"));
  lbContent1->setText(platform::localizedString(look.content1));
  lbContent2->setText(look.content2);
  firmware_look::setTextColor(lbContent2, look.failed ? firmware_look::kRed : firmware_look::kAccentYellow);
  fennicProgressBar->setBarColor(look.failed ? firmware_look::kGrey136 : firmware_look::kAccentYellow);
  fennicProgressBar->setTrackColor(look.failed ? firmware_look::kGrey96 : QColor(Qt::white));
  // The value write is what redraws the bar in its new colours.
  switch (look.percent) {
    case PercentLook::Zero: fennicProgressBar->setProgressValue(0.0); break;
    case PercentLook::Kept: fennicProgressBar->setProgressValue(fennicProgressBar->progressValue()); break;
    case PercentLook::Full: showPercent(100); break;
  }
  // A button that had the focus may have gone or been disabled.
  keepFocus();
}

void FirmwareFileDownloadViewController::showDownloadingState() {
  showState({{true, false}, {false, std::nullopt}, {false, std::nullopt}, QStringLiteral("downloading_firmware_top"),
             QStringLiteral("img_filedownload_ing"), QStringLiteral("picture_downloading"),
             QStringLiteral("downloading_firmware_content1"),
             platform::localizedString(QStringLiteral("downloading_firmware_content2")), PercentLook::Zero, false});
}

void FirmwareFileDownloadViewController::showDownloadFailedState(const QString& reason) {
  showState({{false, std::nullopt}, {false, std::nullopt}, {true, std::nullopt}, QStringLiteral("download_firmware_fail_top"),
             QStringLiteral("img_filedownload_fail"), QStringLiteral("picture_download_failed"),
             QStringLiteral("download_firmware_fail_content1"), reason, PercentLook::Kept, true});
}

void FirmwareFileDownloadViewController::showDownloadFinishedState() {
  showState({{true, true}, {false, std::nullopt}, {false, std::nullopt}, QStringLiteral("download_firmware_finish_top"),
             QStringLiteral("img_filedownload_finish"), QStringLiteral("picture_finished"),
             QStringLiteral("download_firmware_finish_content1"), QString(), PercentLook::Full, false});
}

void FirmwareFileDownloadViewController::showCopyingState() {
  showState({{false, std::nullopt}, {true, false}, {false, std::nullopt}, QStringLiteral("copy_firmware_top"),
             QStringLiteral("img_firmware_file_copy"), QStringLiteral("picture_copying"),
             QStringLiteral("copy_firmware_content1"),
             platform::localizedString(QStringLiteral("copy_firmware_content2")), PercentLook::Zero, false});
}

void FirmwareFileDownloadViewController::showCopyFinishedState() {
  showState({{false, std::nullopt}, {true, true}, {false, std::nullopt}, QStringLiteral("copy_firmware_finish_top"),
             QStringLiteral("img_filedownload_finish"), QStringLiteral("picture_finished"),
             QStringLiteral("copy_firmware_finish_content1"), QString(), PercentLook::Full, false});
}

void FirmwareFileDownloadViewController::showCopyFailedState() {
  showState({{false, std::nullopt}, {false, std::nullopt}, {true, std::nullopt}, QStringLiteral("copy_firmware_fail_top"),
             QStringLiteral("img_firmware_file_copy_fail"), QStringLiteral("picture_copy_failed"),
             QStringLiteral("copy_firmware_fail_content1"),
             platform::localizedString(QStringLiteral("copy_firmware_fail_content2")), PercentLook::Kept, true});
}

// ---- actions --------------------------------------------------------------------------

void FirmwareFileDownloadViewController::onClickRetry() { retryDownload(); }

void FirmwareFileDownloadViewController::retryDownload() {
  if (!selectedCameraFirmwareInfo) return;
  showDownloadingState();
  downloadFirmware(selectedCameraFirmwareInfo);
}

// ---- download -------------------------------------------------------------------------

void FirmwareFileDownloadViewController::downloadFirmware(const CameraFirmwareInfoPtr& info) {
  const std::optional<QUrl> folder = downloadFolderURL();
  if (!info || !info->fileName || !info->downloadLink) return;
  // The name becomes a path in the working folder, and the link is fetched: both must be
  // safe before anything is requested.
  const std::optional<QUrl> source = download_rules::downloadUrl(*info->downloadLink);
  if (!folder || !platform::isPlainFileName(*info->fileName) || !source) {
    printError(!folder ? QStringLiteral("no caches folder")
                       : !source ? QStringLiteral("refused download link ") + *info->downloadLink
                                 : QStringLiteral("refused file name ") + *info->fileName);
    showDownloadFailedState(platform::localizedString(QStringLiteral("download_firmware_fail_content2_filedownload_fail")));
    return;
  }
  if (!network_) network_ = new QNetworkAccessManager(this);
  const QString destination = folder->toLocalFile() + u'/' + *info->fileName;
  // No more than the catalogue announced is taken: anything longer fails the size check
  // anyway, and an endless body would fill the disk first.
  download_ = std::make_unique<FirmwareDownload>(network_, *source, destination, stallTimeout_,
                                                 info->fileSize.value_or(0));
  download_->start([this](double fraction) { showPercent(download_rules::percentFromFraction(fraction)); },
                   [this, info](const DownloadResponse& response) { handleDownloadCompletion(response, info); },
                   [](const QUrl& url) { return download_rules::isAllowedDownloadUrl(url); });
}

void FirmwareFileDownloadViewController::handleDownloadCompletion(const DownloadResponse& response,
                                                                  const CameraFirmwareInfoPtr& info) {
  if (response.error) {
    printError(*response.error);
    showDownloadFailedState(platform::localizedString(QStringLiteral("download_firmware_fail_content2_filedownload_fail")));
    return;
  }
  if (!response.fileURL) {
    // An answer that is not the file (an error page, a body past the announced size) fails
    // as a file of the wrong size does.
    if (response.rejected) printError(*response.rejected);
    showDownloadFailedState(platform::localizedString(QStringLiteral("download_firmware_fail_content2_file_corruption")));
    return;
  }
  const qint64 sizeOnDisk = platform::fileSize(response.fileURL->toLocalFile()).value_or(-1);
  if (sizeOnDisk != info->fileSize.value_or(0)) {
    showDownloadFailedState(platform::localizedString(QStringLiteral("download_firmware_fail_content2_file_corruption")));
    return;
  }
  // The extraction runs the disk-image tool and copies a file: off the GUI thread. Its result
  // comes back on the main queue and goes nowhere if the screen has gone by then.
  extracting_ = true;
  QPointer<FirmwareFileDownloadViewController> self(this);
  platform::GlobalQueue::shared().async(
      [self = std::move(self), entry = *info, image = *response.fileURL]() mutable {
        std::optional<QUrl> extracted = extractFirmwareFromImage(entry, image);
        platform::MainQueue::async([self = std::move(self), extracted = std::move(extracted)] {
          if (!self) return;
          self->extracting_ = false;
          if (!extracted) {
            self->showDownloadFailedState(platform::localizedString(QStringLiteral("download_firmware_fail_content2_unzip")));
            return;
          }
          self->firmewareFileURL = extracted;
          self->showDownloadFinishedState();
        });
      });
}

void FirmwareFileDownloadViewController::onClickShowSelectLocation() { presentSelectLocation(); }

void FirmwareFileDownloadViewController::presentSelectLocation() {
  platform::Storyboard* board = storyboard();
  if (!board) return;
  std::unique_ptr<platform::ViewController> next = board->instantiateController(QStringLiteral("SelectLocationViewController"));
  auto* chooser = dynamic_cast<SelectLocationViewController*>(next.get());
  if (!chooser) return;
  chooser->setDelegate(this);
  presentViewControllerAsSheet(std::move(next));
}

void FirmwareFileDownloadViewController::didSelectLocation(const QUrl& url) {
  selectedLocationUrl = url;
  if (!firmewareFileURL) return;
  startCopy(url, *firmewareFileURL);
}

void FirmwareFileDownloadViewController::startCopy(const QUrl& folder, const QUrl& file) {
  showCopyingState();
  // The copy and its progress timer start on the main loop once the work that showed the
  // copying state is over. The screen keeps no reference: the copy keeps itself alive.
  QPointer<FirmwareFileDownloadViewController> self(this);
  platform::MainQueue::async([self, folder, file] {
    if (!self) return;
    const QUrl target = QUrl::fromLocalFile(folder.toLocalFile() + u'/' + QFileInfo(file.toLocalFile()).fileName());
    const std::shared_ptr<CopyUtil> copy = CopyUtil::create(file, target);
    copy->setDelegate(self.data());
    copy->start();
  });
}

void FirmwareFileDownloadViewController::copyProgress(int percent) { showPercent(percent); }

void FirmwareFileDownloadViewController::copyDidFinish() {
  showPercent(100);
  showCopyFinishedState();
}

void FirmwareFileDownloadViewController::copyDidFail() { showCopyFailedState(); }

void FirmwareFileDownloadViewController::onClickShowUpdateGuide() { showUpdateGuide(); }

void FirmwareFileDownloadViewController::showUpdateGuide() {
  platform::replaceContent<GoFrimwareUpdateViewController>(*this, QStringLiteral("GoFrimwareUpdateViewController"));
}
