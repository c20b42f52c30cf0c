#pragma once

#include <QList>
#include <QPointer>
#include <QString>

#include <memory>

#include "app/ProductScreen.h"
#include "firmware/CameraFirmwareInfo.h"
#include "firmware/FirmwareCatalogue.h"
#include "platform/ViewController.h"

class FirmwareSelectCell;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace Ui {
class FirmwareSelectViewController;
}

namespace firmware {
class CatalogueClient;
}

// The firmware list: asks the firmware service which versions exist for the camera, lets the
// user choose one, read its description and confirm it, and goes on to the download screen.
// A failed request shows the no-internet view with a retry button in place of the list.
class FirmwareSelectViewController final : public platform::ViewController, public ProductScreen {
  Q_OBJECT

 public:
  explicit FirmwareSelectViewController(QObject* parent = nullptr);
  ~FirmwareSelectViewController() override;

  // Outlets, connected when the view loads.
  QPointer<QLabel> lbCurrentCameraInfo;
  QPointer<QLabel> lbCurrentCameraFirmwareWarning;
  QPointer<QTableWidget> tbv;
  QPointer<QWidget> vNoInternetConnection;
  QPointer<QWidget> vSelectFirmware;
  QPointer<QWidget> vSelectedFirmwareInfo;
  QPointer<QLabel> lbUpdateFirmwareInfo;
  QPointer<QPlainTextEdit> tvFirmwareDescription;
  QPointer<QPushButton> btnCheck;
  QPointer<QPushButton> btnFirmwareDownload;
  QPointer<QPushButton> btnShowFirmewareInfo;

  // The chosen entry: the list's own object.
  CameraFirmwareInfoPtr selectedCameraFirmwareInfo;
  // The catalogue's entries, newest first; only ever appended to.
  QList<CameraFirmwareInfoPtr> arCameraFirmwareInfo;
  bool isCheck = false;

  void viewDidLoad() override;
  void showCurrentCameraInfo();

  // Sends the catalogue request; the answer arrives later on the main thread. A screen that is
  // destroyed meanwhile drops its request and is never touched by the answer.
  void requestFirmwareInfo();
  void handleFirmwareInfoResponse(const firmware::HttpOutcome& outcome);
  [[nodiscard]] bool isRequestPending() const;

  // The table's data source and delegate.
  [[nodiscard]] int numberOfRowsInTableView() const;
  // The row's cell, set up for its entry (the row's existing cell is reused).
  FirmwareSelectCell* tableViewViewForRow(int row);
  void tableViewSelectionDidChange();
  // Rebuilds every row from arCameraFirmwareInfo; the selection stays.
  void reloadData();

 public Q_SLOTS:
  void onClickNoInternetConnectionAfterRetry();
  void onClickShowFirmewareInfo();
  void onClickShowBeforePage();
  void onClickHideFirmewareInfo();
  void onClickFiremwareDownload();
  void onClickCheck();

 protected:
  void setupView(QWidget* root) override;
  // The list's keys: Return opens the chosen row's description; the first arrow selects.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showNoInternetConnection();
  // What assistive technology reads for the row: its version, whether it is new or chosen.
  void describeRow(int row, const FirmwareSelectCell& cell);
  void setDownloadEnabled();

  std::unique_ptr<Ui::FirmwareSelectViewController> ui_;
  std::unique_ptr<firmware::CatalogueClient> client_;
};
