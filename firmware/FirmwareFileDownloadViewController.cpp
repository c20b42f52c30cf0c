#include "firmware/FirmwareFileDownloadViewController.h"

#include <QLabel>
#include <QNetworkAccessManager>
#include <QPushButton>

#include <cstdio>

#include "app/ButtonTitleColor.h"
#include "app/FennicProgressBar.h"
#include "app/GoFrimwareUpdateViewController.h"
#include "firmware/DownloadRules.h"
#include "platform/Bundle.h"
#include "platform/FileManager.h"
#include "platform/Queues.h"
#include "platform/SceneSwitch.h"
#include "ui_FirmwareFileDownloadViewController.h"

namespace {

// A transfer that receives nothing for this long has stalled.
constexpr std::chrono::milliseconds kStallTimeout{30000};

void printError(const QString& description) {
  std::printf("%s %s\n", "error: ", description.toUtf8().constData());
  std::fflush(stdout);
}

// Shows or hides a button and, where the state says so, enables or disables it; the title
// takes the colour of the new enabled state.
void setButton(QPushButton* button, bool shown, std::optional<bool> enabled = std::nullopt) {
  button->setVisible(shown);
  if (enabled) {
    button->setEnabled(*enabled);
    updateButtonTitleColor(button);
  }
}

}  // namespace

const QColor FirmwareFileDownloadViewController::kYellow(251, 205, 81);
const QColor FirmwareFileDownloadViewController::kGrey96(96, 96, 96);
const QColor FirmwareFileDownloadViewController::kRed(255, 75, 75);
const QColor FirmwareFileDownloadViewController::kGrey136(136, 136, 136);

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
  lbFirmwareInfo->setText(*productName + u' ' + platform::localizedString(QStringLiteral("firmware_version")) + u' ' +
                          selectedCameraFirmwareInfo->version.value_or(QString()));
  fennicProgressBar->setBarThickness(16.0);
  showDownloadingState();
  downloadFirmware(selectedCameraFirmwareInfo);
}

// ---- display states -------------------------------------------------------------------

void FirmwareFileDownloadViewController::setStatusImage(const QString& name) {
  ivStatus->setPixmap(platform::imageNamed(name, ivStatus->minimumSize()));
}

void FirmwareFileDownloadViewController::setTextColor(QLabel* label, const QColor& color) {
  // The scene's style sheet decides the labels' looks, so the colour goes through it too: a
  // palette of the label's own would be overridden when the style sheet polishes it.
  label->setStyleSheet(QStringLiteral("color: %1;").arg(color.name()));
}

void FirmwareFileDownloadViewController::showBar(const QColor& bar, const QColor& track, double value) {
  fennicProgressBar->setBarColor(bar);
  fennicProgressBar->setTrackColor(track);
  // The value write redraws the bar in its new colours.
  fennicProgressBar->setProgressValue(value);
}

void FirmwareFileDownloadViewController::showPercent(int n) {
  lbPercent->setText(QString::number(n) + u'%');
  fennicProgressBar->setProgressValue(static_cast<double>(n));
}

void FirmwareFileDownloadViewController::showDownloadingState() {
  setButton(btnShowSelectLocation, true, false);
  setButton(btnShowUpdateGuide, false);
  setButton(btnDownloadRetry, false);
  lbTopContent->setText(platform::localizedString(QStringLiteral("downloading_firmware_top")));
  setStatusImage(QStringLiteral("img_filedownload_ing"));
  setTextColor(lbPercent, kYellow);
  lbPercent->setText(QStringLiteral("0%"));
  lbContent1->setText(platform::localizedString(QStringLiteral("downloading_firmware_content1")));
  lbContent2->setText(platform::localizedString(QStringLiteral("downloading_firmware_content2")));
  setTextColor(lbContent2, kYellow);
  showBar(kYellow, Qt::white, 0.0);
}

void FirmwareFileDownloadViewController::showDownloadFailedState(const QString& reason) {
  setButton(btnShowSelectLocation, false);
  setButton(btnShowUpdateGuide, false);
  setButton(btnDownloadRetry, true);
  lbTopContent->setText(platform::localizedString(QStringLiteral("download_firmware_fail_top")));
  setStatusImage(QStringLiteral("img_filedownload_fail"));
  setTextColor(lbPercent, kGrey96);
  lbContent1->setText(platform::localizedString(QStringLiteral("download_firmware_fail_content1")));
  lbContent2->setText(reason);
  setTextColor(lbContent2, kRed);
  showBar(kGrey136, kGrey96, fennicProgressBar->progressValue());
}

void FirmwareFileDownloadViewController::showDownloadFinishedState() {
  setButton(btnShowSelectLocation, true, true);
  setButton(btnShowUpdateGuide, false);
  setButton(btnDownloadRetry, false);
  lbTopContent->setText(platform::localizedString(QStringLiteral("download_firmware_finish_top")));
  setStatusImage(QStringLiteral("img_filedownload_finish"));
  setTextColor(lbPercent, kYellow);
  lbContent1->setText(platform::localizedString(QStringLiteral("download_firmware_finish_content1")));
  lbContent2->setText(QString());
  setTextColor(lbContent2, kYellow);
  fennicProgressBar->setBarColor(kYellow);
  fennicProgressBar->setTrackColor(Qt::white);
  showPercent(100);
}

void FirmwareFileDownloadViewController::showCopyingState() {
  setButton(btnShowSelectLocation, false);
  setButton(btnShowUpdateGuide, true, false);
  setButton(btnDownloadRetry, false);
  lbTopContent->setText(platform::localizedString(QStringLiteral("copy_firmware_top")));
  setStatusImage(QStringLiteral("img_firmware_file_copy"));
  setTextColor(lbPercent, kYellow);
  lbPercent->setText(QStringLiteral("0%"));
  lbContent1->setText(platform::localizedString(QStringLiteral("copy_firmware_content1")));
  lbContent2->setText(platform::localizedString(QStringLiteral("copy_firmware_content2")));
  setTextColor(lbContent2, kYellow);
  showBar(kYellow, Qt::white, 0.0);
}

void FirmwareFileDownloadViewController::showCopyFinishedState() {
  setButton(btnShowSelectLocation, false);
  setButton(btnShowUpdateGuide, true, true);
  setButton(btnDownloadRetry, false);
  lbTopContent->setText(platform::localizedString(QStringLiteral("copy_firmware_finish_top")));
  setStatusImage(QStringLiteral("img_filedownload_finish"));
  setTextColor(lbPercent, kYellow);
  lbContent1->setText(platform::localizedString(QStringLiteral("copy_firmware_finish_content1")));
  lbContent2->setText(QString());
  setTextColor(lbContent2, kYellow);
  fennicProgressBar->setBarColor(kYellow);
  fennicProgressBar->setTrackColor(Qt::white);
  showPercent(100);
}

void FirmwareFileDownloadViewController::showCopyFailedState() {
  setButton(btnShowSelectLocation, false);
  setButton(btnShowUpdateGuide, false);
  setButton(btnDownloadRetry, true);
  lbTopContent->setText(platform::localizedString(QStringLiteral("copy_firmware_fail_top")));
  setStatusImage(QStringLiteral("img_firmware_file_copy_fail"));
  setTextColor(lbPercent, kGrey96);
  lbContent1->setText(platform::localizedString(QStringLiteral("copy_firmware_fail_content1")));
  lbContent2->setText(platform::localizedString(QStringLiteral("copy_firmware_fail_content2")));
  setTextColor(lbContent2, kRed);
  showBar(kGrey136, kGrey96, fennicProgressBar->progressValue());
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
  if (!folder || !download_rules::isPlainFileName(*info->fileName) || !source) {
    printError(!folder ? QStringLiteral("no caches folder")
                       : !source ? QStringLiteral("refused download link ") + *info->downloadLink
                                 : QStringLiteral("refused file name ") + *info->fileName);
    showDownloadFailedState(platform::localizedString(QStringLiteral("download_firmware_fail_content2_filedownload_fail")));
    return;
  }
  if (!network_) network_ = new QNetworkAccessManager(this);
  const QString destination = folder->toLocalFile() + u'/' + *info->fileName;
  download_ = std::make_unique<FirmwareDownload>(network_, *source, destination, stallTimeout_);
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

void FirmwareFileDownloadViewController::onClickShowSelectLocation() {}

void FirmwareFileDownloadViewController::onClickShowUpdateGuide() { showUpdateGuide(); }

void FirmwareFileDownloadViewController::showUpdateGuide() {
  platform::replaceContent<GoFrimwareUpdateViewController>(*this, QStringLiteral("GoFrimwareUpdateViewController"));
}
