#include "platform/ToolkitTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

#include "platform/Bundle.h"
#include "platform/StringsFile.h"

namespace platform {
namespace {

// The few toolkit texts Qt's translation files lack (the folder panel's "Folder"), from the
// table "Toolkit" of the language's folder in the bundle, keyed "<context> <source text>". It
// answers nothing for any other text, so Qt's own translations stay in charge of those. The
// table never changes once read: the file model asks from a thread of its own.
class BundleToolkitTexts final : public QTranslator {
 public:
  BundleToolkitTexts(QHash<QString, QString> texts, QObject* parent)
      : QTranslator(parent), texts_(std::move(texts)) {}

  QString translate(const char* context, const char* sourceText, const char* = nullptr, int = -1) const override {
    if (!context || !sourceText) return {};
    return texts_.value(QString::fromUtf8(context) + u' ' + QString::fromUtf8(sourceText));
  }
  bool isEmpty() const override { return texts_.isEmpty(); }

 private:
  const QHash<QString, QString> texts_;
};

// The table of the language's folder, or of the folder of its language without the region.
QHash<QString, QString> bundleToolkitTable(QString code) {
  const QDir bundle(Bundle::main().bundlePath());
  for (;;) {
    QFile file(bundle.filePath(code + QStringLiteral(".lproj/Toolkit.strings")));
    if (file.open(QIODevice::ReadOnly)) return parseStringsFile(file.readAll()).value_or(QHash<QString, QString>());
    const qsizetype dash = code.lastIndexOf(u'-');
    if (dash < 0) return {};
    code.truncate(dash);
  }
}

}  // namespace

void useToolkitTexts(const QString& code) {
  static QPointer<QTranslator> installed;
  static QPointer<QTranslator> ours;
  static QString installedFor;  // the bundle and the language the two translators serve
  QCoreApplication* app = QCoreApplication::instance();
  const QString wanted = Bundle::main().bundlePath() + u'\n' + code;
  if (!app || installedFor == wanted) return;
  for (QPointer<QTranslator>* old : {&installed, &ours}) {
    if (!*old) continue;
    QCoreApplication::removeTranslator(*old);
    delete old->data();
  }
  installedFor = wanted;
  ours = new BundleToolkitTexts(bundleToolkitTable(code), app);
  QCoreApplication::installTranslator(ours);
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
