#include "platform/Volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <mutex>

#include <pwd.h>
#include <unistd.h>

#include "platform/Bundle.h"

namespace platform {
namespace {

std::mutex& rootsMutex() {
  static std::mutex m;
  return m;
}

std::optional<QStringList>& rootsOverride() {
  static std::optional<QStringList> roots;
  return roots;
}

QString userName() {
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name) return QString::fromLocal8Bit(pw->pw_name);
  return qEnvironmentVariable("USER");
}

bool isExecutableFile(const QString& path) {
  const QFileInfo info(path);
  return !path.isEmpty() && info.isFile() && info.isExecutable();
}

}  // namespace

QString cachesDirectory() { return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation); }

QString attachRoot() {
  const QString configured = qEnvironmentVariable("RAVLIO_ATTACH_ROOT");
  if (!configured.isEmpty()) return QDir::cleanPath(configured);
  return QDir::cleanPath(cachesDirectory() + QStringLiteral("/ravlio/Volumes"));
}

QString diskImageToolPath() {
  const QString configured = qEnvironmentVariable("RAVLIO_DISKIMAGE");
  if (!configured.isEmpty()) return configured;
  return locateDiskImageTool(executableDirectory());
}

QString locateDiskImageTool(const QString& executableDir) {
  const QDir exeDir(executableDir);
  const QString installed = exeDir.filePath(QStringLiteral("../libexec/ravlio/diskimage"));
  for (const QString& candidate : {exeDir.filePath(QStringLiteral("diskimage")), installed}) {
    if (isExecutableFile(candidate)) return QDir::cleanPath(candidate);
  }
  const QString built = buildTreePath(executableDir, QStringLiteral("DiskImage"));
  if (isExecutableFile(built)) return QDir::cleanPath(built);
  return QDir::cleanPath(installed);
}

QStringList volumeRoots() {
  {
    std::lock_guard lock(rootsMutex());
    if (rootsOverride()) return *rootsOverride();
  }
  const QString user = userName();
  QStringList roots;
  if (!user.isEmpty()) {
    roots << QStringLiteral("/media/") + user << QStringLiteral("/run/media/") + user;
  }
  roots << attachRoot();
  return roots;
}

void setVolumeRootsForTesting(std::optional<QStringList> roots) {
  std::lock_guard lock(rootsMutex());
  rootsOverride() = std::move(roots);
}

bool pathLiesIn(const QString& path, const QString& folder) {
  if (path.isEmpty() || folder.isEmpty()) return false;
  const QStringList inner = QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
  const QStringList outer = QDir::cleanPath(folder).split(QLatin1Char('/'), Qt::SkipEmptyParts);
  if (!QDir::isAbsolutePath(path) || !QDir::isAbsolutePath(folder) || inner.size() < outer.size()) return false;
  for (qsizetype i = 0; i < outer.size(); ++i) {
    if (inner[i] != outer[i]) return false;
  }
  return true;
}

bool liesInVolumeRoot(const QString& path) {
  for (const QString& root : volumeRoots()) {
    if (pathLiesIn(path, root)) return true;
  }
  return false;
}

QStringList mountedVolumes() {
  QStringList system;
  for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
    const QString mount = QDir::cleanPath(storage.rootPath());
    if (liesInVolumeRoot(mount) && !system.contains(mount)) system << mount;
  }
  system.sort();
  QStringList attached;
  const QDir root(attachRoot());
  for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name)) {
    const QString mount = root.filePath(name);
    if (!system.contains(mount)) attached << mount;
  }
  return system + attached;
}

QString mountPointOf(const QString& path) {
  const QStorageInfo storage(path);
  if (!storage.isValid()) return {};
  return QDir::cleanPath(storage.rootPath());
}

}  // namespace platform
