#include "app/CheckSupportDeviceViewController.h"

#include <QFile>
#include <QStringDecoder>

#include <cstdio>

#include "app/ButtonTitleColor.h"
#include "app/MiddleElision.h"
#include "camera/ViewEvent.h"
#include "platform/Bundle.h"
#include "ui_CheckSupportDeviceViewController.h"

CheckSupportDeviceViewController::CheckSupportDeviceViewController(QObject* parent)
    : platform::ViewController(parent), ui_(std::make_unique<Ui::CheckSupportDeviceViewController>()) {}

CheckSupportDeviceViewController::~CheckSupportDeviceViewController() = default;

void CheckSupportDeviceViewController::setupView(QWidget* root) {
  ui_->setupUi(root);
  // Product names come up to 256 characters long.
  elideInTheMiddle(ui_->lbSupportDeviceName);
  elideInTheMiddle(ui_->lbNotSupportDeviceName);
  // These buttons are always enabled: their titles take the enabled colour once.
  updateButtonTitleColors(root);
  connect(ui_->btnNotSupportRetry, &QPushButton::clicked, this,
          &CheckSupportDeviceViewController::onClickNotSupportRetry);
  connect(ui_->btnSupportNext, &QPushButton::clicked, this, &CheckSupportDeviceViewController::onClickSupportNext);
  ui_->ivSupportDevice->setPixmap(platform::imageNamed(QStringLiteral("icon_connect"), ui_->ivSupportDevice->minimumSize()));
  ui_->ivNotSupportDevice->setPixmap(
      platform::imageNamed(QStringLiteral("icon_warning"), ui_->ivNotSupportDevice->minimumSize()));
}

void CheckSupportDeviceViewController::viewDidLoad() {
  loadSupportList();
  updateView();
}

QSet<QString> CheckSupportDeviceViewController::parseModelList(const QString& text) {
  QSet<QString> names;
  QString piece;
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    const bool newline = (u >= 0x000A && u <= 0x000D) || u == 0x0085 || u == 0x2028 || u == 0x2029;
    if (!newline) {
      piece.append(c);
      continue;
    }
    if (!piece.isEmpty()) names.insert(piece);
    piece.clear();
  }
  if (!piece.isEmpty()) names.insert(piece);
  return names;
}

void CheckSupportDeviceViewController::loadSupportList() {
  const QString path = platform::Bundle::main().pathForResource(QStringLiteral("cameraCrawling"), QStringLiteral("ini"));
  if (path.isEmpty()) return;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    std::printf("%s\n", file.errorString().toLocal8Bit().constData());
    std::fflush(stdout);
    return;
  }
  const QByteArray bytes = file.readAll();
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = decoder.decode(bytes);
  if (decoder.hasError()) return;
  sSupportDevice = parseModelList(text);
}

void CheckSupportDeviceViewController::updateView() {
  if (!productName || !firmwareVersion) {
    ui_->vSupportDevice->hide();
    ui_->vNotSupportDevice->show();
    return;
  }
  if (sSupportDevice.contains(*productName)) {
    ui_->vSupportDevice->show();
    ui_->vNotSupportDevice->hide();
    ui_->lbSupportDeviceName->setText(*productName);
  } else {
    ui_->vSupportDevice->hide();
    ui_->lbNotSupportDeviceName->setText(QStringLiteral("(") + *productName + QStringLiteral(")"));
    ui_->vNotSupportDevice->show();
  }
}

void CheckSupportDeviceViewController::onClickNotSupportRetry() {
  ViewEvent::post(ViewEvent::ViewEventType::MAIN_WINDOW_SHOW_CHECK_DEVICE);
}

void CheckSupportDeviceViewController::onClickSupportNext() {
  ViewEvent::post(ViewEvent::ViewEventType::MAIN_WINDOW_SHOW_FRIMWARE_DOWNLOAD_VIEW);
}
