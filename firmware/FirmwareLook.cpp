#include "firmware/FirmwareLook.h"

#include <QLabel>

#include "platform/Bundle.h"

namespace firmware_look {

void setTextColor(QLabel* label, const QColor& color) {
  label->setStyleSheet(QStringLiteral("color: %1;").arg(color.name(QColor::HexArgb)));
}

QString firmwareTitle(const std::optional<QString>& productName, const std::optional<QString>& version) {
  return productName.value_or(QString()) + u' ' + platform::localizedString(QStringLiteral("firmware_version")) +
         u' ' + version.value_or(QString());
}

}  // namespace firmware_look
