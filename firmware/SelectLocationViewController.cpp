#include "firmware/SelectLocationViewController.h"

#include <QDir>
#include <QIcon>
#include <QTextDocument>

#include "app/ButtonTitleColor.h"
#include "firmware/CardLocation.h"
#include "firmware/NamedImage.h"
#include "platform/Bundle.h"
#include "platform/OpenPanel.h"
#include "platform/Volumes.h"
#include "ui_SelectLocationViewController.h"

namespace {

QString checkBoxImage(bool ticked) {
  return ticked ? QStringLiteral("icon_check_highlight") : QStringLiteral("icon_check_off");
}

// Where the panel opens: the first removable-media root there is (cards are mounted there),
// else the home folder.
QString panelDirectory() {
  const QString attached = QDir::cleanPath(platform::attachRoot());
  for (const QString& root : platform::volumeRoots()) {
    if (QDir::cleanPath(root) != attached && QDir(root).exists()) return root;
  }
  return QDir::homePath();
}

}  // namespace

SelectLocationViewController::SelectLocationViewController(QObject* parent)
    : platform::ViewController(parent), ui_(std::make_unique<Ui::SelectLocationViewController>()) {}

SelectLocationViewController::~SelectLocationViewController() = default;

void SelectLocationViewController::setupView(QWidget* root) {
  ui_->setupUi(root);
  root->setAttribute(Qt::WA_StyledBackground);  // the sheet's own background and edge
  vFullButton = ui_->vFullButton;
  vSelected = ui_->vSelected;
  lbLocation = ui_->lbLocation;
  lbLocationWarning = ui_->lbLocationWarning;
  btnCheck = ui_->btnCheck;
  btnFirmwareCopy = ui_->btnFirmwareCopy;

  ui_->btnSelectLocation->setIcon(QIcon(platform::imageNamed(QStringLiteral("img_select_location"))));
  ui_->ivLocation->setPixmap(platform::imageNamed(QStringLiteral("icon_memory_card"), ui_->ivLocation->minimumSize()));
  setNamedImage(btnCheck, checkBoxImage(false));

  connect(ui_->btnSelectLocation, &QToolButton::clicked, this, &SelectLocationViewController::onClickSelectLocation);
  connect(ui_->btnChangeLocation, &QPushButton::clicked, this, &SelectLocationViewController::onClickSelectLocation);
  connect(btnCheck, &QPushButton::clicked, this, &SelectLocationViewController::onClickCheck);
  connect(ui_->btnClose, &QPushButton::clicked, this, &SelectLocationViewController::onClickClose);
  // Close is never disabled: its title takes the enabled colour once, like every screen's.
  updateButtonTitleColor(ui_->btnClose);
  connect(btnFirmwareCopy, &QPushButton::clicked, this, &SelectLocationViewController::onClickFirmwareCopy);
}

void SelectLocationViewController::viewDidLoad() { setupView(); }

void SelectLocationViewController::setupView() {
  btnCheck->hide();
  vFullButton->show();
  vSelected->hide();
  btnFirmwareCopy->setEnabled(false);
  updateButtonTitleColor(btnFirmwareCopy);
  isCheck = false;
  btnCheck->setChecked(false);
}

void SelectLocationViewController::onClickSelectLocation() { openLocationPanel(); }

void SelectLocationViewController::onClickCheck() { toggleCheck(); }

void SelectLocationViewController::onClickClose() { dismissViewController(this); }

void SelectLocationViewController::onClickFirmwareCopy() { copyToLocation(); }

void SelectLocationViewController::openLocationPanel() {
  platform::OpenPanelOptions options;
  options.allowsMultipleSelection = false;
  options.canChooseDirectories = true;
  options.canCreateDirectories = false;
  options.canChooseFiles = false;
  options.directory = panelDirectory();
  QPointer<SelectLocationViewController> guard(this);
  platform::beginOpenPanel(options, this, [guard](platform::ModalResponse response, const QList<QUrl>& urls) {
    if (!guard || response != platform::ModalResponse::OK || urls.isEmpty() || urls.first().isEmpty()) return;
    guard->showSelectedLocation(urls.first());
  });
}

void SelectLocationViewController::showSelectedLocation(const QUrl& url) {
  if (!url.isLocalFile()) return;  // the panel gives only folders on this machine
  const CardLocation location = cardLocationFor(url.toLocalFile());
  if (location.warn) {
    lbLocationWarning->show();
    lbLocationWarning->setText(platform::localizedString(QStringLiteral("path_warning")));
  } else {
    lbLocationWarning->hide();
  }
  selectedLocationUrl = QUrl::fromLocalFile(location.path);
  lbLocation->setText(location.path);
  // A tooltip would take markup in a folder or card name for rich text, so such a path goes in
  // as escaped rich text; any other as it is, which is also what assistive technology reads.
  lbLocation->setToolTip(Qt::mightBeRichText(location.path) ? Qt::convertFromPlainText(location.path) : location.path);
  lbLocation->setAccessibleDescription(location.path);
  btnCheck->show();
  vSelected->show();
  vFullButton->hide();
  keepFocus();  // the drop zone that had it is gone
}

void SelectLocationViewController::toggleCheck() {
  isCheck = !isCheck;
  setNamedImage(btnCheck, checkBoxImage(isCheck));
  btnCheck->setChecked(isCheck);  // what assistive technology reads
  btnFirmwareCopy->setEnabled(isCheck);
  updateButtonTitleColor(btnFirmwareCopy);
}

void SelectLocationViewController::copyToLocation() {
  if (!selectedLocationUrl) return;
  if (SelectLocationViewControllerDelegate* target = delegate()) target->didSelectLocation(*selectedLocationUrl);
  dismissViewController(this);
}
