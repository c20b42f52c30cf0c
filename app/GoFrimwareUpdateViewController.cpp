#include "app/GoFrimwareUpdateViewController.h"

#include "app/ButtonTitleColor.h"
#include "app/SetupGuideViewController.h"
#include "platform/Bundle.h"
#include "platform/SceneSwitch.h"
#include "ui_GoFrimwareUpdateViewController.h"

GoFrimwareUpdateViewController::GoFrimwareUpdateViewController(QObject* parent)
    : platform::ViewController(parent), ui_(std::make_unique<Ui::GoFrimwareUpdateViewController>()) {}

GoFrimwareUpdateViewController::~GoFrimwareUpdateViewController() = default;

void GoFrimwareUpdateViewController::setupView(QWidget* root) {
  ui_->setupUi(root);
  // The one button is always enabled: its title takes the enabled colour once.
  updateButtonTitleColors(root);
  ui_->ivCopyComplete->setPixmap(
      platform::imageNamed(QStringLiteral("img_copy_complete"), ui_->ivCopyComplete->minimumSize()));
  connect(ui_->btnFrimwareUpdate, &QPushButton::clicked, this,
          &GoFrimwareUpdateViewController::onClickFrimwareUpdate);
}

void GoFrimwareUpdateViewController::onClickFrimwareUpdate() {
  platform::replaceContent<SetupGuideViewController>(*this, QStringLiteral("SetupGuideViewController"));
}
