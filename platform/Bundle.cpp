#include "platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QSettings>
#include <QSvgRenderer>

#include <memory>

#include "platform/StringsFile.h"
#include "platform/UserDefaults.h"

namespace platform {
namespace {

const QString kDefaultTable = QStringLiteral("Localizable");
const QString kLprojSuffix = QStringLiteral(".lproj");

const QString kBuildTreeFile = QStringLiteral("ravlio-build.ini");
const QString kInstalledResources = QStringLiteral("../share/ravlio");

QString locateMainResources() {
  const QString fromEnvironment = qEnvironmentVariable("RAVLIO_RESOURCES");
  if (!fromEnvironment.isEmpty()) return fromEnvironment;
  return locateResources(executableDirectory());
}

bool holdsInfoDictionary(const QString& folder) {
  return !folder.isEmpty() && QFileInfo(QDir(folder).filePath(QStringLiteral("Info.ini"))).isFile();
}

// "key=value" lines, read by hand: a path may hold commas or quotes that an INI reader would
// split or unquote.
QString valueInKeyFile(const QString& file, const QString& key) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  while (!f.atEnd()) {
    const QString line = QString::fromUtf8(f.readLine()).trimmed();
    const qsizetype equals = line.indexOf(u'=');
    if (equals > 0 && line.left(equals).trimmed() == key) return line.mid(equals + 1).trimmed();
  }
  return {};
}

// "zh-Hant-HK" is tried as itself, then "zh-Hant", then "zh".
QStringList folderCandidates(QString code) {
  code.replace(u'_', u'-');
  QStringList out;
  while (!code.isEmpty()) {
    out.append(code);
    const qsizetype dash = code.lastIndexOf(u'-');
    if (dash < 0) break;
    code.truncate(dash);
  }
  return out;
}

}  // namespace

Bundle::Bundle(QString path) : path_(std::move(path)) {}

Bundle::~Bundle() = default;

Bundle& Bundle::main() {
  static Bundle bundle(locateMainResources());
  return bundle;
}

void Bundle::setMainPath(const QString& path) {
  Bundle& bundle = main();
  std::lock_guard lock(bundle.mutex_);
  bundle.path_ = path;
  bundle.tables_.clear();
  bundle.localizationBundles_.clear();
  bundle.languageBundle_.reset();
}

QString Bundle::bundlePath() const {
  std::lock_guard lock(mutex_);
  return path_;
}

bool Bundle::exists() const { return QFileInfo(bundlePath()).isDir(); }

bool Bundle::hasInfoDictionary() const {
  return QFileInfo(QDir(bundlePath()).filePath(QStringLiteral("Info.ini"))).isFile();
}

std::optional<QString> Bundle::infoValue(const QString& key) const {
  const QString file = QDir(bundlePath()).filePath(QStringLiteral("Info.ini"));
  if (!QFileInfo(file).isFile()) return std::nullopt;
  const QSettings info(file, QSettings::IniFormat);
  if (!info.contains(key)) return std::nullopt;
  const QVariant value = info.value(key);
  // An unquoted comma makes QSettings split the value; give the text back whole.
  if (value.metaType().id() == QMetaType::QStringList) {
    return value.toStringList().join(QStringLiteral(", "));
  }
  return value.toString();
}

QString Bundle::pathForResource(const QString& name, const QString& type) const {
  if (name.isEmpty()) return {};
  const QString file = type.isEmpty() ? name : name + u'.' + type;
  const QFileInfo info(QDir(bundlePath()).filePath(file));
  return info.exists() ? info.absoluteFilePath() : QString();
}

QString Bundle::localizedString(const QString& key, const QString& value,
                                const QString& table) const {
  if (const auto language = languageBundle()) {
    return language->localizedString(key, value, table);
  }
  const QString tableName = table.isEmpty() ? kDefaultTable : table;
  bool found = false;
  QString text = lookupByPreferredLanguages(key, tableName, &found);
  if (!found) text = lookupInOwnTables(key, tableName, &found);
  if (found) return text;
  return value.isEmpty() ? key : value;
}

QString Bundle::lookupInOwnTables(const QString& key, const QString& table, bool* found) const {
  const QString file = QDir(bundlePath()).filePath(table + QStringLiteral(".strings"));
  std::shared_ptr<const QHash<QString, QString>> strings;
  {
    std::lock_guard lock(mutex_);
    strings = tables_.value(file);
  }
  if (!strings) {
    // A missing or broken table answers nothing; it is cached like a good one.
    QHash<QString, QString> parsed;
    QFile f(file);
    if (f.open(QIODevice::ReadOnly)) parsed = parseStringsFile(f.readAll()).value_or(parsed);
    std::lock_guard lock(mutex_);
    auto& slot = tables_[file];
    if (!slot) slot = std::make_shared<const QHash<QString, QString>>(std::move(parsed));
    strings = slot;
  }
  const auto it = strings->constFind(key);
  *found = it != strings->constEnd();
  return *found ? *it : QString();
}

QString Bundle::preferredLocalization() const {
  QStringList preferred =
      UserDefaults::standard().arrayForKey(QStringLiteral("AppleLanguages")).value_or(QStringList());
  // English is the development language: it answers when no preferred language has a folder.
  preferred.append(QStringLiteral("en"));
  const QDir root(bundlePath());
  for (const QString& code : preferred) {
    for (const QString& candidate : folderCandidates(code)) {
      if (QFileInfo(root.filePath(candidate + kLprojSuffix)).isDir()) return candidate;
    }
  }
  return {};
}

QString Bundle::lookupByPreferredLanguages(const QString& key, const QString& table,
                                           bool* found) const {
  *found = false;
  const QString candidate = preferredLocalization();
  if (candidate.isEmpty()) return {};
  const QString folder = QDir(bundlePath()).filePath(candidate + kLprojSuffix);
  std::shared_ptr<const Bundle> localization;
  {
    std::lock_guard lock(mutex_);
    auto& slot = localizationBundles_[candidate];
    if (!slot) slot = std::make_shared<const Bundle>(folder);
    localization = slot;
  }
  return localization->lookupInOwnTables(key, table, found);
}

QString Bundle::localizationInUse() const {
  if (const auto language = languageBundle()) {
    QString name = QFileInfo(language->bundlePath()).fileName();
    if (name.endsWith(kLprojSuffix)) name.chop(kLprojSuffix.size());
    if (!name.isEmpty()) return name;
  }
  const QString preferred = preferredLocalization();
  return preferred.isEmpty() ? QStringLiteral("en") : preferred;
}

void Bundle::setLanguageBundle(std::shared_ptr<const Bundle> bundle) {
  std::lock_guard lock(mutex_);
  languageBundle_ = std::move(bundle);
}

std::shared_ptr<const Bundle> Bundle::languageBundle() const {
  std::lock_guard lock(mutex_);
  return languageBundle_;
}

QStringList Bundle::localizations() const {
  QStringList codes;
  const QStringList folders = QDir(bundlePath()).entryList(
      {u'*' + kLprojSuffix}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  for (const QString& folder : folders) codes.append(folder.chopped(kLprojSuffix.size()));
  return codes;
}

QString executableDirectory() {
  // What applicationDirPath() reads too, without needing an application object. Read once: a
  // package upgrade replaces the program file under a running copy, and the link then names a
  // deleted file, while the copy still needs its resources and its disk-image tool beside it.
  static const QString directory = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
  return directory;
}

QString buildTreePath(const QString& executableDir, const QString& key) {
  if (executableDir.isEmpty()) return {};
  QDir dir(executableDir);
  do {
    const QString marker = dir.filePath(kBuildTreeFile);
    if (QFileInfo(marker).isFile()) return valueInKeyFile(marker, key);
  } while (dir.cdUp());
  return {};
}

QString locateResources(const QString& executableDir) {
  const QDir exeDir(executableDir);
  for (const QString& candidate :
       {exeDir.filePath(kInstalledResources), exeDir.filePath(QStringLiteral("resources"))}) {
    if (holdsInfoDictionary(candidate)) return QDir::cleanPath(candidate);
  }
  const QString built = buildTreePath(executableDir, QStringLiteral("Resources"));
  if (holdsInfoDictionary(built)) return QDir::cleanPath(built);
  return QDir::cleanPath(exeDir.filePath(kInstalledResources));
}

QString localizedString(const QString& key) { return Bundle::main().localizedString(key); }

namespace {

QString imagePath(const QString& name, const QString& type) {
  return QDir(Bundle::main().bundlePath()).filePath(QStringLiteral("images/") + name + u'.' + type);
}

// The picture at `size` (its own size when invalid), at the screen's pixel ratio.
QPixmap render(QSvgRenderer& renderer, QSize size) {
  const QSize logical = size.isValid() ? size : renderer.defaultSize();
  if (logical.isEmpty()) return {};
  const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
  QPixmap pixmap(logical * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(logical)));
  return pixmap;
}

}  // namespace

QPixmap imageNamed(const QString& name, QSize size) {
  if (name.isEmpty()) return {};
  const QString svgPath = imagePath(name, QStringLiteral("svg"));
  if (QFileInfo(svgPath).isFile()) {
    QSvgRenderer renderer(svgPath);
    if (renderer.isValid()) return render(renderer, size);
  }
  const QString pngPath = imagePath(name, QStringLiteral("png"));
  if (QFileInfo(pngPath).isFile()) return QPixmap(pngPath);
  return {};
}

QIcon iconNamed(const QString& name) {
  // A drawing is read once for all the sizes.
  std::unique_ptr<QSvgRenderer> drawing;
  const QString svgPath = imagePath(name, QStringLiteral("svg"));
  if (!name.isEmpty() && QFileInfo(svgPath).isFile()) {
    drawing = std::make_unique<QSvgRenderer>(svgPath);
    if (!drawing->isValid()) drawing.reset();
  }
  QIcon icon;
  for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
    const QPixmap pixmap = drawing ? render(*drawing, QSize(side, side)) : imageNamed(name, QSize(side, side));
    if (pixmap.isNull()) return {};
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace platform
