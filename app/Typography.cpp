#include "app/Typography.h"

#include <QApplication>
#include <QFont>

#include "platform/Bundle.h"

namespace typography {

QString fontFamilyFor(const QString& localization) {
  if (localization == QLatin1String("ko") || localization.startsWith(QLatin1String("ko-"))) {
    return QStringLiteral("Noto Sans CJK KR");
  }
  return QStringLiteral("Noto Sans");
}

void applyApplicationFont() {
  QFont font = QApplication::font();
  font.setFamilies({fontFamilyFor(platform::Bundle::main().localizationInUse())});
  QApplication::setFont(font);
}

}  // namespace typography
