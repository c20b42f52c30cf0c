#include "app/Typography.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QThread>

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

FontPreload::FontPreload(const QString& family)
    : thread_(QThread::create([family] {
        (void)QFontDatabase::families();
        // The language pop-up names each language in its own script, so both screens show
        // Hangul and Latin letters whatever the family.
        (void)QFontMetrics(QFont(family)).horizontalAdvance(QStringLiteral("English 한국어"));
      })) {
  thread_->setObjectName(QStringLiteral("fontPreload"));
  thread_->start();
}

FontPreload::~FontPreload() { thread_->wait(); }

}  // namespace typography
