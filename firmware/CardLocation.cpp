#include "firmware/CardLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "platform/Volumes.h"

namespace {

bool isVolumeRoot(const QString& path) {
  for (const QString& root : platform::volumeRoots()) {
    if (QDir::cleanPath(root) == path) return true;
  }
  return false;
}

// The volume that holds `path`, if it is on one: its mount point in a volume root, or the
// attached image's folder in the attach root.
QString volumeHolding(const QString& path, const QString& mountPoint) {
  if (!mountPoint.isEmpty() && platform::liesInVolumeRoot(mountPoint) && !isVolumeRoot(mountPoint) &&
      platform::pathLiesIn(path, mountPoint)) {
    return mountPoint;
  }
  const QString attachRoot = QDir::cleanPath(platform::attachRoot());
  if (platform::volumeRoots().contains(attachRoot) && platform::pathLiesIn(path, attachRoot) && path != attachRoot) {
    const QString below = path.mid(attachRoot.size() + (attachRoot == QStringLiteral("/") ? 0 : 1));
    return attachRoot + QLatin1Char('/') + below.section(QLatin1Char('/'), 0, 0);
  }
  return {};
}

// Whether `mountPoint` is the file system of "/" or of the home folder: the system's own disks,
// where a picked folder says nothing about a card.
bool isSystemFileSystem(const QString& mountPoint, const std::function<QString(const QString&)>& mountPointOf) {
  for (const QString& path : {QStringLiteral("/"), QDir::homePath()}) {
    if (QDir::cleanPath(mountPointOf(path)) == mountPoint) return true;
  }
  return false;
}

}  // namespace

CardLocation cardLocationFor(const QString& picked, const std::function<QString(const QString&)>& mountPointOf) {
  // Through links to the real folder, so that the volume test sees where the files will go.
  const QString canonical = QFileInfo(picked).canonicalFilePath();
  const QString path = QDir::cleanPath(canonical.isEmpty() ? picked : canonical);
  const std::function<QString(const QString&)> mountOf =
      mountPointOf ? mountPointOf : [](const QString& p) { return platform::mountPointOf(p); };
  const QString mountPoint = QDir::cleanPath(mountOf(path));

  CardLocation location;
  location.path = volumeHolding(path, mountPoint);
  // A card mounted elsewhere ("/mnt/sd"): the top level of its own file system, however deep
  // the pick; cutting back could land above the card, on the system's disk.
  if (location.path.isEmpty() && !mountPoint.isEmpty() && !isSystemFileSystem(mountPoint, mountOf)) {
    location.path = mountPoint;
  }
  if (location.path.isEmpty()) {
    // Deeper than two levels below the root: the first two levels.
    const QStringList components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    location.path = components.size() >= 3 ? QLatin1Char('/') + components[0] + QLatin1Char('/') + components[1] : path;
  }
  location.warn = !platform::liesInVolumeRoot(location.path);
  return location;
}
