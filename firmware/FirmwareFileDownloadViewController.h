#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

#include "firmware/CameraFirmwareInfo.h"
#include "firmware/CopyUtil.h"
#include "firmware/FirmwareDownload.h"
#include "firmware/SelectLocationViewController.h"
#include "platform/CommandRunner.h"
#include "platform/ViewController.h"

class FennicProgressBar;
class QLabel;
class QNetworkAccessManager;
class QPushButton;

namespace Ui {
class FirmwareFileDownloadViewController;
}

// Downloads the chosen firmware, takes the firmware file out of its disk image, lets the user
// choose the memory card and copies the file onto it.
//
// The download runs in Qt Network on the main thread; the extraction (two runs of the
// disk-image tool and a file copy) runs on a worker and hands its result back to the main
// queue, where it is dropped if the screen has gone meanwhile. The extraction's operations
// are static: they touch no field of the screen.
class FirmwareFileDownloadViewController : public platform::ViewController,
                                           public SelectLocationViewControllerDelegate,
                                           public CopyUtilDelegate {
  Q_OBJECT

 public:
  explicit FirmwareFileDownloadViewController(QObject* parent = nullptr);
  ~FirmwareFileDownloadViewController() override;

  // Inputs, set by the firmware list before the view loads.
  std::optional<QString> productName = QString();
  CameraFirmwareInfoPtr selectedCameraFirmwareInfo;

  // The extracted firmware file in the working folder, once an extraction succeeded.
  std::optional<QUrl> firmewareFileURL;
  // The folder on the card chosen in the sheet.
  std::optional<QUrl> selectedLocationUrl;

  // Outlets, connected when the view loads.
  QPointer<QLabel> lbTopContent;
  QPointer<QLabel> lbFirmwareInfo;
  QPointer<QLabel> ivStatus;
  QPointer<QLabel> lbPercent;
  QPointer<QLabel> lbContent1;
  QPointer<QLabel> lbContent2;
  QPointer<QPushButton> btnShowSelectLocation;
  QPointer<QPushButton> btnShowUpdateGuide;
  QPointer<QPushButton> btnDownloadRetry;
  QPointer<FennicProgressBar> fennicProgressBar;

  void viewDidLoad() override;

  // The six display states.
  void showPercent(int n);
  void showDownloadingState();
  void showDownloadFailedState(const QString& text);
  void showDownloadFinishedState();
  void showCopyingState();
  void showCopyFinishedState();
  void showCopyFailedState();

  // Opens the card chooser as a sheet over this screen.
  void presentSelectLocation();
  void retryDownload();
  // Puts the hand-over screen in this screen's place.
  void showUpdateGuide();

  // The download and its completion checks.
  void downloadFirmware(const CameraFirmwareInfoPtr& info);
  void handleDownloadCompletion(const DownloadResponse& response, const CameraFirmwareInfoPtr& info);

  // The card chooser's answer: the folder on the card; the copy starts when a firmware file is there.
  void didSelectLocation(const QUrl& url) override;
  // Copies the firmware file `file` into the card folder `folder`, with progress.
  void startCopy(const QUrl& folder, const QUrl& file);
  void copyProgress(int percent) override;
  void copyDidFinish() override;
  void copyDidFail() override;

  // The working folder: the caches folder plus the bundle identifier (or the fallback one).
  [[nodiscard]] static std::optional<QUrl> downloadFolderURL();

  // The extraction; safe on any thread. Gives the extracted firmware file, or nothing.
  [[nodiscard]] static std::optional<QUrl> extractFirmwareFromImage(const CameraFirmwareInfo& info,
                                                                    const QUrl& imageURL);
  // The disk-image tool's standard output as text, its last character (the line break)
  // dropped, and whether the tool ran to a zero exit status.
  struct CommandOutput {
    QString text;
    bool succeeded = false;
  };
  [[nodiscard]] static CommandOutput runCommand(const QString& launchPath, const QStringList& arguments);
  // The mount point the tool reports, present when the attach succeeded.
  [[nodiscard]] static std::optional<QString> attachDiskImage(const QUrl& imageURL);
  // The volume at the mount point an attach reported, when it is one the tool made; nothing
  // for any other path, however its name reads.
  [[nodiscard]] static std::optional<QUrl> findImageVolume(const QString& mountPoint);
  [[nodiscard]] static std::optional<QUrl> findFirmwareFile(const QUrl& volumeURL);
  [[nodiscard]] static bool copyReplacingItem(const QUrl& source, const QUrl& target);
  static bool detachDiskImage(const QUrl& volumeURL);

  // Seams for tests; the defaults are the program's.
  void setStallTimeout(std::chrono::milliseconds timeout) { stallTimeout_ = timeout; }
  [[nodiscard]] bool isExtracting() const { return extracting_; }

 public Q_SLOTS:
  void onClickShowSelectLocation();
  void onClickRetry();
  void onClickShowUpdateGuide();

 protected:
  void setupView(QWidget* root) override;

 private:
  // One display state: the buttons first, then the texts and the image, the colours, and
  // last the bar's value.
  struct ButtonLook {
    bool shown = false;
    std::optional<bool> enabled;  // absent: left as it is
  };
  enum class PercentLook { Zero, Kept, Full };
  struct StateLook {
    ButtonLook selectLocation, updateGuide, retry;
    QString top, image;
    QString pictureName;  // the picture's short name for assistive technology
    QString content1;
    QString content2;  // the text itself
    PercentLook percent;
    bool failed;  // grey percentage and bar, red reason
  };
  void showState(const StateLook& look);

  std::unique_ptr<Ui::FirmwareFileDownloadViewController> ui_;
  QNetworkAccessManager* network_ = nullptr;
  std::unique_ptr<FirmwareDownload> download_;
  std::chrono::milliseconds stallTimeout_;
  bool extracting_ = false;
};
