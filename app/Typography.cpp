#include "app/Typography.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>

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
    : thread_([family] {
        (void)QFontDatabase::families();
        // The language pop-up names each language in its own script, so both screens show
        // Hangul and Latin letters whatever the family.
        (void)QFontMetrics(QFont(family)).horizontalAdvance(QStringLiteral("English 한국어"));
      }) {}

// A plain thread, joined: its end is then seen by every tool, where a thread's own wait
// condition in an uninstrumented library is not.
FontPreload::~FontPreload() { thread_.join(); }

}  // namespace typography
