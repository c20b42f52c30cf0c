#include "app/CheckDeviceViewController.h"

#include "app/ButtonTitleColor.h"
#include "camera/ViewEvent.h"
#include "platform/Bundle.h"
#include "ui_CheckDeviceViewController.h"

namespace {
// The connected-state counterpart of "icon_warning".
const QString kConnectedIcon = QStringLiteral("icon_connect");
}  // namespace

CheckDeviceViewController::CheckDeviceViewController(QObject* parent)
    : platform::ViewController(parent), ui_(std::make_unique<Ui::CheckDeviceViewController>()) {}

CheckDeviceViewController::~CheckDeviceViewController() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

void CheckDeviceViewController::setupView(QWidget* root) {
  ui_->setupUi(root);
  connect(ui_->btnConnectNext, &QPushButton::clicked, this, &CheckDeviceViewController::onClickConnectNext);
}

void CheckDeviceViewController::viewDidLoad() {
  ui_->vGetDeviceInfoProgress->hide();
  showStatus(false);
}

void CheckDeviceViewController::viewWillAppear() {
  platform::NotificationCenter::defaultCenter().addObserver(
      this, QString::fromLatin1(kViewEvent), [this](const platform::Notification& n) { observerViewEvent(n); });
  if (!isPostCheckDeviceConnectNotification_) {
    isPostCheckDeviceConnectNotification_ = true;
    ViewEvent::post(ViewEvent::ViewEventType::CHECK_DEVICE_CONNECT);
  }
}

void CheckDeviceViewController::viewWillDisappear() {
  platform::NotificationCenter::defaultCenter().removeObserver(this);
}

void CheckDeviceViewController::observerViewEvent(const platform::Notification& notification) {
  auto event = std::dynamic_pointer_cast<const ViewEvent>(notification.object);
  if (!event) return;
  if (event->type() == ViewEvent::ViewEventType::DEVICE_DISCONNECTED) showStatus(false);
  if (event->type() == ViewEvent::ViewEventType::DEVICE_CONNECTED) showStatus(true);
}

void CheckDeviceViewController::showStatus(bool connected) {
  const QSize picture = ui_->imgConnectStatus->minimumSize();
  const QSize icon = ui_->imgConnectStatusIcon->minimumSize();
  ui_->imgConnectStatus->setPixmap(platform::imageNamed(
      connected ? QStringLiteral("img_connect_device") : QStringLiteral("img_not_connect_device"), picture));
  ui_->imgConnectStatus->setAccessibleName(platform::localizedString(
      connected ? QStringLiteral("picture_camera_connected") : QStringLiteral("picture_camera_not_connected")));
  ui_->imgConnectStatusIcon->setPixmap(
      platform::imageNamed(connected ? kConnectedIcon : QStringLiteral("icon_warning"), icon));
  ui_->imgConnectStatusIcon->setAccessibleName(
      platform::localizedString(connected ? QStringLiteral("picture_connected") : QStringLiteral("picture_warning")));
  ui_->lbConnectStatus->setText(platform::localizedString(
      connected ? QStringLiteral("camera_connected") : QStringLiteral("camera_disconnected")));
  ui_->btnConnectNext->setEnabled(connected && !isReadingDeviceInfo_);
  updateButtonTitleColor(ui_->btnConnectNext);
  ui_->pbGetDeviceInfo->setRange(0, 100);
  ui_->vGetDeviceInfoProgress->hide();
  keepFocus();
}

void CheckDeviceViewController::onClickConnectNext() {
  if (isReadingDeviceInfo_) return;
  isReadingDeviceInfo_ = true;
  ui_->btnConnectNext->setEnabled(false);
  updateButtonTitleColor(ui_->btnConnectNext);
  ui_->vCheckConnect->hide();
  ui_->vGetDeviceInfoProgress->show();
  ui_->pbGetDeviceInfo->setRange(0, 0);  // a running, indeterminate indicator
  ViewEvent::post(ViewEvent::ViewEventType::GET_DEVICE_INFO);
}
