#include "platform/ToolkitTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace platform {

void useToolkitTexts(const QString& code) {
  static QPointer<QTranslator> installed;
  static QString installedCode;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || (installed && installedCode == code)) return;
  if (installed) {
    QCoreApplication::removeTranslator(installed);
    delete installed;
  }
  installedCode = code;
  auto* translator = new QTranslator(app);
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (!translator->load(QLocale(QString(code).replace(u'-', u'_')), QStringLiteral("qtbase"), QStringLiteral("_"),
                        folder)) {
    delete translator;  // English is the toolkit's own
    return;
  }
  QCoreApplication::installTranslator(translator);
  installed = translator;
}

}  // namespace platform
