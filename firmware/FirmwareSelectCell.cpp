#include "firmware/FirmwareSelectCell.h"

#include <QEvent>
#include <QLabel>

#include "app/MiddleElision.h"
#include "firmware/FirmwareLook.h"
#include "firmware/NamedImage.h"
#include "firmware/RoundedBox.h"
#include "platform/Bundle.h"
#include "ui_FirmwareSelectCell.h"

FirmwareSelectCell::FirmwareSelectCell(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::FirmwareSelectCell>()) {
  ui_->setupUi(this);
  bBg = ui_->bBg;
  bNew = ui_->bNew;
  lbNew = ui_->lbNew;
  lbTitle = ui_->lbTitle;
  ivCheck = ui_->ivCheck;
  lbNew->setText(platform::localizedString(QStringLiteral("firmware_new")));
  // Fonts in pixels, like the scenes' style sheets.
  setPixelFont(lbTitle, 16, QFont::DemiBold);
  elideInTheMiddle(lbTitle);
  setPixelFont(lbNew, 11, QFont::Bold);
  firmware_look::setTextColor(lbTitle, Qt::white);
  firmware_look::setTextColor(lbNew, firmware_look::kDarkGrey);
  setNamedImage(ivCheck, QStringLiteral("icon_check_off"));
  awakeFromNib();
}

// The filter goes with the cell.
FirmwareSelectCell::~FirmwareSelectCell() = default;

void FirmwareSelectCell::awakeFromNib() { bBg->installEventFilter(this); }

bool FirmwareSelectCell::eventFilter(QObject* watched, QEvent* event) {
  if (watched == bBg) {
    if (event->type() == QEvent::Enter) mouseEntered();
    if (event->type() == QEvent::Leave) mouseExited();
  }
  return QWidget::eventFilter(watched, event);
}

void FirmwareSelectCell::mouseEntered() {
  highlight = true;
  if (!isSelected) updateHighlight();
}

void FirmwareSelectCell::mouseExited() {
  highlight = false;
  if (!isSelected) updateHighlight();
}

void FirmwareSelectCell::updateHighlight() {
  const QColor color = highlight ? firmware_look::kAccentYellow : QColor(Qt::white);
  bBg->setBorderColor(color);
  firmware_look::setTextColor(lbTitle, color);
  setNamedImage(ivCheck, highlight ? QStringLiteral("icon_check_highlight") : QStringLiteral("icon_check_off"));
}

void FirmwareSelectCell::setPixelFont(QLabel* label, int pixels, QFont::Weight weight) {
  QFont font = label->font();
  font.setPixelSize(pixels);
  font.setWeight(weight);
  label->setFont(font);
}
