// The working folder and the extraction of the firmware file from the downloaded disk image.
// None of these touch a field of the screen, so the extraction can run on a worker.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

#include "firmware/DownloadRules.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "platform/Bundle.h"
#include "platform/Volumes.h"

namespace {

// The tool gives up on 7-Zip before this, so the tool is rarely the one that is ended.
constexpr double kDiskImageToolTimeout = 120.0;
const QString kFallbackIdentifier = QStringLiteral("com.ravlio.updater");
// The tool says why it failed in a line of its own: "diskimage: <verb> failed: <why>".
const QString kToolPrefix = QStringLiteral("diskimage: ");
const QString kFailedMarker = QStringLiteral(" failed: ");
const QString kFirmwareExtension = QStringLiteral("fir");

void printLine(const QString& line) {
  std::printf("%s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

QString lastLine(const QString& text) { return text.section(u'\n', -1).trimmed(); }

bool isFailureLine(QStringView line) { return line.startsWith(kToolPrefix) && line.contains(kFailedMarker); }

// The tool is judged by its exit status and its own failure line: the word "failed" may well
// stand in a mount point, which holds the user's cache folder and the package's name.
bool toolSucceeded(const FirmwareFileDownloadViewController::CommandOutput& out) {
  if (!out.succeeded) return false;
  for (const QStringView line : QStringView(out.text).split(u'\n')) {
    if (isFailureLine(line)) return false;
  }
  return true;
}

bool removeItem(const QString& path) {
  const QFileInfo info(path);
  if (info.isDir() && !info.isSymLink()) return QDir(path).removeRecursively();
  return QFile::remove(path);
}

// The outcome of an attach: whether it counts as attached, and the mount point whenever the
// tool ran to success (so that even an attach refused for its words is detached again).
struct Attach {
  bool attached = false;
  QString mountPoint;
};

Attach runAttach(const QUrl& imageURL) {
  const auto out = FirmwareFileDownloadViewController::runCommand(
      platform::diskImageToolPath(), {QStringLiteral("attach"), imageURL.toString(QUrl::FullyEncoded)});
  Attach a;
  a.attached = toolSucceeded(out);
  const QString last = lastLine(out.text);
  if (out.succeeded && !isFailureLine(last)) a.mountPoint = last;
  return a;
}

}  // namespace

std::optional<QUrl> FirmwareFileDownloadViewController::downloadFolderURL() {
  const platform::Bundle& bundle = platform::Bundle::main();
  const QString fallback = bundle.infoValue(QStringLiteral("FallbackIdentifier")).value_or(QString());
  const std::optional<QString> folder =
      download_rules::workingFolder(platform::cachesDirectory(), bundle.infoValue(QStringLiteral("CFBundleIdentifier")),
                                    fallback.isEmpty() ? kFallbackIdentifier : fallback);
  if (!folder) return std::nullopt;
  return QUrl::fromLocalFile(*folder);
}

FirmwareFileDownloadViewController::CommandOutput FirmwareFileDownloadViewController::runCommand(
    const QString& launchPath, const QStringList& arguments) {
  const platform::CommandResult result =
      platform::runCommand(launchPath, arguments, platform::Duration(kDiskImageToolTimeout));
  CommandOutput out;
  out.succeeded = result.succeeded();
  out.text = QString::fromUtf8(result.standardOutput);  // bad bytes become replacement characters
  if (!out.text.isEmpty()) {
    // The last character, whole even when it is a surrogate pair.
    const bool pair = out.text.size() >= 2 && out.text.back().isLowSurrogate() &&
                      out.text.at(out.text.size() - 2).isHighSurrogate();
    out.text.chop(pair ? 2 : 1);
  }
  return out;
}

std::optional<QString> FirmwareFileDownloadViewController::attachDiskImage(const QUrl& imageURL) {
  const Attach a = runAttach(imageURL);
  if (!a.attached) return std::nullopt;
  return a.mountPoint;
}

bool FirmwareFileDownloadViewController::detachDiskImage(const QUrl& volumeURL) {
  const CommandOutput out =
      runCommand(platform::diskImageToolPath(), {QStringLiteral("detach"), volumeURL.toLocalFile()});
  return toolSucceeded(out);
}

std::optional<QUrl> FirmwareFileDownloadViewController::findImageVolume(const QString& mountPoint) {
  // Only the volume this attach made counts: a folder of its own right in the attach root.
  // Any other mounted volume, a memory card or an earlier image left there, may hold a name
  // like the image's and an old firmware file.
  const QFileInfo volume(mountPoint);
  if (!QDir::isAbsolutePath(mountPoint) || volume.isSymLink() || !volume.isDir()) return std::nullopt;
  const QString root = QFileInfo(platform::attachRoot()).canonicalFilePath();
  const QString canonical = volume.canonicalFilePath();
  if (root.isEmpty() || QFileInfo(canonical).absolutePath() != root) return std::nullopt;
  return QUrl::fromLocalFile(QDir::cleanPath(mountPoint));
}

std::optional<QUrl> FirmwareFileDownloadViewController::findFirmwareFile(const QUrl& volumeURL) {
  const QDir volume(volumeURL.toLocalFile());
  if (!volume.exists()) return std::nullopt;
  // Top level only, hidden items skipped, in name order.
  const QFileInfoList items =
      volume.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  for (const QFileInfo& item : items) {
    if (download_rules::pathExtension(item.filePath().toLower()) != kFirmwareExtension) continue;
    // A folder or a link named like a firmware file is not one.
    if (!item.isFile() || item.isSymLink()) continue;
    return QUrl::fromLocalFile(item.filePath());
  }
  return std::nullopt;
}

bool FirmwareFileDownloadViewController::copyReplacingItem(const QUrl& source, const QUrl& target) {
  const QString from = source.toLocalFile();
  const QString to = target.toLocalFile();
  const auto fail = [&](const QString& why) {
    printLine(QStringLiteral("Cannot copy item at ") + source.toString() + QStringLiteral(" to ") + target.toString() +
              QStringLiteral(": ") + why);
    return false;
  };
  const QFileInfo existing(to);
  if ((existing.exists() || existing.isSymLink()) && !removeItem(to)) return fail(QStringLiteral("cannot remove ") + to);
  // An attached image is a folder of extracted files on this disk that detach deletes; a hard
  // link takes the file out without writing its bytes a second time.
  if (platform::pathLiesIn(from, platform::attachRoot()) &&
      ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0) {
    return true;
  }
  QFile file(from);
  if (!file.copy(to)) return fail(file.errorString());
  return true;
}

// The entry is not needed to find the volume: the attach says where it put it.
std::optional<QUrl> FirmwareFileDownloadViewController::extractFirmwareFromImage(const CameraFirmwareInfo& /*info*/,
                                                                                 const QUrl& imageURL) {
  const Attach attach = runAttach(imageURL);
  if (!attach.attached) {
    if (!attach.mountPoint.isEmpty()) detachDiskImage(QUrl::fromLocalFile(attach.mountPoint));
    return std::nullopt;
  }
  std::optional<QUrl> result;
  const std::optional<QUrl> volume = findImageVolume(attach.mountPoint);
  if (volume) {
    const std::optional<QUrl> item = findFirmwareFile(*volume);
    const std::optional<QUrl> folder = downloadFolderURL();
    // An empty firmware file is never handed over: copied onto the card it would pass for an
    // update (a hard link that 7-Zip could not follow comes out so).
    if (item && QFileInfo(item->toLocalFile()).size() == 0) {
      printLine(QStringLiteral("error: ") + item->toLocalFile() + QStringLiteral(" is empty"));
    } else if (item && folder) {
      const QUrl target = QUrl::fromLocalFile(folder->toLocalFile() + u'/' + QFileInfo(item->toLocalFile()).fileName());
      if (copyReplacingItem(*item, target)) result = target;
    }
  }
  // Detached on every path.
  if (!attach.mountPoint.isEmpty()) detachDiskImage(QUrl::fromLocalFile(attach.mountPoint));
  return result;
}
