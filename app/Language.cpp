#include "app/Language.h"

#include <QLocale>
#include <QStringList>

#include <cstdio>

#include "app/Typography.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"

QString Language::code() const {
  switch (kind_) {
    case Kind::english:
      switch (english_) {
        case English::us: return QStringLiteral("en");
        case English::uk: return QStringLiteral("en-GB");
        case English::australian: return QStringLiteral("en-AU");
        case English::canadian: return QStringLiteral("en-CA");
        case English::indian: return QStringLiteral("en-IN");
      }
      break;
    case Kind::chinese:
      switch (chinese_) {
        case Chinese::simplified: return QStringLiteral("zh-Hans");
        case Chinese::traditional: return QStringLiteral("zh-Hant");
        case Chinese::hongKong: return QStringLiteral("zh-HK");
      }
      break;
    case Kind::korean: return QStringLiteral("ko");
    case Kind::japanese: return QStringLiteral("ja");
  }
  return QStringLiteral("en");
}

void BundleExtension::attachLanguageBundle(const QString& lprojPath) {
  auto bundle = std::make_shared<const platform::Bundle>(lprojPath);
  platform::Bundle::main().setLanguageBundle(bundle->exists() ? std::move(bundle) : nullptr);
}

QString BundleExtension::localizedStringForKey(const QString& key, const QString& value,
                                               const QString& table) {
  return platform::Bundle::main().localizedString(key, value, table);
}

void setLanguage(const Language& language) {
  const QString code = language.code();
  const bool rightToLeft = QLocale(code).textDirection() == Qt::RightToLeft;

  auto& defaults = platform::UserDefaults::standard();
  defaults.setBool(QStringLiteral("NSForceRightToLeftWritingDirection"), rightToLeft);
  defaults.setObject(QStringLiteral("AppleLanguages"), QStringList{code});
  defaults.synchronize();

  const QString path = platform::Bundle::main().pathForResource(code, QStringLiteral("lproj"));
  if (path.isEmpty()) {
    // The stored choice stays; lookups keep the language bundle they had.
    std::fputs(" Failed to get a bundle path.\n", stdout);
    std::fflush(stdout);
    return;
  }
  BundleExtension::attachLanguageBundle(path);
  // Screens built from here on are in the new language, so they take its font too.
  typography::applyApplicationFont();
}
