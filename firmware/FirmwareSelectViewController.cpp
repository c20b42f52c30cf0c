#include "firmware/FirmwareSelectViewController.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include "app/ButtonTitleColor.h"
#include "app/MiddleElision.h"
#include "camera/ViewEvent.h"
#include "firmware/CatalogueClient.h"
#include "firmware/FirmwareLook.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/FirmwareSelectCell.h"
#include "firmware/NamedImage.h"
#include "firmware/RoundedBox.h"
#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/SceneSwitch.h"
#include "platform/Storyboard.h"
#include "platform/WindowController.h"
#include "ui_FirmwareSelectViewController.h"

FirmwareSelectViewController::FirmwareSelectViewController(QObject* parent)
    : platform::ViewController(parent),
      ui_(std::make_unique<Ui::FirmwareSelectViewController>()),
      client_(std::make_unique<firmware::CatalogueClient>()) {
  // Absent until the main window sets them.
  productName = std::nullopt;
  firmwareVersion = std::nullopt;
}

FirmwareSelectViewController::~FirmwareSelectViewController() {
  // A pending request goes first, so that its answer can never reach a screen being torn down.
  client_.reset();
}

void FirmwareSelectViewController::setupView(QWidget* root) {
  ui_->setupUi(root);
  lbCurrentCameraInfo = ui_->lbCurrentCameraInfo;
  lbCurrentCameraFirmwareWarning = ui_->lbCurrentCameraFirmwareWarning;
  tbv = ui_->tbv;
  vNoInternetConnection = ui_->vNoInternetConnection;
  vSelectFirmware = ui_->vSelectFirmware;
  vSelectedFirmwareInfo = ui_->vSelectedFirmwareInfo;
  lbUpdateFirmwareInfo = ui_->lbUpdateFirmwareInfo;
  tvFirmwareDescription = ui_->tvFirmwareDescription;
  btnCheck = ui_->btnCheck;
  btnFirmwareDownload = ui_->btnFirmwareDownload;
  btnShowFirmewareInfo = ui_->btnShowFirmewareInfo;

  // Product names come up to 256 characters long.
  elideInTheMiddle(lbCurrentCameraInfo);
  elideInTheMiddle(lbUpdateFirmwareInfo);
  tbv->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  setNamedImage(ui_->ivNoInternetConnection, QStringLiteral("img_no_internet"));
  setNamedImage(btnCheck, QStringLiteral("icon_check_off"));

  connect(ui_->btnNoInternetConnectionAfterRetry, &QPushButton::clicked, this,
          &FirmwareSelectViewController::onClickNoInternetConnectionAfterRetry);
  connect(btnShowFirmewareInfo, &QPushButton::clicked, this, &FirmwareSelectViewController::onClickShowFirmewareInfo);
  connect(ui_->btnShowBeforePage, &QPushButton::clicked, this, &FirmwareSelectViewController::onClickShowBeforePage);
  connect(ui_->btnNoInternetShowBeforePage, &QPushButton::clicked, this,
          &FirmwareSelectViewController::onClickShowBeforePage);
  connect(ui_->btnHideFirmewareInfo, &QPushButton::clicked, this, &FirmwareSelectViewController::onClickHideFirmewareInfo);
  connect(btnFirmwareDownload, &QPushButton::clicked, this, &FirmwareSelectViewController::onClickFiremwareDownload);
  connect(btnCheck, &QPushButton::clicked, this, &FirmwareSelectViewController::onClickCheck);
  connect(tbv, &QTableWidget::itemSelectionChanged, this, &FirmwareSelectViewController::tableViewSelectionDidChange);
  tbv->installEventFilter(this);
  // These buttons are always enabled: their titles take the enabled colour once.
  for (QPushButton* button : {ui_->btnShowBeforePage, ui_->btnNoInternetShowBeforePage, ui_->btnHideFirmewareInfo,
                              ui_->btnNoInternetConnectionAfterRetry}) {
    updateButtonTitleColor(button);
  }
}

void FirmwareSelectViewController::viewDidLoad() {
  platform::ViewController::viewDidLoad();
  vSelectedFirmwareInfo->hide();
  setDownloadEnabled();
  btnShowFirmewareInfo->setEnabled(false);
  updateButtonTitleColor(btnShowFirmewareInfo);
  requestFirmwareInfo();
  showCurrentCameraInfo();
}

void FirmwareSelectViewController::showCurrentCameraInfo() {
  if (!productName || !firmwareVersion) return;  // the scene's own text stays
  lbCurrentCameraInfo->setText(firmware_look::firmwareTitle(productName, firmwareVersion));
}

// ---- catalogue ------------------------------------------------------------------------

void FirmwareSelectViewController::requestFirmwareInfo() {
  lbCurrentCameraFirmwareWarning->hide();
  const QString base = platform::Bundle::main().infoValue(QStringLiteral("FirmwareServiceURL")).value_or(QString());
  // The client belongs to this screen, so the completion cannot outlive it.
  client_->get(firmware::firmwareInfoUrl(base, productName, firmwareVersion),
               [this](const firmware::HttpOutcome& outcome) { handleFirmwareInfoResponse(outcome); });
}

bool FirmwareSelectViewController::isRequestPending() const { return client_ && client_->isPending(); }

void FirmwareSelectViewController::handleFirmwareInfoResponse(const firmware::HttpOutcome& outcome) {
  const firmware::CatalogueAnswer answer = firmware::readCatalogueAnswer(outcome, firmwareVersion);
  switch (answer.outcome) {
    case firmware::CatalogueAnswer::Outcome::NoInternet:
      showNoInternetConnection();
      return;
    case firmware::CatalogueAnswer::Outcome::ServiceError: {
      platform::AlertSpec alert;
      alert.messageText = answer.message;
      alert.buttons = {QStringLiteral("OK")};
      // Nothing may touch this screen after the modal alert: it may be gone by then.
      platform::runAlert(alert, view()->window());
      return;
    }
    case firmware::CatalogueAnswer::Outcome::Catalogue:
      arCameraFirmwareInfo.append(answer.entries);
      if (answer.hasVersions) lbCurrentCameraFirmwareWarning->setVisible(answer.showWarning);
      reloadData();
      return;
  }
}

void FirmwareSelectViewController::showNoInternetConnection() {
  vSelectFirmware->hide();
  vNoInternetConnection->show();
  vSelectedFirmwareInfo->hide();
  focusFirstControl();
}

// ---- table ----------------------------------------------------------------------------

int FirmwareSelectViewController::numberOfRowsInTableView() const {
  return static_cast<int>(arCameraFirmwareInfo.size());
}

FirmwareSelectCell* FirmwareSelectViewController::tableViewViewForRow(int row) {
  if (row < 0 || row >= arCameraFirmwareInfo.size()) return nullptr;
  const CameraFirmwareInfoPtr& entry = arCameraFirmwareInfo.at(row);
  auto* cell = qobject_cast<FirmwareSelectCell*>(tbv->cellWidget(row, 0));
  if (!cell) cell = new FirmwareSelectCell;
  cell->lbTitle->setText(firmware_look::firmwareTitle(productName, entry->version));
  // The top row, the highest version, carries the new marker, also when it is the camera's own.
  cell->bNew->setHidden(row != 0);
  cell->highlight = false;
  cell->updateHighlight();
  if (!selectedCameraFirmwareInfo) return cell;

  cell->isSelected = entry->version.value_or(QString()) == selectedCameraFirmwareInfo->version.value_or(QStringLiteral("-1"));
  if (cell->isSelected) {
    cell->bBg->setBorderColor(firmware_look::kAccentYellow);
    cell->bBg->setFillColor(firmware_look::kAccentYellow);
    firmware_look::setTextColor(cell->lbTitle, firmware_look::kDarkGrey);
    setNamedImage(cell->ivCheck, QStringLiteral("icon_check_on"));
    cell->bNew->setFillColor(firmware_look::kDarkGrey);
    firmware_look::setTextColor(cell->lbNew, Qt::white);
  } else {
    cell->bBg->setBorderColor(Qt::white);
    cell->bBg->setFillColor(Qt::transparent);
    firmware_look::setTextColor(cell->lbTitle, Qt::white);
    cell->bNew->setFillColor(firmware_look::kAccentYellow);
    firmware_look::setTextColor(cell->lbNew, firmware_look::kDarkGrey);
  }
  return cell;
}

void FirmwareSelectViewController::reloadData() {
  const int rows = numberOfRowsInTableView();
  tbv->setRowCount(rows);
  for (int row = 0; row < rows; ++row) {
    FirmwareSelectCell* cell = tableViewViewForRow(row);
    if (cell != tbv->cellWidget(row, 0)) tbv->setCellWidget(row, 0, cell);
    describeRow(row, *cell);
  }
}

void FirmwareSelectViewController::describeRow(int row, const FirmwareSelectCell& cell) {
  QTableWidgetItem* item = tbv->item(row, 0);
  if (!item) {
    item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    tbv->setItem(row, 0, item);
  }
  QStringList name{arCameraFirmwareInfo.at(row)->version.value_or(QString())};
  if (!cell.bNew->isHidden()) name << platform::localizedString(QStringLiteral("accessible_firmware_row_new"));
  if (cell.isSelected) name << platform::localizedString(QStringLiteral("accessible_firmware_row_selected"));
  item->setData(Qt::AccessibleTextRole, name.join(QStringLiteral(", ")));
  item->setData(Qt::AccessibleDescriptionRole, cell.lbTitle->text());
}

bool FirmwareSelectViewController::eventFilter(QObject* watched, QEvent* event) {
  // The type first: the list also reports its own destruction here, when it is no longer one.
  if (event->type() != QEvent::KeyPress || watched != tbv) return platform::ViewController::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  // With nothing chosen yet, the first arrow chooses the row the list stands on (the top one),
  // rather than passing over it.
  const bool arrow = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down;
  if (arrow && key->modifiers() == Qt::NoModifier && tbv->rowCount() > 0 &&
      tbv->selectionModel()->selectedRows().isEmpty()) {
    const QModelIndex current = tbv->currentIndex();
    tbv->selectRow(current.isValid() ? current.row() : 0);
    return true;
  }
  return false;
}

void FirmwareSelectViewController::tableViewSelectionDidChange() {
  const QModelIndexList rows = tbv->selectionModel()->selectedRows();
  if (rows.isEmpty()) return;  // a click beside the rows keeps the earlier choice
  const int row = rows.first().row();
  if (row >= arCameraFirmwareInfo.size()) return;
  selectedCameraFirmwareInfo = arCameraFirmwareInfo.at(row);
  btnShowFirmewareInfo->setEnabled(true);
  updateButtonTitleColor(btnShowFirmewareInfo);
  reloadData();
}

// ---- actions --------------------------------------------------------------------------

void FirmwareSelectViewController::onClickNoInternetConnectionAfterRetry() {
  vSelectFirmware->show();
  vNoInternetConnection->hide();
  vSelectedFirmwareInfo->hide();
  setDownloadEnabled();
  focusFirstControl();
  requestFirmwareInfo();
}

void FirmwareSelectViewController::onClickShowFirmewareInfo() {
  if (!selectedCameraFirmwareInfo) return;
  lbUpdateFirmwareInfo->setText(firmware_look::firmwareTitle(productName, selectedCameraFirmwareInfo->version));
  tvFirmwareDescription->setPlainText(platform::localizedString(QStringLiteral("firmware_notice_info")) +
                                      QStringLiteral("\n\n") +
                                      selectedCameraFirmwareInfo->description.value_or(QString()));
  vSelectFirmware->hide();
  vNoInternetConnection->hide();
  vSelectedFirmwareInfo->show();
  focusFirstControl();
}

void FirmwareSelectViewController::onClickShowBeforePage() {
  ViewEvent::post(ViewEvent::ViewEventType::MAIN_WINDOW_SHOW_CHECK_SUPPORT_DEVICE_VIEW);
}

void FirmwareSelectViewController::onClickHideFirmewareInfo() {
  vNoInternetConnection->hide();
  vSelectedFirmwareInfo->hide();
  vSelectFirmware->show();
  // Leaving the description always unticks the box.
  isCheck = true;
  onClickCheck();
  focusFirstControl();
}

void FirmwareSelectViewController::onClickCheck() {
  isCheck = !isCheck;
  setNamedImage(btnCheck, isCheck ? QStringLiteral("icon_check_highlight") : QStringLiteral("icon_check_off"));
  btnCheck->setChecked(isCheck);  // what assistive technology reads
  setDownloadEnabled();
}

void FirmwareSelectViewController::setDownloadEnabled() {
  btnFirmwareDownload->setEnabled(isCheck);
  updateButtonTitleColor(btnFirmwareDownload);
}

void FirmwareSelectViewController::onClickFiremwareDownload() {
  vNoInternetConnection->hide();
  vSelectedFirmwareInfo->hide();
  if (!selectedCameraFirmwareInfo) return;
  platform::replaceContent<FirmwareFileDownloadViewController>(
      *this, QStringLiteral("FirmwareFileDownloadViewController"), [this](FirmwareFileDownloadViewController& next) {
        next.selectedCameraFirmwareInfo = selectedCameraFirmwareInfo;
        next.productName = productName;
      });
}
